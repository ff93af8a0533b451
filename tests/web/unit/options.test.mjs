// The options page under node: its judgement of the typed address, the
// permission it asks before it stores a host, and its connection test.
import assert from "node:assert/strict";
import {test} from "node:test";
import {FakeDocument, fakeChrome, load, settle} from "./fakes.mjs";

// The page's objects come from its own realm: compared by value.
const plain = (x) => JSON.parse(JSON.stringify(x));

class FakeSocket {
  static made = [];
  constructor(url) { this.url = url; this.closed = false; FakeSocket.made.push(this); }
  close() { this.closed = true; }
}

async function optionsPage({stored = {}, grant = true, search = ""} = {}) {
  const document = new FakeDocument(["form", "address", "warning", "status", "check"]);
  const chrome = fakeChrome({stored, grant});
  FakeSocket.made = [];
  const timers = [];
  load(["service.js", "options.js"], {
    document, chrome, WebSocket: FakeSocket, location: {search},
    setTimeout: (f) => timers.push(f), clearTimeout: () => {},
  });
  await settle();
  const $ = (id) => document.getElementById(id);
  const type = (text) => { $("address").value = text; $("address").dispatch("input"); };
  const save = async () => { const e = $("form").dispatch("submit"); await settle(); return e; };
  return {document, chrome, timers, $, type, save};
}

test("the page shows the stored address, or an offered one to save, or the service's own", async () => {
  assert.equal((await optionsPage()).$("address").value, "www.navlet.net");
  assert.equal((await optionsPage({stored: {navletService: "chat.example"}})).$("address").value, "chat.example");
  const offered = await optionsPage({stored: {navletService: "chat.example"}, search: "?address=127.0.0.1:8080"});
  assert.equal(offered.$("address").value, "127.0.0.1:8080");
  assert.deepEqual(plain(offered.chrome.storage.local.sets), [], "an offer is not saved by itself");
});

test("a plain address to another machine is warned about in words; a loopback one is not", async () => {
  const {$, type} = await optionsPage();
  type("http://chat.example");
  assert.equal($("warning").hidden, false);
  assert.match($("warning").textContent, /Not encrypted: your password, your chat and the sites you visit/);
  type("127.0.0.1:8080");
  assert.equal($("warning").hidden, true);
  type("chat.example");
  assert.equal($("warning").hidden, true);
  type("chat.example/page?x=1");
  assert.equal($("status").className, "error");
  type("chat.example");
  assert.equal($("status").textContent, "", "the error goes once the address is good");
});

test("saving another host asks the browser for it first and stores only when granted", async () => {
  const granted = await optionsPage();
  granted.type("https://chat.example:8443");
  assert.equal((await granted.save()).defaultPrevented, true, "the page itself stays");
  assert.deepEqual(plain(granted.chrome.permissions.requested), [{origins: ["https://chat.example/*"]}]);
  assert.deepEqual(plain(granted.chrome.storage.local.sets), [{navletService: "https://chat.example:8443"}]);
  assert.match(granted.$("status").textContent, /^Saved/);

  const refused = await optionsPage({grant: false});
  refused.type("chat.example");
  await refused.save();
  assert.deepEqual(plain(refused.chrome.storage.local.sets), []);
  assert.match(refused.$("status").textContent, /needs your permission to reach chat\.example/);

  const broken = await optionsPage();
  broken.type("ftp://chat.example");
  await broken.save();
  assert.deepEqual(plain(broken.chrome.permissions.requested), []);
  assert.deepEqual(plain(broken.chrome.storage.local.sets), []);
});

test("the service's own address is stored without asking; the host left behind is given up", async () => {
  const {chrome, type, save} = await optionsPage({stored: {navletService: "chat.example"}});
  type("other.example:8443");
  await save();
  assert.deepEqual(plain(chrome.permissions.removed), [{origins: ["https://chat.example/*"]}]);
  // Another port of the same host keeps its permission.
  type("other.example");
  await save();
  assert.equal(chrome.permissions.removed.length, 1);
  type("  WWW.Navlet.NET/ ");
  await save();
  assert.equal(chrome.permissions.requested.length, 2);
  assert.deepEqual(plain(chrome.storage.local.sets).at(-1), {navletService: "www.navlet.net"});
  assert.deepEqual(plain(chrome.permissions.removed).at(-1), {origins: ["https://other.example/*"]});
  // The manifest's own host is never given up.
  type("chat.example");
  await save();
  assert.equal(chrome.permissions.removed.length, 2);
});

test("the connection test opens the session endpoint and reports its answer, its failure or its silence", async () => {
  const {$, type, timers} = await optionsPage();
  type("chat.example");
  $("check").click();
  const [first] = FakeSocket.made;
  assert.equal(first.url, "wss://chat.example/session");
  first.onopen();
  assert.equal($("status").textContent, "The service answers at wss://chat.example/session.");
  assert.equal(first.closed, true);

  type("127.0.0.1:9");
  $("check").click();
  FakeSocket.made[1].onerror();
  assert.equal($("status").className, "error");
  assert.match($("status").textContent, /^No connection to ws:\/\/127\.0\.0\.1:9\/session/);

  $("check").click();
  timers.at(-1)();
  assert.equal($("status").textContent, "No answer from ws://127.0.0.1:9/session.");
  assert.equal(FakeSocket.made[2].closed, true);
  // A late answer of the abandoned socket changes nothing.
  FakeSocket.made[2].onopen();
  assert.equal($("status").textContent, "No answer from ws://127.0.0.1:9/session.");
});
