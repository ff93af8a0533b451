// The panel as a column, in headless Chromium, at the widths people meet:
// Firefox's default 240-px sidebar, Chromium's 360-px side panel and one
// dragged to 1000 px. navlet-server on loopback, navlet-chatbot as the other
// people on the site: one calls, two invite. The panel is driven through its
// real controls; screenshots go to --out. (firefox_test.mjs runs the 240-px
// flows in Firefox.)
//
//   node panel_column_test.mjs --server BIN --chatbot BIN --extension DIR --out DIR
//                              [--browser BIN]
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {COLUMN_ACCOUNTS, COLUMN_CONTROLS, Run, bannerHeight, columnFlows, expectControlsWhole,
  launchChromium, log, panelBesideSite, parseArgs, resizePanel, until} from "./harness.mjs";

const args = parseArgs(process.argv.slice(2), {flags: []});
const run = new Run("navlet-column-");
const step = (name, body) => run.step(name, body);

async function main() {
  const service = await run.startService(args.server, COLUMN_ACCOUNTS);
  const {sessionPort, site} = service;
  const extension = run.localExtension(args.extension);
  const browser = await launchChromium(puppeteer, args.browser, extension);
  const bot = (nick, pwd, steps, logName) => run.start(args.chatbot, ["--server",
    `127.0.0.1:${sessionPort}`, "--nick", nick, "--password", pwd, "--site", site,
    "--step-timeout", "90", "--wait-user", "demo", ...steps], logName);
  let panel = null;
  try {
    // The loopback service, consent given: consent has its own test.
    ({panel} = await panelBesideSite(run, browser, site, {width: 240, height: 600}));
    const bots = await columnFlows(run, panel, {bot, out: args.out, prefix: "panel"});

    await step("at 360 px every control is whole", async () => {
      await resizePanel(panel, 360, 800);
      await expectControlsWhole(panel, COLUMN_CONTROLS);
      await panel.screenshot({path: path.join(args.out, "panel-360.png")});
    });
    await step("at 1000 px two columns, every control whole; minimise and restore", async () => {
      await resizePanel(panel, 1000, 700);
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
    await panel.close();
    panel = null;
    for (const [name, child] of Object.entries(bots)) {
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
