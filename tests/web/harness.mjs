// What the browser end-to-end drivers share: loopback ports, the programs
// they start (each logging to a file in the run's work folder), the service
// with its accounts, the extension's local copy, and the steps with their
// count and the run's end.
import {spawn, spawnSync} from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

export const STEP_MS = 30000;

// Where the extension keeps the service's address (chrome.storage.local), as
// its options page writes it.
export const SERVICE_KEY = "navletService";
// What the consent panel's "agree" stores: the runs that are not about
// consent start with it given.
export const CONSENT = {navletConsent: {agreed: true}};

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.on("error", reject);
    s.listen(0, "127.0.0.1", () => { const {port} = s.address(); s.close(() => resolve(port)); });
  });
}

export function portOpen(port) {
  return new Promise((resolve) => {
    const c = net.connect(port, "127.0.0.1", () => { c.destroy(); resolve(true); });
    c.on("error", () => resolve(false));
  });
}

// For an extension page to evaluate: waits (3 s at most) for the sign-up
// tab the extension opens on install, closes it so that the run's own tab
// is its window's active one, and answers how many there were. (Chromium
// loading an unpacked extension from the command line may not report it as
// installed: no tab then.)
export const CLOSE_SIGN_UP_TABS = `(async () => {
  const api = typeof browser !== "undefined" ? browser : chrome;
  for (let i = 0; i < 30; ++i) {
    const found = (await api.tabs.query({}))
      .filter((t) => (t.pendingUrl || t.url || "").endsWith("/newuser.asp"));
    if (found.length) {
      await api.tabs.remove(found.map((t) => t.id));
      return found.length;
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  return 0;
})()`;

// One command to the service's admin endpoint; resolves with its answer's
// lines up to the closing OK (an ERR rejects).
export function adminCommand(adminPort, command) {
  return new Promise((resolve, reject) => {
    let text = "";
    const c = net.connect(adminPort, "127.0.0.1", () => c.write(command + "\n"));
    c.setEncoding("utf8");
    c.on("data", (d) => {
      text += d;
      if (!/^(OK|ERR)/m.test(text)) return;
      c.destroy();
      if (/^ERR/m.test(text)) reject(new Error(`${command}: ${text.trim()}`));
      else resolve(text.split("\n").filter((l) => l.startsWith("* ")).map((l) => l.slice(2)));
    });
    c.on("error", reject);
  });
}

// The service's count of open session connections (STATS).
export async function connectionCount(adminPort) {
  const line = (await adminCommand(adminPort, "STATS")).find((l) => l.startsWith("connections "));
  if (!line) throw new Error("STATS gave no connection count");
  return Number(line.split(" ")[1]);
}

export const log = (text) => console.log(`[${(performance.now() / 1000).toFixed(1)} s] ${text}`);

// Polls `probe` until it returns something truthy, at most `ms`, every
// `every` ms. A probe that throws fails the wait at once, unless
// `retryErrors` (a page that is still loading may not answer yet): then the
// last error is named when the time runs out.
export async function until(what, probe, {ms = STEP_MS, every = 100, retryErrors = false} = {}) {
  const end = performance.now() + ms;
  let lastError = null;
  for (;;) {
    let value = null;
    try {
      value = await probe();
    } catch (e) {
      if (!retryErrors) throw e;
      lastError = e;
    }
    if (value) return value;
    if (performance.now() > end)
      throw new Error(`timed out waiting for ${what}${lastError ? ` (last: ${lastError.message})` : ""}`);
    await sleep(every);
  }
}

// One run of a driver: its work folder, the children it starts and its
// steps' count.
export class Run {
  constructor(prefix) {
    this.work = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
    this.children = [];
    this.passed = 0;
    this.failed = 0;
  }

  // Starts `program` logging to `logName` in the work folder; the child's
  // `done` is a promise of its exit code, 127 for a program that did not
  // start (which would otherwise end the driver with its browser still open).
  start(program, argv, logName) {
    const out = fs.openSync(path.join(this.work, logName), "w");
    const child = spawn(program, argv, {stdio: ["ignore", out, out]});
    this.children.push(child);
    child.done = new Promise((resolve) => {
      child.on("exit", (code) => resolve(code));
      child.on("error", (e) => {
        fs.writeSync(out, `${program} did not start: ${e.message}\n`);
        resolve(127);
      });
    });
    return child;
  }

  // A named step: logged and counted; a failure ends the run.
  async step(name, body) {
    try {
      await body();
      ++this.passed;
      log(`ok   ${name}`);
    } catch (e) {
      ++this.failed;
      log(`FAIL ${name}: ${e.message}`);
      throw e;
    }
  }

  // navlet-server on three free loopback ports, its data folder made and
  // given to `prepare` first, with `accounts` ([nick, password] pairs).
  // Resolves when its web site answers.
  async startService(server, accounts, {prepare = () => {}, args = []} = {}) {
    const [sessionPort, webPort, adminPort] = [await freePort(), await freePort(), await freePort()];
    const data = path.join(this.work, "data");
    fs.mkdirSync(data);
    prepare(data);
    for (const [nick, pwd] of accounts)
      spawnSync(server, ["--data", data, "account", "add", nick, pwd], {stdio: "ignore"});
    this.start(server, ["--data", data, "--listen", `127.0.0.1:${sessionPort}`,
      "--web", `127.0.0.1:${webPort}`, "--admin", `127.0.0.1:${adminPort}`, ...args], "server.log");
    await until("the service", () => portOpen(webPort), {ms: 10000});
    return {sessionPort, webPort, adminPort, site: `127.0.0.1:${webPort}`};
  }

  // The extension as a developer loads it for a local run: the built folder
  // copied, with the loopback host among its granted hosts (the panel asks a
  // banner page for itself before it frames it); `edit` may change the
  // manifest further. The service's address is a setting: see
  // SERVICE_KEY.
  localExtension(source, edit = () => {}) {
    const dir = path.join(this.work, "extension");
    fs.cpSync(source, dir, {recursive: true});
    const manifest = JSON.parse(fs.readFileSync(path.join(dir, "manifest.json"), "utf8"));
    manifest.host_permissions.push("http://127.0.0.1/*");
    edit(manifest);
    fs.writeFileSync(path.join(dir, "manifest.json"), JSON.stringify(manifest, null, 1));
    return dir;
  }

  // nginx in front of the service's web site with docs/nginx/navlet-tls.conf
  // as it is (its port, upstream, name and certificate replaced), the
  // certificate made now for localhost and 127.0.0.1. Resolves with nginx's
  // port, the certificate's file and its key's SPKI hash (what Chromium's
  // --ignore-certificate-errors-spki-list trusts, that key alone); null
  // without nginx or openssl.
  async startTlsProxy(webPort) {
    const nginx = ["/usr/sbin/nginx", "/usr/bin/nginx"].find((f) => fs.existsSync(f));
    if (!nginx || spawnSync("openssl", ["version"]).status !== 0) return null;
    const dir = path.join(this.work, "nginx");
    fs.mkdirSync(dir);
    const cert = path.join(dir, "cert.pem");
    const key = path.join(dir, "key.pem");
    const made = spawnSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
      "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
      "-keyout", key, "-out", cert]);
    if (made.status !== 0) throw new Error(`openssl: ${made.stderr}`);
    const tlsPort = await freePort();
    const repo = path.resolve(path.dirname(new URL(import.meta.url).pathname), "../..");
    const recipe = fs.readFileSync(path.join(repo, "docs/nginx/navlet-tls.conf"), "utf8");
    const edited = recipe
      .replace("listen 443 ssl;", `listen 127.0.0.1:${tlsPort} ssl;`)
      .replace("server 127.0.0.1:8080;", `server 127.0.0.1:${webPort};`)
      .replace("server_name navlet.example.org;", "server_name localhost;")
      .replace("/etc/letsencrypt/live/navlet.example.org/fullchain.pem", cert)
      .replace("/etc/letsencrypt/live/navlet.example.org/privkey.pem", key);
    if (!edited.includes(`listen 127.0.0.1:${tlsPort} ssl;`) || edited.includes("letsencrypt"))
      throw new Error("the nginx recipe changed shape");
    fs.writeFileSync(path.join(dir, "navlet.conf"), edited);
    fs.writeFileSync(path.join(dir, "nginx.conf"), `daemon off;
pid ${dir}/nginx.pid;
error_log ${dir}/error.log;
include ${repo}/docs/nginx/navlet-workers.conf;
http {
    access_log ${dir}/access.log;
    client_body_temp_path ${dir}/body;
    proxy_temp_path ${dir}/proxy;
    fastcgi_temp_path ${dir}/fastcgi;
    uwsgi_temp_path ${dir}/uwsgi;
    scgi_temp_path ${dir}/scgi;
    include ${dir}/navlet.conf;
}
`);
    this.start(nginx, ["-p", dir, "-c", path.join(dir, "nginx.conf"), "-e", path.join(dir, "error.log")],
               "nginx.log");
    await until("nginx", () => portOpen(tlsPort), {ms: 10000});
    const spki = new crypto.X509Certificate(fs.readFileSync(cert)).publicKey
      .export({type: "spki", format: "der"});
    return {tlsPort, cert, accessLog: path.join(dir, "access.log"),
            spki: crypto.createHash("sha256").update(spki).digest("base64")};
  }

  // Stops the children still running and prints the named logs that exist.
  stop(logNames) {
    for (const c of this.children) if (c.exitCode === null) c.kill();
    for (const name of logNames) {
      const file = path.join(this.work, name);
      if (fs.existsSync(file)) console.log(`-- ${name}\n${fs.readFileSync(file, "utf8")}`);
    }
  }

  // Runs `main`, prints the count and exits: 0 only when main resolved and
  // no step failed. The work folder is kept, and named, after a failure.
  finish(main) {
    main().then(() => 0, (e) => { log(e.stack || String(e)); return 1; }).then((code) => {
      console.log(`${this.passed} passed, ${this.failed} failed`);
      const status = code || (this.failed ? 1 : 0);
      if (status === 0) fs.rmSync(this.work, {recursive: true, force: true});
      else console.log(`logs kept in ${this.work}`);
      process.exit(status);
    });
  }
}

// ---- The people in the panel: the lists' entries, their menus, the report
// box and the friends panel, driven through the panel's own elements ----

// The captions of a people list's entries ("lvUsers" or "lvFriends").
export const entries = (page, list = "lvUsers") => page.evaluate((list) =>
  [...document.querySelectorAll(`#${list} .entry`)].map((e) => e.textContent), list);

// Clicks `nick`'s entry in the list, which opens its menu, and chooses the
// enabled item captioned `caption`.
export async function chooseInEntryMenu(page, list, nick, caption) {
  const entry = await until(`${nick} in ${list}`, () => page.evaluateHandle((list, nick) =>
    [...document.querySelectorAll(`#${list} .entry`)].find((e) => e.textContent === nick), list, nick)
    .then((h) => h.asElement()));
  await entry.click();
  const item = await until(`"${caption}" in the menu`, () => page.evaluateHandle((caption) =>
    [...document.querySelectorAll(".navlet-menu .item")]
      .find((e) => e.textContent === caption && !e.classList.contains("disabled")), caption)
    .then((h) => h.asElement()));
  await item.click();
}

// Answers the open report box: the reason's radio button, the words typed,
// "also ignore" as asked, then the report button; `shoot` is called with
// the box filled in, before it is sent.
export async function sendReport(page, {reason, words, alsoIgnore = true, shoot = async () => {}}) {
  await until("the report box", () => page.$("#ReportForm"));
  const radio = await page.evaluateHandle((reason) =>
    [...document.querySelectorAll("#ReportForm input[type=radio]")]
      .find((r) => r.parentElement.textContent === reason), reason);
  if (!radio.asElement()) throw new Error(`no reason "${reason}" in the report box`);
  await radio.asElement().click();
  await page.type("#ReportText", words);
  if (await page.$eval("#AlsoIgnore", (e) => e.checked) !== alsoIgnore) await page.click("#AlsoIgnore");
  await shoot();
  const send = await page.evaluateHandle(() =>
    [...document.querySelectorAll("#ReportForm button")].find((b) => !b.disabled && b.textContent === "Report"));
  if (!send.asElement()) throw new Error("the report button is not there or not enabled");
  await send.asElement().click();
  await until("the report box closed", async () => !(await page.$("#ReportForm")));
}

// Whether `nick`'s entry in the friends panel shows the friend here: the
// green dot in the lower right corner of its state image.
export const friendShownHere = (page, nick) => page.evaluate((nick) => {
  const entry = [...document.querySelectorAll("#lvFriends .entry")].find((e) => e.textContent === nick);
  const canvas = entry && entry.querySelector("canvas");
  if (!canvas) return false;
  const scale = canvas.width / 12;
  const [r, g, b] = canvas.getContext("2d").getImageData(Math.floor(9.3 * scale), Math.floor(9.3 * scale), 1, 1).data;
  return g > 120 && r < 90 && b < 110;
}, nick);

// The service's reports, newest first, as REPORTS ALL lists them.
export async function serviceReports(adminPort) {
  return (await adminCommand(adminPort, "REPORTS ALL")).map((line) => {
    const [id, when, reporter, target, reason, state, site] = line.split(" ");
    return {id, when, reporter, target, reason, state, site};
  });
}

// One report's words as REPORT ID gives them, its %XX escapes read as the
// UTF-8 bytes they stand for.
export async function reportWords(adminPort, id) {
  const line = (await adminCommand(adminPort, `REPORT ${id}`)).find((l) => l === "text" || l.startsWith("text "));
  if (line === undefined) throw new Error(`report ${id} has no text line`);
  const escaped = line.slice("text ".length);
  const bytes = [];
  for (let i = 0; i < escaped.length; ++i) {
    if (escaped[i] === "%") {
      bytes.push(parseInt(escaped.slice(i + 1, i + 3), 16));
      i += 2;
    } else {
      bytes.push(escaped.charCodeAt(i));
    }
  }
  return Buffer.from(bytes).toString("utf8");
}
