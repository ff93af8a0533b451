// The panel as a column, in headless Chromium, at the widths people meet:
// Firefox's default 240-px sidebar, Chromium's 360-px side panel and one
// dragged to 1000 px. navlet-server on loopback, navlet-chatbot as the other
// people on the site: one calls, two invite. The panel is driven through its
// real controls; screenshots go to --out.
//
//   node panel_column_test.mjs --server BIN --chatbot BIN --extension DIR --out DIR
//                              [--browser BIN] [--measure]
//
// With --measure it also takes the panel's idle main-thread time over 60 s,
// signed in at 360 px with the ticker running.
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {CLOSE_SIGN_UP_TABS, CONSENT, Run, SERVICE_KEY, log, sleep, until} from "./harness.mjs";

const args = parseArgs(process.argv.slice(2));
const run = new Run("navlet-column-");
const step = (name, body) => run.step(name, body);
const start = (program, argv, logName) => run.start(program, argv, logName);

function parseArgs(list) {
  const out = {browser: "/usr/bin/chromium", measure: false};
  for (let i = 0; i < list.length; ++i) {
    const key = list[i].replace(/^--/, "");
    if (key === "measure") out.measure = true;
    else out[key] = list[++i];
  }
  for (const needed of ["server", "chatbot", "extension", "out"])
    if (!out[needed]) { console.error(`missing --${needed}`); process.exit(2); }
  return out;
}

const ticker = (page) => page.evaluate(() =>
  document.getElementById("msg_img").getAttribute("aria-label") || "");
const people = (page) => page.evaluate(() =>
  [...document.querySelectorAll("#lvUsers .entry")].map((e) => e.textContent));
const tabs = (page) => page.evaluate(() =>
  [...document.querySelectorAll("#PageControlTabs .tab")].map((e) => e.textContent));
const activeTab = (page) => page.evaluate(() => {
  const tab = document.querySelector("#PageControlTabs .tab.active");
  return tab ? tab.textContent : "";
});
const bannerHeight = (page) => page.evaluate(() =>
  document.getElementById("CentralPanel").getBoundingClientRect().height);

// Every control of the shown banner panel and of the column lies whole
// inside the panel's width and height.
async function expectControlsWhole(page, ids) {
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
const COLUMN_CONTROLS = ["edNck", "edPwd", "sbLogin", "SearchBtn", "FriendsBtn", "NavletBtn",
  "ResizeBtn", "LEDBtn", "msg_img", "lvUsers", "PageControl", "Edit1", "sbSendTxt",
  "cbSearch", "edSearchMsg", "sbSearch", "lvFriends", "Label3", "Label5", "Label6", "Label7"];

// The first (or last) ticker button along its rows, found by the hand cursor
// the core sets over a button, clicked at once.
async function clickTickerButton(page, {fromRight = false} = {}) {
  const box = await (await page.$("#msg_img")).boundingBox();
  for (const y of [box.height * 0.75, box.height * 0.25]) {
    for (let i = 2; i < box.width; i += 3) {
      const x = fromRight ? box.width - i : i;
      await page.mouse.move(box.x + x, box.y + y);
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

async function openPanel(browser, extensionId, query, width, height) {
  const cdp = await browser.target().createCDPSession();
  await cdp.send("Target.createTarget", {url: "about:blank", newWindow: true});
  const target = await browser.waitForTarget(
    (t) => t.type() === "page" && t.url() === "about:blank", {timeout: 10000});
  const page = await target.page();
  page.on("pageerror", (e) => log(`panel error: ${e.message}`));
  await page.setViewport({width, height});
  await page.goto(`chrome-extension://${extensionId}/panel.html${query}`);
  return page;
}

async function resize(page, width, height) {
  await page.setViewport({width, height});
  await until(`${width} px`, () => page.evaluate((w) =>
    document.getElementById("Form").getBoundingClientRect().width === w, width));
  await sleep(300);
}

async function main() {
  const service = await run.startService(args.server,
    [["demo", "demo"], ["caller", "callpw1"], ["alice", "alicepw"], ["bob", "bobpw1"]]);
  const {sessionPort, site} = service;
  const extension = run.localExtension(args.extension);
  const browser = await puppeteer.launch({
    executablePath: args.browser, headless: true, pipe: true, enableExtensions: [extension],
    args: ["--no-sandbox", "--headless=new", `--disable-extensions-except=${extension}`,
           `--load-extension=${extension}`, "--window-size=1000,700"]});
  const bot = (nick, pwd, steps, logName) => start(args.chatbot, ["--server",
    `127.0.0.1:${sessionPort}`, "--nick", nick, "--password", pwd, "--site", site,
    "--step-timeout", "90", "--wait-user", "demo", ...steps], logName);
  let panel = null;
  try {
    let extensionId = "";
    await step("the extension loads", async () => {
      const worker = await browser.waitForTarget((t) => t.type() === "service_worker" &&
        t.url().startsWith("chrome-extension://"), {timeout: 10000});
      extensionId = new URL(worker.url()).host;
      const setup = await browser.newPage();
      await setup.goto(`chrome-extension://${extensionId}/options.html`);
      // The loopback service, consent given: consent has its own test.
      await setup.evaluate((key, value, consent) => chrome.storage.local.set({[key]: value, ...consent}),
        SERVICE_KEY, site, CONSENT);
      await setup.evaluate(CLOSE_SIGN_UP_TABS);
      await setup.close();
    });
    const sitePage = (await browser.pages())[0];
    await sitePage.goto(`http://${site}/`);
    const probe = await openPanel(browser, extensionId, "?window=-1", 240, 600);
    const windowId = await probe.evaluate(async (site) => {
      const all = await chrome.tabs.query({});
      return all.find((t) => t.url.startsWith(`http://${site}`)).windowId;
    }, site);
    await probe.close();

    panel = await openPanel(browser, extensionId, `?window=${windowId}`, 240, 600);
    await step("at 240 px the login panel is whole: boxes, sign in and the connection light", async () => {
      // The module builds its elements once it has started.
      await until("LoginPanel", () => panel.evaluate(() => {
        const e = document.getElementById("LoginPanel");
        return !!e && e.style.display !== "none";
      }));
      await expectControlsWhole(panel, COLUMN_CONTROLS);
      await panel.screenshot({path: path.join(args.out, "panel-240-login.png")});
    });
    await step("sign in at 240 px", async () => {
      await panel.type("#edNck", "demo");
      await panel.type("#edPwd", "demo");
      await panel.click("#sbLogin");
      await until("own entry", async () => (await people(panel)).includes("demo"));
    });
    await step("minimise collapses the banner area and restore brings it back", async () => {
      const open = await bannerHeight(panel);
      await panel.click("#ResizeBtn");
      await until("collapsed", async () => (await bannerHeight(panel)) === 0);
      await expectControlsWhole(panel, ["ResizeBtn", "LEDBtn", "lvUsers", "Edit1", "PageControl"]);
      // The keyboard reaches the restore button too.
      await panel.focus("#ResizeBtn");
      await panel.keyboard.press("Enter");
      await until("restored", async () => (await bannerHeight(panel)) === open);
    });

    const caller = bot("caller", "callpw1", ["--call", "demo", "come over", "--wait-gone", "demo"],
      "caller.log");
    await step("a call's \"accept invitation\" clicked at once at 240 px opens its page", async () => {
      await until("the call", async () => (await ticker(panel)).includes("accept invitation"));
      const before = (await browser.pages()).length;
      await panel.screenshot({path: path.join(args.out, "panel-240-call.png")});
      if (!(await clickTickerButton(panel))) throw new Error("no button under the mouse");
      await until("the new tab", async () => (await browser.pages()).length > before);
      await panel.screenshot({path: path.join(args.out, "panel-240.png")});
    });

    const alice = bot("alice", "alicepw", ["--invite", "demo", "--wait-gone", "demo"], "alice.log");
    const bob = bot("bob", "bobpw1", ["--invite", "demo", "--wait-gone", "demo"], "bob.log");
    await step("two invitations open two tabs without the focus, each with its ticker line", async () => {
      await until("three tabs", async () => (await tabs(panel)).length === 3);
      if ((await activeTab(panel)) !== "public chat") throw new Error(`${await activeTab(panel)} took the focus`);
    });
    await step("an invitation left from the ticker closes its tab", async () => {
      await until("alice's line", async () =>
        (await ticker(panel)).includes("alice invited you to a private chat"));
      if (!(await clickTickerButton(panel, {fromRight: true}))) throw new Error("no leave button");
      await until("alice's tab gone", async () => !(await tabs(panel)).some((t) => t.startsWith("alice")));
    });
    await step("an invitation shown from the ticker selects its tab", async () => {
      await until("bob's line", async () =>
        (await ticker(panel)).includes("bob invited you to a private chat"));
      if (!(await clickTickerButton(panel))) throw new Error("no show button");
      await until("bob's tab chosen", async () => (await activeTab(panel)).startsWith("bob"));
      const hint = await panel.$eval("#Edit1", (e) => e.placeholder);
      if (hint !== "to bob") throw new Error(`the chat line says ${hint}`);
    });

    await step("at 360 px every control is whole", async () => {
      await resize(panel, 360, 800);
      await expectControlsWhole(panel, COLUMN_CONTROLS);
      await panel.screenshot({path: path.join(args.out, "panel-360.png")});
    });
    await step("at 1000 px two columns, every control whole; minimise and restore", async () => {
      await resize(panel, 1000, 700);
      const split = await panel.evaluate(() => ({
        chat: document.getElementById("PageControl").getBoundingClientRect().right,
        side: document.getElementById("Panel4").getBoundingClientRect().left}));
      if (split.chat > split.side || split.side < 500) throw new Error(`not two columns: ${JSON.stringify(split)}`);
      await expectControlsWhole(panel, COLUMN_CONTROLS);
      await panel.screenshot({path: path.join(args.out, "panel-1000.png")});
      const open = await bannerHeight(panel);
      await panel.click("#ResizeBtn");
      await until("collapsed", async () => (await bannerHeight(panel)) === 0);
      await panel.click("#ResizeBtn");
      await until("restored", async () => (await bannerHeight(panel)) === open);
    });
    if (args.measure) {
      await step("idle CPU over 60 s at 360 px, signed in, ticker running", async () => {
        await resize(panel, 360, 800);
        const cdp = await panel.createCDPSession();
        await cdp.send("Performance.enable");
        const busy = async () => {
          const {metrics} = await cdp.send("Performance.getMetrics");
          return metrics.find((m) => m.name === "TaskDuration").value;
        };
        await sleep(1000);
        const first = await busy();
        await sleep(60000);
        const task = (await busy()) - first;
        log(`measure: panel main thread busy ${(task * 1000).toFixed(0)} ms in 60 s ` +
            `(${(task / 60 * 100).toFixed(2)} % of one core)`);
      });
    }
    await panel.close();
    panel = null;
    for (const [name, child] of [["caller", caller], ["alice", alice], ["bob", bob]]) {
      const code = await child.done;
      if (code !== 0) log(`note: ${name}'s bot exited ${code}`);
    }
  } finally {
    await browser.close().catch(() => {});
    run.stop(["caller.log", "alice.log", "bob.log"]);
  }
}

fs.mkdirSync(args.out, {recursive: true});
run.finish(main);
