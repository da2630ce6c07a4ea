// The page in headless Chromium (the program's own engine is the old IE control; Wine has none): every key
// the program pushes changes the page as the bridge says, the scan button asks for the right command, and
// values from drives show as text. Screenshots of the idle page and of a finished scan go to
// build/page-shots for a person to look at.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";
import { ESLint } from "eslint";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const pageDir = path.join(root, "res/page");
const shots = path.join(root, "build/page-shots");
let browser, page, site;

before(async () => {
  // The page's files as the program's resources hold them, jQuery from npm by the name the page loads.
  site = fs.mkdtempSync(path.join(os.tmpdir(), "veludisk-page-"));
  for (const f of fs.readdirSync(pageDir)) if (!f.startsWith(".")) fs.copyFileSync(path.join(pageDir, f), path.join(site, f));
  fs.copyFileSync(path.join(root, "node_modules/jquery/dist/jquery.min.js"), path.join(site, "JQUERY-1.12.4.MIN.JS"));
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
           "--no-first-run"],
  });
  page = await browser.newPage({ viewport: { width: 468, height: 275 } });
  // The notice frame would reach the maker's site: nothing leaves the machine.
  await page.route(/^https?:/, (r) => r.abort());
  await page.goto("file://" + path.join(site, "MAIN.HTM"));
  // What the program's event sink would see: the id and first parameter of each bridge element clicked.
  await page.evaluate(() => {
    window.__clicks = [];
    for (const id of ["Btn_USB_Status", "Btn_Start_Scan", "Btn_Stop_Scan", "Btn_Open_UDisk", "Btn_Lnk_Set", "Btn_LogSee"])
      document.getElementById(id).addEventListener("click", (e) =>
        window.__clicks.push([e.currentTarget.id, e.currentTarget.getAttribute("vparam1")]));
  });
});

after(async () => {
  await browser?.close();
  if (site) fs.rmSync(site, { recursive: true, force: true });
});

const push = (key, value) => page.evaluate(([k, v]) => OnVWebApp(k, v, "0"), [key, value]);
const text = (id) => page.evaluate((i) => document.getElementById(i).textContent, id);
const shown = (id) => page.evaluate((i) => getComputedStyle(document.getElementById(i)).display !== "none", id);
const clicks = async () => page.evaluate(() => window.__clicks.splice(0));

test("the body names the bridge function and the bridge elements are there", async () => {
  assert.equal(await page.evaluate(() => document.body.getAttribute("vcore")), "OnVWebApp");
  for (const id of ["Btn_USB_Status", "Btn_Start_Scan", "Btn_Stop_Scan", "Btn_Open_UDisk", "Btn_Lnk_Set", "Btn_LogSee"]) {
    const attrs = await page.evaluate((i) => [document.getElementById(i).getAttribute("vparam1"),
                                              document.getElementById(i).getAttribute("vparam2")], id);
    assert.deepEqual(attrs, ["", ""], id);
  }
  fs.mkdirSync(shots, { recursive: true });
  await push("Udisk_Version", "1103191");
  await page.screenshot({ path: path.join(shots, "idle.png") });
});

test("Scan_Info needs four fields, Scan_Result six", async () => {
  await push("Scan_Info", "1|2|3");
  assert.equal(await shown("TabScanInfo"), false, "three fields are ignored");
  assert.equal(await text("BtnScan"), "开始查杀");
  await push("Scan_Info", "120|4|3|1");
  assert.deepEqual(await Promise.all(["ScanFileTotal", "ScanVirusCount", "ScanDelCount", "ScanFixCount"].map(text)),
                   ["120", "4", "3", "1"]);
  assert.equal(await shown("TabScanInfo"), true);
  assert.equal(await shown("TextNotice"), false);
  assert.equal(await text("BtnScan"), "停止查杀");
  await push("Scan_Result", "1|2|3|4|5");
  assert.equal(await shown("TabScanRes"), false, "five fields are ignored");
  await push("Scan_Result", "200|5|1|4|1|2");
  assert.deepEqual(await Promise.all(["ResFileTotal", "ResVirusCount", "ResVirusHigh", "ResDelCount", "ResFixCount",
                                      "ResImmuneCount"].map(text)), ["200", "5", "1", "4", "1", "2"]);
  assert.deepEqual(await Promise.all(["ScanFileTotal", "ScanVirusCount", "ScanDelCount", "ScanFixCount"].map(text)),
                   ["0", "0", "0", "0"], "the progress fields are zeroed");
  assert.equal(await shown("TabScanRes"), true);
  assert.equal(await shown("TabScanInfo"), false);
  assert.equal(await text("BtnScan"), "开始查杀");
  await page.screenshot({ path: path.join(shots, "finished.png") });
});

test("the update state, the edition, the log link and the two boxes", async () => {
  const texts = ["正在检查升级版本..", "正在升级请稍候...", "当前为最新版本", "检测失败,请检查网络", "当前版本不是最新版",
                 "请到官方下载最新版", "更新说明"];
  for (let n = 0; n < texts.length; n++) {
    await push("Udisk_UpData", String(n));
    assert.equal(await text("UpData"), texts[n], String(n));
  }
  await push("Usb_Edition", "1");
  assert.equal(await shown("DivLink"), true);
  await push("Usb_Edition", "0");
  assert.equal(await shown("DivLink"), false);
  await push("LiOther_Btn", "1");
  assert.equal(await shown("LiOtherBtn"), true);
  await push("LiOther_Btn", "0");
  assert.equal(await shown("LiOtherBtn"), false);
  await push("IsOnlyRead", "1");
  await push("Lnk_Set", "1");
  assert.deepEqual(await page.evaluate(() => [ReadSet.checked, LnkSet.checked]), [true, true]);
  await push("IsOnlyRead", "0");
  assert.equal(await page.evaluate(() => ReadSet.checked), false);
});

test("the scan button asks to start with the scan bits, or to stop", async () => {
  await push("Scan_Result", "0|0|0|0|0|0");
  await push("IsOnlyRead", "0");
  await page.evaluate(() => { ScanAll.checked = true; });
  await clicks();
  await page.click("#BtnScan");
  assert.deepEqual(await clicks(), [["Btn_Start_Scan", "1"]]);
  await push("Scan_Info", "1|0|0|0");
  await page.click("#BtnScan");
  assert.deepEqual(await clicks(), [["Btn_Stop_Scan", ""]]);
  await push("Scan_Result", "1|0|0|0|0|0");
  await page.evaluate(() => { ScanAll.checked = false; });
  await page.click("#ReadSet");
  assert.deepEqual(await clicks(), [["Btn_USB_Status", "1"]]);
  await page.click("#BtnScan");
  assert.deepEqual(await clicks(), [["Btn_Start_Scan", "2"]], "read-only ticked: bit 2");
  await push("Lnk_Set", "0");
  await page.click("#LnkSet");
  await page.click("#BtnOpen");
  assert.deepEqual(await clicks(), [["Btn_Lnk_Set", "1"], ["Btn_Open_UDisk", ""]]);
});

test("a value from a drive shows as text, never as markup", async () => {
  await push("Scan_Info", "<img src=x onerror=window.__hit=1>|1|0|0");
  assert.equal(await text("ScanFileTotal"), "<img src=x onerror=window.__hit=1>");
  assert.equal(await page.evaluate(() => document.querySelectorAll("#Main img").length), 0);
  assert.equal(await page.evaluate(() => window.__hit), undefined);
  await push("Udisk_Version", "<b>1</b>");
  assert.equal(await text("Version"), "<b>1</b>");
});

test("the page's script is ECMAScript 3, and the check refuses what the old engine cannot run", async () => {
  const eslint = new ESLint({ useEslintrc: false, overrideConfigFile: path.join(pageDir, ".eslintrc.json") });
  const [own] = await eslint.lintFiles([path.join(pageDir, "VWEBAPP.JS")]);
  assert.equal(own.errorCount, 0, own.messages.map((m) => `${m.line}: ${m.message}`).join("\n"));
  for (const bad of ["let a = 1;", "var f = function () { return [1].map((x) => x); };", "var o = { a: 1, };",
                     "var s = `x`;", "for (var k of [1]) {}"]) {
    const [r] = await eslint.lintText(bad);
    assert.ok(r.errorCount > 0, bad);
  }
});
