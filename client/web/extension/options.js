// The options page: the service's address, checked as it is typed, tested
// by opening its session endpoint, and stored once the browser lets the
// extension reach it. The open panels start again on the new address.
"use strict";
(function () {
  const api = typeof browser !== "undefined" ? browser : chrome;
  const CHECK_MS = 10000;
  const address = document.getElementById("address");
  const warning = document.getElementById("warning");
  const status = document.getElementById("status");

  function say(text, isError) {
    status.textContent = text;
    status.className = isError ? "error" : "";
  }

  // The typed address judged: its error on the status line, its warning
  // (plain text to another machine) above the buttons.
  function judge() {
    const service = NavletService.parse(address.value);
    warning.hidden = !service.ok || !service.warning;
    warning.textContent = service.ok ? service.warning : "";
    if (!service.ok) say(service.error, true);
    else if (status.className === "error") say("", false);
    return service;
  }

  let checking = null; // the socket of the connection test under way
  function check() {
    const service = judge();
    if (!service.ok) return;
    if (checking) checking.close();
    let socket;
    try {
      socket = new WebSocket(service.sessionUrl);
    } catch (e) {
      say(`No connection to ${service.sessionUrl}: ${e.message}`, true);
      return;
    }
    checking = socket;
    say(`Connecting to ${service.sessionUrl}...`, false);
    const finish = (text, isError) => {
      if (checking !== socket) return;
      checking = null;
      clearTimeout(timer);
      socket.close();
      say(text, isError);
    };
    const timer = setTimeout(() => finish(`No answer from ${service.sessionUrl}.`, true), CHECK_MS);
    socket.onopen = () => finish(`The service answers at ${service.sessionUrl}.`, false);
    socket.onerror = () => finish(`No connection to ${service.sessionUrl}: ` +
      (service.secure ? "no service there, or its certificate is not trusted." : "no service there."), true);
  }

  // The address stored when the page opened or last saved.
  let saved = NavletService.parse("");

  // The host left behind is no longer the extension's to reach (the
  // manifest's own hosts cannot be removed, and stay).
  function forget(previous, service) {
    if (!NavletService.needsPermission(previous) || previous.pattern === service.pattern) return;
    api.permissions.remove({origins: [previous.pattern]}).catch(() => {});
  }

  function store(service) {
    return api.storage.local.set({[NavletService.STORAGE_KEY]: service.address}).then(() => {
      address.value = service.address;
      forget(saved, service);
      saved = service;
      say(`Saved: Navlet connects to ${service.origin}.`, false);
    }, (e) => say(`Not saved: ${e.message || e}`, true));
  }

  // The browser asks its user for a host the manifest does not name; the
  // request must come straight from the click.
  function save(event) {
    event.preventDefault();
    const service = judge();
    if (!service.ok) return Promise.resolve();
    if (!NavletService.needsPermission(service)) return store(service);
    return api.permissions.request({origins: [service.pattern]}).then((granted) => {
      if (granted) return store(service);
      say(`Not saved: Navlet needs your permission to reach ${service.hostname}.`, true);
      return undefined;
    }, (e) => say(`Not saved: ${e.message || e}`, true));
  }

  address.addEventListener("input", judge);
  document.getElementById("check").addEventListener("click", check);
  document.getElementById("form").addEventListener("submit", save);
  // An address in the page's own address (a local run's start script) is
  // offered for saving, never saved without the user.
  const offered = new URLSearchParams(location.search).get("address");
  api.storage.local.get(NavletService.STORAGE_KEY).then((stored) => {
    const previous = NavletService.parse(stored[NavletService.STORAGE_KEY]);
    if (previous.ok) saved = previous;
    address.value = offered || stored[NavletService.STORAGE_KEY] || NavletService.DEFAULT_ADDRESS;
    judge();
  }, () => judge());
})();
