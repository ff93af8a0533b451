// What the browser end-to-end drivers share: loopback ports, and the
// programs they start, each logging to a file in the run's work folder.
import {spawn} from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import path from "node:path";

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

// A start(program, argv, logName) that records each child in `children`
// (so the driver can stop them all) and gives it a `done` promise of its
// exit code.
export function starter(work, children) {
  return (program, argv, logName) => {
    const out = fs.openSync(path.join(work, logName), "w");
    const child = spawn(program, argv, {stdio: ["ignore", out, out]});
    children.push(child);
    child.done = new Promise((resolve) => child.on("exit", (code) => resolve(code)));
    return child;
  };
}
