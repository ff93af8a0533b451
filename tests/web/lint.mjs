// ESLint over the extension's pages, the browser tests and the JavaScript the
// web kit embeds in its C++ sources (each EM_JS block linted as a function at
// its own lines, so that a report names the .cpp file's line).
//
//   node tests/web/lint.mjs      (from anywhere; exits 1 on any error)
import fs from "node:fs";
import path from "node:path";
import {fileURLToPath} from "node:url";
import {ESLint} from "eslint";

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, "../..");

// The EM_JS blocks of a C++ source as one script: each block a function
// named as the C one, its parameters the C parameters' names, every line
// where it is in the source.
export function embeddedScript(source) {
  const lines = [];
  const head = /EM_JS\(\s*[^,]+?\s*,\s*(\w+)\s*,\s*\(([^)]*)\)\s*,\s*\{/g;
  let found = 0;
  for (let m = head.exec(source); m; m = head.exec(source)) {
    const open = m.index + m[0].length - 1;
    const close = matchingBrace(source, open);
    if (close < 0) throw new Error(`EM_JS ${m[1]}: no closing brace`);
    const params = m[2].split(",").map((p) => (p.match(/(\w+)\s*$/) || [""])[0]).filter(Boolean);
    const line = source.slice(0, m.index).split("\n").length - 1;
    while (lines.length < line) lines.push("");
    const body = `function ${m[1]}(${params.join(", ")}) ${source.slice(open, close + 1)}`;
    // The block's first line holds the function's head: the rest keep their lines.
    lines.push(...body.split("\n"));
    head.lastIndex = close;
    ++found;
  }
  return {script: lines.join("\n") + "\n", blocks: found};
}

// The index of the brace that closes the one at `open`, past strings,
// template literals and comments; -1 when none.
function matchingBrace(text, open) {
  let depth = 0;
  for (let i = open; i < text.length; ++i) {
    const c = text[i];
    if (c === "/" && text[i + 1] === "/") {
      i = text.indexOf("\n", i);
      if (i < 0) return -1;
    } else if (c === "/" && text[i + 1] === "*") {
      i = text.indexOf("*/", i + 2) + 1;
      if (i <= 0) return -1;
    } else if (c === '"' || c === "'" || c === "`") {
      for (++i; i < text.length && text[i] !== c; ++i) if (text[i] === "\\") ++i;
    } else if (c === "{") {
      ++depth;
    } else if (c === "}" && --depth === 0) {
      return i;
    }
  }
  return -1;
}

// The C functions the module exports to its page (`_name` there).
function keptAlive(sources) {
  const names = {};
  for (const text of sources)
    for (const m of text.matchAll(/EMSCRIPTEN_KEEPALIVE\s+[\w:<>*&\s]+?\b(\w+)\s*\(/g))
      names["_" + m[1]] = "readonly";
  return names;
}

function cppSources(dir) {
  return fs.readdirSync(dir, {recursive: true}).filter((f) => f.endsWith(".cpp"))
    .map((f) => path.join(dir, f)).sort();
}

async function main() {
  process.chdir(root);
  const config = path.join(here, "eslint.config.mjs");
  const sources = cppSources(path.join(root, "client/web"));
  const texts = sources.map((f) => fs.readFileSync(f, "utf8"));
  const eslint = new ESLint({cwd: root, overrideConfigFile: config,
    overrideConfig: {files: ["client/web/**/*.cpp.js"], languageOptions: {globals: keptAlive(texts)}}});
  const results = await eslint.lintFiles(["client/web/extension/**/*.js", "tests/web/**/*.mjs",
    "tests/web/kit_fakes.js"]);
  let blocks = 0;
  for (let i = 0; i < sources.length; ++i) {
    const {script, blocks: found} = embeddedScript(texts[i]);
    if (!found) continue;
    blocks += found;
    const [result] = await eslint.lintText(script, {filePath: sources[i] + ".js"});
    result.filePath = sources[i];
    results.push(result);
  }
  const formatter = await eslint.loadFormatter("stylish");
  const text = await formatter.format(results);
  if (text) console.log(text);
  const errors = results.reduce((n, r) => n + r.errorCount + r.fatalErrorCount, 0);
  const warnings = results.reduce((n, r) => n + r.warningCount, 0);
  console.log(`ESLint: ${results.length} files (${blocks} embedded blocks), ${errors} errors, ${warnings} warnings`);
  process.exit(errors || warnings ? 1 : 0);
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) main();
