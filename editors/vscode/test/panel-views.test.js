'use strict';
// What the play and map panels make of the server's answers, and of the
// cursor: the label a play starts from, the DOT of a map (laid out here by
// the same Graphviz the panel bundles, so that its escaping is Graphviz's
// reading, not ours), the play's steps and end, and the pages' policy.
const test = require('node:test');
const assert = require('node:assert');
const { labelAt } = require('../src/labelAt');
const { mapDot, NOT_A_MAP, LAYERED_MOST } = require('../src/storyMap');
const { playView, NOT_A_PLAY, PROBLEMS_HINT } = require('../src/playView');
const { panelHtml } = require('../src/webview');

test('a play starts at the label line at or above the cursor', () => {
  const story = [
    '-- the harbour',          // 0
    'label start:',            // 1
    '    e "Hi."',             // 2
    '',                        // 3
    '  label  café_2 :  ',     // 4
    '    jump_out start',      // 5
    '    e "label inside:"',   // 6
    'labels: 3',               // 7
  ];
  const cases = [
    ['above the first label: the start', 0, undefined],
    ['on a label line', 1, 'start'],
    ['inside a label', 2, 'start'],
    ['a blank line belongs to the label above', 3, 'start'],
    ['an indented label, another script, blanks before the colon', 4, 'café_2'],
    ['"label" inside dialogue is no label line', 6, 'café_2'],
    ['a word that starts with label is none', 7, 'café_2'],
  ];
  for (const [name, line, expected] of cases) {
    const read = [];
    assert.strictEqual(labelAt((index) => { read.push(index); return story[index]; }, line), expected, name);
    assert.ok(read.every((index, i) => index === line - i), `${name}: reads upward, each line once`);
  }
});

const TOUR_MAP = {
  nodes: [
    { name: 'start', line: 1, entries: 7, start: true, reached: true, defined: true },
    { name: 'morning', line: 10, entries: 5, start: false, reached: true, defined: true },
    { name: 'market', line: 22, entries: 6, start: false, reached: true, defined: true },
    { name: 'lighthouse', line: 49, entries: 5, start: false, reached: true, defined: true },
    { name: 'attic', line: 58, entries: 1, start: false, reached: false, defined: true },
    { name: 'cellar', line: 59, entries: 0, start: false, reached: true, defined: false },
  ],
  edges: [
    { from: 'start', to: 'morning', count: 1, line: 8 },
    { from: 'morning', to: 'market', count: 1, line: 21 },
    { from: 'market', to: 'lighthouse', count: 1, line: 46 },
    { from: 'market', to: 'morning', count: 2, line: 47 },
    { from: 'attic', to: 'cellar', count: 1, line: 59 },
  ],
};

// The nodes and edges of a graph as Graphviz lays it out in SVG, the form
// the panel shows: each one's id, classes and lines of text, and an edge's
// ends.
async function laidOut(dot) {
  const viz = await require('@viz-js/viz').instance();
  const svg = viz.renderString(dot, { format: 'svg' });
  const entities = { '&quot;': '"', '&lt;': '<', '&gt;': '>', '&amp;': '&', '&#45;': '-', '&#39;': "'" };
  const text = (xml) => xml.replace(/&(quot|lt|gt|amp|#45|#39);/g, (entity) => entities[entity]);
  const found = [];
  for (const [, id, kind, body] of svg.matchAll(/<g id="([^"]*)" class="((?:node|edge)[^"]*)">([\s\S]*?)\n<\/g>\n(?=<!--|<\/g>)/g)) {
    const lines = [...body.matchAll(/<text[^>]*>([^<]*)<\/text>/g)].map((match) => text(match[1]));
    const ends = kind.startsWith('edge') ? text(/<title>([^<]*)<\/title>/.exec(body)[1]) : undefined;
    found.push(ends ? [text(id), kind, ends, ...lines] : [text(id), kind, ...lines]);
  }
  return found;
}

test('a map becomes DOT that Graphviz reads as the story says', async () => {
  const hostile = 'a"b\\c\\n\nd';
  const cases = [
    {
      name: 'the tour: start marked, counts, an unreached label, an undefined target',
      map: TOUR_MAP,
      graph: [
        ['label-0', 'node label start', 'start', '7 entries'],
        ['label-1', 'node label', 'morning', '5 entries'],
        ['label-2', 'node label', 'market', '6 entries'],
        ['label-3', 'node label', 'lighthouse', '5 entries'],
        ['label-4', 'node label unreached', 'attic', '1 entry'],
        ['label-5', 'node label undefined', 'cellar', 'not defined'],
        ['jump-0', 'edge jump', 'label-0->label-1'],
        ['jump-1', 'edge jump', 'label-1->label-2'],
        ['jump-2', 'edge jump', 'label-2->label-3'],
        ['jump-3', 'edge jump', 'label-2->label-1', '×2'],
        ['jump-4', 'edge jump undefined', 'label-4->label-5'],
        ['entry', 'node entry'],
        ['edge1', 'edge entry', 'entry->label-0'],
      ],
      places: { 'label-0': 1, 'label-1': 10, 'label-2': 22, 'label-3': 49, 'label-4': 58, 'label-5': 59, 'jump-0': 8, 'jump-1': 21, 'jump-2': 46, 'jump-3': 47, 'jump-4': 59 },
    },
    {
      name: 'names with quotes, backslashes, Graphviz escapes and line breaks are shown as they are',
      map: {
        nodes: [{ name: hostile, line: 1, entries: 2, start: true, reached: true, defined: true }],
        edges: [{ from: hostile, to: '} digraph x {', count: 1, line: 2 }],
      },
      graph: [
        ['label-0', 'node label start', 'a"b\\c\\n d', '2 entries'],
        ['label-1', 'node label undefined', '} digraph x {', 'not defined'],
        ['jump-0', 'edge jump undefined', 'label-0->label-1'],
        ['entry', 'node entry'],
        ['edge1', 'edge entry', 'entry->label-0'],
      ],
      places: { 'label-0': 1, 'label-1': 2, 'jump-0': 2 },
    },
  ];
  for (const { name, map, graph, places } of cases) {
    const made = mapDot(map);
    const sorted = (list) => [...list].sort((a, b) => (a[0] < b[0] ? -1 : 1));
    assert.deepStrictEqual(sorted(await laidOut(made.dot)), sorted(graph), name);
    assert.deepStrictEqual(made.places, places, name);
    assert.strictEqual(made.engine, 'dot', name);
  }
  // A large map is laid out in rings around its start, which stays quick.
  const scenes = Array.from({ length: LAYERED_MOST + 1 }, (_, index) => ({ name: `s${index}`, line: index + 1, start: index === 3 }));
  const large = mapDot({ nodes: scenes, edges: [] });
  assert.strictEqual(large.engine, 'twopi');
  assert.match(large.dot, /graph \[root="label-3"/);
  assert.strictEqual(mapDot({ nodes: scenes.slice(1), edges: [] }).engine, 'dot');
  for (const broken of [null, {}, { nodes: [], edges: {} }, { nodes: [{ name: 'x', line: 0 }], edges: [] }, { nodes: [], edges: [{ from: 'a', to: 3, line: 1 }] }]) {
    assert.throws(() => mapDot(broken), { message: NOT_A_MAP }, JSON.stringify(broken));
  }
});

test('a play becomes steps, an end set apart by its tone, and values as the story writes them', () => {
  const cases = [
    {
      name: 'the tour to its end',
      play: {
        steps: [
          { line: 6, label: 'start', kind: 'dialogue', speaker: 'e', text: 'Welcome to the harbour town.' },
          { line: 7, label: 'start', kind: 'call', call: 'show_text("The tide is low.")' },
          { line: 8, label: 'start', kind: 'jump', target: 'morning' },
        ],
        end: { line: 56, label: 'lighthouse', kind: 'pathEnd', message: 'the path ends' },
        variables: { coins: 3, day: 4, has_map: true, met_guide: false, name: 'Ann "the" \\ one' },
      },
      steps: [
        { line: 6, kind: 'dialogue', speaker: 'e', text: 'Welcome to the harbour town.' },
        { line: 7, kind: 'call', speaker: '', text: 'call show_text("The tide is low.")' },
        { line: 8, kind: 'jump', speaker: '', text: 'morning' },
      ],
      end: { line: 56, kind: 'pathEnd', tone: 'end', heading: 'The end', text: 'the path ends' },
      variables: ['coins = 3', 'day = 4', 'has_map = True', 'met_guide = False', 'name = "Ann \\"the\\" \\\\ one"'],
    },
    {
      name: 'a loop is stopped, not an error',
      play: { steps: [], end: { line: 21, kind: 'stepLimit', loop: ['morning', 'market'], message: 'stopped after 10000 entries: the story loops through morning, market' } },
      steps: [],
      end: { line: 21, kind: 'stepLimit', tone: 'stopped', heading: 'Stopped', text: 'stopped after 10000 entries: the story loops through morning, market' },
      variables: [],
    },
    {
      name: 'a Lua error',
      play: { steps: [], end: { line: 7, kind: 'error', message: 'attempt to call a nil value' }, variables: {} },
      steps: [],
      end: { line: 7, kind: 'error', tone: 'error', heading: 'Error', text: 'attempt to call a nil value' },
      variables: [],
    },
    {
      name: 'a script that does not load points to the Problems panel',
      play: { end: { line: 12, kind: 'notLoaded', message: 'line 12 does not load in Lua' }, variables: {} },
      steps: [],
      end: { line: 12, kind: 'notLoaded', tone: 'error', heading: 'The story does not load', text: `line 12 does not load in Lua ${PROBLEMS_HINT}` },
      variables: [],
    },
    {
      name: 'an end of a kind this extension does not know is an error, with its kind for a message',
      play: { steps: [{ line: 3, kind: 'pause' }], end: { kind: 'crashed' } },
      steps: [{ line: 3, kind: 'other', speaker: '', text: 'pause' }],
      end: { line: undefined, kind: 'crashed', tone: 'error', heading: 'The end', text: 'crashed' },
      variables: [],
    },
  ];
  for (const { name, play, steps, end, variables } of cases) {
    const view = playView(play);
    assert.deepStrictEqual(view.steps, steps, name);
    assert.deepStrictEqual(view.end, end, name);
    assert.deepStrictEqual(view.variables.map((variable) => `${variable.name} = ${variable.value}`), variables, name);
  }
  for (const broken of [null, 'text', { steps: {} }, { steps: [] }, { steps: [{ line: '6', kind: 'dialogue' }], end: { kind: 'pathEnd' } }]) {
    assert.throws(() => playView(broken), { message: NOT_A_PLAY }, JSON.stringify(broken));
  }
});

test('the pages let in only their own scripts, styles and, for the map, WebAssembly', () => {
  const cases = [
    ['play', "default-src 'none'; style-src vscode-resource:; font-src vscode-resource:; script-src 'nonce-N0nce'"],
    ['map', "default-src 'none'; style-src vscode-resource:; font-src vscode-resource:; script-src 'nonce-N0nce' 'wasm-unsafe-eval'"],
  ];
  for (const [kind, policy] of cases) {
    const html = panelHtml(kind, { cspSource: 'vscode-resource:', nonce: 'N0nce', title: '<b>"test.py"</b>', styles: ['s.css'], scripts: ['a.js', 'b.js'] });
    assert.strictEqual(/http-equiv="Content-Security-Policy" content="([^"]*)"/.exec(html)[1].replace(/&#39;/g, "'"), policy, kind);
    assert.deepStrictEqual(html.match(/<script[^>]*>/g), ['<script nonce="N0nce" src="a.js">', '<script nonce="N0nce" src="b.js">'], kind);
    assert.ok(html.includes('<title>&lt;b&gt;&quot;test.py&quot;&lt;/b&gt;</title>'), `${kind}: the title is text`);
    assert.ok(!/\sstyle=|<style/.test(html), `${kind}: no inline style, which the policy would refuse`);
  }
});
