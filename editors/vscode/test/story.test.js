'use strict';
// Which texts open as stories rather than as Python: the example stories
// do, and no Python program does.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { looksLikeStory, STORY_LINES_LOOKED_AT } = require('../src/story');

const examples = path.join(__dirname, '..', '..', '..', 'examples');

const cases = [
  ['a label first', 'label start:\n    e "Hi."\n', true],
  ['blank, # and -- lines before it', '\n  \n# Chapter one\n-- drafted in May\nlabel start:\n', true],
  ['a byte-order mark and CR LF line ends', '\uFEFFlabel start:\r\n    path_end\r\n', true],
  ['an indented label, blanks before the colon', '\tlabel  harbour_2 :\n', true],
  ['a label named in another script', 'label café:\n', true],
  ['a statement before the first label', '$ coins = 0\nlabel start:\n', false],
  ['a label without its colon', 'label start\n', false],
  ['Python that assigns to label', 'label = 3\n', false],
  ['Python that annotates label', 'label: int = 3\n', false],
  ['Python that indexes label', 'label[a]: int\n', false],
  ['a Python program', '#!/usr/bin/env python3\nimport os\nprint(os.name)\n', false],
  ['a word that starts with label', 'labels start:\n', false],
  ['nothing but comments', '# one\n-- two\n', false],
  ['an empty file', '', false],
  ['a label past the lines looked at', '#\n'.repeat(STORY_LINES_LOOKED_AT) + 'label start:\n', false],
];

test('looksLikeStory tells stories from Python', () => {
  for (const [name, text, expected] of cases) {
    assert.strictEqual(looksLikeStory(text), expected, name);
  }
});

// VS Code's own test of a file's first line, for files whose name gives
// no language: the manifest's firstLine, compiled as VS Code compiles it.
const firstLine = new RegExp(require('../package.json').contributes.languages[0].firstLine);

test('every example story is recognised, by its text and by its first line', () => {
  const stories = fs.readdirSync(examples).map((name) => path.join(examples, name, 'test.py'))
    .filter((file) => fs.existsSync(file));
  assert.ok(stories.length > 0, `no example stories in ${examples}`);
  for (const file of stories) {
    const text = fs.readFileSync(file, 'utf8');
    assert.ok(looksLikeStory(text), file);
    assert.ok(firstLine.test(text.split('\n')[0]), `firstLine: ${file}`);
  }
  for (const line of ['label = 3', 'labels start:', 'import os', '# label start:']) {
    assert.ok(!firstLine.test(line), `firstLine: ${line}`);
  }
});
