// The store lint's verdict: what the linters report against what we wrote
// down with a reason.
import assert from "node:assert/strict";
import {test} from "node:test";
import {judge, rows} from "../store_lint.mjs";

test("errors always fail; warnings pass only when written down with a reason; stale allowances fail", () => {
  const report = {
    errors: [{code: "JSON_INVALID", file: "manifest.json", message: "bad"}],
    warnings: [{code: "MANIFEST_PERMISSIONS", file: "manifest.json", message: "sidePanel"},
               {code: "UNSAFE_VAR_ASSIGNMENT", file: "panel.js", message: "innerHTML"}],
    notices: [{code: "SOMETHING", message: "a fact"}],
  };
  const reports = rows("addons-linter", report);
  assert.equal(reports.length, 3, "notices are no faults");
  const allowed = [
    {code: "MANIFEST_PERMISSIONS", file: "manifest.json", reason: "Chromium's"},
    {code: "UNSAFE_VAR_ASSIGNMENT", file: "options.js", reason: "another file"},
    {code: "JSON_INVALID", reason: "errors cannot be allowed"},
    {code: "GONE", reason: "fixed long ago"},
  ];
  const failures = judge(reports, allowed);
  assert.equal(failures.length, 5, failures.join("\n"));
  assert.ok(failures.some((f) => f.includes("error JSON_INVALID")));
  assert.ok(failures.some((f) => f.includes("UNSAFE_VAR_ASSIGNMENT in panel.js")), "the file must match");
  assert.ok(failures.some((f) => f.includes("\"GONE\" matches no warning")));
  assert.ok(!failures.some((f) => f.includes("MANIFEST_PERMISSIONS in")));
  // Without its reason an allowance allows nothing.
  const bare = judge(rows("web-ext", {warnings: [report.warnings[0]]}), [{code: "MANIFEST_PERMISSIONS"}]);
  assert.match(bare[0], /^web-ext: warning MANIFEST_PERMISSIONS/);
});
