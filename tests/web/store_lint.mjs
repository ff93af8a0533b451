// What the stores' own checks say of the unpacked extension: addons-linter
// (Mozilla's, run on every upload) and web-ext lint. Any error fails, and so
// does any warning that store_lint_allowed.json does not name with a reason;
// an allowance that no longer matches anything fails too, so the list
// shrinks with the package.
//
//   node tests/web/store_lint.mjs --extension build/web/extension
import {spawnSync} from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import {fileURLToPath} from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const bin = (name) => path.join(here, "node_modules", ".bin", name);

// {code, file (optional), reason} entries; a warning matches one when its
// code is the same and, where a file is named, its file too.
export function judge(reports, allowed) {
  const used = new Set();
  const failures = [];
  for (const {tool, kind, code, file, message} of reports) {
    const at = `${tool}: ${kind} ${code}${file ? ` in ${file}` : ""}: ${message}`;
    if (kind === "error") {
      failures.push(at);
      continue;
    }
    const i = allowed.findIndex((a) => a.code === code && (!a.file || a.file === file));
    if (i < 0 || !allowed[i].reason) failures.push(at);
    else used.add(i);
  }
  allowed.forEach((a, i) => {
    if (!used.has(i)) failures.push(`store_lint_allowed.json: "${a.code}" matches no warning any more: remove it`);
  });
  return failures;
}

// The tool's JSON report as {tool, kind, code, file, message} rows; notices
// are left out (they name facts, not faults).
export function rows(tool, report) {
  const out = [];
  for (const kind of ["error", "warning"])
    for (const r of report[`${kind}s`] || [])
      out.push({tool, kind, code: r.code, file: r.file || "", message: String(r.message || "").trim()});
  return out;
}

function run(tool, args) {
  const result = spawnSync(bin(tool), args, {encoding: "utf8", maxBuffer: 64 << 20});
  if (result.error) throw new Error(`${tool} could not run (npm ci --prefix tests/web): ${result.error.message}`);
  // Both print their report as one JSON document; web-ext may put a line
  // of its own before it.
  const text = result.stdout.slice(result.stdout.indexOf("{"));
  try {
    return rows(tool, JSON.parse(text));
  } catch (e) {
    throw new Error(`${tool} gave no report (exit ${result.status}): ${result.stderr || result.stdout}`);
  }
}

function main() {
  const at = process.argv.indexOf("--extension");
  if (at < 0 || !process.argv[at + 1]) {
    console.error("usage: store_lint.mjs --extension DIR");
    return 2;
  }
  const extension = path.resolve(process.argv[at + 1]);
  const allowed = JSON.parse(fs.readFileSync(path.join(here, "store_lint_allowed.json"), "utf8"));
  const reports = [
    ...run("addons-linter", ["--output", "json", "--boring", extension]),
    ...run("web-ext", ["lint", "--source-dir", extension, "--output", "json", "--no-config-discovery"]),
  ];
  for (const r of reports) console.log(`${r.tool}: ${r.kind} ${r.code} ${r.file}: ${r.message}`);
  const failures = judge(reports, allowed);
  for (const f of failures) console.error(`FAIL ${f}`);
  console.log(`${reports.length} reports, ${failures.length} not accepted`);
  return failures.length ? 1 : 0;
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url))
  process.exitCode = main();
