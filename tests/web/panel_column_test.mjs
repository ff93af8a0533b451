// The panel as a column, in headless Chromium, at the widths people meet:
// Firefox's default 240-px sidebar, Chromium's 360-px side panel and one
// dragged to 1000 px. navlet-server on loopback, navlet-chatbot as the other
// people on the site: one calls, two invite. The panel is driven through its
// real controls; screenshots go to --out. (firefox_test.mjs runs the 240-px
// flows in Firefox.)
//
//   node panel_column_test.mjs --server BIN --chatbot BIN --extension DIR --out DIR
//                              [--browser BIN] [--measure]
//
// With --measure it also takes the panel's idle main-thread time over 60 s,
// signed in at 360 px with the ticker running.
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";
import {COLUMN_ACCOUNTS, COLUMN_CONTROLS, CONSENT, Run, SERVICE_KEY, bannerHeight, columnFlows,
  expectControlsWhole, extensionReady, launchChromium, log, openChromiumPanel, parseArgs, resizePanel,
  siteWindow, sleep, until} from "./harness.mjs";

const args = parseArgs(process.argv.slice(2));

// A process's /proc/PID/stat fields from the state on (fields 3 and up).
const statFields = (pid) => fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
// The extension's renderer process (its pages share one) under browser
// process `root`: other browsers may run on the machine.
function extensionRenderer(root) {
  const under = (pid) => {
    for (let p = pid; p > 1; p = Number(statFields(p)[1])) if (p === root) return true;
    return false;
  };
  const found = fs.readdirSync("/proc").filter((d) => /^\d+$/.test(d)).map(Number).filter((pid) => {
    try {
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8").split("\0");
      return argv.includes("--type=renderer") && argv.includes("--extension-process") && under(pid);
    } catch {
      return false; // gone meanwhile
    }
  });
  if (found.length !== 1) throw new Error(`${found.length} extension renderers`);
  return found[0];
}
// utime + stime, in USER_HZ (100 on Linux).
const cpuSeconds = (pid) => (Number(statFields(pid)[11]) + Number(statFields(pid)[12])) / 100;
const rssBytes = (pid) =>
  Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"))[1]) * 1024;
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
    let extensionId = "";
    await step("the extension loads", async () => {
      // The loopback service, consent given: consent has its own test.
      ({extensionId} = await extensionReady(browser, {[SERVICE_KEY]: site, ...CONSENT}));
    });
    const sitePage = (await browser.pages())[0];
    await sitePage.goto(`http://${site}/`);
    const windowId = await siteWindow(browser, extensionId, site);

    panel = await openChromiumPanel(browser, extensionId, `?window=${windowId}`, {width: 240, height: 600});
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
    if (args.measure) {
      await step("idle CPU and memory over 60 s at 360 px, signed in, ticker running", async () => {
        await resizePanel(panel, 360, 800);
        const cdp = await panel.createCDPSession();
        await cdp.send("Performance.enable");
        const metric = async (name) => {
          const {metrics} = await cdp.send("Performance.getMetrics");
          return metrics.find((m) => m.name === name).value;
        };
        const renderer = extensionRenderer(browser.process().pid);
        await sleep(1000);
        const first = {task: await metric("TaskDuration"), cpu: cpuSeconds(renderer)};
        await sleep(60000);
        const task = (await metric("TaskDuration")) - first.task;
        const cpu = cpuSeconds(renderer) - first.cpu;
        log(`measure: panel main thread busy ${(task * 1000).toFixed(0)} ms in 60 s ` +
            `(${(task / 60 * 100).toFixed(2)} % of one core); its renderer process ` +
            `${(cpu * 1000).toFixed(0)} ms CPU (${(cpu / 60 * 100).toFixed(2)} %)`);
        const mib = (bytes) => (bytes / 1048576).toFixed(1);
        log(`measure: renderer RSS ${mib(rssBytes(renderer))} MiB, JS heap used ` +
            `${mib(await metric("JSHeapUsedSize"))} MiB of ${mib(await metric("JSHeapTotalSize"))} MiB`);
      });
    }
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
