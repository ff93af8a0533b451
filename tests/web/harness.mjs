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
  // certificate made now for localhost and 127.0.0.1. With `barPort`, and
  // where nginx's stream module is installed, docs/nginx/navlet-stream.conf
  // too, in front of the bar port (its `streamPort` in the answer, else 0).
  // Resolves with nginx's port, the certificate's file and its key's SPKI
  // hash (what Chromium's --ignore-certificate-errors-spki-list trusts, that
  // key alone); null without nginx or openssl.
  async startTlsProxy(webPort, {barPort = 0} = {}) {
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
    const streamModule = ["/usr/lib/nginx/modules/ngx_stream_module.so",
      "/usr/share/nginx/modules/ngx_stream_module.so"].find((f) => fs.existsSync(f));
    const streamPort = barPort && streamModule ? await freePort() : 0;
    let streamLines = "";
    if (streamPort) {
      const stream = fs.readFileSync(path.join(repo, "docs/nginx/navlet-stream.conf"), "utf8")
        .replace("listen 4433 ssl", `listen 127.0.0.1:${streamPort} ssl`)
        .replace("server 127.0.0.1:8000;", `server 127.0.0.1:${barPort};`)
        .replace("/etc/letsencrypt/live/navlet.example.org/fullchain.pem", cert)
        .replace("/etc/letsencrypt/live/navlet.example.org/privkey.pem", key);
      if (!stream.includes(`listen 127.0.0.1:${streamPort} ssl`) || stream.includes("letsencrypt"))
        throw new Error("the nginx stream recipe changed shape");
      fs.writeFileSync(path.join(dir, "navlet-stream.conf"), stream);
      streamLines = `load_module ${streamModule};\ninclude ${dir}/navlet-stream.conf;\n`;
    }
    fs.writeFileSync(path.join(dir, "nginx.conf"), `daemon off;
pid ${dir}/nginx.pid;
error_log ${dir}/error.log;
${streamLines}include ${repo}/docs/nginx/navlet-workers.conf;
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
    await until("nginx", async () => await portOpen(tlsPort) && (!streamPort || await portOpen(streamPort)),
                {ms: 10000});
    const spki = new crypto.X509Certificate(fs.readFileSync(cert)).publicKey
      .export({type: "spki", format: "der"});
    return {tlsPort, streamPort, cert, accessLog: path.join(dir, "access.log"),
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

// ---- The panel as its user drives it, in Chromium and in Firefox ----
//
// The helpers below take a "page": a puppeteer page (Chromium), or the
// Firefox panel that bidiPanel makes, which answers the same calls
// (evaluate, mouse, keyboard, click, type, focus, screenshot, setViewport).

// A driver's command line: "--name value" pairs and the bare `flags`; exits
// 2 when one of `needed` is missing.
export function parseArgs(list, {needed = ["server", "chatbot", "extension", "out"], flags = ["measure"],
                                 defaults = {browser: "/usr/bin/chromium"}} = {}) {
  const out = {...defaults};
  for (const f of flags) out[f] = false;
  for (let i = 0; i < list.length; ++i) {
    const key = list[i].replace(/^--/, "");
    if (flags.includes(key)) out[key] = true;
    else out[key] = list[++i];
  }
  for (const name of needed)
    if (!out[name]) { console.error(`missing --${name}`); process.exit(2); }
  return out;
}

// What the panel shows: the ticker's line (its canvas says it as its
// label), the people, the chat tabs and the chosen one, an element's text
// and whether it shows, the banner area's height.
export const ticker = (page) => page.evaluate(() =>
  document.getElementById("msg_img").getAttribute("aria-label") || "");
export const people = (page) => page.evaluate(() =>
  [...document.querySelectorAll("#lvUsers .entry")].map((e) => e.textContent));
export const chatTabs = (page) => page.evaluate(() =>
  [...document.querySelectorAll("#PageControlTabs .tab")].map((e) => e.textContent));
export const activeTab = (page) => page.evaluate(() => {
  const tab = document.querySelector("#PageControlTabs .tab.active");
  return tab ? tab.textContent : "";
});
export const shown = (page, id) => page.evaluate((id) => {
  const e = document.getElementById(id);
  return !!e && e.getClientRects().length > 0 && getComputedStyle(e).display !== "none";
}, id);
export const text = (page, id) => page.evaluate((id) => {
  const e = document.getElementById(id);
  return e ? e.textContent : "";
}, id);
export const bannerHeight = (page) => page.evaluate(() =>
  document.getElementById("CentralPanel").getBoundingClientRect().height);
// The browser's tabs, all windows, as the extension sees them.
export const browserTabCount = (page) => page.evaluate(async () => {
  const api = typeof browser !== "undefined" ? browser : chrome;
  return (await api.tabs.query({})).length;
});

// The controls the column must show whole at every width.
export const COLUMN_CONTROLS = ["edNck", "edPwd", "sbLogin", "SearchBtn", "FriendsBtn", "NavletBtn",
  "ResizeBtn", "LEDBtn", "msg_img", "lvUsers", "PageControl", "Edit1", "sbSendTxt",
  "cbSearch", "edSearchMsg", "sbSearch", "lvFriends", "Label3", "Label5", "Label6", "Label7"];

// Every one of `ids` that shows lies whole inside the panel.
export async function expectControlsWhole(page, ids) {
  const cut = await page.evaluate((ids) => {
    const out = [];
    for (const id of ids) {
      const e = document.getElementById(id);
      if (!e || e.getClientRects().length === 0) continue; // on a hidden panel
      let hidden = false;
      for (let p = e; p; p = p.parentElement)
        if (getComputedStyle(p).display === "none") hidden = true;
      if (hidden) continue;
      const r = e.getBoundingClientRect();
      if (r.width < 8 || r.height < 8 || r.left < 0 || r.top < 0 ||
          r.right > innerWidth + 0.5 || r.bottom > innerHeight + 0.5)
        out.push(`${id} ${Math.round(r.left)},${Math.round(r.top)} ${Math.round(r.width)}x${Math.round(r.height)}`);
    }
    return out;
  }, ids);
  if (cut.length > 0) throw new Error(`cut off: ${cut.join("; ")}`);
}

// The first (or last) ticker button along its rows (a narrow panel's
// ticker has them on its second), found by the hand cursor the core sets
// over a button, and clicked at once.
export async function clickTickerButton(page, {fromRight = false} = {}) {
  const box = await page.evaluate(() => {
    const r = document.getElementById("msg_img").getBoundingClientRect();
    return {x: r.left, y: r.top, width: r.width, height: r.height};
  });
  for (const y of [box.height * 0.75, box.height * 0.25]) {
    for (let i = 2; i < box.width; i += 3) {
      const x = fromRight ? box.width - i : i;
      await page.mouse.move(Math.round(box.x + x), Math.round(box.y + y));
      const hand = await page.evaluate(() =>
        document.getElementById("msg_img").style.cursor === "pointer");
      if (hand) {
        await page.mouse.down();
        await page.mouse.up();
        return true;
      }
    }
  }
  return false;
}

export async function signInThroughLoginPanel(page, nick, password) {
  await until("the login panel", () => page.evaluate(() => {
    const e = document.getElementById("LoginPanel");
    return !!e && e.style.display !== "none";
  }), {retryErrors: true});
  await page.type("#edNck", nick);
  await page.type("#edPwd", password);
  await page.click("#sbLogin");
  await until("own entry", async () => (await people(page)).includes(nick));
}

// The panel at `width` x `height`, laid out again.
export async function resizePanel(page, width, height) {
  await page.setViewport({width, height});
  await until(`${width} px`, () => page.evaluate((w) =>
    document.getElementById("Form").getBoundingClientRect().width === w, width));
  await sleep(300);
}

// ---- Chromium ----

export function launchChromium(puppeteer, executable, extension, extraArgs = []) {
  return puppeteer.launch({
    executablePath: executable, headless: true, pipe: true, enableExtensions: [extension],
    args: ["--no-sandbox", "--headless=new", `--disable-extensions-except=${extension}`,
           `--load-extension=${extension}`, "--window-size=1000,700", ...extraArgs]});
}

// Waits for the extension's service worker, stores `items` from its options
// page (the service's address, consent), closes the install's sign-up tab
// and resolves with the extension's id and how many sign-up tabs came.
export async function extensionReady(browser, items) {
  const worker = await browser.waitForTarget((t) => t.type() === "service_worker" &&
    t.url().startsWith("chrome-extension://"), {timeout: 10000});
  const extensionId = new URL(worker.url()).host;
  const setup = await browser.newPage();
  await setup.goto(`chrome-extension://${extensionId}/options.html`);
  await setup.evaluate((items) => chrome.storage.local.set(items), items);
  const signUps = await setup.evaluate(CLOSE_SIGN_UP_TABS);
  await setup.close();
  return {extensionId, signUps};
}

// The panel page in a window of its own, as the side panel shows it,
// following the window named in `query`; its console lines go to `onConsole`.
export async function openChromiumPanel(browser, extensionId, query,
                                        {width = 300, height = 600, onConsole = null} = {}) {
  const cdp = await browser.target().createCDPSession();
  await cdp.send("Target.createTarget", {url: "about:blank", newWindow: true});
  const target = await browser.waitForTarget(
    (t) => t.type() === "page" && t.url() === "about:blank", {timeout: 10000});
  const page = await target.page();
  if (onConsole) page.on("console", (m) => onConsole(m.text()));
  page.on("pageerror", (e) => log(`panel error: ${e.message}`));
  await page.setViewport({width, height});
  await page.goto(`chrome-extension://${extensionId}/panel.html${query}`);
  return page;
}

// The window of the tab showing `site`, asked by a panel page that follows
// no window.
export async function siteWindow(browser, extensionId, site) {
  const probe = await openChromiumPanel(browser, extensionId, "?window=-1");
  try {
    return await probe.evaluate(async (site) => {
      const tabs = await chrome.tabs.query({});
      return tabs.find((t) => t.url.startsWith(`http://${site}`)).windowId;
    }, site);
  } finally {
    await probe.close();
  }
}

// The extension ready for the loopback service at `site` with consent given
// (a step of `run`), the site's page in the first tab and a panel following
// that page's window (`panelOptions` as openChromiumPanel takes them).
export async function panelBesideSite(run, browser, site, panelOptions) {
  let extensionId = "";
  await run.step("the extension loads", async () => {
    ({extensionId} = await extensionReady(browser, {[SERVICE_KEY]: site, ...CONSENT}));
  });
  const sitePage = (await browser.pages())[0];
  await sitePage.goto(`http://${site}/`);
  const windowId = await siteWindow(browser, extensionId, site);
  const panel = await openChromiumPanel(browser, extensionId, `?window=${windowId}`, panelOptions);
  return {extensionId, sitePage, windowId, panel};
}

// ---- Firefox ----

// A Firefox extension page driven over WebDriver BiDi in browsing context
// `context`, with the calls of a puppeteer page that the helpers above use.
// A page function's answer comes back as JSON.
export function bidiPanel(bidi, context) {
  const send = async (method, params) => {
    const answer = await bidi.send(method, params);
    const result = answer.result;
    if (result && result.type === "exception") throw new Error(result.exceptionDetails.text);
    return result;
  };
  const act = (actions) => send("input.performActions", {context, actions});
  const pointer = (steps) => act([{type: "pointer", id: "mouse", parameters: {pointerType: "mouse"},
                                   actions: steps}]);
  const keys = (values) => act([{type: "key", id: "keys",
    actions: values.flatMap((value) => [{type: "keyDown", value}, {type: "keyUp", value}])}]);
  const KEYS = {Enter: "\uE007", Tab: "\uE004", Escape: "\uE00C"};
  const page = {
    context,
    async evaluate(fn, ...args) {
      const result = await send("script.callFunction", {
        functionDeclaration: `async (json) => JSON.stringify((await (${fn})(...JSON.parse(json))) ?? null)`,
        arguments: [{type: "string", value: JSON.stringify(args)}],
        target: {context}, awaitPromise: true, resultOwnership: "none"});
      return JSON.parse(result.result.value);
    },
    mouse: {
      move: (x, y) => pointer([{type: "pointerMove", x: Math.round(x), y: Math.round(y)}]),
      down: () => pointer([{type: "pointerDown", button: 0}]),
      up: () => pointer([{type: "pointerUp", button: 0}]),
    },
    keyboard: {
      type: (t) => keys([...t]),
      press: (key) => keys([KEYS[key] || key]),
    },
    async click(selector) {
      const at = await page.evaluate((s) => {
        const r = document.querySelector(s).getBoundingClientRect();
        return {x: r.left + r.width / 2, y: r.top + r.height / 2};
      }, selector);
      await page.mouse.move(at.x, at.y);
      await page.mouse.down();
      await page.mouse.up();
    },
    async type(selector, t) {
      await page.click(selector);
      await page.keyboard.type(t);
    },
    focus: (selector) => page.evaluate((s) => { document.querySelector(s).focus(); }, selector),
    async screenshot({path: file}) {
      const shot = await send("browsingContext.captureScreenshot", {context});
      fs.writeFileSync(file, Buffer.from(shot.data, "base64"));
    },
    // The panel's window sized so that its page is `width` x `height`.
    async setViewport({width, height}) {
      await send("browsingContext.setViewport", {context, viewport: {width, height}});
    },
  };
  return page;
}

// ---- The column's flows, the same in both browsers ----

export const COLUMN_ACCOUNTS = [["demo", "demo"], ["caller", "callpw1"], ["alice", "alicepw"], ["bob", "bobpw1"]];

// A 240-px panel (the narrowest sidebar) on the site, not signed in: sign
// in, minimise and restore, a call's "accept invitation" clicked at once,
// two invitations (one left from the ticker, one shown). `bot(nick,
// password, steps, logName)` starts navlet-chatbot on the panel's site;
// screenshots are `prefix`-240-*.png in `out`. Resolves with the bots.
export async function columnFlows(run, page, {bot, out, prefix}) {
  const shot = (name) => page.screenshot({path: path.join(out, `${prefix}-${name}.png`)});
  await run.step("at 240 px the login panel is whole: boxes, sign in and the connection light", async () => {
    // The module builds its elements once it has started.
    await until("LoginPanel", () => page.evaluate(() => {
      const e = document.getElementById("LoginPanel");
      return !!e && e.style.display !== "none";
    }), {retryErrors: true});
    await expectControlsWhole(page, COLUMN_CONTROLS);
    await shot("240-login");
  });
  await run.step("sign in at 240 px", () => signInThroughLoginPanel(page, "demo", "demo"));
  await run.step("minimise collapses the banner area and restore brings it back", async () => {
    const open = await bannerHeight(page);
    await page.click("#ResizeBtn");
    await until("collapsed", async () => (await bannerHeight(page)) === 0);
    await expectControlsWhole(page, ["ResizeBtn", "LEDBtn", "lvUsers", "Edit1", "PageControl"]);
    // The keyboard reaches the restore button too.
    await page.focus("#ResizeBtn");
    await page.keyboard.press("Enter");
    await until("restored", async () => (await bannerHeight(page)) === open);
  });

  const caller = bot("caller", "callpw1", ["--call", "demo", "come over", "--wait-gone", "demo"], "caller.log");
  await run.step("a call's \"accept invitation\" clicked at once at 240 px opens its page", async () => {
    await until("the call", async () => (await ticker(page)).includes("accept invitation"));
    const before = await browserTabCount(page);
    await shot("240-call");
    if (!(await clickTickerButton(page))) throw new Error("no button under the mouse");
    await until("the new tab", async () => (await browserTabCount(page)) > before);
    await shot("240");
  });

  const alice = bot("alice", "alicepw", ["--invite", "demo", "--wait-gone", "demo"], "alice.log");
  const bob = bot("bob", "bobpw1", ["--invite", "demo", "--wait-gone", "demo"], "bob.log");
  await run.step("two invitations open two tabs without the focus, each with its ticker line", async () => {
    await until("three tabs", async () => (await chatTabs(page)).length === 3);
    if ((await activeTab(page)) !== "public chat") throw new Error(`${await activeTab(page)} took the focus`);
  });
  await run.step("an invitation left from the ticker closes its tab", async () => {
    await until("alice's line", async () =>
      (await ticker(page)).includes("alice invited you to a private chat"));
    if (!(await clickTickerButton(page, {fromRight: true}))) throw new Error("no leave button");
    await until("alice's tab gone", async () => !(await chatTabs(page)).some((t) => t.startsWith("alice")));
  });
  await run.step("an invitation shown from the ticker selects its tab", async () => {
    await until("bob's line", async () =>
      (await ticker(page)).includes("bob invited you to a private chat"));
    if (!(await clickTickerButton(page))) throw new Error("no show button");
    await until("bob's tab chosen", async () => (await activeTab(page)).startsWith("bob"));
    const hint = await page.evaluate(() => document.getElementById("Edit1").placeholder);
    if (hint !== "to bob") throw new Error(`the chat line says ${hint}`);
  });
  return {caller, alice, bob};
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
