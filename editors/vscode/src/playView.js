'use strict';
// What the play panel shows, from the document brindle-check's `brindle.play`
// returns ({steps, end, variables}). playView(play) gives
// {steps, end, variables}: each step as {line, kind, speaker, text} (kind
// dialogue, call or jump; text the line, the call, or the label jumped to),
// the end as {line, kind, tone, heading, text} (tone `end`, `stopped` or
// `error`, which the panel sets apart), and the variables at the end as
// [{name, value}], each value written as the story writes one (True, 3,
// "text"), which is also how the author types a starting value. The panel
// builds its page from these with textContent alone: the story's text is
// never markup. Throws, with a message for the author, when the document is
// not a play. Linear in the play. Pure.

const NOT_A_PLAY = 'brindle-check returned something that is not a play of the story';
const PROBLEMS_HINT = 'The Problems panel lists why.';

// Each kind of end: its heading and tone.
const ENDS = {
  pathEnd: { heading: 'The end', tone: 'end' },
  labelEnded: { heading: 'The end', tone: 'end' },
  stepLimit: { heading: 'Stopped', tone: 'stopped' },
  undefinedLabel: { heading: 'Error', tone: 'error' },
  error: { heading: 'Error', tone: 'error' },
  notLoaded: { heading: 'The story does not load', tone: 'error' },
};

const isLine = (value) => Number.isInteger(value) && value >= 1;
const textOf = (value) => (typeof value === 'string' ? value : '');

// A value as a story writes it.
function storyValue(value) {
  if (value === true) return 'True';
  if (value === false) return 'False';
  if (typeof value === 'number') return String(value);
  if (typeof value === 'string') return `"${value.replace(/[\\"]/g, '\\$&').replace(/\n/g, '\\n')}"`;
  return value === null || value === undefined ? 'nil' : JSON.stringify(value);
}

function stepOf(step) {
  if (!step || typeof step !== 'object' || !isLine(step.line)) throw new Error(NOT_A_PLAY);
  switch (step.kind) {
    case 'dialogue': return { line: step.line, kind: 'dialogue', speaker: textOf(step.speaker), text: textOf(step.text) };
    case 'call': return { line: step.line, kind: 'call', speaker: '', text: `call ${textOf(step.call)}` };
    case 'jump': return { line: step.line, kind: 'jump', speaker: '', text: textOf(step.target) };
    default: return { line: step.line, kind: 'other', speaker: '', text: textOf(step.kind) };
  }
}

function endOf(end) {
  if (!end || typeof end !== 'object' || typeof end.kind !== 'string') throw new Error(NOT_A_PLAY);
  const { heading, tone } = ENDS[end.kind] || { heading: 'The end', tone: 'error' };
  const message = textOf(end.message) || end.kind;
  return {
    line: isLine(end.line) ? end.line : undefined,
    kind: end.kind,
    tone,
    heading,
    text: end.kind === 'notLoaded' ? `${message} ${PROBLEMS_HINT}` : message,
  };
}

function playView(play) {
  // A play that never began (notLoaded) may come without its steps.
  if (!play || typeof play !== 'object' || (play.steps !== undefined && !Array.isArray(play.steps))) throw new Error(NOT_A_PLAY);
  const variables = play.variables && typeof play.variables === 'object' ? play.variables : {};
  return {
    steps: (play.steps || []).map(stepOf),
    end: endOf(play.end),
    variables: Object.keys(variables).map((name) => ({ name, value: storyValue(variables[name]) })),
  };
}

module.exports = { playView, storyValue, NOT_A_PLAY, PROBLEMS_HINT };
