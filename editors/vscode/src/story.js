'use strict';
// Whether a text that VS Code opened as Python is a Brindle story: its first
// line that is neither blank nor a `#` or `--` line is `label NAME:`. No
// Python program can begin so (two names side by side, with or without a
// colon after them, are a syntax error in Python), so no Python file is
// taken from Python. Only the first STORY_LINES_LOOKED_AT lines are read,
// so a large file costs nothing. Pure.

const STORY_LINES_LOOKED_AT = 200;
const SKIPPED_LINE = /^[ \t\r\v\f]*(?:$|#|--)/;
// A label line; its name is the first group.
const LABEL_LINE = /^[ \t]*label[ \t]+([\p{L}\p{N}_]+)[ \t]*:/u;

function looksLikeStory(text) {
  const lines = text.replace(/^\uFEFF/, '').split('\n', STORY_LINES_LOOKED_AT);
  const first = lines.find((line) => !SKIPPED_LINE.test(line));
  return first !== undefined && LABEL_LINE.test(first);
}

module.exports = { looksLikeStory, STORY_LINES_LOOKED_AT, LABEL_LINE };
