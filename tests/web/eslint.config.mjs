// ESLint's rules for the extension's pages, the JavaScript the web kit embeds
// in its C++ (linted by lint.mjs, which takes it out of the sources) and the
// browser tests. Errors only: a rule worth having fails the run.
import js from "@eslint/js";
import globals from "globals";

const strictness = {
  "eqeqeq": ["error", "always", {null: "ignore"}],
  "no-unused-vars": ["error", {args: "none", caughtErrors: "none"}],
  "prefer-const": "error",
  "no-shadow": "error",
  "no-throw-literal": "error",
  "no-unmodified-loop-condition": "error",
  "no-self-compare": "error",
  "no-template-curly-in-string": "error",
};

export default [
  js.configs.recommended,
  {
    files: ["client/web/extension/**/*.js"],
    languageOptions: {
      sourceType: "script",
      globals: {...globals.browser, ...globals.webextensions, Module: "writable", NavletService: "readonly",
                NavletConsent: "readonly", importScripts: "readonly"},
    },
    // The two scripts that define the pages' shared names do so with var.
    rules: {...strictness, "strict": ["error", "global"], "no-redeclare": ["error", {builtinGlobals: false}]},
  },
  {
    // What lint.mjs takes out of EM_JS blocks: functions of the module's
    // page, with the Emscripten runtime and the module's exports as globals
    // (lint.mjs adds the exports it finds).
    files: ["client/web/**/*.cpp.js"],
    languageOptions: {
      sourceType: "script",
      globals: {
        ...globals.browser, Module: "writable", HEAPU8: "readonly", HEAP32: "readonly",
        HEAPU32: "readonly", HEAPF64: "readonly", UTF8ToString: "readonly",
        stringToUTF8: "readonly", lengthBytesUTF8: "readonly", _malloc: "readonly", _free: "readonly",
        Emval: "readonly",
      },
    },
    rules: {"no-unused-vars": ["error", {args: "none", caughtErrors: "none", varsIgnorePattern: "^navlet_"}],
            "prefer-const": "error", "no-shadow": "error", "no-empty": ["error", {allowEmptyCatch: true}]},
  },
  {
    // The browser tests' page functions run in the panel: its names too.
    files: ["tests/web/**/*.mjs"],
    languageOptions: {sourceType: "module",
                      globals: {...globals.node, ...globals.browser, ...globals.webextensions}},
    rules: {...strictness, "no-shadow": "off"},
  },
  {
    files: ["tests/web/kit_fakes.js"],
    languageOptions: {sourceType: "script", globals: {...globals.node, Module: "writable"}},
    rules: strictness,
  },
];
