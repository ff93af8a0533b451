// The panel's modal elements under node, on a document of plain elements:
// what each leaves behind when it closes.
import assert from "node:assert/strict";
import {test} from "node:test";
import {FakeDocument, load} from "./fakes.mjs";

function page() {
  const document = new FakeDocument();
  const context = load(["panel_ui.js"], {document, window: {innerWidth: 300, innerHeight: 600}});
  return {document, Module: context.Module};
}

const picture = {width: 2, height: 1, pixels: [0xff000000, 0xffffffff]};
const button = (document, text) => document.body.find((e) => e.tag === "button" && e.textContent === text);

test("the About box closes with OK or Escape and leaves no key listener either way", async () => {
  const {document, Module} = page();
  const before = document.listenerCount("keydown");

  const byOk = Module.navletShowAbout("About Navlet", "1.2", "OK", picture);
  assert.equal(document.listenerCount("keydown"), before + 1);
  button(document, "OK").click();
  assert.equal(await byOk, 1);
  assert.equal(document.listenerCount("keydown"), before);
  assert.equal(document.getElementById("AboutForm"), null);

  const byEscape = Module.navletShowAbout("About Navlet", "1.2", "OK", picture);
  document.dispatch("keydown", {key: "a"});
  assert.ok(document.getElementById("AboutForm"), "another key leaves it open");
  document.dispatch("keydown", {key: "Escape"});
  assert.equal(await byEscape, 0);
  assert.equal(document.listenerCount("keydown"), before);
});

test("a menu closed by a choice or by Escape takes its key listener with it", async () => {
  const {document, Module} = page();
  const entries = [{caption: "Guide", id: 201, enabled: true}, {caption: "Off", id: 202, enabled: false}];
  const chosen = Module.navletShowMenu(entries, "", 0, 0);
  const row = (caption) => document.body.find((e) => e.className.startsWith("item") && e.textContent === caption);
  row("Off").click();
  assert.ok(document.body.find((e) => e.className === "navlet-menu"), "a disabled item closes nothing");
  row("Guide").click();
  assert.equal(await chosen, 201);
  assert.equal(document.listenerCount("keydown"), 0);

  const escaped = Module.navletShowMenu(entries, "", 0, 0);
  document.dispatch("keydown", {key: "Escape"});
  assert.equal(await escaped, 0);
  assert.equal(document.listenerCount("keydown"), 0);
  assert.equal(document.body.children.length, 0);
});

test("the report box waits for a reason, and gives back the reason, the words and the check box", async () => {
  const {document, Module} = page();
  const form = {caption: "Report bob", prompt: "Why do you report bob?",
                reasons: ["Spam", "Harassment", "Illegal content", "Other"], reason: -1,
                textLabel: "In a few words (optional):", text: "", textMaxLength: 100,
                alsoIgnoreCaption: "Also ignore this user", alsoIgnore: true,
                okCaption: "Report", cancelCaption: "Cancel"};
  const answered = Module.navletShowReport(form);
  const report = button(document, "Report");
  const text = document.getElementById("ReportText");
  assert.equal(report.disabled, true);
  assert.equal(text.maxLength, 100);
  text.value = "keeps posting links";
  text.dispatch("keydown", {key: "Enter"});
  assert.ok(document.getElementById("ReportForm"), "Enter without a reason sends nothing");
  const radios = [];
  document.getElementById("ReportForm").find((e) => { if (e.type === "radio") radios.push(e); return false; });
  assert.equal(radios.length, 4);
  radios[1].checked = true;
  radios[1].dispatch("change");
  assert.equal(report.disabled, false);
  document.getElementById("AlsoIgnore").checked = false;
  report.click();
  assert.equal(await answered, 1);
  assert.deepEqual([form.reason, form.text, form.alsoIgnore], [1, "keeps posting links", false]);
  assert.equal(document.listenerCount("keydown"), 0);

  const cancelled = Module.navletShowReport({...form, reason: 3});
  assert.equal(button(document, "Report").disabled, false);
  document.dispatch("keydown", {key: "Escape"});
  assert.equal(await cancelled, 0);
  assert.equal(document.getElementById("ReportForm"), null);
});
