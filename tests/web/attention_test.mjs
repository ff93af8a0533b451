// The panel's ways of getting the user's eye, in headless Chromium: the
// keyboard command (Alt+Shift+N) that opens the panel with the caret in its
// chat line, the toolbar button's badge that counts private lines while the
// panel is not looked at and clears when it is, and the opt-in desktop
// notification. navlet-server on loopback, navlet-chatbot as the friend who
// writes. A headless Chromium does not route the shortcut to the extension's
// commands: the command's handler is then called in the service worker as the
// browser calls it (the run says which). A notification's click cannot be
// made in a headless browser: the panel's glue for it is tested under node
// (tests/web/unit).
//
//   node attention_test.mjs --server BIN --chatbot BIN --extension DIR --out DIR [--browser BIN]
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {Run, launchChromium, log, panelBesideSite, parseArgs, signInThroughLoginPanel, sleep, ticker,
  until} from "./harness.mjs";

const args = parseArgs(process.argv.slice(2), {flags: []});
const run = new Run("navlet-attention-");
const step = (name, body) => run.step(name, body);

// The id of the element that has the caret, in `page`.
const caretIn = (page) => page.evaluate(() => (document.activeElement ? document.activeElement.id : ""));
// The toolbar button's badge on the window's active tab (Chromium badges tabs).
const badge = (page, windowId) => page.evaluate(async (windowId) => {
  const [tab] = await chrome.tabs.query({active: true, windowId});
  return chrome.action.getBadgeText({tabId: tab.id});
}, windowId);

async function main() {
  const service = await run.startService(args.server, [["demo", "demo"], ["pal", "palpw1"]]);
  const {sessionPort, site} = service;
  // The profile holds the notifications' permission: nobody can answer the
  // browser's prompt in a headless run.
  const extension = run.localExtension(args.extension, (m) => {
    m.permissions.push("notifications");
    m.optional_permissions = m.optional_permissions.filter((p) => p !== "notifications");
  });
  const browser = await launchChromium(puppeteer, args.browser, extension);
  let panel = null;
  let pal = null;
  try {
    const opened = await panelBesideSite(run, browser, site, {width: 360, height: 700,
      onConsole: (line) => log(`console: ${line}`)});
    const {extensionId, sitePage, windowId} = opened;
    panel = opened.panel;
    await step("sign in", () => signInThroughLoginPanel(panel, "demo", "demo"));

    await step("Alt+Shift+N on the site's page: the panel, with the caret in its chat line", async () => {
      await panel.evaluate(() => document.getElementById("cbSearch").focus());
      if ((await caretIn(panel)) === "Edit1") throw new Error("the caret is in the chat line already");
      await sitePage.bringToFront();
      await sitePage.keyboard.down("Alt");
      await sitePage.keyboard.down("Shift");
      await sitePage.keyboard.press("KeyN");
      await sitePage.keyboard.up("Shift");
      await sitePage.keyboard.up("Alt");
      // The browser's real side panel opens for the window (a second bar of
      // the account), and the panel already open hears the command too.
      const sidePanel = await browser.waitForTarget((t) =>
        t.url() === `chrome-extension://${extensionId}/panel.html`, {timeout: 5000}).catch(() => null);
      if (sidePanel) {
        const page = await sidePanel.asPage();
        await until("the side panel's chat line", async () => (await caretIn(page)) === "Edit1",
                    {retryErrors: true});
        log("the keyboard command opened the browser's side panel");
        // One panel for the window from here on: the side panel's bar is a
        // second session of the account, which would share the badge.
        await page.close();
      } else {
        // A headless browser may not route the shortcut: the command's
        // handler, as the browser calls it, from the service worker.
        log("note: the shortcut did not reach the browser's commands: its handler is called");
        const worker = await (await browser.waitForTarget((t) => t.type() === "service_worker" &&
          t.url().startsWith(`chrome-extension://${extensionId}`))).worker();
        await worker.evaluate((windowId) => globalThis.openChat("open-chat", {windowId}), windowId);
      }
      await until("the caret in the chat line", async () => (await caretIn(panel)) === "Edit1");
    });

    await step("desktop notifications turned on in the options menu", async () => {
      await panel.bringToFront();
      await panel.click("#NavletBtn");
      await until("Desktop notifications", () => panel.evaluate(() => [...document.querySelectorAll(
        ".navlet-menu .item")].some((e) => e.textContent === "Desktop notifications")));
      const item = await panel.evaluateHandle(() => [...document.querySelectorAll(".navlet-menu .item")]
        .find((e) => e.textContent === "Desktop notifications"));
      await item.asElement().click();
      // Turned on, and not turned off again by a refused permission.
      await sleep(1000);
      await panel.click("#NavletBtn");
      const checked = await until("the menu again", () => panel.evaluate(() => {
        const e = [...document.querySelectorAll(".navlet-menu .item")]
          .find((i) => i.textContent === "Desktop notifications");
        return e ? String(e.classList.contains("checked")) : null;
      }));
      await panel.keyboard.press("Escape");
      if (checked !== "true") throw new Error("the choice is off");
    });

    await step("private lines while the panel is not looked at: a badge and a notification", async () => {
      // Another tab in front of the panel's own window hides it. (A headless
      // browser counts every window as focused, so the other way of not
      // looking, another window in front, cannot be made here.)
      await panel.evaluate(async () => {
        const own = await chrome.windows.getCurrent();
        await chrome.tabs.create({windowId: own.id, url: "about:blank", active: true});
      });
      await until("the panel hidden", () => panel.evaluate(() => document.visibilityState === "hidden"));
      pal = run.start(args.chatbot, ["--server", `127.0.0.1:${sessionPort}`, "--nick", "pal",
        "--password", "palpw1", "--site", site, "--step-timeout", "60", "--wait-user", "demo",
        "--invite", "demo", "--say-private", "psst", "--say-private", "psst again",
        "--wait-gone", "demo"], "pal.log");
      let last = "";
      await until("the badge at 2", async () => (last = await badge(panel, windowId)) === "2")
        .catch(async (e) => {
          const tabs = await panel.evaluate(() => [...document.querySelectorAll("#PageControlTabs .tab")].map((t) => t.textContent));
          throw new Error(`${e.message}: the badge says "${last}", tabs ${tabs}, ticker ${await ticker(panel)}`);
        });
      const shown = await panel.evaluate(() => chrome.notifications.getAll());
      if (!shown[`navlet-${windowId}`]) throw new Error(`notifications: ${JSON.stringify(shown)}`);
      await panel.screenshot({path: path.join(args.out, "panel-attention.png")});
      log(`ticker while away: ${await ticker(panel)}`);
    });
    await step("looking at the panel clears the badge", async () => {
      await panel.bringToFront();
      await until("the badge cleared", async () => (await badge(panel, windowId)) === "");
    });
    await panel.close();
    panel = null;
    if (pal) {
      const code = await pal.done;
      if (code !== 0) throw new Error(`pal's bot exited ${code}`);
    }
  } finally {
    await browser.close().catch(() => {});
    run.stop(["pal.log"]);
  }
}

fs.mkdirSync(args.out, {recursive: true});
run.finish(main);
