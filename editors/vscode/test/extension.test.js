'use strict';
// How stories open in VS Code, driven through the extension's activation
// with a stand-in for the editor's API: which documents it turns into
// stories, that an author's return to Python holds, and what it says when
// brindle-check is missing. The language client itself is not loaded here.
const test = require('node:test');
const assert = require('node:assert');
const Module = require('module');
const path = require('path');
const manifest = require('../package.json');

const STORY = 'label start:\n    e "Hello."\n';
const PYTHON = 'import os\nprint(os.name)\n';
const MISSING = '/nonexistent/brindle-check';

// A stand-in for the `vscode` module: documents, events and the calls the
// extension makes.
function editor({ settings = {}, documents = [] } = {}) {
  const handlers = { open: [], close: [] };
  const seen = { languages: [], errors: [], commands: [] };
  const disposable = { dispose() {} };
  const on = (list) => (handler) => { list.push(handler); return disposable; };
  const api = {
    EventEmitter: class { constructor() { this.event = () => disposable; } fire() {} dispose() {} },
    Range: class {},
    ViewColumn: { Beside: -2 },
    workspace: {
      textDocuments: documents,
      getConfiguration: () => ({ get: (key, fallback) => (key in settings ? settings[key] : fallback) }),
      onDidOpenTextDocument: on(handlers.open),
      onDidCloseTextDocument: on(handlers.close),
      onDidChangeTextDocument: () => disposable,
      onDidChangeConfiguration: () => disposable,
      registerTextDocumentContentProvider: () => disposable,
    },
    window: {
      showErrorMessage: (message) => { seen.errors.push(message); return Promise.resolve(undefined); },
      showInformationMessage: () => Promise.resolve(undefined),
    },
    commands: { registerCommand: (id) => { seen.commands.push(id); return disposable; } },
    languages: {
      // As VS Code does: the same document is closed and opened again.
      setTextDocumentLanguage: async (document, language) => {
        handlers.close.forEach((handler) => handler(document));
        document.languageId = language;
        seen.languages.push(`${document.name}: ${language}`);
        handlers.open.forEach((handler) => handler(document));
        return document;
      },
    },
  };
  const open = (document) => { documents.push(document); handlers.open.forEach((handler) => handler(document)); };
  return { api, seen, open };
}

function doc(name, languageId, text) {
  return { name, languageId, getText: () => text, uri: { toString: () => `file:///${name}` } };
}

// Loads a fresh copy of the extension against `stand-in` and activates it.
function activate(standIn) {
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request === 'vscode' ? standIn.api : load.call(this, request, ...rest);
  };
  try {
    const file = require.resolve('../src/extension');
    delete require.cache[file];
    require(file).activate({ subscriptions: [] });
  } finally {
    Module._load = load;
  }
}

const settle = () => new Promise((resolve) => setImmediate(resolve));

const cases = [
  {
    name: 'a Python file that is a story becomes one, and the missing checker is reported once',
    settings: { checkPath: MISSING },
    run: async ({ open }) => {
      open(doc('test.py', 'python', STORY));
      open(doc('chapter2.py', 'python', STORY));
    },
    languages: ['test.py: brindle', 'chapter2.py: brindle'],
    errors: 1,
  },
  {
    name: 'a Python program stays Python, and nothing is said',
    settings: { checkPath: MISSING },
    run: async ({ open }) => open(doc('test.py', 'python', PYTHON)),
    languages: [],
    errors: 0,
  },
  {
    name: 'stories already open when the extension starts',
    documents: [doc('test.py', 'python', STORY)],
    settings: { checkPath: MISSING },
    run: async () => {},
    languages: ['test.py: brindle'],
    errors: 1,
  },
  {
    name: 'with recognizeStories off, a story stays Python',
    settings: { checkPath: MISSING, recognizeStories: false },
    run: async ({ open }) => open(doc('test.py', 'python', STORY)),
    languages: [],
    errors: 0,
  },
  {
    name: 'a story its author turns into Python stays Python; opened anew, it is a story again',
    settings: { checkPath: MISSING },
    run: async ({ api, open }) => {
      const story = doc('test.py', 'python', STORY);
      open(story);
      await settle();
      await api.languages.setTextDocumentLanguage(story, 'python');
      open(doc('test.py', 'python', STORY));
    },
    languages: ['test.py: brindle', 'test.py: python', 'test.py: brindle'],
    errors: 1,
  },
  {
    name: 'a story of another kind of file starts the checker too',
    settings: { checkPath: MISSING },
    run: async ({ open }) => open(doc('story', 'brindle', STORY)),
    languages: [],
    errors: 1,
  },
];

test('stories open in the Brindle language, and Python files stay Python', async () => {
  for (const { name, settings, documents, run, languages, errors } of cases) {
    const standIn = editor({ settings, documents: documents ? [...documents] : [] });
    activate(standIn);
    await run(standIn);
    await settle();
    assert.deepStrictEqual(standIn.seen.languages, languages, name);
    assert.strictEqual(standIn.seen.errors.length, errors, `${name}: ${standIn.seen.errors.join(' | ')}`);
    if (errors) assert.match(standIn.seen.errors[0], new RegExp(`no program ${MISSING}.*brindle\\.checkPath`), name);
  }
});

test('the commands the extension registers are those its manifest contributes', () => {
  const standIn = editor();
  activate(standIn);
  const contributed = manifest.contributes.commands.map((command) => command.command);
  assert.deepStrictEqual([...standIn.seen.commands].sort(), [...contributed].sort());
  const source = require('fs').readFileSync(path.join(__dirname, '..', 'src', 'extension.js'), 'utf8');
  for (const setting of Object.keys(manifest.contributes.configuration.properties)) {
    assert.ok(source.includes(`'${setting.split('.')[1]}'`), `${setting} is read by the extension`);
  }
});
