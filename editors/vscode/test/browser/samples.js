'use strict';
// Documents as brindle-check answers them, for the panels in the browser:
// the tour's play and map (examples/tour/test.py, its line numbers), and
// generatedMap(labels), a map of a story of that many labels, each of a few
// entries with one to three jumps forward and back, some to labels no story
// defines and some labels that no jump leads to.

const d = (line, label, speaker, text) => ({ line, label, kind: 'dialogue', speaker, text });
const call = (line, label, text) => ({ line, label, kind: 'call', call: text });
const jump = (line, label, target) => ({ line, label, kind: 'jump', target });

const TOUR_PLAY = {
  steps: [
    d(6, 'start', 'e', 'Welcome to the harbour town.'),
    call(7, 'start', 'show_text("The tide is low.")'),
    jump(8, 'start', 'morning'),
    d(13, 'morning', 'e', 'Another morning by the water.'),
    d(15, 'morning', 'e', 'The ferry leaves at noon.'),
    jump(21, 'morning', 'market'),
    d(24, 'market', 'e', 'Stalls line the quay.'),
    d(45, 'market', 'e', 'Nobody pays you any attention.'),
    call(46, 'market', 'play_sound(true)'),
    jump(49, 'market', 'morning'),
    d(13, 'morning', 'e', 'Another morning by the water.'),
    d(17, 'morning', 'e', 'Gulls circle the pier.'),
    jump(21, 'morning', 'market'),
    d(24, 'market', 'e', 'Stalls line the quay.'),
    d(27, 'market', 'g', 'Follow me.'),
    d(39, 'market', 'g', 'You cannot afford the map yet.'),
    d(43, 'market', 'g', 'Back to the boats.'),
    call(46, 'market', 'play_sound(true)'),
    jump(49, 'market', 'morning'),
    d(13, 'morning', 'e', 'Another morning by the water.'),
    d(20, 'morning', 'e', 'Rain drums on the roofs.'),
    jump(21, 'morning', 'market'),
    d(24, 'market', 'e', 'Stalls line the quay.'),
    d(27, 'market', 'g', 'Follow me.'),
    d(29, 'market', 'g', 'Buy the map first.'),
    d(36, 'market', 'g', 'Lanterns are sold out today.'),
    d(37, 'market', 'g', 'Now we are ready.'),
    d(43, 'market', 'g', 'Back to the boats.'),
    call(46, 'market', 'play_sound(true)'),
    jump(48, 'market', 'lighthouse'),
    d(52, 'lighthouse', 'e', 'The lamp turns above you.'),
    d(54, 'lighthouse', 'e', 'You tip the keeper.'),
  ],
  end: { line: 56, label: 'lighthouse', kind: 'pathEnd', message: 'the path ends' },
  variables: { coins: 5, day: 3, has_map: true, met_guide: true },
};

const TOUR_MAP = {
  nodes: [
    { name: 'start', line: 1, entries: 7, start: true, reached: true, defined: true },
    { name: 'morning', line: 10, entries: 5, start: false, reached: true, defined: true },
    { name: 'market', line: 23, entries: 6, start: false, reached: true, defined: true },
    { name: 'lighthouse', line: 51, entries: 5, start: false, reached: true, defined: true },
  ],
  edges: [
    { from: 'start', to: 'morning', count: 1, line: 8 },
    { from: 'morning', to: 'market', count: 1, line: 21 },
    { from: 'market', to: 'lighthouse', count: 1, line: 48 },
    { from: 'market', to: 'morning', count: 1, line: 49 },
  ],
};

// A small generator of its own, so that every run draws the same map.
function generatedMap(labels, seed = 1) {
  let state = seed >>> 0;
  // mulberry32: every bit of its output is well mixed, unlike the low bits
  // of a plain linear congruence.
  const next = (below) => {
    state = (state + 0x6d2b79f5) >>> 0;
    let mixed = Math.imul(state ^ (state >>> 15), state | 1);
    mixed ^= mixed + Math.imul(mixed ^ (mixed >>> 7), mixed | 61);
    return (((mixed ^ (mixed >>> 14)) >>> 0) % below);
  };
  const nodes = [];
  const edges = [];
  const seen = new Set();
  let line = 1;
  for (let index = 0; index < labels; index++) {
    const entries = 2 + next(8);
    nodes.push({ name: `scene_${index}`, line, entries, start: index === 0, reached: index === 0 || next(20) !== 0, defined: true });
    const jumps = 1 + next(3);
    for (let j = 0; j < jumps; j++) {
      const forward = next(4) !== 0;
      const target = forward ? Math.min(labels - 1, index + 1 + next(5)) : next(index + 1);
      const to = next(50) === 0 ? `missing_${index}` : `scene_${target}`;
      const key = `${index} ${to}`;
      if (seen.has(key)) continue;
      seen.add(key);
      edges.push({ from: `scene_${index}`, to, count: 1 + (next(6) === 0 ? 1 : 0), line: line + 1 + j });
      if (to.startsWith('missing_')) nodes.push({ name: to, line: line + 1 + j, entries: 0, start: false, reached: true, defined: false, pending: true });
    }
    line += entries + 2;
  }
  // Targets no label defines come after the defined labels.
  const defined = nodes.filter((node) => !node.pending);
  const missing = nodes.filter((node) => node.pending).map(({ pending, ...node }) => node);
  return { nodes: [...defined, ...missing], edges };
}

module.exports = { TOUR_PLAY, TOUR_MAP, generatedMap };
