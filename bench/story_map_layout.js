'use strict';
// How long the story map panel takes to lay out a large story's map: a
// generated map of LABELS labels (1,000 by default) goes through the
// extension's DOT (src/storyMap.js) into the map page in headless
// Chromium, where the bundled Graphviz (Viz.js, WebAssembly) lays it out;
// prints the milliseconds of each of RUNS layouts (3 by default) and their
// median, the time the page measured around the layout and drawing of the
// SVG, and the time from posting the map to the SVG in the page. Nothing
// passes or fails on speed. Needs editors/vscode's packages (npm ci) and
// Chromium; exits 77 with the reason where either is missing.
//   node bench/story_map_layout.js [LABELS [RUNS]]
const path = require('path');

const vscode = path.join(__dirname, '..', 'editors', 'vscode');
const { browser, openPage, send } = require(path.join(vscode, 'test', 'browser', 'harness'));
const { generatedMap } = require(path.join(vscode, 'test', 'browser', 'samples'));
const { mapDot } = require(path.join(vscode, 'src', 'storyMap'));

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function main() {
  const labels = Number(process.argv[2] || 1000);
  const runs = Number(process.argv[3] || 3);
  const opened = await browser();
  if (opened.reason) {
    console.log(`SKIPPED: ${opened.reason}`);
    process.exit(77);
  }
  try {
    const map = generatedMap(labels);
    const { dot, engine, places } = mapDot(map);
    const page = await openPage(opened.context, 'map');
    const layouts = [];
    const totals = [];
    for (let run = 0; run < runs; run++) {
      const started = Date.now();
      await send(page, { type: 'map', dot, engine, places });
      const rendered = await page.waitForFunction((count) => {
        const done = window.posted.filter((message) => message.type === 'rendered');
        return done.length > count && done[count];
      }, run, { timeout: 60000, polling: 10 }).then((handle) => handle.jsonValue());
      totals.push(Date.now() - started);
      layouts.push(rendered.milliseconds);
      if (rendered.labels < labels) throw new Error(`the map shows ${rendered.labels} nodes of ${labels} labels`);
    }
    console.log(`story map of ${labels} labels, ${map.edges.length} jumps (${map.nodes.length - labels} undefined targets), DOT ${dot.length} bytes, laid out by ${engine}`);
    console.log(`layout in the page, ms: ${layouts.map((ms) => ms.toFixed(0)).join(' ')}; median ${median(layouts).toFixed(0)} (target: at most 1000)`);
    console.log(`posted to drawn, ms: ${totals.join(' ')}; median ${median(totals)}`);
  } finally {
    await opened.close();
  }
}

main().catch((error) => {
  console.error(`story_map_layout: ${error.stack || error}`);
  process.exit(1);
});
