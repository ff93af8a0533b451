// The toolbar button opens the window's Navlet panel, and so does the
// keyboard command, which also puts the caret in the panel's chat line; on
// install the service's sign-up page opens once in a tab of its own (never in
// the user's tab). Nothing else runs here: each panel document is one bar with
// its own session, started only once the user has agreed to what it sends.
"use strict";
const api = typeof browser !== "undefined" ? browser : chrome;
// Chromium's service worker loads the address parser itself; Firefox's
// background page has it from the manifest's list.
if (typeof NavletService === "undefined") importScripts("service.js");
if (api.sidePanel && api.sidePanel.setPanelBehavior)
  api.sidePanel.setPanelBehavior({openPanelOnActionClick: true}).catch(() => {});
else if (api.sidebarAction && api.action)
  api.action.onClicked.addListener(() => api.sidebarAction.toggle());

// The keyboard command: the window's panel opens (or is found) and its chat
// line takes the caret.
function openChat(command, tab) {
  if (command !== "open-chat") return;
  const windowId = tab ? tab.windowId : undefined;
  // Opened within the command's own user action, as the browsers require;
  // a browser that refuses may throw at once rather than reject.
  let opened;
  try {
    opened = api.sidePanel && api.sidePanel.open ?
      api.sidePanel.open({windowId}) : api.sidebarAction.open();
  } catch (e) {
    opened = Promise.reject(e);
  }
  // A panel already open hears the message; one that opens now finds the note.
  const note = {windowId, at: Date.now()};
  if (api.storage.session) api.storage.session.set({focusChat: note}).catch(() => {});
  Promise.resolve(opened).catch(() => {}).then(() =>
    api.runtime.sendMessage({navlet: "focus-chat", windowId}).catch(() => {}));
}
if (api.commands) api.commands.onCommand.addListener(openChat);

api.runtime.onInstalled.addListener((details) => {
  if (details.reason !== "install") return;
  api.storage.local.get(NavletService.STORAGE_KEY).then((stored) => {
    let service = NavletService.parse(stored[NavletService.STORAGE_KEY]);
    if (!service.ok) service = NavletService.parse("");
    return api.tabs.create({url: `${service.origin}/newuser.asp`, active: true});
  }).catch((e) => console.log("Navlet: the sign-up page could not be opened: " + e));
});
