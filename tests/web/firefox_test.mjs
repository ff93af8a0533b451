// The extension in Firefox (headless firefox-esr over WebDriver BiDi): it
// installs as a temporary add-on, its sidebar page runs in a window of its
// own at the sidebar's default 240 px and goes through the column's flows
// (sign in, minimise and restore, a call accepted at once, invitations left
// and shown from the ticker: harness.mjs's columnFlows, as the Chromium
// column test runs them); navlet-chatbot, on the same site over TCP, sees
// the user arrive, and a public line goes each way.
//
//   node firefox_test.mjs --server BIN --chatbot BIN --extension DIR --out DIR [--browser BIN]
//
// BiDi neither navigates to nor lists the realms of extension pages; the page
// is opened from the site (the local copy makes it reachable from loopback)
// and driven with script.evaluate in its browsing context.
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {CLOSE_SIGN_UP_TABS, COLUMN_ACCOUNTS, CONSENT, Run, SERVICE_KEY, bidiPanel, columnFlows, log,
  parseArgs, until as untilAnswered} from "./harness.mjs";

const UUID = "3b1a2c4d-0000-4000-8000-00000000beef";
const GECKO_ID = "navlet@navlet.net";
const args = parseArgs(process.argv.slice(2), {flags: [], defaults: {browser: "/usr/bin/firefox-esr"}});
const run = new Run("navlet-firefox-");
const step = (name, body) => run.step(name, body);
// BiDi's evaluate fails while a page is still loading: that is not an answer yet.
const until = (what, probe) => untilAnswered(what, probe, {every: 200, retryErrors: true});

// The test opens the sidebar's page itself, from the loopback site.
function localExtension() {
  return run.localExtension(args.extension, (manifest) => {
    manifest.sidebar_action.open_at_install = false;
    manifest.web_accessible_resources = [{resources: ["panel.html"], matches: ["http://127.0.0.1/*"]}];
  });
}

async function main() {
  const service = await run.startService(args.server, [...COLUMN_ACCOUNTS, ["bot", "botpw1"]]);
  const {sessionPort, site} = service;
  const extension = localExtension();

  const browser = await puppeteer.launch({
    browser: "firefox", executablePath: args.browser, headless: true,
    extraPrefsFirefox: {"extensions.webextensions.uuids": JSON.stringify({[GECKO_ID]: UUID})}});
  const bidi = browser.connection;
  const panelContext = async (query) => {
    const tree = await bidi.send("browsingContext.getTree", {});
    const c = tree.result.contexts.find((c) => c.url === `moz-extension://${UUID}/panel.html${query}`);
    return c ? c.context : null;
  };
  let context = null;
  const evaluate = async (expression) => {
    const answer = await bidi.send("script.evaluate",
      {expression, target: {context}, awaitPromise: true, resultOwnership: "none"});
    if (answer.result.type === "exception") throw new Error(answer.result.exceptionDetails.text);
    return answer.result.result.value;
  };
  try {
    await step("loads as a temporary add-on", async () => {
      const id = await browser.installExtension(extension);
      if (id !== GECKO_ID) throw new Error(`installed as ${id}`);
    });
    const page = (await browser.pages())[0];
    await page.goto(`http://${site}/`);
    await page.evaluate((u) => { window.open(`moz-extension://${u}/panel.html?window=-1`, "_blank",
      "popup,width=300,height=600"); }, UUID);
    context = await until("the panel page", () => panelContext("?window=-1"));
    // The sign-up page came up once on install, in a tab of its own.
    const signUps = await evaluate(CLOSE_SIGN_UP_TABS);
    if (signUps > 1) throw new Error(`${signUps} sign-up tabs opened on install`);
    const windowId = await until("the site's window", () => evaluate(`browser.tabs.query({})
      .then((tabs) => tabs.find((t) => t.url.startsWith("http://${site}")).windowId)`));
    // The loopback service stored from the options page's document, where no
    // panel restarts on the change, then the panel for the site's window.
    await evaluate(`location.href = "options.html"; 0`);
    context = await until("the options page", async () => {
      const tree = await bidi.send("browsingContext.getTree", {});
      const c = tree.result.contexts.find((c) => c.url === `moz-extension://${UUID}/options.html`);
      return c ? c.context : null;
    });
    await until("the stored service", () => evaluate(
      `browser.storage.local.set({${JSON.stringify(SERVICE_KEY)}: ${JSON.stringify(site)}, ` +
      `...${JSON.stringify(CONSENT)}}).then(() => true)`));
    await evaluate(`location.href = "panel.html?window=${windowId}"; 0`);
    context = await until("the panel for the site's window", () => panelContext(`?window=${windowId}`));

    const panel = bidiPanel(bidi, context);
    const bot = (nick, pwd, steps, logName) => run.start(args.chatbot, ["--server",
      `127.0.0.1:${sessionPort}`, "--nick", nick, "--password", pwd, "--site", site,
      "--step-timeout", "90", "--wait-user", "demo", ...steps], logName);
    await panel.setViewport({width: 240, height: 600});
    const bots = await columnFlows(run, panel, {bot, out: args.out, prefix: "firefox"});

    const talker = bot("bot", "botpw1", ["--say", "hello firefox", "--expect-public", "demo",
      "hello from firefox"], "bot.log");
    await step("the bot arrives", () => until("the bot in the list", () => evaluate(
      `[...document.querySelectorAll("#lvUsers .entry")].some((e) => e.textContent === "bot")`)));
    await step("a public line each way", async () => {
      // The public tab again: the flows left bob's private chat chosen.
      await panel.click("#PageControlTabs .tab:nth-child(1)");
      await until("the bot's line", () => evaluate(
        `document.getElementById("ChatView").textContent.includes("hello firefox")`));
      await evaluate(`(() => {
        const e = document.getElementById("Edit1");
        e.focus();
        e.value = "hello from firefox";
        e.dispatchEvent(new Event("input"));
        document.getElementById("sbSendTxt").click();
        return 0;
      })()`);
      const code = await talker.done;
      if (code !== 0) throw new Error(`navlet-chatbot exited ${code}`);
      const shot = await bidi.send("browsingContext.captureScreenshot", {context});
      fs.writeFileSync(path.join(args.out, "panel-firefox.png"), Buffer.from(shot.result.data, "base64"));
    });
    await bidi.send("browsingContext.close", {context});
    for (const [name, child] of Object.entries(bots)) {
      const code = await child.done;
      if (code !== 0) log(`note: ${name}'s bot exited ${code}`);
    }
  } finally {
    await browser.close().catch(() => {});
    run.stop(["bot.log", "caller.log", "alice.log", "bob.log"]);
  }
}

fs.mkdirSync(args.out, {recursive: true});
run.finish(main);
