// The toolbar button opens the window's Navlet panel. Nothing else runs here:
// each panel document is one bar with its own session.
"use strict";
const api = typeof browser !== "undefined" ? browser : chrome;
if (api.sidePanel && api.sidePanel.setPanelBehavior)
  api.sidePanel.setPanelBehavior({openPanelOnActionClick: true}).catch(() => {});
else if (api.sidebarAction && api.action)
  api.action.onClicked.addListener(() => api.sidebarAction.toggle());
