// The extension signing in over wss:// through nginx (docs/nginx/navlet-tls.conf
// as it is, a certificate made at test time that the browser trusts by its key
// alone), and over ws:// straight to a loopback service; the time from opening
// the panel to "You're connected" each way. With --qt-peer, the panel over
// wss chats with a Linux bar (navlet-qt-peer) that holds its session inside
// TLS through the stream recipe (docs/nginx/navlet-stream.conf) beside it.
//
//   node extension_wss_test.mjs --server BIN --extension DIR --out DIR
//                               [--qt-peer BIN] [--browser BIN] [--runs N]
//
// Exits 0 when every step passed, 77 without nginx or openssl.
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {CLOSE_SIGN_UP_TABS, CONSENT, Run, SERVICE_KEY, log, ticker, until} from "./harness.mjs";

const args = {browser: "/usr/bin/chromium", runs: "1"};
for (let i = 2; i < process.argv.length; i += 2) args[process.argv[i].slice(2)] = process.argv[i + 1];
for (const needed of ["server", "extension", "out"])
  if (!args[needed]) { console.error(`missing --${needed}`); process.exit(2); }
const runs = Math.max(1, parseInt(args.runs, 10) || 1);
const run = new Run("navlet-wss-");

const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

async function main() {
  // One account per sign-in: a panel closed does not wait for its session's end.
  const accounts = Array.from({length: 2 * runs + 1}, (_, i) => [`tls${i}`, `pw${i}`]);
  const service = await run.startService(args.server, [...accounts, ["qtbar", "qtpw"]],
                                         {args: ["--trusted-proxy", "127.0.0.1"]});
  const tls = await run.startTlsProxy(service.webPort, {barPort: service.sessionPort});
  if (!tls) {
    console.log("no nginx or openssl: skipped");
    run.stop([]);
    process.exit(77);
  }
  const extension = run.localExtension(args.extension, (m) => m.host_permissions.push("https://localhost/*"));
  const browser = await puppeteer.launch({
    executablePath: args.browser, headless: true, pipe: true, enableExtensions: [extension],
    args: ["--no-sandbox", "--headless=new", `--disable-extensions-except=${extension}`,
           `--load-extension=${extension}`, `--ignore-certificate-errors-spki-list=${tls.spki}`]});
  try {
    let worker = null; // the extension page that sets things up
    let extensionId = "";
    await run.step("the extension's service worker starts", async () => {
      const target = await browser.waitForTarget((t) => t.type() === "service_worker" &&
        t.url().startsWith("chrome-extension://"), {timeout: 10000});
      extensionId = new URL(target.url()).host;
      // The worker stops when idle: an extension page of its own stores the
      // settings and asks for the tabs instead.
      worker = await browser.newPage();
      await worker.goto(`chrome-extension://${extensionId}/options.html`);
      await worker.evaluate(CLOSE_SIGN_UP_TABS);
    });
    const site = (await browser.pages())[0];
    await site.goto(`https://localhost:${tls.tlsPort}/`);
    const windowId = await worker.evaluate(async (port) =>
      (await chrome.tabs.query({})).find((t) => t.url.includes(`localhost:${port}`)).windowId, tls.tlsPort);

    // A panel on `address` with no stored sign-in, signed in as `account`
    // through its login panel; resolves with the time to "You're connected".
    let next = 0;
    const signIn = async (address, {keep = false} = {}) => {
      const [nick, pwd] = accounts[next++];
      await worker.evaluate(async (key, value, consent) => {
        await chrome.storage.local.clear();
        await chrome.storage.local.set({[key]: value, ...consent});
      }, SERVICE_KEY, address, CONSENT);
      const at = performance.now();
      const panel = await browser.newPage();
      await panel.setViewport({width: 300, height: 600});
      await panel.goto(`chrome-extension://${extensionId}/panel.html?window=${windowId}`);
      await until("the login panel", () => panel.evaluate(() => {
        const e = document.getElementById("LoginPanel");
        return !!e && getComputedStyle(e).display !== "none";
      }), {retryErrors: true});
      // The panel is a tab of the site's window itself: with the site's tab
      // in front again (now that the panel follows tabs) it reports the site
      // instead of pausing on its own page.
      await site.bringToFront();
      await panel.evaluate((n, p) => {
        for (const [id, v] of [["edNck", n], ["edPwd", p]]) {
          const e = document.getElementById(id);
          e.focus();
          e.value = v;
          e.dispatchEvent(new Event("input"));
        }
        document.getElementById("sbLogin").click();
      }, nick, pwd);
      await until(`"You're connected" on ${address}`, async () => (await ticker(panel)).includes("You're connected"));
      const ms = performance.now() - at;
      if (keep) return {ms, panel};
      await panel.close();
      return {ms};
    };

    const secure = `https://localhost:${tls.tlsPort}`;
    const plain = service.site;
    const times = {wss: [], ws: []};
    let wssPanel = null;
    await run.step("the panel signs in over wss:// through nginx", async () => {
      const {ms, panel} = await signIn(secure, {keep: true});
      times.wss.push(ms);
      await panel.screenshot({path: path.join(args.out, "panel-wss.png")});
      wssPanel = panel;
    });
    const qtPeerWhyNot = !args["qt-peer"] || !fs.existsSync(args["qt-peer"]) ? `no Linux bar (${args["qt-peer"]})`
      : !tls.streamPort ? "no nginx stream module" : "";
    if (qtPeerWhyNot) {
      log(`skipped the Linux bar over TLS: ${qtPeerWhyNot}`);
    } else {
      await run.step("the panel over wss and a Linux bar over TLS chat through nginx", async () => {
        const QT_LINE = "hello from Linux over tls";
        const PANEL_LINE = "hello back over wss";
        const people = () => wssPanel.evaluate(() =>
          [...document.querySelectorAll("#lvUsers .entry")].map((e) => e.textContent));
        const chat = () => wssPanel.evaluate(() => document.getElementById("ChatView")?.textContent || "");
        // On the panel's site, trusting the certificate nginx shows.
        process.env.NAVLET_SERVER = `tls://localhost:${tls.streamPort}`;
        process.env.NAVLET_TLS_CA = tls.cert;
        const qtBar = run.start(args["qt-peer"], ["qtbar", "qtpw", accounts[0][0], QT_LINE, PANEL_LINE,
                                                  `https://localhost:${tls.tlsPort}/`], "qt-peer.log");
        delete process.env.NAVLET_SERVER;
        delete process.env.NAVLET_TLS_CA;
        await until("the Linux bar on the panel's list", async () => (await people()).includes("qtbar"),
                    {ms: 60000, every: 250});
        await until("the Linux bar's line", async () => (await chat()).includes(QT_LINE), {ms: 60000, every: 250});
        // Typed into the chat line and sent; the panel is a tab behind the
        // site's (in front, it would pause on its own page), where puppeteer's
        // clicks wait for a paint that never comes.
        await wssPanel.evaluate((line) => {
          const e = document.getElementById("Edit1");
          e.click(); // a hidden tab gets no focus event: the click enters the line
          e.value = line;
          e.dispatchEvent(new Event("input"));
          document.getElementById("sbSendTxt").click();
        }, PANEL_LINE);
        await until("the panel's own line", async () => (await chat()).includes(PANEL_LINE));
        const code = await qtBar.done;
        if (code !== 0)
          throw new Error(`navlet-qt-peer exited ${code}: ${fs.readFileSync(path.join(run.work, "qt-peer.log"), "utf8")}`);
        await wssPanel.screenshot({path: path.join(args.out, "panel-wss-linux-tls.png")});
      });
    }
    await run.step("the wss session is nginx's", async () => {
      await wssPanel.close();
      // nginx logs a WebSocket session when it ends.
      await until("the session in nginx's log", () => fs.readFileSync(tls.accessLog, "utf8").split("\n")
        .some((l) => l.includes("GET /session") && l.includes(" 101 ")));
    });
    await run.step("sign-ins by turns: ws:// straight to loopback, wss:// through nginx", async () => {
      for (let i = 0; i < runs; ++i) {
        times.ws.push((await signIn(plain)).ms);
        if (i + 1 < runs) times.wss.push((await signIn(secure)).ms);
      }
    });
    await run.step("the options page shows the stored address and warns in words about plain text", async () => {
      const page = await browser.newPage();
      await page.setViewport({width: 480, height: 320});
      await page.goto(`chrome-extension://${extensionId}/options.html`);
      // The last sign-in's address, ws:// to loopback, is the stored one.
      await until("the stored address", () => page.$eval("#address", (e) => e.value.length > 0));
      const shownAddress = await page.$eval("#address", (e) => e.value);
      if (shownAddress !== plain) throw new Error(`the page shows ${shownAddress}`);
      await page.$eval("#address", (e) => { e.value = ""; });
      await page.type("#address", "http://chat.example");
      const warning = await page.$eval("#warning", (e) => (e.hidden ? "" : e.textContent));
      if (!warning.startsWith("Not encrypted")) throw new Error(`the warning is "${warning}"`);
      await page.screenshot({path: path.join(args.out, "options-plain.png")});
      await page.close();
    });
    log(`measure: panel opened to "You're connected", median of ${times.wss.length}: ` +
        `wss through nginx ${Math.round(median(times.wss))} ms, ` +
        `ws direct (${times.ws.length}) ${Math.round(median(times.ws))} ms ` +
        `(each: wss ${times.wss.map(Math.round).join(", ")}; ws ${times.ws.map(Math.round).join(", ")})`);
  } finally {
    await browser.close().catch(() => {});
    run.stop([]);
  }
}

fs.mkdirSync(args.out, {recursive: true});
run.finish(main);
