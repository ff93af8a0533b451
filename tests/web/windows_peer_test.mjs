// Every script between the extension and the Windows bar, end to end: the
// panel in headless Chromium (a UTF-8 bar) and the Windows module in
// navlet-bandhost under wine64 (a Windows-1252 bar) on one site of
// navlet-server on loopback. The panel's line in Polish with an emoji reaches
// the Windows bar as 1252 with "?" for what 1252 lacks; the Windows bar's line
// with "€", typographic quotes and a dash reaches the panel intact.
//
//   node windows_peer_test.mjs --server BIN --extension DIR --out DIR
//        --bandhost EXE --module OCX --wine-env SCRIPT --wine-prefix DIR --wine LOADER
//        [--browser BIN]
//
// Exits 0 when every step passed, 77 (skipped, with a line saying why) where
// wine64, Xvfb or the x86-64 build is missing.
import {spawnSync} from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {CLOSE_SIGN_UP_TABS, CONSENT, Run, SERVICE_KEY, log, until} from "./harness.mjs";

const args = {browser: "/usr/bin/chromium"};
for (let i = 2; i < process.argv.length; i += 2) args[process.argv[i].slice(2)] = process.argv[i + 1];
for (const needed of ["server", "extension", "out", "bandhost", "module", "wine-env", "wine-prefix", "wine"])
  if (!args[needed]) { console.error(`missing --${needed}`); process.exit(2); }

const skipWhy = !fs.existsSync(args.wine) ? `no wine64 at ${args.wine}`
  : spawnSync("xvfb-run", ["--help"]).error ? "no xvfb-run"
  : !fs.existsSync(args.bandhost) || !fs.existsSync(args.module)
    ? `no x86-64 Windows build (${args.bandhost}): cmake --build --preset mingw-x64 first`
    : "";
if (skipWhy) {
  console.log(`skipped, the Windows bar cannot run here: ${skipWhy}`);
  process.exit(77);
}

const here = path.dirname(new URL(import.meta.url).pathname);
const run = new Run("navlet-winpeer-");

// What the panel's user types, and what the server makes of it for a
// Windows-1252 bar: "ł", "ź" and the emoji (one code point) are not in 1252,
// "ó" and "€" are.
const PANEL_LINE = "łódź 😀 5€";
const AS_1252 = "?ód? ? 5€";
// Typed in the Windows bar: every character is in 1252's 0x80-0x9F.
const WINDOWS_LINE = "5 € for “quotes” – and ‘more’…";

const people = (page) => page.evaluate(() =>
  [...document.querySelectorAll("#lvUsers .entry")].map((e) => e.textContent));
const chat = (page) => page.evaluate(() => document.getElementById("ChatView")?.textContent || "");
const windowsPath = (file) => "Z:" + file.replaceAll("/", "\\");

async function openPanel(browser, extensionId, query) {
  const cdp = await browser.target().createCDPSession();
  await cdp.send("Target.createTarget", {url: "about:blank", newWindow: true});
  const target = await browser.waitForTarget(
    (t) => t.type() === "page" && t.url() === "about:blank", {timeout: 10000});
  const page = await target.page();
  page.on("pageerror", (e) => log(`panel error: ${e.message}`));
  await page.setViewport({width: 360, height: 800});
  await page.goto(`chrome-extension://${extensionId}/panel.html${query}`);
  return page;
}

async function main() {
  const service = await run.startService(args.server, [["demo", "demo"], ["alice", "apple1"]]);
  const {sessionPort, site} = service;
  const extension = run.localExtension(args.extension);
  const browser = await puppeteer.launch({
    executablePath: args.browser, headless: true, pipe: true, enableExtensions: [extension],
    args: ["--no-sandbox", "--headless=new", `--disable-extensions-except=${extension}`,
           `--load-extension=${extension}`, "--window-size=1000,700"]});
  let windowsBar = null;
  try {
    let extensionId = "";
    await run.step("the extension loads", async () => {
      const worker = await browser.waitForTarget((t) => t.type() === "service_worker" &&
        t.url().startsWith("chrome-extension://"), {timeout: 10000});
      extensionId = new URL(worker.url()).host;
      const setup = await browser.newPage();
      await setup.goto(`chrome-extension://${extensionId}/options.html`);
      await setup.evaluate((key, value, consent) => chrome.storage.local.set({[key]: value, ...consent}),
        SERVICE_KEY, site, CONSENT);
      await setup.evaluate(CLOSE_SIGN_UP_TABS);
      await setup.close();
    });
    const sitePage = (await browser.pages())[0];
    await sitePage.goto(`http://${site}/`);
    // The panel follows the site's window from a window of its own, as the
    // side panel sits beside the page.
    const probe = await openPanel(browser, extensionId, "?window=-1");
    const windowId = await probe.evaluate(async (site) =>
      (await chrome.tabs.query({})).find((t) => t.url.startsWith(`http://${site}`)).windowId, site);
    await probe.close();
    const panel = await openPanel(browser, extensionId, `?window=${windowId}`);

    await run.step("the panel signs in", async () => {
      await until("the login panel", () => panel.evaluate(() => {
        const e = document.getElementById("LoginPanel");
        return !!e && e.style.display !== "none";
      }), {retryErrors: true});
      await panel.type("#edNck", "demo");
      await panel.type("#edPwd", "demo");
      await panel.click("#sbLogin");
      await until("own entry", async () => (await people(panel)).includes("demo"));
    });

    // The Windows bar signs in through its login panel as alice, waits for
    // the panel's line, answers, and leaves a picture of what it showed.
    const shot = path.join(args.out, "win32-band-utf8-peer.bmp");
    fs.rmSync(shot, {force: true});
    process.env.NAVLET_SERVER = `127.0.0.1:${sessionPort}`;
    windowsBar = run.start("xvfb-run", ["-a", "-s", "-screen 0 1024x768x24",
      path.join(here, "../win32/bandhost_peer.sh"), args.bandhost, args.module, "240",
      args["wine-env"], args["wine-prefix"], args.wine, "--",
      "--url", `http://${site}/`, "--show", "--wait-shown", "LoginPanel",
      "--type", "edNck", "alice", "--type", "edPwd", "apple1", "--click", "sbLogin",
      "--wait-user", "alice", "--wait-user", "demo",
      "--wait-chat", AS_1252, "--say", WINDOWS_LINE,
      "--band-shot", windowsPath(shot), "--wait", "1000", "--close"], "bandhost.log");
    await run.step("the Windows bar under wine64 arrives on the panel's site", async () => {
      // Wine starts slowly, the more so on a loaded machine.
      await until("alice", async () => (await people(panel)).includes("alice"), {ms: 180000, every: 500});
    });
    await run.step("the panel sends a line in Polish with an emoji and shows it intact", async () => {
      await panel.click("#Edit1");
      await panel.type("#Edit1", PANEL_LINE);
      await panel.keyboard.press("Enter");
      await until("own line shown intact", async () => (await chat(panel)).includes(PANEL_LINE));
    });
    await run.step("the Windows bar's line with \"€\" and typographic quotes reaches the panel intact", async () => {
      await until("the Windows bar's line", async () => (await chat(panel)).includes(WINDOWS_LINE),
                  {ms: 120000, every: 250});
      await panel.screenshot({path: path.join(args.out, "panel-windows-peer.png")});
    });
    await run.step(`the Windows bar showed the panel's line as the server gives it in 1252, "${AS_1252}"`, async () => {
      const code = await windowsBar.done;
      if (code !== 0) throw new Error(`navlet-bandhost exited ${code}`);
      if (fs.existsSync(shot))
        spawnSync("python3", [path.join(here, "../win32/bmp_to_png.py"), shot, shot.replace(/\.bmp$/, ".png")]);
    });
  } finally {
    await browser.close().catch(() => {});
    run.stop(["bandhost.log"]);
  }
}

fs.mkdirSync(args.out, {recursive: true});
run.finish(main);
