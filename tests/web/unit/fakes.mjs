// Small fakes of what the extension's scripts meet in a browser: the
// chrome.* calls they make, a document of plain elements, the bar's module,
// and a loader that runs the scripts in a context of their own.
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";
import {fileURLToPath} from "node:url";

const extension = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../../client/web/extension");

export function event() {
  const listeners = [];
  return {
    listeners,
    addListener: (f) => listeners.push(f),
    removeListener: (f) => listeners.splice(listeners.indexOf(f) >>> 0, 1),
    fire: (...args) => listeners.forEach((f) => f(...args)),
  };
}

// Storage whose get and set answer as the browser's do, recording the sets.
function storageArea(items) {
  return {
    items,
    sets: [],
    get(keys) {
      if (keys === null) return Promise.resolve({...items});
      const out = {};
      for (const k of [].concat(keys)) if (k in items) out[k] = items[k];
      return Promise.resolve(out);
    },
    set(entry) {
      this.sets.push(entry);
      Object.assign(items, entry);
      return Promise.resolve();
    },
  };
}

// `tabs`: {id: {id, windowId, url, active, status}}; tabs.get of any other
// id fails as it does for a tab that closed.
export function fakeChrome({stored = {}, tabs = {}, windowId = 1, grant = true} = {}) {
  const api = {
    storage: {local: storageArea(stored), onChanged: event()},
    tabs: {
      all: tabs,
      onActivated: event(),
      onUpdated: event(),
      // Answers are held until the test lets them go: release() in order,
      // or all at once.
      pending: [],
      get(id) {
        return new Promise((resolve, reject) => {
          api.tabs.pending.push(() => (id in tabs ? resolve({...tabs[id]}) : reject(new Error(`No tab with id: ${id}.`))));
        });
      },
      query: ({windowId: w}) => Promise.resolve(Object.values(tabs).filter((t) => t.windowId === w && t.active)),
      getCurrent: () => Promise.resolve(undefined),
      create: () => Promise.resolve({}),
    },
    windows: {
      getCurrent: () => Promise.resolve({id: windowId, type: "normal"}),
      getAll: () => Promise.resolve([{id: windowId}]),
      update: () => Promise.resolve({}),
    },
    runtime: {getManifest: () => ({version: "1.2.3.4"})},
    permissions: {
      requested: [],
      request(p) {
        api.permissions.requested.push(p);
        return Promise.resolve(grant);
      },
      removed: [],
      remove(p) {
        api.permissions.removed.push(p);
        return Promise.resolve(true);
      },
    },
  };
  return api;
}

export async function releaseAll(api) {
  while (api.tabs.pending.length) api.tabs.pending.shift()();
  await settle();
}

// Lets every promise chain that can move, move.
export const settle = () => new Promise((r) => setImmediate(r));

// An element with the parts the scripts use: children, listeners by type,
// class, text, value and the box it takes.
export class FakeElement {
  constructor(tag, doc) {
    this.tag = tag;
    this.doc = doc;
    this.children = [];
    this.listeners = {};
    this.className = "";
    this.textContent = "";
    this.value = "";
    this.hidden = false;
    this.style = {};
    this.dataset = {};
    this.attributes = {};
    this.id = "";
    this.parent = null;
  }
  appendChild(child) { child.parent = this; this.children.push(child); return child; }
  remove() {
    if (this.parent) this.parent.children.splice(this.parent.children.indexOf(this), 1);
    this.parent = null;
  }
  setAttribute(k, v) { this.attributes[k] = v; }
  addEventListener(type, f) { (this.listeners[type] ||= []).push(f); }
  removeEventListener(type, f) {
    const list = this.listeners[type] || [];
    if (list.includes(f)) list.splice(list.indexOf(f), 1);
  }
  dispatch(type, props = {}) {
    const e = {type, defaultPrevented: false, preventDefault() { this.defaultPrevented = true; },
               stopPropagation() {}, ...props};
    for (const f of [...(this.listeners[type] || [])]) f(e);
    return e;
  }
  click() { this.dispatch("click"); }
  focus() { this.doc.activeElement = this; }
  getBoundingClientRect() { return {left: 0, top: 0, right: 100, bottom: 20}; }
  get offsetWidth() { return 100; }
  get offsetHeight() { return 20; }
  getContext() {
    return {createImageData: (w, h) => ({data: new Uint8ClampedArray(w * h * 4)}), putImageData() {}};
  }
  find(predicate) {
    for (const c of this.children) {
      if (predicate(c)) return c;
      const inner = c.find(predicate);
      if (inner) return inner;
    }
    return null;
  }
}

export class FakeDocument extends FakeElement {
  constructor(ids = []) {
    super("#document", null);
    this.doc = this;
    this.body = new FakeElement("body", this);
    for (const id of ids) {
      const e = this.body.appendChild(new FakeElement("div", this));
      e.id = id;
    }
  }
  createElement(tag) { return new FakeElement(tag, this); }
  createTextNode(text) {
    const node = new FakeElement("#text", this);
    node.textContent = text;
    return node;
  }
  getElementById(id) { return this.body.find((e) => e.id === id); }
  listenerCount(type) { return (this.listeners[type] || []).length; }
}

// Runs the named scripts of the extension, in order, in one context made of
// `globals` (with the timers, URL and console of node).
export function load(files, globals) {
  const context = vm.createContext({URL, URLSearchParams, setTimeout, clearTimeout, console, Promise,
                                    ...globals});
  for (const f of files)
    vm.runInContext(fs.readFileSync(path.join(extension, f), "utf8"), context, {filename: f});
  return context;
}

// The bar's module as the panel's glue sees it: its calls recorded.
export function fakeModule() {
  const calls = [];
  return {calls, ccall: (name, ret, types, args) => calls.push([name, ...args]),
          named: (name) => calls.filter((c) => c[0] === name).map((c) => c.slice(1))};
}
