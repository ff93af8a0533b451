// Attention and the keyboard command under node: the toolbar badge while
// the panel is not looked at, the opt-in notification and its click, and
// the command that opens the panel with the caret in its chat line.
import assert from "node:assert/strict";
import {test} from "node:test";
import {FakeDocument, event, fakeChrome, fakeModule, load, settle} from "./fakes.mjs";

// What the page's scripts made, in this realm's objects (they run in a
// context of their own).
const plain = (x) => JSON.parse(JSON.stringify(x));

const TAB = {id: 7, windowId: 1, url: "https://site.example/", active: true, status: "complete"};

// The browser's attention calls, recorded; `granted`: the notifications'
// permission is held already.
function attentionApis(chrome, {granted = false} = {}) {
  chrome.action = {badges: [], setBadgeText(d) { this.badges.push(d); return Promise.resolve(); }};
  chrome.notifications = {made: [], onClicked: event(),
    create(id, o) { this.made.push([id, o]); return Promise.resolve(id); }};
  chrome.sidePanel = {opened: [], open(o) { this.opened.push(o); return Promise.resolve(); }};
  chrome.windows.updates = [];
  chrome.windows.update = (id, o) => { chrome.windows.updates.push([id, o]); return Promise.resolve({}); };
  chrome.permissions.contains = () => Promise.resolve(granted);
  chrome.runtime.onMessage = event();
  chrome.storage.session = {items: {}, get: () => Promise.resolve({}), set: () => Promise.resolve(),
                            remove: () => Promise.resolve()};
}

// A panel started for window 1 on TAB, the user having agreed; `looking`
// says whether its document is shown and focused.
// `notificationsLater`: the notifications' API comes only with its
// permission, after the page loaded (put it back from `later`).
// `firefox`: the browser is Firefox (Chromium has the "browser" name too).
async function startPanel({notificationsLater = false, firefox = false, ...options} = {}) {
  const chrome = fakeChrome({stored: {navletConsent: {agreed: true}}, tabs: {7: TAB}});
  attentionApis(chrome, options);
  const later = chrome.notifications;
  if (notificationsLater) delete chrome.notifications;
  if (firefox) chrome.runtime.getBrowserInfo = () => Promise.resolve({name: "Firefox"});
  const Module = fakeModule();
  const document = new FakeDocument();
  const view = {looking: false, focused: 0};
  document.visibilityState = "visible";
  document.hasFocus = () => view.looking;
  // The notification's picture is drawn on a canvas: every call a no-op.
  document.createElement = () => ({getContext: () => new Proxy({}, {get: () => () => {}, set: () => true}),
                                   toDataURL: () => "data:image/png;base64,"});
  const windowListeners = {};
  const window = {innerWidth: 300, innerHeight: 600, focus: () => ++view.focused,
                  addEventListener: (type, f) => { windowListeners[type] = f; }};
  load(["service.js", "consent.js", "panel.js"], {
    chrome, browser: chrome, Module, window, document, navigator: {language: "en-US"},
    location: {search: "?window=1", reload() {}}, console: {log() {}},
  });
  Module.onRuntimeInitialized();
  await settle();
  return {chrome, Module, view, windowListeners, later};
}

test("the badge counts while the panel is not looked at, and looking clears it", async () => {
  const {chrome, Module, view, windowListeners} = await startPanel();
  Module.navletAttention(0, "", false); // the bar's first word: nothing waits
  Module.navletAttention(1, "alice wrote to you", false);
  Module.navletAttention(140, "alice wrote to you", false);
  // Chromium badges the window's active tab (a window it refuses).
  assert.deepEqual(plain(chrome.action.badges), [{text: "", tabId: 7}, {text: "1", tabId: 7}, {text: "99", tabId: 7}]);
  assert.equal(Module.named("navlet_attention_seen").length, 0);
  assert.equal(chrome.notifications.made.length, 0, "not chosen: no notification");

  // Looking at the panel tells the bar, which counts 0 again.
  view.looking = true;
  windowListeners.focus();
  assert.equal(Module.named("navlet_attention_seen").length, 1);
  Module.navletAttention(0, "", false);
  assert.deepEqual(plain(chrome.action.badges.at(-1)), {text: "", tabId: 7});
  // A line that comes while the user looks is seen at once: no badge.
  Module.navletAttention(1, "bob wrote to you", false);
  assert.equal(Module.named("navlet_attention_seen").length, 2);
  assert.equal(chrome.action.badges.length, 4);

  // Firefox badges the panel's window.
  const firefox = await startPanel({firefox: true});
  firefox.Module.navletAttention(3, "alice wrote to you", false);
  assert.deepEqual(plain(firefox.chrome.action.badges), [{text: "3", windowId: 1}]);
});

test("a notification when chosen; its click brings the window and its panel back", async () => {
  const {chrome, Module, view, later} = await startPanel({granted: true, notificationsLater: true});
  Module.navletAttention(0, "", false);
  chrome.notifications = later; // granted now, as the user turns the choice on
  Module.navletAttention(0, "", true);
  Module.navletAttention(1, "alice wrote to you", true);
  assert.equal(chrome.notifications.made.length, 1);
  const [id, shown] = chrome.notifications.made[0];
  assert.equal(id, "navlet-1");
  assert.equal(shown.message, "alice wrote to you");

  chrome.notifications.onClicked.fire("navlet-2"); // another window's
  assert.deepEqual(chrome.windows.updates, []);
  chrome.notifications.onClicked.fire("navlet-1");
  assert.deepEqual(plain(chrome.windows.updates), [[1, {focused: true}]]);
  assert.deepEqual(plain(chrome.sidePanel.opened), [{windowId: 1}]);
  assert.equal(view.focused, 1);
});

test("the permission is asked when the user turns the choice on, and a stored choice is only checked", async () => {
  // Stored on, the permission since taken back: the choice goes off, and the
  // browser is not asked outside a click (it would refuse).
  const stored = await startPanel({granted: false});
  stored.Module.navletAttention(0, "", true);
  stored.Module.navletAttention(1, "alice wrote to you", true);
  await settle();
  assert.deepEqual(stored.chrome.permissions.requested, []);
  assert.equal(stored.Module.named("navlet_notifications_refused").length, 1);

  // Stored on and granted: nothing to ask, nothing turned off.
  const kept = await startPanel({granted: true});
  kept.Module.navletAttention(0, "", true);
  kept.Module.navletAttention(1, "alice wrote to you", true);
  await settle();
  assert.deepEqual(kept.chrome.permissions.requested, []);
  assert.equal(kept.Module.named("navlet_notifications_refused").length, 0);

  // Off, then turned on in the menu: asked once, within that click.
  const chosen = await startPanel({granted: false});
  chosen.Module.navletAttention(0, "", false);
  chosen.Module.navletAttention(0, "", true);
  chosen.Module.navletAttention(1, "alice wrote to you", true);
  await settle();
  assert.deepEqual(plain(chosen.chrome.permissions.requested), [{permissions: ["notifications"]}]);
  assert.equal(chosen.Module.named("navlet_notifications_refused").length, 0, "the fake grants");
});

test("the keyboard command opens the window's panel and its chat line takes the caret", async () => {
  const chrome = fakeChrome();
  attentionApis(chrome);
  chrome.commands = {onCommand: event()};
  chrome.runtime.onInstalled = event();
  chrome.runtime.sent = [];
  chrome.runtime.sendMessage = (m) => { chrome.runtime.sent.push(m); return Promise.resolve(); };
  const notes = [];
  chrome.storage.session.set = (n) => { notes.push(n); return Promise.resolve(); };
  load(["service.js", "background.js"], {chrome, importScripts() {}});

  chrome.commands.onCommand.fire("something-else", TAB);
  await settle();
  assert.deepEqual(chrome.runtime.sent, []);

  chrome.commands.onCommand.fire("open-chat", TAB);
  await settle();
  assert.deepEqual(plain(chrome.sidePanel.opened), [{windowId: 1}]);
  assert.equal(notes[0].focusChat.windowId, 1);
  assert.deepEqual(plain(chrome.runtime.sent), [{navlet: "focus-chat", windowId: 1}]);

  // A browser that throws at once instead of opening still tells an open panel.
  chrome.sidePanel.open = () => { throw new Error("no user gesture"); };
  chrome.commands.onCommand.fire("open-chat", TAB);
  await settle();
  assert.equal(chrome.runtime.sent.length, 2);

  // The panel of that window, and only that one, puts the caret in its chat line.
  const {chrome: panelChrome, Module, view} = await startPanel();
  panelChrome.runtime.onMessage.fire({navlet: "focus-chat", windowId: 2});
  assert.equal(Module.named("navlet_focus_chat").length, 0);
  panelChrome.runtime.onMessage.fire({navlet: "focus-chat", windowId: 1});
  assert.equal(Module.named("navlet_focus_chat").length, 1);
  assert.equal(view.focused, 1);
});
