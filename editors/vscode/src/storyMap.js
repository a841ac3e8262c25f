'use strict';
// The story map as Graphviz DOT, from the document brindle-check's
// `brindle.map` returns ({nodes: [{name, line, entries, start, reached,
// defined}], edges: [{from, to, count, line}]}). mapDot(map) gives
// {dot, engine, places}: the graph, the Graphviz layout to draw it with, whose labels are nodes `label-I` and whose
// jumps are edges `jump-I` (ids the SVG keeps), and places[id] the line
// (from 1) each one stands for, where a click on it leads. The start is
// marked by an arrow from a point, labels no jump leads to are dashed,
// targets no label defines are drawn apart (class `undefined`); every
// element carries a class the panel's style sheet colours by. Names come
// from the story, which is untrusted: they reach DOT only inside quoted
// strings, escaped, never as ids. Throws, with a message for the author,
// when the document is not a map. Linear in the map. Pure.
//
// Graphviz's dot draws the story top to bottom, each jump a curve, but its
// time grows much faster than the map: a few hundred milliseconds at
// LAYERED_MOST labels, minutes at a thousand. A larger map is drawn by
// twopi, in rings around the start, each label as far out as the jumps it
// takes to reach it, with straight jumps: under a second at a thousand
// labels (bench/story_map_layout.js).

const LAYERED_MOST = 150;

const NOT_A_MAP = 'brindle-check returned something that is not a story map';

// A DOT quoted string that Graphviz shows as `text`, letter for letter:
// quotes and backslashes escaped (a backslash also starts Graphviz's own
// \n, \N, \G... in labels), and line breaks and other control characters
// turned into blanks. An array is a text of several lines.
function quoted(text) {
  const escaped = (line) => String(line).replace(/[\\"]/g, '\\$&').replace(/[\u0000-\u001f\u007f]/g, ' ');
  return `"${Array.isArray(text) ? text.map(escaped).join('\\n') : escaped(text)}"`;
}

function attributes(list) {
  return `[${Object.entries(list).map(([key, value]) => `${key}=${quoted(value)}`).join(', ')}]`;
}

const isLine = (value) => Number.isInteger(value) && value >= 1;

function checkedMap(map) {
  const ok = map && Array.isArray(map.nodes) && Array.isArray(map.edges) &&
    map.nodes.every((node) => node && typeof node.name === 'string' && isLine(node.line)) &&
    map.edges.every((edge) => edge && typeof edge.from === 'string' && typeof edge.to === 'string' && isLine(edge.line));
  if (!ok) throw new Error(NOT_A_MAP);
  return map;
}

function entriesText(count) {
  const entries = Number.isInteger(count) && count >= 0 ? count : 0;
  return entries === 1 ? '1 entry' : `${entries} entries`;
}

function nodeOf(node, id) {
  if (node.defined === false) {
    return { id, class: 'label undefined', label: [node.name, 'not defined'], tooltip: `no label ${node.name}`, shape: 'box', style: 'dashed,bold' };
  }
  const classes = ['label'];
  if (node.start) classes.push('start');
  if (!node.reached && !node.start) classes.push('unreached');
  return {
    id,
    class: classes.join(' '),
    label: [node.name, entriesText(node.entries)],
    tooltip: classes.includes('unreached') ? `label ${node.name}: no jump_out leads here` : `label ${node.name}`,
    shape: 'box',
    style: classes.includes('unreached') ? 'rounded,dashed' : classes.includes('start') ? 'rounded,bold' : 'rounded',
  };
}

function mapDot(input) {
  const map = checkedMap(input);
  const places = {};
  const idOf = new Map();
  const layered = map.nodes.length <= LAYERED_MOST;
  const start = map.nodes.findIndex((node) => node.start);
  // Arial, whose widths Graphviz knows, so that names fit their boxes.
  const lines = [
    'digraph story {',
    layered
      ? '  graph [rankdir="TB", nodesep="0.3", ranksep="0.45", bgcolor="transparent", fontname="Arial"];'
      : `  graph [root="label-${Math.max(start, 0)}", overlap="scale", splines="false", bgcolor="transparent", fontname="Arial"];`,
    '  node [fontname="Arial", fontsize="11", margin="0.15,0.06"];',
    '  edge [fontname="Arial", fontsize="10", arrowsize="0.7"];',
  ];
  const undefinedTargets = new Set();
  map.nodes.forEach((node, index) => {
    if (idOf.has(node.name)) return;
    const id = `label-${index}`;
    idOf.set(node.name, id);
    places[id] = node.line;
    const record = nodeOf(node, id);
    if (node.defined === false) undefinedTargets.add(id);
    lines.push(`  ${quoted(id)} ${attributes(record)};`);
    if (node.start) {
      lines.push(`  "entry" ${attributes({ id: 'entry', class: 'entry', shape: 'point', width: '0.12', tooltip: 'the story starts here' })};`);
      lines.push(`  "entry" -> ${quoted(id)} ${attributes({ class: 'entry' })};`);
    }
  });
  // A target the map's nodes leave out is drawn as undefined all the same.
  map.edges.forEach((edge, index) => {
    for (const name of [edge.from, edge.to]) {
      if (idOf.has(name)) continue;
      const id = `label-${map.nodes.length + undefinedTargets.size}`;
      idOf.set(name, id);
      places[id] = edge.line;
      undefinedTargets.add(id);
      lines.push(`  ${quoted(id)} ${attributes(nodeOf({ name, defined: false }, id))};`);
    }
    const id = `jump-${index}`;
    places[id] = edge.line;
    const count = Number.isInteger(edge.count) && edge.count > 1 ? edge.count : 1;
    const record = { id, class: undefinedTargets.has(idOf.get(edge.to)) ? 'jump undefined' : 'jump', tooltip: `jump_out ${edge.to}, line ${edge.line}` };
    if (count > 1) record.label = `×${count}`;
    lines.push(`  ${quoted(idOf.get(edge.from))} -> ${quoted(idOf.get(edge.to))} ${attributes(record)};`);
  });
  if (layered && undefinedTargets.size) {
    lines.push(`  { rank="sink"; ${[...undefinedTargets].map(quoted).join('; ')}; }`);
  }
  lines.push('}');
  return { dot: `${lines.join('\n')}\n`, engine: layered ? 'dot' : 'twopi', places };
}

module.exports = { mapDot, NOT_A_MAP, LAYERED_MOST };
