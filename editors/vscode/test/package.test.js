'use strict';
// What a .vsix that package.sh wrote holds: the extension's files and the
// packages it runs with (which load from it), their notices, the version it
// was given, one date on every entry, and nothing of the tests or tools.
// test.sh package names the file in BRINDLE_VSIX, with BRINDLE_VSIX_VERSION
// and BRINDLE_VSIX_EPOCH; and, given a brindle-check, the linux-x64 .vsix
// that carries it in BRINDLE_VSIX_LINUX, with BRINDLE_VSIX_PROGRAM and
// BRINDLE_VSIX_LICENCE (the LICENSE.txt packaged beside it).
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const Module = require('module');
const { readEntries } = require('../tools/vsix');
const { CARRIED } = require('../src/program');
const source = require('../package.json');

const {
  BRINDLE_VSIX: vsix, BRINDLE_VSIX_VERSION: version, BRINDLE_VSIX_EPOCH: epoch,
  BRINDLE_VSIX_LINUX: linuxVsix, BRINDLE_VSIX_PROGRAM: program, BRINDLE_VSIX_LICENCE: licence,
} = process.env;
const FILE = 0o100644;
const PROGRAM = 0o100755;
const manifestOf = (entries) => entries.find((entry) => entry.name === 'extension.vsixmanifest').data.toString('utf8');
const noticesOf = (entries) => entries.find((entry) => entry.name === 'extension/THIRD-PARTY-NOTICES.txt').data.toString('utf8');

const required = [
  '[Content_Types].xml',
  'extension.vsixmanifest',
  'extension/package.json',
  'extension/readme.md',
  'extension/images/diagnostics.png',
  'extension/THIRD-PARTY-NOTICES.txt',
  'extension/language-configuration.json',
  'extension/syntaxes/brindle.tmLanguage.json',
  'extension/src/extension.js',
  'extension/src/story.js',
  'extension/src/program.js',
  'extension/src/panels.js',
  'extension/src/labelAt.js',
  'extension/src/playView.js',
  'extension/src/storyMap.js',
  'extension/src/webview.js',
  'extension/media/play.js',
  'extension/media/map.js',
  'extension/media/panel.css',
  'extension/node_modules/@viz-js/viz/dist/viz-global.js',
  'extension/node_modules/vscode-languageclient/package.json',
];
const forbidden = [
  /^extension\/test\//, /^extension\/tools\//, /^extension\/(package|test)\.sh$/,
  /^extension\/package-lock\.json$/, /\.d\.ts$/, /\.map$/,
  /node_modules\/(@vscode\/vsce|vscode-tmgrammar-test|yazl|yauzl|playwright-core)\//,
  /node_modules\/@viz-js\/viz\/(dist\/viz\.c?js|lib\/|src\/)/,
];

// Requires `file` with a `vscode` module whose every member is an empty class.
function requireWithoutEditor(file) {
  const member = () => new Proxy(class {}, { get: (target, key) => (key in target ? target[key] : member()) });
  const editor = new Proxy({}, { get: (target, key) => (key in target ? target[key] : (target[key] = member())) });
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request === 'vscode' ? editor : load.call(this, request, ...rest);
  };
  try {
    return require(file);
  } finally {
    Module._load = load;
  }
}

test('the .vsix holds the extension, what it runs with, and nothing else', { skip: !vsix && 'run by test.sh package' }, async () => {
  const entries = await readEntries(vsix);
  const names = entries.map((entry) => entry.name);
  assert.deepStrictEqual(required.filter((name) => !names.includes(name)), [], 'missing');
  assert.deepStrictEqual(names.filter((name) => forbidden.some((pattern) => pattern.test(name))), [], 'not to be packaged');
  assert.deepStrictEqual([...names].sort(), names, 'entries sorted by name');
  const dates = new Set(entries.map((entry) => entry.date.getTime() / 1000));
  assert.deepStrictEqual([...dates], [Number(epoch) - (Number(epoch) % 2)], 'one date, the given one to two seconds');
  assert.deepStrictEqual([...new Set(entries.map((entry) => entry.mode))], [FILE], 'one mode, no program');
  assert.doesNotMatch(manifestOf(entries), /TargetPlatform/);

  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'brindle-vsix-'));
  try {
    for (const entry of entries) {
      fs.mkdirSync(path.dirname(path.join(folder, entry.name)), { recursive: true });
      fs.writeFileSync(path.join(folder, entry.name), entry.data);
    }
    const extension = path.join(folder, 'extension');
    const packaged = JSON.parse(fs.readFileSync(path.join(extension, 'package.json'), 'utf8'));
    assert.strictEqual(packaged.version, version);
    assert.deepStrictEqual({ ...packaged, version: source.version }, source, 'package.json as written, but for the version');

    const notices = fs.readFileSync(path.join(extension, 'THIRD-PARTY-NOTICES.txt'), 'utf8');
    const bundled = names.filter((name) => /^extension\/node_modules\/(.*\/)?package\.json$/.test(name))
      .map((name) => JSON.parse(fs.readFileSync(path.join(folder, name), 'utf8')))
      .filter((manifest) => manifest.name && manifest.version);
    assert.ok(bundled.length >= 5, `${bundled.length} bundled packages`);
    for (const { name, version: packageVersion } of bundled) {
      assert.ok(notices.includes(`\n${name} ${packageVersion} (`), `notice of ${name} ${packageVersion}`);
    }
    // Viz.js ships no licence file; the notices carry its own and those of
    // what it has compiled in, Graphviz's of the version it holds.
    const graphviz = /graphvizVersion = "([^"]+)"/.exec(fs.readFileSync(path.join(__dirname, '..', 'node_modules', '@viz-js', 'viz', 'lib', 'metadata.js'), 'utf8'))[1];
    for (const text of ['Copyright (c) Michael Daines', `Graphviz ${graphviz} (`, 'Eclipse Public License - v 1.0', 'Thai Open Source Software Center']) {
      assert.ok(notices.includes(text), `notices: ${text}`);
    }
    assert.ok(!notices.includes('ships no licence file'), 'every bundled package has its notice');

    const client = requireWithoutEditor(path.join(extension, 'node_modules', 'vscode-languageclient', 'node'));
    assert.strictEqual(typeof client.LanguageClient, 'function');
    assert.strictEqual(typeof requireWithoutEditor(path.join(extension, 'src', 'extension.js')).activate, 'function');
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

test('the linux-x64 .vsix is the universal one with brindle-check, executable, and its notices', { skip: !linuxVsix && 'run by test.sh package with a brindle-check' }, async () => {
  const universal = await readEntries(vsix);
  const entries = await readEntries(linuxVsix);
  const carried = `extension/${CARRIED['linux-x64']}`;
  const names = entries.map((entry) => entry.name);
  assert.deepStrictEqual(names.filter((name) => name !== carried), universal.map((entry) => entry.name), 'the universal entries and the program');
  const entry = entries.find((candidate) => candidate.name === carried);
  assert.ok(entry && entry.data.equals(fs.readFileSync(program)), `${carried} holds the program given`);
  assert.deepStrictEqual(entries.filter((other) => other.mode !== FILE).map((other) => [other.name, other.mode]), [[carried, PROGRAM]]);
  assert.match(manifestOf(entries), /<Identity [^>]*TargetPlatform="linux-x64"/);

  const notices = noticesOf(entries);
  const text = fs.readFileSync(licence, 'utf8').replace(/\r\n/g, '\n').trimEnd();
  const heading = `${CARRIED['linux-x64']}: Brindle's brindle-check`;
  assert.ok(notices.endsWith(`\n${heading}\n${'-'.repeat(heading.length)}\n${text}\n`), "the program's licence, last");
  const packages = noticesOf(universal).split('\n').slice(2).join('\n').trimEnd();
  assert.ok(notices.includes(packages), 'the notices of the npm packages, as in the universal .vsix');
});
