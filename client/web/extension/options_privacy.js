// The options page's second half: the consent given on the panel, taken
// back or given here; "Share: the site only / the page"; the never-reported
// sites. Each is stored as soon as it is changed (the list with its button,
// once it reads as host patterns), and the open panels take it at once.
"use strict";
(function () {
  const api = typeof browser !== "undefined" ? browser : chrome;
  const $ = (id) => document.getElementById(id);
  const consent = $("consent");
  const share = {site: $("share-site"), page: $("share-page")};
  const never = $("never");
  const defaults = $("never-defaults");
  const status = $("privacy-status");

  function say(text, isError) {
    status.textContent = text;
    status.className = isError ? "error" : "";
  }

  // What the page shows, as the bar would read it.
  let current = NavletConsent.privacy({});

  function show(stored) {
    current = NavletConsent.privacy(stored);
    consent.checked = NavletConsent.agreed(stored);
    share.site.checked = current.share === "site";
    share.page.checked = current.share === "page";
    never.value = current.patterns.join("\n");
    defaults.checked = current.defaults;
    let service = NavletService.parse(stored[NavletService.STORAGE_KEY]);
    if (!service.ok) service = NavletService.parse("");
    $("policy").href = `${service.origin}/privacy.asp`;
  }

  function store(entry, done) {
    return api.storage.local.set(entry).then(() => say(done, false),
                                             (e) => say(`Not saved: ${e.message || e}`, true));
  }

  function storePrivacy(change, done) {
    const next = Object.assign({}, current, change);
    return store(NavletConsent.privacyEntry(next), done).then(() => { current = next; });
  }

  consent.addEventListener("change", () => store(NavletConsent.consentEntry(consent.checked),
    consent.checked ? "Navlet may connect: the open panels sign in." :
      "Navlet is off: the open panels disconnect and ask again before sending anything."));
  for (const value of ["site", "page"]) {
    share[value].addEventListener("change", () => {
      if (!share[value].checked) return;
      storePrivacy({share: value}, value === "site" ? "Saved: Navlet reports the site only." :
        "Saved: Navlet reports the page, without its query or fragment.");
    });
  }
  defaults.addEventListener("change", () => storePrivacy({defaults: defaults.checked},
    defaults.checked ? "Saved: the built-in sites are never reported." :
      "Saved: only your own list keeps sites from being reported."));
  $("never-save").addEventListener("click", () => {
    const typed = NavletConsent.parsePatterns(never.value);
    if (typed.error) {
      say(`Not saved: ${typed.error}`, true);
      return Promise.resolve();
    }
    return storePrivacy({patterns: typed.patterns}, typed.patterns.length === 0 ?
      "Saved: no sites of your own are kept from being reported." :
      `Saved: ${typed.patterns.length} of your own sites are never reported.`)
      .then(() => { never.value = current.patterns.join("\n"); });
  });

  api.storage.local.get(null).then(show, () => show({}));
  // A panel's "Never report this site" or another options page.
  api.storage.onChanged.addListener((changes, area) => {
    if (area !== "local") return;
    if (NavletConsent.touchesPrivacy(changes) || NavletConsent.CONSENT_KEY in changes)
      api.storage.local.get(null).then(show, () => {});
  });
})();
