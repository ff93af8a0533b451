// The page around the web kit, for its tests under node: a WebSocket the test
// drives, the storage hook, and the modal elements answering after a while.
"use strict";
Module.sockets = [];
globalThis.WebSocket = class {
  constructor(url) {
    this.url = url;
    this.readyState = 0;
    this.bufferedAmount = 0;
    this.sent = [];
    this.closed = false;
    Module.sockets.push(this);
  }
  send(bytes) { this.sent.push(Array.from(bytes)); }
  close() { this.closed = true; this.readyState = 3; }
};
Module.stored = {};
Module.navletStore = (entry) => Object.assign(Module.stored, entry);
// A menu chooses the id the test put in Module.menuChoice, after 20 ms.
Module.menusShown = 0;
Module.navletShowMenu = (entries) => {
  ++Module.menusShown;
  return new Promise((resolve) => setTimeout(() => resolve(Module.menuChoice || 0), 20));
};
Module.navletShowMessage = () => new Promise((resolve) => setTimeout(() => resolve(1), 20));
// The banner frame's checks answer in order ({framable, link}); a link the
// panel opens is recorded.
Module.frameAnswers = [];
Module.navletCheckFrame = () => Promise.resolve(Module.frameAnswers.shift() ?? {framable: true, link: ""});
Module.openedTabs = [];
Module.navletOpenTab = (link) => Module.openedTabs.push(link);
// Elements only as far as the banner's frame needs them: a frame in a panel
// at (0, 0) to (100, 20), and the document's click listeners.
Module.clickListeners = [];
globalThis.document = {
  createElement: (tag) => ({tag, style: {}, attributes: {}, parentElement: {style: {}},
                           setAttribute(k, v) { this.attributes[k] = v; },
                           getBoundingClientRect: () => ({left: 0, top: 0, right: 100, bottom: 20}),
                           remove() { this.removed = true; }}),
  addEventListener: (type, f) => { if (type === "click") Module.clickListeners.push(f); },
  removeEventListener: (type, f) => {
    Module.clickListeners = Module.clickListeners.filter((g) => g !== f);
  },
};
// A click at (x, y) on the frame's panel, or on something else above it.
Module.click = (x, y, onPanel) => {
  const frame = Object.values(Module.navletFrames)[0].frame;
  const event = {clientX: x, clientY: y, target: onPanel ? frame.parentElement : {}};
  Module.clickListeners.forEach((f) => f(event));
};
