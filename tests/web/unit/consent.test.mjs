// Asked before anything is sent: the panel's consent gate, the options
// page's privacy half (which the bar reads as its own registry values), and
// the sign-up page the background opens on install.
import assert from "node:assert/strict";
import {test} from "node:test";
import {FakeDocument, event, fakeChrome, fakeModule, load, settle} from "./fakes.mjs";

const plain = (x) => JSON.parse(JSON.stringify(x));
const SHARE = "HKCU\\Software\\Navlet\\share";
const NEVER = "HKCU\\Software\\Navlet\\neverreport";
const DEFAULTS = "HKCU\\Software\\Navlet\\neverreportdefaults";
// The bar's integers: four little-endian bytes.
const int32 = (name, v) => ({name, type: 2, data: String.fromCharCode(v, 0, 0, 0)});

async function panel(stored = {}) {
  const chrome = fakeChrome({stored});
  const Module = fakeModule();
  const document = new FakeDocument();
  const reloads = [];
  load(["service.js", "consent.js", "panel.js"], {
    chrome, Module, document, navigator: {language: "en-GB"},
    window: {innerWidth: 300, innerHeight: 600, addEventListener() {}},
    location: {search: "?window=1", reload: () => reloads.push(1)},
  });
  Module.onRuntimeInitialized();
  await settle();
  const byId = (id) => document.getElementById(id);
  const started = () => Module.named("navlet_start").length > 0;
  return {chrome, Module, document, reloads, byId, started};
}

test("a fresh profile sees the consent panel and nothing starts until the user agrees", async () => {
  const p = await panel({navletService: "https://chat.example:8443"});
  const consent = p.byId("consent");
  assert.ok(consent, "the consent panel shows");
  const words = (function all(e) { return e.textContent + " " + e.children.map(all).join(" "); })(consent);
  assert.match(words, /chat\.example:8443/, "it names who receives the data");
  assert.ok(consent.find((e) => e.tag === "a" && e.href === "https://chat.example:8443/privacy.asp"));
  assert.equal(p.Module.calls.length, 0, "no fact, no setting, no start before the answer");

  p.byId("consent-decline").click();
  await settle();
  assert.equal(p.started(), false);
  assert.deepEqual(plain(p.chrome.storage.local.sets), [], "a no stores nothing");
  assert.match(p.byId("consent-note").textContent, /nothing is sent/);

  // The user changes their mind: the page's choice of Share goes with the yes.
  consent.find((e) => e.tag === "input" && e.value === "page").checked = true;
  consent.find((e) => e.tag === "input" && e.value === "site").checked = false;
  p.byId("consent-agree").click();
  await settle();
  assert.ok(p.started());
  assert.equal(p.byId("consent"), null, "the panel gives way to the bar");
  const stored = p.chrome.storage.local.items;
  assert.deepEqual(plain(stored.navletConsent), {agreed: true});
  assert.deepEqual(plain(stored[SHARE]), int32("share", 0));
  // The bar reads the choice before it starts.
  assert.ok(p.Module.named("navlet_registry_load").some((c) => c[2] === "share"));
  // Its own yes, echoed by the storage, does not restart the panel.
  p.chrome.storage.onChanged.fire({navletConsent: {newValue: {agreed: true}}}, "local");
  assert.equal(p.reloads.length, 0);
});

test("consent given in another panel or the options page starts a waiting panel", async () => {
  const p = await panel();
  p.chrome.storage.onChanged.fire({navletConsent: {newValue: {agreed: false}}}, "local");
  await settle();
  assert.equal(p.started(), false, "a no elsewhere is no start");
  p.chrome.storage.local.items.navletConsent = {agreed: true};
  p.chrome.storage.onChanged.fire({navletConsent: {newValue: {agreed: true}}}, "local");
  await settle();
  assert.ok(p.started());
  assert.equal(p.byId("consent"), null);
  assert.equal(p.chrome.storage.onChanged.listeners.length, 1, "only the running panel's listener is left");
});

test("a started panel takes privacy changes at once and asks again when consent is taken back", async () => {
  const p = await panel({navletConsent: {agreed: true}});
  assert.ok(p.started());
  p.chrome.storage.onChanged.fire({[SHARE]: {newValue: int32("share", 0)}}, "local");
  assert.equal(p.Module.named("navlet_privacy_changed").length, 1);
  const loads = p.Module.named("navlet_registry_load");
  assert.equal(loads[loads.length - 1][2], "share", "loaded before the bar judges the page again");
  p.chrome.storage.onChanged.fire({"HKCU\\Software\\Navlet\\nck": {newValue: {name: "nck", type: 1, data: "x"}}},
                                  "local");
  assert.equal(p.Module.named("navlet_privacy_changed").length, 1, "other settings are no privacy change");
  assert.equal(p.reloads.length, 0);
  p.chrome.storage.onChanged.fire({navletConsent: {newValue: {agreed: false}, oldValue: {agreed: true}}}, "local");
  assert.equal(p.reloads.length, 1);
});

async function optionsPage(stored = {}) {
  const ids = ["form", "address", "warning", "status", "check", "consent", "share-site", "share-page",
               "never", "never-defaults", "never-save", "privacy-status", "policy"];
  const document = new FakeDocument(ids);
  const chrome = fakeChrome({stored});
  load(["service.js", "consent.js", "options_privacy.js"], {document, chrome});
  await settle();
  const $ = (id) => document.getElementById(id);
  const change = async (id, checked) => { $(id).checked = checked; $(id).dispatch("change"); await settle(); };
  return {chrome, $, change, sets: () => plain(chrome.storage.local.sets)};
}

test("the options page shows the extension's defaults and stores each change as the bar's values", async () => {
  const o = await optionsPage({navletService: "127.0.0.1:8080"});
  assert.equal(o.$("consent").checked, false);
  assert.equal(o.$("share-site").checked, true, "the site only, until the user chooses");
  assert.equal(o.$("never-defaults").checked, true);
  assert.equal(o.$("policy").href, "http://127.0.0.1:8080/privacy.asp");

  await o.change("share-page", true);
  assert.deepEqual(o.sets()[0], {[SHARE]: int32("share", 0), [NEVER]: {name: "neverreport", type: 1, data: ""},
                                 [DEFAULTS]: int32("neverreportdefaults", 1)});
  await o.change("never-defaults", false);
  assert.deepEqual(o.sets()[1][DEFAULTS], int32("neverreportdefaults", 0));
  assert.deepEqual(o.sets()[1][SHARE], int32("share", 0), "the earlier choice is kept");
  await o.change("consent", true);
  assert.deepEqual(o.sets()[2], {navletConsent: {agreed: true}});
});

test("the never-reported list: patterns kept as the bar reads them, anything else refused", async () => {
  const o = await optionsPage({[NEVER]: {name: "neverreport", type: 1, data: "*.bank.example intranet.lan"}});
  assert.equal(o.$("never").value, "*.bank.example\nintranet.lan");
  o.$("never").value = "*.bank.example\nhttps://x.example/?q=1";
  o.$("never-save").click();
  await settle();
  assert.equal(o.sets().length, 0);
  assert.match(o.$("privacy-status").textContent, /"https:\/\/x\.example\/\?q=1" is not a host pattern/);
  o.$("never").value = " Mail.Example.COM, *.bank.example;\n\nexample.com/login *.bank.example ";
  o.$("never-save").click();
  await settle();
  assert.equal(o.sets()[0][NEVER].data, "mail.example.com *.bank.example example.com/login");
  assert.equal(o.$("never").value, "mail.example.com\n*.bank.example\nexample.com/login");
  assert.equal(o.$("privacy-status").className, "");
});

test("the sign-up page opens once, on install only, in a new tab at the stored service", async () => {
  for (const [reason, stored, wanted] of [
    ["install", {}, ["https://www.navlet.net/newuser.asp"]],
    ["install", {navletService: "127.0.0.1:8080"}, ["http://127.0.0.1:8080/newuser.asp"]],
    ["update", {}, []],
    ["browser_update", {}, []],
  ]) {
    const chrome = fakeChrome({stored});
    const created = [];
    chrome.tabs.create = (props) => { created.push(props); return Promise.resolve({}); };
    chrome.tabs.update = () => assert.fail("the user's own tab is never navigated");
    chrome.runtime.onInstalled = event();
    chrome.action = {onClicked: event()};
    load(["service.js", "background.js"], {chrome});
    chrome.runtime.onInstalled.fire({reason});
    await settle();
    assert.deepEqual(created.map((c) => c.url), wanted, reason);
  }
});
