// The panel's idle cost, measured (no assertion): signed in in headless
// Chromium at 360 x 800 with the ticker running, the CPU its page's main
// thread and its renderer process take over --seconds (60), and at the end
// the renderer's resident memory and the page's JS heap. Works with builds
// before the side panel's column too (for comparison): it only signs in.
//
//   node panel_idle.mjs --server BIN --extension DIR [--browser BIN] [--seconds N]
import fs from "node:fs";
import puppeteer from "puppeteer-core";
import {CONSENT, Run, SERVICE_KEY, extensionReady, launchChromium, log, openChromiumPanel, parseArgs,
  signInThroughLoginPanel, siteWindow, sleep} from "./harness.mjs";

const args = parseArgs(process.argv.slice(2), {needed: ["server", "extension"], flags: [],
                                                defaults: {browser: "/usr/bin/chromium", seconds: "60"}});
const seconds = Math.max(5, Number(args.seconds) || 60);
const run = new Run("navlet-idle-");

// A process's /proc/PID/stat fields from the state on (fields 3 and up).
const statFields = (pid) => fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
// utime + stime, in USER_HZ (100 on Linux).
const cpuSeconds = (pid) => (Number(statFields(pid)[11]) + Number(statFields(pid)[12])) / 100;
const rssBytes = (pid) =>
  Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"))[1]) * 1024;

// The extension's renderer processes (its pages and worker share one as a
// rule) of `browser`, known by its profile: other browsers may run on the
// machine, and the zygote's children do not stay under the browser process.
function extensionRenderers(browser) {
  const profile = browser.process().spawnargs.find((a) => a.startsWith("--user-data-dir="));
  return fs.readdirSync("/proc").filter((d) => /^\d+$/.test(d)).map(Number).filter((pid) => {
    try {
      // A renderer sets its title: its arguments are one string.
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8").split(/[\0 ]/);
      return argv.includes("--type=renderer") && argv.includes("--extension-process") && argv.includes(profile);
    } catch {
      return false; // gone meanwhile
    }
  });
}
const sum = (list, f) => list.reduce((total, x) => total + f(x), 0);

async function main() {
  const service = await run.startService(args.server, [["demo", "demo"]]);
  const extension = run.localExtension(args.extension);
  const browser = await launchChromium(puppeteer, args.browser, extension);
  try {
    let extensionId = "";
    await run.step("the extension loads", async () => {
      ({extensionId} = await extensionReady(browser, {[SERVICE_KEY]: service.site, ...CONSENT}));
    });
    const sitePage = (await browser.pages())[0];
    await sitePage.goto(`http://${service.site}/`);
    const windowId = await siteWindow(browser, extensionId, service.site);
    const panel = await openChromiumPanel(browser, extensionId, `?window=${windowId}`,
                                          {width: 360, height: 800});
    await run.step("sign in at 360 px", () => signInThroughLoginPanel(panel, "demo", "demo"));
    await run.step(`idle for ${seconds} s, signed in, the ticker running`, async () => {
      const cdp = await panel.createCDPSession();
      await cdp.send("Performance.enable");
      const metric = async (name) => {
        const {metrics} = await cdp.send("Performance.getMetrics");
        return metrics.find((m) => m.name === name).value;
      };
      const renderers = extensionRenderers(browser);
      if (renderers.length === 0) throw new Error("no extension renderer");
      await sleep(5000); // the sign-in's own work settles
      const task0 = await metric("TaskDuration");
      const cpu0 = sum(renderers, cpuSeconds);
      await sleep(seconds * 1000);
      const task = (await metric("TaskDuration")) - task0;
      const cpu = sum(renderers, cpuSeconds) - cpu0;
      const pct = (s) => `${(s / seconds * 100).toFixed(2)} % of one core`;
      const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;
      log(`measure: the panel's main thread busy ${(task * 1000).toFixed(0)} ms in ${seconds} s (${pct(task)})`);
      log(`measure: its renderer process${renderers.length > 1 ? `es (${renderers.length})` : ""} ` +
          `${(cpu * 1000).toFixed(0)} ms CPU (${pct(cpu)}), resident ${mib(sum(renderers, rssBytes))}`);
      // The module's memory is a buffer outside the JS heap.
      const wasm = await panel.evaluate(() => (globalThis.HEAPU8 ? globalThis.HEAPU8.buffer.byteLength : 0));
      log(`measure: JS heap used ${mib(await metric("JSHeapUsedSize"))} of ${mib(await metric("JSHeapTotalSize"))}, ` +
          `the module's memory ${mib(wasm)}`);
    });
  } finally {
    await browser.close().catch(() => {});
    run.stop([]);
  }
}

run.finish(main);
