// The toolbar button opens the window's Navlet panel, and so does the
// keyboard command, which also puts the caret in the panel's chat line.
// Nothing else runs here: each panel document is one bar with its own session.
"use strict";
const api = typeof browser !== "undefined" ? browser : chrome;
if (api.sidePanel && api.sidePanel.setPanelBehavior)
  api.sidePanel.setPanelBehavior({openPanelOnActionClick: true}).catch(() => {});
else if (api.sidebarAction && api.action)
  api.action.onClicked.addListener(() => api.sidebarAction.toggle());

if (api.commands)
  api.commands.onCommand.addListener((command, tab) => {
    if (command !== "open-chat") return;
    const windowId = tab ? tab.windowId : undefined;
    // Opened within the command's own user action, as the browsers require.
    const opened = api.sidePanel && api.sidePanel.open ?
      api.sidePanel.open({windowId}) : api.sidebarAction.open();
    // A panel already open hears the message; one that opens now finds the note.
    const note = {windowId, at: Date.now()};
    if (api.storage.session) api.storage.session.set({focusChat: note}).catch(() => {});
    Promise.resolve(opened).catch(() => {}).then(() =>
      api.runtime.sendMessage({navlet: "focus-chat", windowId}).catch(() => {}));
  });
