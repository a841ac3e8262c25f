'use strict';
// Drives a real VS Code (code-server, in headless Chromium) on a story and
// checks what its workbench shows: the language mode, the Problems panel
// against `brindle-check --json`, a quick fix, a hover, a rename and the
// story's symbols. real_vscode.sh starts code-server and gives:
//   node real_vscode.js URL BRINDLE_CHECK STORY_DIR OUTPUT_DIR [README_IMAGE]
// where URL serves the workbench and STORY_DIR is an empty folder, in which
// the story is written before the workbench opens it. Every step waits for
// what it expects (up to STEP_TIMEOUT_MS) and leaves a screenshot in
// OUTPUT_DIR; README_IMAGE, when given, receives the one of the editor with
// its Problems panel. Exits 1 at the first check that fails, saying what
// the editor showed.
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { chromium } = require('playwright-core');

const STEP_TIMEOUT_MS = 60000;
const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const [url, brindleCheck, storyDir, outputDir, readmeImage] = process.argv.slice(2);
const storyFile = path.join(storyDir, 'test.py');

// A story with three mistakes (!=, && and a jump to no label), and the
// lines the quick fix and the rename change in it.
const STORY = [
  'label start:',
  '    $ coins = 2',
  '    if coins != 2:',
  '        e "You have coins."',
  '    if coins > 1 && coins < 5:',
  '        jump_out market',
  '    e "Welcome."',
  '    jump_out harbour',
  'label market:',
  '    e "The market is closed."',
  '    jump_out start',
  '',
].join('\n');
const FIX = { line: 3, column: 14, title: '~=', changes: { 3: '    if coins ~= 2:' } };
const HOVER = { line: 11, column: 5, lua: 'jump_out ("start")' };
const RENAME = { line: 9, column: 7, from: 'market', to: 'bazaar',
  changes: { 6: '        jump_out bazaar', 9: 'label bazaar:' }, labels: ['start', 'bazaar'] };

// `text` with the lines numbered in `changes` replaced.
function withLines(text, changes) {
  return text.split('\n').map((line, index) => changes[index + 1] ?? line).join('\n');
}

class CheckFailed extends Error {}

let page;
let shot = 0;
async function screenshot(name) {
  shot += 1;
  const file = path.join(outputDir, `${String(shot).padStart(2, '0')}-${name}.png`);
  await page.screenshot({ path: file });
  return file;
}

function pass(what) {
  console.log(`ok: ${what}`);
}

// Waits until `read` (run in the test, against the page) gives a value that
// `accept` takes; fails with the last value seen.
async function waitFor(what, read, accept) {
  const deadline = Date.now() + STEP_TIMEOUT_MS;
  let last;
  for (;;) {
    try {
      last = await read();
      if (accept(last)) return last;
    } catch (error) {
      last = `(${error.message.split('\n')[0]})`;
    }
    if (Date.now() > deadline) {
      throw new CheckFailed(`${what}: after ${STEP_TIMEOUT_MS / 1000} s the editor shows ${JSON.stringify(last, null, 2)}`);
    }
    await page.waitForTimeout(200);
  }
}

function same(a, b) {
  return JSON.stringify(a) === JSON.stringify(b);
}

// The Problems panel's rows as {line, message}, in the panel's order.
function problemsShown() {
  return page.$$eval('.markers-panel .monaco-list-row .marker-message-details-container', (rows) => rows.map((row) => ({
    line: Number((/Ln (\d+)/.exec(row.querySelector('.marker-line')?.textContent || '') || [])[1]),
    message: row.querySelector('.marker-message')?.textContent || '',
  })));
}

function storyText() {
  return fs.readFileSync(storyFile, 'utf8');
}

// The text the editor shows, its lines in the order of their place on the
// screen (the whole story fits in it).
function editorText() {
  return page.$$eval('.monaco-editor .view-lines .view-line', (lines) => lines
    .map((line) => ({ top: parseFloat(line.style.top), text: line.textContent.replace(/\u00a0/g, ' ') }))
    .sort((a, b) => a.top - b.top).map((line) => line.text).join('\n'));
}

// Waits for the editor to show `expected`, saves it and waits for the file
// to hold it.
async function saveAndExpect(what, expected) {
  await waitFor(`${what}, in the editor`, editorText, (text) => text === expected);
  await page.keyboard.press('Control+S');
  await waitFor(`${what}, saved`, async () => storyText(), (text) => text === expected);
}

async function commandInput(keys, prefix) {
  await page.keyboard.press(keys);
  const input = page.locator('.quick-input-widget .quick-input-box input');
  await input.waitFor({ state: 'visible', timeout: STEP_TIMEOUT_MS });
  await waitFor(`the quick input of ${keys}`, () => input.inputValue(), (value) => value.startsWith(prefix));
  return input;
}

// Puts the cursor at a line and column with Go to Line (Ctrl+G), as the
// status bar then confirms.
async function goTo(line, column) {
  const input = await commandInput('Control+G', ':');
  await input.fill(`:${line}:${column}`);
  await page.keyboard.press('Enter');
  await waitFor(`the cursor at ${line}:${column}`,
    () => page.locator('#status\\.editor\\.selection').textContent(),
    (text) => text.trim() === `Ln ${line}, Col ${column}`);
}

// Opens the light bulb's menu at the cursor with Ctrl+. once the light bulb
// shows, and picks the action whose title holds `title` with the arrow keys
// (the menu takes no clicks under its pointer shield) and Enter. A Ctrl+.
// that VS Code answers with "No code actions available", as it may when
// pressed just as the cursor arrives, is pressed again.
async function chooseAction(title) {
  await page.locator('.monaco-editor .codicon-light-bulb').first()
    .waitFor({ state: 'visible', timeout: STEP_TIMEOUT_MS });
  const actions = page.locator('.action-widget .monaco-list-row.action');
  await waitFor('the light bulb\'s menu', async () => {
    if (await actions.count() > 0) return true;
    await page.keyboard.press('Escape');
    await page.keyboard.press('Control+.');
    await actions.first().waitFor({ state: 'visible', timeout: 5000 }).catch(() => {});
    return await actions.count() > 0;
  }, (shown) => shown);
  await actions.filter({ hasText: title }).first().waitFor({ timeout: STEP_TIMEOUT_MS });
  const count = await actions.count();
  const focused = () => page.locator('.action-widget .monaco-list-row.action.focused').textContent();
  for (let step = 0; step < count && !(await focused()).includes(title); step += 1) {
    await page.keyboard.press('ArrowDown');
  }
  if (!(await focused()).includes(title)) {
    throw new CheckFailed(`the light bulb's menu has no action "${title}": ${JSON.stringify(await actions.allTextContents())}`);
  }
  await screenshot('quick-fix-menu');
  await page.keyboard.press('Enter');
}

async function run() {
  fs.writeFileSync(storyFile, STORY);
  // brindle-check exits 1 when it finds something, as it does here.
  let report;
  try {
    report = execFileSync(brindleCheck, ['--json', 'test.py'], { cwd: storyDir, stdio: ['ignore', 'pipe', 'ignore'] });
  } catch (error) {
    report = error.stdout;
  }
  const expected = JSON.parse(report).findings.map((finding) => ({ line: finding.line, message: finding.message }));
  if (expected.length !== 3 || !expected.some((finding) => finding.line === FIX.line)) {
    throw new CheckFailed(`brindle-check --json gave ${JSON.stringify(expected)}, not the three findings of the story, one on line ${FIX.line}`);
  }

  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS });
  try {
    page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
    await page.goto(`${url}?folder=${encodeURIComponent(storyDir)}`);
    const file = page.locator('.explorer-folders-view .monaco-list-row', { hasText: 'test.py' });
    await file.waitFor({ timeout: STEP_TIMEOUT_MS });
    await file.click();

    await waitFor('the language mode in the status bar',
      () => page.locator('#status\\.editor\\.mode').textContent(), (text) => text.trim() === 'Brindle');
    await screenshot('story-open');
    pass('the story opens with the language mode Brindle');

    await page.keyboard.press('Control+Shift+M');
    await waitFor('the Problems panel, against brindle-check --json', problemsShown, (shown) => same(shown, expected));
    const problems = await screenshot('problems');
    if (readmeImage) fs.copyFileSync(problems, readmeImage);
    pass(`the Problems panel lists brindle-check's ${expected.length} findings, line for line`);

    await goTo(FIX.line, FIX.column);
    await chooseAction(FIX.title);
    const rest = expected.filter((finding) => finding.line !== FIX.line);
    await waitFor('the Problems panel after the quick fix', problemsShown, (shown) => same(shown, rest));
    const fixed = withLines(STORY, FIX.changes);
    await saveAndExpect('the story after the quick fix', fixed);
    await screenshot('quick-fix-applied');
    pass('the quick fix writes ~= for != and its finding goes');

    await goTo(HOVER.line, HOVER.column);
    await page.keyboard.press('Control+K');
    await page.keyboard.press('Control+I');
    await waitFor('the hover of a statement',
      () => page.locator('.monaco-hover:visible').first().textContent(), (text) => text.includes(HOVER.lua));
    await screenshot('hover');
    pass(`the hover of line ${HOVER.line} shows its Lua, ${HOVER.lua}`);
    await page.keyboard.press('Escape');

    await goTo(RENAME.line, RENAME.column);
    await page.keyboard.press('F2');
    const renameBox = page.locator('.rename-box input');
    await renameBox.waitFor({ state: 'visible', timeout: STEP_TIMEOUT_MS });
    await waitFor('the rename box', () => renameBox.inputValue(), (value) => value === RENAME.from);
    await renameBox.fill(RENAME.to);
    await page.keyboard.press('Enter');
    const renamed = withLines(fixed, RENAME.changes);
    await saveAndExpect('the story after the rename', renamed);
    await screenshot('renamed');
    pass(`the rename of ${RENAME.from} changes the label and its jump, and nothing else`);

    await commandInput('Control+Shift+O', '@');
    await waitFor('Go to Symbol in Editor',
      () => page.$$eval('.quick-input-list .monaco-list-row .label-name', (names) => names.map((name) => name.textContent.trim())),
      (names) => same(names, RENAME.labels));
    await screenshot('symbols');
    pass(`Go to Symbol lists the labels, ${RENAME.labels.join(', ')}`);
  } catch (error) {
    if (page) await screenshot('failure').catch(() => {});
    throw error;
  } finally {
    await browser.close();
  }
}

run().catch((error) => {
  console.log(`FAILED: ${error instanceof CheckFailed ? error.message : error.stack}`);
  process.exit(1);
});
