// The service's address as the user types it: what is encrypted, what is
// refused, and what the module and the permission request get.
import assert from "node:assert/strict";
import {test} from "node:test";
import {load} from "./fakes.mjs";

const {NavletService} = load(["service.js"], {});
const parse = (text) => NavletService.parse(text);

test("encrypted unless the address asks for plain text or names this machine", () => {
  const cases = [
    // typed, stored as, session endpoint, warned
    ["", "www.navlet.net", "wss://www.navlet.net/session", false],
    ["chat.example:8443", "chat.example:8443", "wss://chat.example:8443/session", false],
    ["wss://chat.example:443/session", "https://chat.example", "wss://chat.example/session", false],
    ["HTTP://Chat.Example:80/", "http://chat.example", "ws://chat.example/session", true],
    ["ws://chat.example:81", "http://chat.example:81", "ws://chat.example:81/session", true],
    ["127.0.0.1:8080", "127.0.0.1:8080", "ws://127.0.0.1:8080/session", false],
    // A bare loopback address keeps the port it was given, 443 too.
    ["localhost:443", "localhost:443", "ws://localhost:443/session", false],
    ["[::1]:9000", "[::1]:9000", "ws://[::1]:9000/session", false],
    ["https://127.0.0.1:8443", "https://127.0.0.1:8443", "wss://127.0.0.1:8443/session", false],
    // Looks local, is not: 127.0.0.1.example is somebody's host.
    ["127.0.0.1.example", "127.0.0.1.example", "wss://127.0.0.1.example/session", false],
  ];
  for (const [typed, address, sessionUrl, warned] of cases) {
    const s = parse(typed);
    assert.equal(s.ok, true, typed);
    assert.deepEqual([s.address, s.sessionUrl, !!s.warning], [address, sessionUrl, warned], typed);
    // What is stored reads back as the same service.
    assert.equal(parse(s.address).sessionUrl, sessionUrl, `${typed} stored`);
  }
});

test("what cannot name a service is refused with a reason", () => {
  for (const typed of ["ftp://chat.example", "javascript://x", "https://", "chat example",
                       "https://user:pw@chat.example", "chat.example/login", "chat.example?x=1",
                       "chat.example#top", "chat.example:99999"]) {
    const s = parse(typed);
    assert.equal(s.ok, false, typed);
    assert.ok(s.error.length > 10, typed);
  }
});

test("the module's facts and the permission a host needs", () => {
  const plain = (x) => JSON.parse(JSON.stringify(x));
  assert.deepEqual(plain(NavletService.facts(parse(""))), {service: "www.navlet.net", secure: "1"});
  assert.deepEqual(plain(NavletService.facts(parse("http://chat.example:8080"))),
                   {service: "chat.example", secure: "0", NAVLET_WEB: "chat.example:8080"});
  assert.equal(NavletService.needsPermission(parse("www.navlet.net")), false);
  // The manifest grants the service's own host over https only.
  assert.equal(NavletService.needsPermission(parse("http://www.navlet.net")), true);
  assert.equal(parse("https://chat.example:8443").pattern, "https://chat.example/*");
  assert.equal(NavletService.needsPermission(parse("chat.example")), true);
});
