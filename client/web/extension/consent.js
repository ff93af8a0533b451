// What the user agreed to, and the settings of what of a page leaves the
// browser, as the panel and the options page both read and write them. The
// privacy settings are the bar's own registry values ("share", "neverreport",
// "neverreportdefaults"), so the bar reads what the options page wrote.
"use strict";
// eslint-disable-next-line no-unused-vars
var NavletConsent = (function () {
  const CONSENT_KEY = "navletConsent";
  const SETTINGS = "HKCU\\Software\\Navlet\\";
  const SHARE_ITEM = SETTINGS + "share";
  const NEVER_ITEM = SETTINGS + "neverreport";
  const DEFAULTS_ITEM = SETTINGS + "neverreportdefaults";
  const PRIVACY_ITEMS = [SHARE_ITEM, NEVER_ITEM, DEFAULTS_ITEM];
  // The bar's values: 0 the page (without query and fragment), 1 the site.
  const SHARE_PAGE = 0;
  const SHARE_SITE = 1;
  const INTEGER = 2;
  const STRING = 1;

  // The registry's integer: four little-endian bytes, one per character.
  function integerItem(name, value) {
    const v = value >>> 0;
    return {name, type: INTEGER,
            data: String.fromCharCode(v & 255, (v >>> 8) & 255, (v >>> 16) & 255, (v >>> 24) & 255)};
  }
  function readInteger(entry, fallback) {
    if (!entry || entry.type !== INTEGER || typeof entry.data !== "string" || entry.data.length !== 4)
      return fallback;
    const d = entry.data;
    return (d.charCodeAt(0) | (d.charCodeAt(1) << 8) | (d.charCodeAt(2) << 16) | (d.charCodeAt(3) << 24)) >>> 0;
  }

  // Whether the stored items hold the user's yes.
  function agreed(stored) {
    const c = stored[CONSENT_KEY];
    return Boolean(c && c.agreed === true);
  }

  // The stored privacy settings, the extension's defaults where none is
  // stored: {share: "site"|"page", patterns: [...], defaults: bool}.
  function privacy(stored) {
    const never = stored[NEVER_ITEM];
    return {
      share: readInteger(stored[SHARE_ITEM], SHARE_SITE) === SHARE_PAGE ? "page" : "site",
      patterns: never && never.type === STRING ? parsePatterns(never.data).patterns : [],
      defaults: readInteger(stored[DEFAULTS_ITEM], 1) !== 0,
    };
  }

  // A never-reported list as typed (one pattern a line, or separated by
  // spaces, commas or semicolons, as the bar reads it): {patterns, error}
  // with the first pattern that is no host pattern named. Host names are
  // kept to ASCII (the bar's settings hold no other letters): a name in
  // other letters is written as the browser's address bar shows it encoded.
  function parsePatterns(text) {
    const patterns = [];
    for (const raw of String(text || "").split(/[\s,;]+/)) {
      if (!raw) continue;
      const one = raw.toLowerCase();
      if (!/^(\[[0-9a-f:.*]+\]|[a-z0-9*._-]+)(:[0-9*]+)?(\/[\x21-\x7e]*)?$/.test(one) ||
          /[?#@]/.test(one) || one.length > 253)
        return {patterns, error: `"${raw}" is not a host pattern such as *.bank.example or example.com/login.`};
      if (!patterns.includes(one)) patterns.push(one);
    }
    return {patterns, error: ""};
  }

  // The storage entry that writes `settings` ({share, patterns, defaults})
  // as the bar's values.
  function privacyEntry(settings) {
    return {
      [SHARE_ITEM]: integerItem("share", settings.share === "page" ? SHARE_PAGE : SHARE_SITE),
      [NEVER_ITEM]: {name: "neverreport", type: STRING, data: settings.patterns.join(" ")},
      [DEFAULTS_ITEM]: integerItem("neverreportdefaults", settings.defaults ? 1 : 0),
    };
  }

  function consentEntry(yes) {
    return {[CONSENT_KEY]: {agreed: yes}};
  }

  // Whether a storage change touches what of a page the bar may report.
  function touchesPrivacy(changes) {
    return PRIVACY_ITEMS.some((item) => item in changes);
  }

  function element(doc, tag, text, className) {
    const e = doc.createElement(tag);
    if (text) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  // The two "Share" choices as radio buttons named `name`, `current` checked.
  function shareChoice(doc, name, current) {
    const box = element(doc, "fieldset", "", "share");
    box.appendChild(element(doc, "legend", "Share"));
    const inputs = {};
    for (const [value, words] of [["site", "the site only (www.example.com)"],
                                  ["page", "the page (www.example.com/news/today), never its query or fragment"]]) {
      const label = element(doc, "label");
      const input = element(doc, "input");
      input.type = "radio";
      input.name = name;
      input.value = value;
      input.checked = value === current;
      label.appendChild(input);
      label.appendChild(element(doc, "span", " " + words));
      box.appendChild(label);
      inputs[value] = input;
    }
    return {box, value: () => (inputs.page.checked ? "page" : "site"), inputs};
  }

  // The consent panel in `parent`: what is sent, to whom, why, the privacy
  // policy, the Share choice and two buttons. `service` is the parsed
  // service address; `onAnswer(yes, share)` runs once per click.
  function showPanel(doc, parent, service, current, onAnswer) {
    const panel = element(doc, "section", "", "consent");
    panel.id = "consent";
    panel.setAttribute("aria-labelledby", "consent-title");
    const title = element(doc, "h1", "Before Navlet connects");
    title.id = "consent-title";
    panel.appendChild(title);
    const facts = [
      ["What is sent", "the site of the tab you are looking at (or its page, as you choose below), " +
        "your nick and password when you sign in, and the chat lines you write."],
      ["To whom", `the Navlet service at ${service.host}` +
        (service.secure ? ", encrypted." : `, in clear (${service.warning || "not encrypted"}).`)],
      ["Why", "so that the service can show you the other Navlet users on the same site " +
        "and carry your public and private chats. Nothing is sent for sign-in, banking and " +
        "local sites on the never-reported list, which you can change in the options."],
    ];
    const list = element(doc, "dl");
    for (const [term, words] of facts) {
      list.appendChild(element(doc, "dt", term));
      list.appendChild(element(doc, "dd", words));
    }
    panel.appendChild(list);
    const policy = element(doc, "a", "The privacy policy: what is kept, for how long, and how to delete it");
    policy.href = `${service.origin}/privacy.asp`;
    policy.target = "_blank";
    policy.rel = "noopener";
    panel.appendChild(element(doc, "p")).appendChild(policy);
    const share = shareChoice(doc, "consent-share", current.share);
    panel.appendChild(share.box);
    const buttons = element(doc, "div", "", "buttons");
    const yes = element(doc, "button", "Agree and connect");
    yes.id = "consent-agree";
    yes.type = "button";
    const no = element(doc, "button", "Not now");
    no.id = "consent-decline";
    no.type = "button";
    buttons.appendChild(yes);
    buttons.appendChild(no);
    panel.appendChild(buttons);
    const note = element(doc, "p", "", "note");
    note.id = "consent-note";
    note.setAttribute("role", "status");
    panel.appendChild(note);
    yes.addEventListener("click", () => onAnswer(true, share.value()));
    no.addEventListener("click", () => {
      note.textContent = "Navlet stays off: nothing is sent. Agree above whenever you want to use it.";
      onAnswer(false, share.value());
    });
    parent.appendChild(panel);
    return panel;
  }

  return {CONSENT_KEY, PRIVACY_ITEMS, agreed, privacy, parsePatterns, privacyEntry, consentEntry,
          touchesPrivacy, shareChoice, showPanel};
})();
