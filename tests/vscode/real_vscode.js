'use strict';
// Drives a real VS Code (code-server, in headless Chromium) on a story and
// checks what its workbench shows: the language mode, the Problems panel
// against `brindle-check --json`, a quick fix, a hover, a rename and the
// story's symbols; then, on the tour (examples/tour/test.py), the play
// panel against `brindle-check --play --json` and the map panel against
// `brindle-check --map`, each answering clicks, the play its starting
// values and the map the story's edits. real_vscode.sh starts code-server
// and gives:
//   node real_vscode.js URL BRINDLE_CHECK STORY_DIR OUTPUT_DIR [IMAGE_DIR]
// where URL serves the workbench and STORY_DIR is an empty folder, in which
// the stories are written before the workbench opens it. Every step waits
// for what it expects (up to STEP_TIMEOUT_MS) and leaves a screenshot in
// OUTPUT_DIR; IMAGE_DIR, when given, receives those of the editor with its
// Problems panel, the play and the map (IMAGES). Exits 1 at the first check
// that fails, saying what the editor showed.
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { chromium } = require('playwright-core');

const STEP_TIMEOUT_MS = 60000;
const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const [url, brindleCheck, storyDir, outputDir, imageDir] = process.argv.slice(2);
const storyFile = path.join(storyDir, 'test.py');
const tourDir = path.join(storyDir, 'tour');
const tourFile = path.join(tourDir, 'test.py');
const TOUR = fs.readFileSync(path.join(__dirname, '..', '..', 'examples', 'tour', 'test.py'), 'utf8');
const IMAGES = { problems: 'vscode-problems.png', play: 'vscode-play.png', map: 'vscode-map.png' };

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

// The play from the tour's first label, and from its market with starting
// values (as typed in the panel, the story's True among them), which takes
// the market's other branch to the lighthouse.
const PLAY = { line: 3, from: 'start' };
const REPLAY = { line: 25, from: 'market', typed: { coins: '20', met_guide: 'True' }, set: ['coins=20', 'met_guide=true'] };
// The label whose box is clicked, and the edit that adds a label and a jump
// to it at the story's end.
const MAP_CLICK = 'market';
const MAP_EDIT = { label: 'attic', from: 'lighthouse', text: '    jump_out attic\nlabel attic:\n    e "Dust on the beams."\n' };

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
// status bar then confirms. An editor that has only just opened may let
// the Enter go before it took the line typed (seen once in a loaded run):
// Go to Line is then asked again, a few times, before the step fails.
async function goTo(line, column) {
  const status = () => page.locator('#status\\.editor\\.selection').textContent();
  const there = (text) => text.trim() === `Ln ${line}, Col ${column}`;
  for (let attempt = 1; attempt < 3; attempt++) {
    const input = await commandInput('Control+G', ':');
    await input.fill(`:${line}:${column}`);
    await page.keyboard.press('Enter');
    const deadline = Date.now() + STEP_TIMEOUT_MS / 4;
    while (Date.now() < deadline) {
      if (there(await status().catch(() => ''))) return;
      await page.waitForTimeout(200);
    }
    await page.keyboard.press('Escape');
  }
  const input = await commandInput('Control+G', ':');
  await input.fill(`:${line}:${column}`);
  await page.keyboard.press('Enter');
  await waitFor(`the cursor at ${line}:${column}`, status, there);
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

// Runs a command of the palette by its title.
async function runCommand(title) {
  const input = await commandInput('Control+Shift+P', '>');
  await input.fill(`>${title}`);
  await waitFor(`the command ${title} in the palette`,
    () => page.locator('.quick-input-list .monaco-list-row.focused .label-name').textContent(),
    (name) => name.trim() === title);
  await page.keyboard.press('Enter');
}

// The title of each editor group's active tab, left to right.
function activeTabs() {
  return page.$$eval('.part.editor .editor-group-container',
    (groups) => groups.map((group) => group.querySelector('.tab.active .label-name')?.textContent.trim()));
}

// Waits for the editor's second group to show the panel `title`, beside
// the story in the first.
async function expectBeside(title) {
  await waitFor(`the panel ${title} beside the story`, activeTabs, (tabs) => same(tabs, ['test.py', title]));
}

// The frame of a panel's page: webviews are iframes within iframes, and the
// page of `kind` is the one whose body has that class.
async function panelFrame(kind) {
  return waitFor(`the page of the ${kind} panel`, async () => {
    for (const frame of page.frames()) {
      if (!frame.url().includes('webview')) continue;
      if (await frame.evaluate((wanted) => document.body?.classList.contains(wanted), kind).catch(() => false)) return frame;
    }
    return undefined;
  }, (frame) => frame !== undefined);
}

function brindlePlay(...options) {
  const out = execFileSync(brindleCheck, ['--play', '--json', ...options, 'test.py'], { cwd: tourDir, stdio: ['ignore', 'pipe', 'ignore'] });
  return JSON.parse(out);
}

// The rows the play panel should show for a play of `brindle-check --play
// --json`: each step's kind, line, speaker and text, then the end.
function playRows(play) {
  const rows = play.steps.map((step) => {
    if (step.kind === 'dialogue') return ['dialogue', step.line, step.speaker, step.text];
    if (step.kind === 'call') return ['call', step.line, '', `call ${step.call}`];
    return [step.kind, step.line, '', `jump_out ${step.target}`];
  });
  return [...rows, ['end end', play.end.line, '', `The end ${play.end.message}`]];
}

function playShown(frame) {
  return frame.evaluate(() => ({
    title: document.getElementById('title').textContent,
    rows: [...document.querySelectorAll('#steps > li')].map((item) => [
      item.className.replace(/^step /, ''),
      Number(item.dataset.line),
      item.querySelector('.speaker')?.textContent ?? '',
      item.classList.contains('dialogue') ? item.querySelector('.text').textContent : item.innerText.replace(/\s+/g, ' ').trim(),
    ]),
  }));
}

async function expectPlay(frame, what, title, rows) {
  await waitFor(what, () => playShown(frame), (shown) => shown.title === title && same(shown.rows, rows));
}

// The tour's labels with their lines and entries and its jumps, as
// `brindle-check --map` draws them.
function brindleMap() {
  const dot = execFileSync(brindleCheck, ['--map', 'test.py'], { cwd: tourDir, encoding: 'utf8' });
  const labels = [...dot.matchAll(/^ {2}"([^"]+)" \[label="[^"]*\\nline (\d+), (\d+) entr/gm)]
    .map(([, name, line, entries]) => ({ name, line: Number(line), entries: Number(entries) }));
  const jumps = [...dot.matchAll(/^ {2}"([^"]+)" -> "([^"]+)"/gm)].map(([, from, to]) => `${from} -> ${to}`);
  return { labels, jumps };
}

// What the map panel's SVG draws: each label box's lines of text, and each
// jump as `from -> to` by the names in the boxes at its ends.
function mapShown(frame) {
  return frame.evaluate(() => {
    const names = {};
    const labels = [...document.querySelectorAll('#graph g.node.label')].map((node) => {
      const lines = [...node.querySelectorAll('text')].map((text) => text.textContent);
      names[node.querySelector('title').textContent] = lines[0];
      return lines;
    });
    const jumps = [...document.querySelectorAll('#graph g.edge.jump')].map((edge) => {
      const [from, to] = edge.querySelector('title').textContent.split('->');
      return `${names[from]} -> ${names[to]}`;
    });
    return { labels, jumps };
  });
}

async function expectMap(frame, what, map) {
  const labels = map.labels.map((label) => [label.name, `${label.entries} ${label.entries === 1 ? 'entry' : 'entries'}`]);
  await waitFor(what, () => mapShown(frame), (shown) => same(shown.labels, labels) && same([...shown.jumps].sort(), [...map.jumps].sort()));
}

function statusLine() {
  return page.locator('#status\\.editor\\.selection').textContent().then((text) => text.trim());
}

async function screenshotFor(name, image) {
  const file = await screenshot(name);
  if (imageDir) fs.copyFileSync(file, path.join(imageDir, image));
}

async function checkPlay() {
  await goTo(PLAY.line, 1);
  await runCommand('Brindle: Play from Here');
  await expectBeside('Play: test.py');
  const frame = await panelFrame('play');
  const play = brindlePlay();
  if (play.end.kind !== 'pathEnd' || play.end.message !== 'the path ends') {
    throw new CheckFailed(`brindle-check --play --json ended the tour with ${JSON.stringify(play.end)}, not "the path ends"`);
  }
  await expectPlay(frame, 'the play panel, against brindle-check --play --json', `Play from ${PLAY.from}`, playRows(play));
  const looks = await frame.evaluate(() => {
    const style = (selector, pseudo) => getComputedStyle(document.querySelector(selector), pseudo);
    return {
      dialogue: style('.step.dialogue').fontFamily,
      call: style('.step.call').fontFamily,
      divider: style('.step.jump', '::before').borderTopStyle,
    };
  });
  if (looks.call === looks.dialogue || looks.divider !== 'solid') {
    throw new CheckFailed(`calls are not set apart, or jumps are no dividers: ${JSON.stringify(looks)}`);
  }
  await screenshot('play');
  pass(`the play panel opens beside the story with the ${play.steps.length} steps of brindle-check --play, calls and jumps apart, to "${play.end.message}"`);

  await goTo(REPLAY.line, 1);
  await runCommand('Brindle: Play from Here');
  await expectPlay(frame, `the play from ${REPLAY.from}`, `Play from ${REPLAY.from}`, playRows(brindlePlay('--from', REPLAY.from)));
  for (const [name, value] of Object.entries(REPLAY.typed)) await frame.fill(`#value-${name}`, value);
  await frame.click('#restart');
  const set = brindlePlay('--from', REPLAY.from, ...REPLAY.set.flatMap((setting) => ['--set', setting]));
  await expectPlay(frame, `the play from ${REPLAY.from} with ${REPLAY.set.join(', ')}`, `Play from ${REPLAY.from}`, playRows(set));
  await screenshotFor('play-with-values', IMAGES.play);
  pass(`Restart with ${REPLAY.set.join(', ')} plays the branch brindle-check --play --set plays, to line ${set.end.line}`);

  const step = set.steps.find((candidate) => candidate.kind === 'dialogue' && candidate.line !== REPLAY.line);
  await frame.click(`#steps > li[data-line="${step.line}"]`);
  await waitFor('the cursor after a click on a step', statusLine, (text) => text === `Ln ${step.line}, Col 1`);
  pass(`a click on the step of line ${step.line} puts the cursor there`);
}

async function checkMap() {
  await runCommand('Brindle: Show Story Map');
  await expectBeside('Story Map: test.py');
  const frame = await panelFrame('map');
  const map = brindleMap();
  if (map.labels.length !== 4 || map.jumps.length !== 4) {
    throw new CheckFailed(`brindle-check --map gave ${JSON.stringify(map)}, not the tour's 4 labels and 4 jumps`);
  }
  await expectMap(frame, 'the map panel, against brindle-check --map', map);
  await screenshotFor('map', IMAGES.map);
  pass(`the map panel draws brindle-check --map's ${map.labels.length} labels and ${map.jumps.length} jumps`);

  const clicked = map.labels.find((label) => label.name === MAP_CLICK);
  await frame.locator('#graph g.node.label', { hasText: MAP_CLICK }).locator('text').first().click();
  await waitFor('the cursor after a click on a label', statusLine, (text) => text === `Ln ${clicked.line}, Col 1`);
  pass(`a click on the label ${MAP_CLICK} puts the cursor on its line, ${clicked.line}`);

  await page.keyboard.press('Control+End');
  await page.keyboard.insertText(MAP_EDIT.text);
  await page.keyboard.press('Control+S');
  await waitFor('the tour after the edit, saved', async () => fs.readFileSync(tourFile, 'utf8'), (text) => text === TOUR + MAP_EDIT.text);
  const edited = brindleMap();
  if (!edited.labels.some((label) => label.name === MAP_EDIT.label) || !edited.jumps.includes(`${MAP_EDIT.from} -> ${MAP_EDIT.label}`)) {
    throw new CheckFailed(`brindle-check --map of the edited tour gave ${JSON.stringify(edited)}, without the label ${MAP_EDIT.label} and its jump`);
  }
  await expectMap(frame, `the map after the edit that adds the label ${MAP_EDIT.label}`, edited);
  await screenshot('map-edited');
  pass(`after an edit that adds the label ${MAP_EDIT.label} and a jump to it, the map draws them as brindle-check --map does`);
}

async function run() {
  fs.writeFileSync(storyFile, STORY);
  fs.mkdirSync(tourDir);
  fs.writeFileSync(tourFile, TOUR);
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
    await screenshotFor('problems', IMAGES.problems);
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
    await page.keyboard.press('Escape');
    // The panels are seen whole with the Problems panel closed.
    await page.keyboard.press('Control+J');
    await page.locator('.part.panel').waitFor({ state: 'hidden', timeout: STEP_TIMEOUT_MS });

    const tour = await commandInput('Control+P', '');
    await tour.fill('tour/test.py');
    await waitFor('the tour in Quick Open',
      () => page.locator('.quick-input-list .monaco-list-row.focused .label-description').textContent(),
      (folder) => folder.trim() === 'tour');
    await page.keyboard.press('Enter');
    await waitFor('the tour, open as a story', async () => [await page.locator('.tab.active .label-description').textContent().catch(() => ''),
      (await page.locator('#status\\.editor\\.mode').textContent()).trim()], (shown) => same(shown, ['tour', 'Brindle']));
    await checkPlay();
    await checkMap();
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
