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
Module.frameAnswers = [];
Module.navletCheckFrame = () => Promise.resolve(Module.frameAnswers.shift() ?? true);
// Elements only as far as the banner's frame needs them.
globalThis.document = {
  createElement: (tag) => ({tag, style: {}, attributes: {}, setAttribute(k, v) { this.attributes[k] = v; },
                           remove() { this.removed = true; }}),
};
