// The lint run's reading of EM_JS blocks: each a function at its source
// lines, not fooled by braces in strings or comments.
import assert from "node:assert/strict";
import {test} from "node:test";
import {embeddedScript} from "../lint.mjs";

const source = `#include <emscripten.h>
// clang-format off
EM_JS(void, navlet_a, (int id, const char* text), {
    var s = "}"; // a brace } in a comment
    /* and { here */
    if (id) { console.log(UTF8ToString(text) + s + '{'); }
});
int middle() { return 0; }
EM_JS(int, navlet_b, (), {
    return typo;
});
`;

test("EM_JS blocks become functions of the C names and parameters, on their own lines", () => {
  const {script, blocks} = embeddedScript(source);
  assert.equal(blocks, 2);
  const lines = script.split("\n");
  assert.equal(lines[2], "function navlet_a(id, text) {");
  assert.equal(lines[5], "    if (id) { console.log(UTF8ToString(text) + s + '{'); }");
  assert.equal(lines[6], "}");
  assert.equal(lines[7], "", "the C++ between blocks is left out");
  assert.equal(lines[8], "function navlet_b() {");
  assert.equal(lines[9], "    return typo;");
  // The extract is JavaScript.
  assert.doesNotThrow(() => new Function(script));
});
