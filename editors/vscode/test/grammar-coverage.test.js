'use strict';
// Every scope the grammar gives is asserted by a grammar test case (the
// cases themselves run under vscode-tmgrammar-test), so a scope cannot be
// added or renamed without a case that shows it.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');

const root = path.join(__dirname, '..');
const grammar = JSON.parse(fs.readFileSync(path.join(root, 'syntaxes', 'brindle.tmLanguage.json'), 'utf8'));
const casesFolder = path.join(__dirname, 'grammar');

function scopesOf(rule, into = new Set()) {
  if (Array.isArray(rule)) rule.forEach((item) => scopesOf(item, into));
  else if (rule && typeof rule === 'object') {
    for (const [key, value] of Object.entries(rule)) {
      if (key === 'name' && typeof value === 'string') value.split(/\s+/).forEach((scope) => into.add(scope));
      else scopesOf(value, into);
    }
  }
  return into;
}

test('every scope of the grammar is asserted by a test case', () => {
  const scopes = scopesOf({ patterns: grammar.patterns, repository: grammar.repository });
  const asserted = new Set();
  for (const file of fs.readdirSync(casesFolder).filter((name) => name.endsWith('.brindle'))) {
    for (const line of fs.readFileSync(path.join(casesFolder, file), 'utf8').split('\n')) {
      // `-- ^^ required scopes - prohibited scopes`
      const assertion = /^--\s*(?:<[~-]*|\^+)\s+(.*)$/.exec(line);
      if (!assertion) continue;
      const required = assertion[1].split(/(?:^|\s+)-\s+/)[0];
      required.trim().split(/\s+/).filter(Boolean).forEach((scope) => asserted.add(scope));
    }
  }
  assert.ok(scopes.size > 0);
  assert.deepStrictEqual([...scopes].filter((scope) => !asserted.has(scope)), []);
});
