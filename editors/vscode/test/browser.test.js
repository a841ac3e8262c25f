'use strict';
// The panels' pages in Chromium: the play and the map drawn from the tour's
// documents, a click that asks for its line, Restart with the values typed,
// nothing refused by the pages' policy; and screenshots of both, into
// BRINDLE_SCREENSHOTS (a folder) where it is given. test.sh browser runs
// this, and skips it where Chromium or playwright-core is missing.
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const { browser, openPage, send } = require('./browser/harness');
const { TOUR_PLAY, TOUR_MAP } = require('./browser/samples');
const { playView } = require('../src/playView');
const { mapDot } = require('../src/storyMap');

const screenshots = process.env.BRINDLE_SCREENSHOTS;
let opened;

test.before(async () => { opened = await browser(); });
test.after(async () => { if (opened && opened.close) await opened.close(); });

const posted = (page, type) => page.evaluate((kind) => window.posted.filter((message) => message.type === kind), type);

test('the play panel shows the play as a player reads it, and answers clicks', async (t) => {
  if (opened.reason) return t.skip(opened.reason);
  const page = await openPage(opened.context, 'play');
  await send(page, { type: 'play', title: 'Play from the start', view: playView(TOUR_PLAY) });
  const shown = await page.$$eval('#steps > li', (items) => items.map((item) => [item.className, item.dataset.line, item.innerText.replace(/\s+/g, ' ').trim()]));
  assert.deepStrictEqual(shown.slice(0, 4), [
    ['step dialogue', '6', 'e Welcome to the harbour town.'],
    ['step call', '7', 'call show_text("The tide is low.")'],
    ['step jump', '8', 'jump_out morning'],
    ['step dialogue', '13', 'e Another morning by the water.'],
  ]);
  assert.deepStrictEqual(shown.at(-1), ['step end end', '56', 'The end the path ends']);
  assert.strictEqual(shown.length, TOUR_PLAY.steps.length + 1);
  assert.strictEqual(await page.$eval('.step.call', (item) => getComputedStyle(item).fontFamily.includes('monospace')), true, 'calls in monospace');

  await page.click('#steps > li:nth-child(5)');
  assert.deepStrictEqual(await posted(page, 'reveal'), [{ type: 'reveal', line: 15 }]);
  await page.fill('#value-coins', '12');
  await page.fill('#value-has_map', ' True ');
  if (screenshots) await page.screenshot({ path: path.join(screenshots, 'play-panel.png'), fullPage: true });
  await page.click('#restart');
  assert.deepStrictEqual(await posted(page, 'restart'), [{ type: 'restart', set: { coins: '12', has_map: 'True' } }]);

  const error = { steps: [], end: { line: 12, kind: 'notLoaded', message: 'line 12 does not load in Lua' }, variables: {} };
  await send(page, { type: 'play', title: 'Play from market', view: playView(error) });
  assert.deepStrictEqual(await page.$$eval('#steps > li', (items) => items.map((item) => item.className)), ['step end error']);
  assert.match(await page.$eval('.step.end', (item) => item.innerText), /The Problems panel lists why/);
  assert.deepStrictEqual(await page.evaluate(() => window.refused), []);
});

test('the map panel lays out the story map and answers clicks on labels and jumps', async (t) => {
  if (opened.reason) return t.skip(opened.reason);
  const page = await openPage(opened.context, 'map');
  await send(page, { type: 'map', ...mapDot(TOUR_MAP) });
  await page.waitForFunction(() => window.posted.some((message) => message.type === 'rendered'));
  const labels = await page.$$eval('#graph g.node', (nodes) => nodes.map((node) => [node.id, node.getAttribute('class'), node.textContent.replace(/\s+/g, ' ').trim()]).sort());
  assert.deepStrictEqual(labels, [
    ['entry', 'node entry', 'entry'],
    ['label-0', 'node label start', 'label-0 start 7 entries'],
    ['label-1', 'node label', 'label-1 morning 5 entries'],
    ['label-2', 'node label', 'label-2 market 6 entries'],
    ['label-3', 'node label', 'label-3 lighthouse 5 entries'],
  ]);
  if (screenshots) await page.screenshot({ path: path.join(screenshots, 'story-map.png'), clip: { x: 0, y: 0, width: 720, height: 440 } });
  await page.click('#label-2 text');
  await page.click('#jump-3 path', { force: true });
  assert.deepStrictEqual(await posted(page, 'reveal'), [{ type: 'reveal', line: 23 }, { type: 'reveal', line: 49 }]);
  await send(page, { type: 'failure', message: 'brindle-check is not running' });
  await page.waitForFunction(() => !document.querySelector('#graph svg'));
  assert.strictEqual(await page.$eval('#notice', (notice) => notice.textContent), 'brindle-check is not running');
  assert.deepStrictEqual(await page.evaluate(() => window.refused), []);
});
