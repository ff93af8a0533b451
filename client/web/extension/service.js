// The service's address as the user sets it on the options page, and what
// the panel makes of it. Encrypted unless the address says otherwise: a
// service on this machine (a local run or a test) is reached in plain text,
// as is one the user wrote with http:// or ws://.
"use strict";
// eslint-disable-next-line no-unused-vars
var NavletService = (function () {
  const DEFAULT_ADDRESS = "www.navlet.net";
  const STORAGE_KEY = "navletService";
  const SCHEMES = {"https:": true, "wss:": true, "http:": false, "ws:": false};

  function isLoopback(hostname) {
    const host = hostname.toLowerCase();
    return host === "localhost" || host.endsWith(".localhost") || host === "[::1]" ||
      /^127\.\d{1,3}\.\d{1,3}\.\d{1,3}$/.test(host);
  }

  // `text` as typed; an empty one is the service's own address. Returns
  // {ok: false, error} for what cannot name a service, else {ok: true,
  // address (the text to store), hostname, host (with a port that is not the
  // scheme's), port ("" for the scheme's), secure, loopback, warning (words
  // for an address that sends everything in clear, "" otherwise), origin
  // (the web site), sessionUrl, pattern (the host permission it needs)}.
  function parse(text) {
    const typed = String(text === undefined || text === null ? "" : text).trim() || DEFAULT_ADDRESS;
    const m = /^([a-z][a-z0-9+.-]*):\/\//i.exec(typed);
    const scheme = m ? m[1].toLowerCase() + ":" : "";
    if (scheme && !(scheme in SCHEMES))
      return {ok: false, error: `Navlet cannot reach a service over ${m[1]}://: use https:// or http://.`};
    const rest = typed.slice(m ? m[0].length : 0);
    let url;
    try {
      // The host first, as the scheme a bare loopback address gets depends on it.
      const loopback = isLoopback(new URL("http://" + rest).hostname);
      const secure = scheme ? SCHEMES[scheme] : !loopback;
      url = new URL((secure ? "https://" : "http://") + rest);
    } catch (e) {
      return {ok: false, error: `"${typed}" is not a host name or address.`};
    }
    if (!url.hostname)
      return {ok: false, error: `"${typed}" is not a host name or address.`};
    if (url.username || url.password)
      return {ok: false, error: "The address may not hold a user name or password."};
    if ((url.pathname !== "/" && url.pathname !== "/session") || url.search || url.hash)
      return {ok: false, error: "Give the service's host (and port) only, without a page."};
    const loopback = isLoopback(url.hostname);
    const secure = url.protocol === "https:";
    const address = (scheme ? (secure ? "https://" : "http://") : "") + url.host;
    const warning = secure || loopback ? "" :
      `Not encrypted: your password, your chat and the sites you visit travel in clear to ${url.host}, ` +
      "where anyone on the way can read or change them. Use this only for a service you run on a network you trust.";
    return {
      ok: true,
      address: address === DEFAULT_ADDRESS ? DEFAULT_ADDRESS : address,
      hostname: url.hostname,
      host: url.host,
      port: url.port,
      secure,
      loopback,
      warning,
      origin: `${secure ? "https" : "http"}://${url.host}`,
      sessionUrl: `${secure ? "wss" : "ws"}://${url.host}/session`,
      // Match patterns name no port: the host's every port.
      pattern: `${secure ? "https" : "http"}://${url.hostname}/*`,
    };
  }

  // The facts the bar's module takes for a parsed address: the service's
  // host name, whether it is encrypted, and its web site's host:port when the
  // port is not the scheme's.
  function facts(service) {
    const out = {service: service.hostname, secure: service.secure ? "1" : "0"};
    if (service.port) out.NAVLET_WEB = service.host;
    return out;
  }

  // Whether the address needs a host permission the manifest does not give.
  function needsPermission(service) {
    return parse(DEFAULT_ADDRESS).pattern !== service.pattern;
  }

  return {DEFAULT_ADDRESS, STORAGE_KEY, parse, facts, needsPermission};
})();
