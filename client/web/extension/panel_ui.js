// The panel's modal elements (popup menus, message boxes, the About and report
// boxes) and
// the few page services the bar's module asks for. Each modal step answers
// through a promise; the bar's module waits for it without blocking the page.
"use strict";
var Module = typeof Module !== "undefined" ? Module : {};

(function () {
  function element(tag, cls, parent) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    (parent || document.body).appendChild(e);
    return e;
  }

  // Opens a menu of entries ({caption, id, enabled, checked, separator,
  // submenu}) at (x, y) of the anchor element (the page when none); resolves
  // with the chosen id, 0 when closed without a choice.
  Module.navletShowMenu = function (entries, anchorId, x, y) {
    return new Promise(function (resolve) {
      const anchor = anchorId ? document.getElementById(anchorId) : null;
      const origin = anchor ? anchor.getBoundingClientRect() : {left: 0, top: 0};
      const shade = element("div", "navlet-shade");
      const opened = [];
      function close(id) {
        shade.remove();
        opened.forEach(function (m) { m.remove(); });
        document.removeEventListener("keydown", onKey, true);
        resolve(id);
      }
      function onKey(e) {
        if (e.key === "Escape") { e.preventDefault(); e.stopPropagation(); close(0); }
      }
      function open(items, left, top, level) {
        while (opened.length > level) opened.pop().remove();
        const menu = element("div", "navlet-menu");
        menu.setAttribute("role", "menu");
        opened.push(menu);
        items.forEach(function (item) {
          if (item.separator) { element("div", "separator", menu); return; }
          let cls = "item";
          if (!item.enabled) cls += " disabled";
          if (item.checked) cls += " checked";
          if (item.submenu) cls += " popup";
          const row = element("div", cls, menu);
          row.textContent = item.caption;
          row.dataset.id = item.id;
          row.addEventListener("mouseenter", function () {
            if (item.submenu) {
              const r = row.getBoundingClientRect();
              open(item.submenu, r.right - 2, r.top, level + 1);
            } else {
              while (opened.length > level + 1) opened.pop().remove();
            }
          });
          row.addEventListener("click", function (e) {
            e.stopPropagation();
            if (item.submenu || !item.enabled) return;
            close(item.id);
          });
        });
        // Kept inside the panel.
        const w = menu.offsetWidth, h = menu.offsetHeight;
        menu.style.left = Math.max(0, Math.min(left, window.innerWidth - w)) + "px";
        menu.style.top = Math.max(0, Math.min(top, window.innerHeight - h)) + "px";
      }
      shade.addEventListener("mousedown", function () { close(0); });
      shade.addEventListener("contextmenu", function (e) { e.preventDefault(); close(0); });
      document.addEventListener("keydown", onKey, true);
      open(entries, origin.left + x, origin.top + y, 0);
    });
  };

  // Escape closes every box, as its own OK would; the listener goes with the
  // box however it closes.
  function box(build) {
    return new Promise(function (resolve) {
      const shade = element("div", "navlet-shade");
      const dialog = element("div", "navlet-box");
      dialog.setAttribute("role", "dialog");
      function onKey(e) {
        if (e.key === "Escape") { e.preventDefault(); e.stopPropagation(); close(0); }
      }
      function close(result) {
        document.removeEventListener("keydown", onKey, true);
        shade.remove();
        dialog.remove();
        resolve(result);
      }
      document.addEventListener("keydown", onKey, true);
      build(dialog, close);
    });
  }

  // An information box; resolves when it is closed.
  Module.navletShowMessage = function (text) {
    return box(function (dialog, close) {
      element("div", "text", dialog).textContent = text;
      const ok = element("button", "", element("div", "buttons", dialog));
      ok.textContent = "OK";
      ok.addEventListener("click", function () { close(1); });
      ok.focus();
    });
  };

  // The About box: its picture with the version over it, and OK.
  Module.navletShowAbout = function (caption, version, okText, picture) {
    return box(function (dialog, close) {
      dialog.id = "AboutForm";
      element("div", "text", dialog).textContent = caption;
      const canvas = element("canvas", "", dialog);
      canvas.width = picture.width;
      canvas.height = picture.height;
      const ctx = canvas.getContext("2d");
      const image = ctx.createImageData(picture.width, picture.height);
      for (let i = 0; i < picture.pixels.length; ++i) {
        const p = picture.pixels[i];
        image.data[i * 4] = (p >>> 16) & 255;
        image.data[i * 4 + 1] = (p >>> 8) & 255;
        image.data[i * 4 + 2] = p & 255;
        image.data[i * 4 + 3] = (p >>> 24) & 255;
      }
      ctx.putImageData(image, 0, 0);
      element("div", "text", dialog).textContent = version;
      const ok = element("button", "", element("div", "buttons", dialog));
      ok.textContent = okText;
      ok.addEventListener("click", function () { close(1); });
      ok.focus();
    });
  };

  // The report box from the form the bar describes ({caption, prompt,
  // reasons, reason, textLabel, text, textMaxLength, alsoIgnoreCaption,
  // alsoIgnore, okCaption, cancelCaption}); the user's answers go back into
  // the form. Resolves with 1 for the report, 0 when cancelled.
  Module.navletShowReport = function (form) {
    return box(function (dialog, close) {
      dialog.id = "ReportForm";
      dialog.setAttribute("aria-label", form.caption);
      element("div", "text title", dialog).textContent = form.caption;
      element("div", "text", dialog).textContent = form.prompt;
      const reasons = element("div", "reasons", dialog);
      reasons.setAttribute("role", "radiogroup");
      const ok = document.createElement("button");
      const radios = form.reasons.map(function (caption, i) {
        const label = element("label", "", reasons);
        const radio = element("input", "", label);
        radio.type = "radio";
        radio.name = "navlet-reason";
        radio.value = String(i);
        radio.checked = i === form.reason;
        // A report names its reason: the report button waits for one.
        radio.addEventListener("change", function () { ok.disabled = false; });
        label.appendChild(document.createTextNode(caption));
        return radio;
      });
      const textLabel = element("label", "line", dialog);
      textLabel.appendChild(document.createTextNode(form.textLabel));
      const text = element("input", "", textLabel);
      text.id = "ReportText";
      text.type = "text";
      text.value = form.text;
      if (form.textMaxLength > 0) text.maxLength = form.textMaxLength;
      const also = element("label", "check", dialog);
      const alsoBox = element("input", "", also);
      alsoBox.id = "AlsoIgnore";
      alsoBox.type = "checkbox";
      alsoBox.checked = form.alsoIgnore;
      also.appendChild(document.createTextNode(form.alsoIgnoreCaption));
      const buttons = element("div", "buttons", dialog);
      buttons.appendChild(ok);
      ok.textContent = form.okCaption;
      ok.disabled = !radios.some(function (r) { return r.checked; });
      const cancel = element("button", "", buttons);
      cancel.textContent = form.cancelCaption;
      function answer(result) {
        form.reason = radios.findIndex(function (r) { return r.checked; });
        form.text = text.value;
        form.alsoIgnore = alsoBox.checked;
        close(result);
      }
      ok.addEventListener("click", function () { answer(1); });
      cancel.addEventListener("click", function () { close(0); });
      text.addEventListener("keydown", function (e) {
        if (e.key === "Enter" && !ok.disabled) { e.preventDefault(); answer(1); }
      });
      (radios[0] || text).focus();
    });
  };

  // The selection inside a conversation element as [start, length] in the
  // characters of its text (lines end with one "\n"), or null.
  Module.navletSelectionIn = function (view) {
    const sel = window.getSelection();
    if (!sel || sel.rangeCount === 0) return null;
    function offsetOf(node, offset) {
      let line = node.nodeType === 1 ? node : node.parentElement;
      while (line && line.parentElement !== view) line = line.parentElement;
      if (!line) return null;
      let count = line.navletOffset || 0;
      const walker = document.createTreeWalker(line, NodeFilter.SHOW_TEXT);
      for (let t = walker.nextNode(); t; t = walker.nextNode()) {
        if (t === node) return count + offset;
        count += t.textContent.length;
      }
      return count;
    }
    const range = sel.getRangeAt(0);
    const a = offsetOf(range.startContainer, range.startOffset);
    const b = offsetOf(range.endContainer, range.endOffset);
    if (a === null || b === null) return null;
    return [Math.min(a, b), Math.abs(b - a)];
  };

  // The first http or https link of a banner page's text, "" when none.
  function firstLink(html, pageUrl) {
    const doc = new DOMParser().parseFromString(html, "text/html");
    const base = doc.querySelector("base[href]");
    const a = doc.querySelector("a[href], area[href]");
    if (!a) return "";
    try {
      const link = new URL(a.getAttribute("href"), new URL(base ? base.getAttribute("href") : "", pageUrl));
      return link.protocol === "http:" || link.protocol === "https:" ? link.href : "";
    } catch (e) {
      return "";
    }
  }

  // Whether a banner page may be shown in the frame (it answers without an
  // HTTP error and does not forbid framing), and its link:
  // {framable, link}.
  Module.navletCheckFrame = function (url) {
    const refused = {framable: false, link: ""};
    return fetch(url, {method: "GET", credentials: "omit", cache: "no-store", referrerPolicy: "no-referrer"})
      .then(function (r) {
        if (!r.ok) return refused;
        const xfo = (r.headers.get("x-frame-options") || "").toLowerCase();
        if (xfo.includes("deny") || xfo.includes("sameorigin")) return refused;
        const csp = (r.headers.get("content-security-policy") || "").toLowerCase();
        const ancestors = /frame-ancestors([^;]*)/.exec(csp);
        if (ancestors && !/(^|\s)\*(\s|$)/.test(ancestors[1])) return refused;
        return r.text().then(function (html) { return {framable: true, link: firstLink(html, r.url)}; },
                             function () { return {framable: true, link: ""}; });
      }, function () { return refused; });
  };

  Module.navletConsoleLine = function (line) {
    console.log("Navlet server: " + line);
    let log = document.getElementById("ConsoleForm");
    if (!log) {
      log = element("div", "");
      log.id = "ConsoleForm";
      log.title = "Navlet Server Output (double-click to hide)";
      log.addEventListener("dblclick", function () { log.style.display = "none"; });
    }
    log.style.display = "block";
    log.textContent += line + "\n";
  };
})();
