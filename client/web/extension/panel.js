// The panel page's host glue: it reads the stored settings whole (the
// service's address among them), learns its window and the window's active
// tab, asks the user's consent the first time, starts the bar's module and
// then tells it of the tab's loads, the panel's size and the panel's closing. The page is one bar; the browser
// opens one panel document per window.
"use strict";
(function () {
  const api = typeof browser !== "undefined" ? browser : chrome;
  const params = new URLSearchParams(location.search);
  const state = {windowId: null, tabId: null, url: "", complete: false, started: false};

  // The user's locale id, as the other hosts take it from the system: 13
  // languages by their main country; any other counts as English.
  const LCIDS = {da: 0x0406, nl: 0x0413, en: 0x0409, fi: 0x040b, fr: 0x040c, de: 0x0407,
                 hu: 0x040e, it: 0x0410, pl: 0x0415, pt: 0x0816, es: 0x0c0a, sv: 0x041d,
                 tr: 0x041f};
  function userLcid() {
    const tag = (navigator.language || "en-US").toLowerCase();
    if (tag === "pt-br") return 0x0416;
    return LCIDS[tag.split("-")[0]] || 0x0409;
  }

  function call(name, types, args) { return Module.ccall(name, null, types, args); }

  // "HKCU\Software\Navlet\nck" -> the hive, the key's path and the value's name.
  function loadItem(item, entry) {
    const m = /^(HKCU|HKCR)\\(.*)\\([^\\]*)$/.exec(item);
    if (!m || !entry || typeof entry.data !== "string") return;
    const bytes = new Uint8Array(entry.data.length);
    for (let i = 0; i < entry.data.length; ++i) bytes[i] = entry.data.charCodeAt(i) & 255;
    call("navlet_registry_load", ["number", "string", "string", "number", "array", "number"],
         [m[1] === "HKCR" ? 1 : 0, m[2], entry.name || m[3], entry.type | 0, bytes, bytes.length]);
  }

  Module.navletStore = function (entry) {
    api.storage.local.set(entry).catch(function (e) {
      console.log("Navlet: the settings could not be written: " + e);
    });
  };

  Module.navletOpenTab = function (link) {
    const props = {windowId: state.windowId};
    if (link) props.url = link; // the bar gives only http and https addresses
    api.tabs.create(props).catch(function (e) { console.log("Navlet: no new tab: " + e); });
  };
  Module.navletFlash = function () {
    if (api.windows && state.windowId !== null)
      api.windows.update(state.windowId, {drawAttention: true}).catch(function () {});
  };

  // Attention: the toolbar button's badge counts private lines and calls
  // while the panel is not looked at; with the user's choice, the desktop
  // hears of them too. Looking at the panel clears both.
  function lookedAt() {
    return typeof document === "undefined" ||
      (document.visibilityState === "visible" && document.hasFocus());
  }
  // The notification's picture: the bar's blue with its initial.
  function notifyIcon() {
    const canvas = document.createElement("canvas");
    canvas.width = canvas.height = 48;
    const ctx = canvas.getContext("2d");
    ctx.fillStyle = "#1f5fa8";
    ctx.fillRect(0, 0, 48, 48);
    ctx.fillStyle = "#fff";
    ctx.font = "bold 34px system-ui, sans-serif";
    ctx.textAlign = "center";
    ctx.textBaseline = "middle";
    ctx.fillText("N", 24, 26);
    return canvas.toDataURL();
  }
  function setBadge(count) {
    if (!api.action || !api.action.setBadgeText || state.windowId === null) return;
    const text = count > 0 ? String(Math.min(count, 99)) : "";
    // Firefox badges a window; Chromium only a tab, the window's active one
    // (and refuses a window). Chromium has the "browser" name too: Firefox
    // is known by a call of its own.
    const firefox = !!api.runtime.getBrowserInfo;
    const where = firefox ? {windowId: state.windowId} : {tabId: state.tabId};
    if (where.tabId === null) return;
    try {
      Promise.resolve(api.action.setBadgeText(Object.assign({text: text}, where))).catch(function () {});
    } catch (e) {
      console.log("Navlet: no badge: " + e.message);
    }
  }
  // The notifications' choice as this page last heard it; null before the
  // bar's first word, which is the stored choice.
  let notifyWas = null;
  const NOTIFICATIONS = {permissions: ["notifications"]};
  // The choice goes off unless the permission is held; a request that
  // fails (one the browser will not ask about) may still find it held.
  function notificationsAllowed(asked) {
    const held = function () { return api.permissions.contains(NOTIFICATIONS); };
    asked.then(function (yes) { return yes || held(); }, held).then(function (yes) {
      if (!yes) call("navlet_notifications_refused", [], []);
    }, function () { call("navlet_notifications_refused", [], []); });
  }
  Module.navletAttention = function (count, latest, notify) {
    if (notify && notifyWas !== true && api.permissions) {
      // The browser asks only within the user's click (the menu's): a choice
      // stored on earlier is checked, never asked about again.
      notificationsAllowed(notifyWas === false ? api.permissions.request(NOTIFICATIONS)
                                              : api.permissions.contains(NOTIFICATIONS));
    }
    notifyWas = notify;
    if (count === 0) { setBadge(0); return; }
    if (lookedAt()) { call("navlet_attention_seen", [], []); return; }
    setBadge(count);
    if (notify && api.notifications) {
      hearNotificationClicks();
      api.notifications.create("navlet-" + state.windowId, {
        type: "basic", iconUrl: notifyIcon(), title: "Navlet", message: latest,
      }).catch(function () {});
    }
  };
  function seen() { if (state.started && lookedAt()) call("navlet_attention_seen", [], []); }
  window.addEventListener("focus", seen);
  if (typeof document !== "undefined") document.addEventListener("visibilitychange", seen);
  // The API comes with its permission, which may be granted after the page
  // loaded: the click is listened to once it is there.
  let clicksHeard = false;
  function hearNotificationClicks() {
    if (clicksHeard || !api.notifications || !api.notifications.onClicked) return;
    clicksHeard = true;
    api.notifications.onClicked.addListener(function (id) {
      if (id !== "navlet-" + state.windowId) return;
      api.windows.update(state.windowId, {focused: true}).catch(function () {});
      if (api.sidePanel && api.sidePanel.open)
        api.sidePanel.open({windowId: state.windowId}).catch(function () {});
      window.focus();
    });
  }
  hearNotificationClicks();
  // The keyboard command opened (or found) this window's panel.
  if (api.runtime.onMessage) api.runtime.onMessage.addListener(function (message) {
    if (message && message.navlet === "focus-chat" && message.windowId === state.windowId &&
        state.started) {
      window.focus();
      call("navlet_focus_chat", [], []);
    }
  });

  function tabState(url, complete) {
    state.url = url || "";
    state.complete = complete;
    if (state.started) call("navlet_tab_state", ["string", "number"], [state.url, complete ? 1 : 0]);
  }

  function followTabs() {
    api.tabs.onActivated.addListener(function (info) {
      if (info.windowId !== state.windowId) return;
      api.tabs.get(info.tabId).then(function (tab) {
        // Another switch may have come first while this one was asked about.
        if (state.tabId !== info.tabId) return;
        // Switching tabs shows another document: the band hears it complete.
        tabState(tab.url, true);
      }, function () {
        // The tab closed before it could be asked about: the next switch or
        // load tells what shows.
      });
      state.tabId = info.tabId;
    });
    api.tabs.onUpdated.addListener(function (tabId, change, tab) {
      if (tab.windowId !== state.windowId || !tab.active) return;
      state.tabId = tabId;
      if (change.status === "complete") tabState(tab.url, true);
      else if (change.url) tabState(change.url, false);
    });
  }

  // The side panel follows its own window. The page opened as a tab or in a
  // window of its own follows another browser window: the one named in its
  // address, or the first other normal window.
  function whichWindow() {
    const asked = parseInt(params.get("window") || "", 10);
    if (!isNaN(asked)) return Promise.resolve(asked);
    return Promise.all([api.windows.getCurrent(), api.tabs.getCurrent()]).then(function (found) {
      const own = found[0].id;
      // A side panel's window is a normal window, and the panel is no tab.
      if (found[0].type === "normal" && !found[1]) return own;
      return api.windows.getAll({windowTypes: ["normal"]}).then(function (all) {
        const other = all.find(function (w) { return w.id !== own; });
        return other ? other.id : own;
      });
    });
  }

  // The service the options page set; its own when none or a broken one is
  // stored (the options page stores only what it could parse).
  function storedService(stored) {
    const service = NavletService.parse(stored[NavletService.STORAGE_KEY]);
    if (service.ok) return service;
    console.log("Navlet: the stored service address is not usable: " + service.error);
    return NavletService.parse("");
  }

  // Resolves with the stored items once the user has agreed to what Navlet
  // sends: at once when that is stored, else when the consent panel's
  // "agree" is clicked here, or consent is given in another panel or the
  // options page. Until then the module is not started: nothing connects.
  function consented(stored) {
    if (NavletConsent.agreed(stored)) return Promise.resolve(stored);
    return new Promise(function (resolve) {
      let answered = false;
      let shown = null;
      function done(items) {
        if (answered) return;
        answered = true;
        api.storage.onChanged.removeListener(elsewhere);
        if (shown) shown.remove();
        resolve(Object.assign({}, stored, items));
      }
      function elsewhere(changes, area) {
        const change = changes[NavletConsent.CONSENT_KEY];
        if (area !== "local" || !change || !NavletConsent.agreed({[NavletConsent.CONSENT_KEY]: change.newValue}))
          return;
        api.storage.local.get(null).then(done, function () { done({}); });
      }
      api.storage.onChanged.addListener(elsewhere);
      const current = NavletConsent.privacy(stored);
      shown = NavletConsent.showPanel(document, document.body, storedService(stored), current,
        function (yes, share) {
          if (!yes) return;
          const entry = Object.assign(NavletConsent.consentEntry(true),
                                      NavletConsent.privacyEntry(Object.assign(current, {share: share})));
          api.storage.local.set(entry).then(function () { done(entry); }, function (e) {
            console.log("Navlet: the consent could not be stored: " + e);
          });
        });
    });
  }

  const ready = Promise.all([api.storage.local.get(null), whichWindow()])
    .then(function (all) {
      state.windowId = all[1];
      return api.tabs.query({active: true, windowId: state.windowId}).then(function (tabs) {
        if (tabs.length > 0) {
          state.tabId = tabs[0].id;
          state.url = tabs[0].url || "";
          state.complete = tabs[0].status === "complete";
        }
        return {stored: all[0]};
      });
    });

  Module.onRuntimeInitialized = function () {
    ready.then(function (found) {
      return consented(found.stored);
    }).then(function (stored) {
      for (const item in stored) loadItem(item, stored[item]);
      const facts = Object.assign(NavletService.facts(storedService(stored)), {
        version: api.runtime.getManifest().version,
        lcid: String(userLcid()),
      });
      for (const name in facts)
        call("navlet_set_fact", ["string", "string"], [name, String(facts[name])]);
      followTabs();
      api.storage.onChanged.addListener(function (changes, area) {
        if (area !== "local") return;
        // Another service, or the consent taken back: the bar starts again,
        // signed in there or asking first.
        const consent = changes[NavletConsent.CONSENT_KEY];
        if (NavletService.STORAGE_KEY in changes ||
            (consent && !NavletConsent.agreed({[NavletConsent.CONSENT_KEY]: consent.newValue}))) {
          location.reload();
          return;
        }
        for (const item in changes) if (changes[item].newValue) loadItem(item, changes[item].newValue);
        // The options page changed what of a page leaves the browser: the
        // bar judges the shown page again now, not on the next load.
        if (NavletConsent.touchesPrivacy(changes)) call("navlet_privacy_changed", [], []);
      });
      state.started = true;
      call("navlet_start", ["number", "number", "string", "number"],
           [window.innerWidth, window.innerHeight, state.url, state.complete ? 1 : 0]);
      window.addEventListener("resize", function () {
        call("navlet_panel_resized", ["number", "number"], [window.innerWidth, window.innerHeight]);
      });
      window.addEventListener("pagehide", function () { call("navlet_panel_closing", [], []); });
      // Opened by the keyboard command a moment ago: the caret goes to the chat line.
      if (api.storage.session)
        api.storage.session.get("focusChat").then(function (got) {
          if (got.focusChat && got.focusChat.windowId === state.windowId &&
              Date.now() - got.focusChat.at < 5000) {
            api.storage.session.remove("focusChat");
            call("navlet_focus_chat", [], []);
          }
        }).catch(function () {});
    }).catch(function (e) { console.log("Navlet: the panel could not start: " + e); });
  };
})();
