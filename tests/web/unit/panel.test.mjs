// The panel's glue under node: the settings it hands the bar's module, the
// tabs it follows, and its restart on another service.
import assert from "node:assert/strict";
import {test} from "node:test";
import {FakeDocument, fakeChrome, fakeModule, load, releaseAll, settle} from "./fakes.mjs";

const NICK = "HKCU\\Software\\Navlet\\nck";

const AGREED = {navletConsent: {agreed: true}};

// The panel started for window 1, its module ready; what it told the module.
// The user has agreed before unless `fresh`.
async function startPanel({fresh = false, stored = {}, ...options} = {}) {
  const chrome = fakeChrome({stored: fresh ? stored : {...AGREED, ...stored}, ...options});
  const Module = fakeModule();
  const reloads = [];
  const lines = [];
  const document = new FakeDocument();
  const window = {innerWidth: 300, innerHeight: 600, addEventListener() {}};
  load(["service.js", "consent.js", "panel.js"], {
    chrome, Module, window, document, navigator: {language: "de-DE"},
    location: {search: "?window=1", reload: () => reloads.push(1)},
    console: {log: (l) => lines.push(l)},
  });
  Module.onRuntimeInitialized();
  await settle();
  return {chrome, Module, reloads, lines, document,
          facts: Object.fromEntries(Module.named("navlet_set_fact"))};
}

test("the service's address becomes the module's facts, encrypted unless it says otherwise", async () => {
  const cases = [
    [undefined, {service: "www.navlet.net", secure: "1"}],
    ["https://chat.example:8443", {service: "chat.example", secure: "1", NAVLET_WEB: "chat.example:8443"}],
    ["chat.example", {service: "chat.example", secure: "1"}],
    ["127.0.0.1:8080", {service: "127.0.0.1", secure: "0", NAVLET_WEB: "127.0.0.1:8080"}],
    ["http://chat.example", {service: "chat.example", secure: "0"}],
  ];
  for (const [address, wanted] of cases) {
    const stored = address === undefined ? {} : {navletService: address};
    const {facts} = await startPanel({stored});
    assert.deepEqual({service: facts.service, secure: facts.secure, NAVLET_WEB: facts.NAVLET_WEB},
                     {NAVLET_WEB: undefined, ...wanted}, String(address));
    assert.equal(facts.version, "1.2.3.4");
    assert.equal(facts.lcid, String(0x0407));
  }
});

test("a broken stored address falls back to the service's own, and says so", async () => {
  const {facts, lines} = await startPanel({stored: {navletService: "ftp://x"}});
  assert.equal(facts.service, "www.navlet.net");
  assert.equal(facts.secure, "1");
  assert.ok(lines.some((l) => l.includes("not usable")), lines.join("\n"));
});

test("stored settings load before the start; the address is no registry value", async () => {
  const {Module} = await startPanel({
    stored: {[NICK]: {name: "nck", type: 1, data: "demo"}, navletService: "chat.example"},
    tabs: {7: {id: 7, windowId: 1, url: "https://site.example/a", active: true, status: "complete"}},
  });
  const names = Module.calls.map((c) => c[0]);
  assert.deepEqual(Module.named("navlet_registry_load").map((c) => [c[1], c[2]]),
                   [["Software\\Navlet", "nck"]]);
  assert.ok(names.lastIndexOf("navlet_registry_load") < names.indexOf("navlet_start"));
  assert.deepEqual(Module.named("navlet_start")[0], [300, 600, "https://site.example/a", 1]);
});

test("a new service address restarts the panel; other changes load into the bar", async () => {
  const {chrome, Module, reloads} = await startPanel();
  chrome.storage.onChanged.fire({[NICK]: {newValue: {name: "nck", type: 1, data: "bob"}}}, "local");
  assert.equal(reloads.length, 0);
  assert.equal(Module.named("navlet_registry_load").length, 1);
  chrome.storage.onChanged.fire({navletService: {newValue: "chat.example"}}, "sync");
  assert.equal(reloads.length, 0, "another area's change is not ours");
  chrome.storage.onChanged.fire({navletService: {newValue: "chat.example"}}, "local");
  assert.equal(reloads.length, 1);
});

test("tab following: the window's own tabs, their loads, and tabs that close or are overtaken", async () => {
  const tabs = {
    1: {id: 1, windowId: 1, url: "https://a.example/", active: true, status: "complete"},
    2: {id: 2, windowId: 1, url: "https://b.example/", active: false, status: "complete"},
    3: {id: 3, windowId: 1, url: "https://c.example/", active: false, status: "complete"},
  };
  const {chrome, Module} = await startPanel({tabs});
  const rejected = [];
  const onRejection = (e) => rejected.push(e);
  process.on("unhandledRejection", onRejection);
  try {
    const states = () => Module.named("navlet_tab_state");

    // Another window's switch is not this panel's.
    chrome.tabs.onActivated.fire({tabId: 2, windowId: 9});
    assert.equal(chrome.tabs.pending.length, 0);

    chrome.tabs.onActivated.fire({tabId: 2, windowId: 1});
    await releaseAll(chrome);
    assert.deepEqual(states(), [["https://b.example/", 1]]);

    // A tab closed before its answer: nothing reported, nothing thrown.
    chrome.tabs.onActivated.fire({tabId: 99, windowId: 1});
    await releaseAll(chrome);
    assert.equal(states().length, 1);

    // Two switches whose answers come back in reverse: the later tab wins.
    chrome.tabs.onActivated.fire({tabId: 2, windowId: 1});
    chrome.tabs.onActivated.fire({tabId: 3, windowId: 1});
    chrome.tabs.pending.reverse();
    await releaseAll(chrome);
    assert.deepEqual(states().slice(1), [["https://c.example/", 1]]);

    // Loads of the active tab: the address first, then complete; an
    // inactive tab's load or another window's is ignored.
    const active = {id: 3, windowId: 1, active: true, url: "https://c.example/next"};
    chrome.tabs.onUpdated.fire(3, {url: "https://c.example/next"}, active);
    chrome.tabs.onUpdated.fire(3, {status: "complete"}, active);
    chrome.tabs.onUpdated.fire(2, {status: "complete"}, {...tabs[2], active: false});
    chrome.tabs.onUpdated.fire(5, {status: "complete"}, {id: 5, windowId: 9, active: true, url: "x"});
    assert.deepEqual(states().slice(2), [["https://c.example/next", 0], ["https://c.example/next", 1]]);
    await settle();
    assert.deepEqual(rejected, []);
  } finally {
    process.off("unhandledRejection", onRejection);
  }
});
