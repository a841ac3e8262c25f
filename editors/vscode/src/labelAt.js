'use strict';
// The label a line of a story belongs to: the nearest label line at or above
// it, as a play from there begins. labelAt(lineText, line) reads lines
// `line`, `line - 1`, ... through lineText(index) (0-based, as the editor
// counts them) until one is a label line, and returns its name, or
// undefined when there is none above (the play then starts at the story's
// start). Each line is read once; nothing else is touched. Pure.

const { LABEL_LINE } = require('./story');

function labelAt(lineText, line) {
  for (let index = line; index >= 0; index--) {
    const found = LABEL_LINE.exec(lineText(index));
    if (found) return found[1];
  }
  return undefined;
}

module.exports = { labelAt };
