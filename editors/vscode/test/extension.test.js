'use strict';
// How stories open in VS Code, driven through the extension's activation
// with a stand-in for the editor's API: which documents it turns into
// stories, that an author's return to Python holds, what it says when
// brindle-check is missing, and what the play and map panels ask the server
// and show. The language client is a stand-in too.
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
function editor({ settings = {}, documents = [], answers = {} } = {}) {
  const handlers = { open: [], close: [], change: [] };
  const seen = { languages: [], errors: [], commands: [], panels: [], requests: [], shown: [] };
  const commands = {};
  const disposable = { dispose() {} };
  const on = (list) => (handler) => { list.push(handler); return disposable; };
  const api = {
    EventEmitter: class { constructor() { this.event = () => disposable; } fire() {} dispose() {} },
    Range: class { constructor(line) { this.line = line; } },
    ViewColumn: { Beside: -2, One: 1 },
    Uri: {
      joinPath: (base, ...parts) => ({ path: [base.path, ...parts].join('/'), toString() { return this.path; } }),
      from: ({ scheme, path: uriPath }) => ({ toString: () => `${scheme}:${uriPath}` }),
    },
    workspace: {
      textDocuments: documents,
      getConfiguration: () => ({ get: (key, fallback) => (key in settings ? settings[key] : fallback) }),
      onDidOpenTextDocument: on(handlers.open),
      onDidCloseTextDocument: on(handlers.close),
      onDidChangeTextDocument: on(handlers.change),
      onDidChangeConfiguration: () => disposable,
      registerTextDocumentContentProvider: () => disposable,
    },
    window: {
      showErrorMessage: (message) => { seen.errors.push(message); return Promise.resolve(undefined); },
      showInformationMessage: () => Promise.resolve(undefined),
      visibleTextEditors: [],
      showTextDocument: async (uri, options) => { seen.shown.push(`${uri} ${options.selection.line}`); },
      // A panel: what the extension posts to its page, and the page's
      // messages through `page.say`.
      createWebviewPanel: (viewType, title, column) => {
        const page = { viewType, title, column: column.viewColumn, posted: [], listeners: [], viewState: [] };
        page.panel = {
          visible: true,
          reveal() {},
          dispose() {},
          onDidDispose: () => disposable,
          onDidChangeViewState: on(page.viewState),
          webview: {
            cspSource: 'vscode-resource:',
            asWebviewUri: (uri) => uri,
            postMessage: async (message) => { page.posted.push(message); return true; },
            onDidReceiveMessage: on(page.listeners),
          },
        };
        page.say = (message) => page.listeners.forEach((listener) => listener(message));
        seen.panels.push(page);
        return page.panel;
      },
    },
    commands: { registerCommand: (id, run) => { seen.commands.push(id); commands[id] = run; return disposable; } },
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
  const change = (document) => handlers.change.forEach((handler) => handler({ document }));
  // The language client: its requests, answered from `answers` by command.
  const client = {
    LanguageClient: class {
      constructor() { this.code2ProtocolConverter = { asUri: (uri) => uri.toString() }; }
      start() { return Promise.resolve(); }
      stop() { return Promise.resolve(); }
      sendRequest(type, { command, arguments: args }) {
        seen.requests.push([type, command, ...args]);
        return command in answers ? Promise.resolve(answers[command]) : Promise.reject(new Error(`unknown command ${command}`));
      }
    },
    ExecuteCommandRequest: { type: 'workspace/executeCommand' },
  };
  return { api, client, seen, open, change, run: (id) => commands[id]() };
}

function doc(name, languageId, text) {
  const lines = text.split('\n');
  return {
    name, languageId, getText: () => text, lineAt: (line) => ({ text: lines[line] }),
    uri: { path: `/stories/${name}`, toString: () => `file:///${name}` },
  };
}

// Loads a fresh copy of the extension against `stand-in` and activates it.
function activate(standIn) {
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request === 'vscode' ? standIn.api : load.call(this, request, ...rest);
  };
  try {
    for (const name of ['extension', 'panels']) delete require.cache[require.resolve(`../src/${name}`)];
    require('../src/extension').activate({ subscriptions: [], extensionUri: { path: '/extension', fsPath: '/extension' } });
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

const TOUR = '-- the harbour\nlabel start:\n    e "Welcome."\n    jump_out market\n\nlabel market:\n    e "Stalls line the quay."\n';
const PLAY = { steps: [{ line: 6, label: 'market', kind: 'dialogue', speaker: 'e', text: 'Stalls line the quay.' }], end: { line: 6, kind: 'labelEnded', message: 'label market has no more entries' }, variables: { coins: 3 } };
const MAP = { nodes: [{ name: 'start', line: 1, entries: 2, start: true, reached: true, defined: true }], edges: [] };
const REQUEST = 'workspace/executeCommand';
const CLIENT = require.resolve('vscode-languageclient/node');
const wait = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));
const story = () => doc('test.py', 'brindle', TOUR);

// Each case: the cursor's line, what is done (the page's messages through
// `page`), the requests the server gets and what each panel's page is sent.
const panelCases = [
  {
    name: 'Play from Here, in a label, plays from it beside the story, once the page is loaded',
    cursor: 5,
    run: async ({ run, page }) => { run('brindle.playFromHere'); await settle(); page(0).say({ type: 'ready' }); },
    requests: [[REQUEST, 'brindle.play', 'file:///test.py', { from: 'market' }]],
    posted: [['brindle.play', 'play: Play from market']],
  },
  {
    name: 'above the first label, the play is from the start; Restart sends the starting values typed, the story\'s True and False as the play\'s, and a click shows the line',
    cursor: 0,
    run: async ({ run, page, seen }) => {
      run('brindle.playFromHere');
      page(0).say({ type: 'ready' });
      await settle();
      page(0).say({ type: 'restart', set: { coins: ' 10 ', day: '', 3: 4, has_map: 'True ', met_guide: 'False', name: '"True"' } });
      page(0).say({ type: 'reveal', line: 6 });
      await settle();
      assert.deepStrictEqual(seen.shown, ['file:///test.py 5']);
    },
    requests: [[REQUEST, 'brindle.play', 'file:///test.py', {}], [REQUEST, 'brindle.play', 'file:///test.py', { set: { coins: '10', has_map: 'true', met_guide: 'false', name: '"True"' } }]],
    posted: [['brindle.play', 'play: Play from the start', 'play: Play from the start']],
  },
  {
    name: 'the map, drawn again once edits pause, only while it is seen',
    cursor: 0,
    run: async ({ run, page, change, seen }) => {
      run('brindle.showStoryMap');
      page(0).say({ type: 'ready' });
      await settle();
      change(story());
      change(story());
      await wait(400);
      page(0).panel.visible = false;
      change(story());
      await wait(400);
      assert.strictEqual(seen.requests.length, 2, 'no request while the map is hidden');
      page(0).panel.visible = true;
      page(0).viewState.forEach((handler) => handler());
      await settle();
    },
    requests: [[REQUEST, 'brindle.map', 'file:///test.py'], [REQUEST, 'brindle.map', 'file:///test.py'], [REQUEST, 'brindle.map', 'file:///test.py']],
    posted: [['brindle.map', 'map', 'map', 'map']],
  },
  {
    name: 'a server that does not answer the command: its reason, in the panel',
    cursor: 0,
    answers: {},
    run: async ({ run, page }) => { run('brindle.showStoryMap'); page(0).say({ type: 'ready' }); },
    requests: [[REQUEST, 'brindle.map', 'file:///test.py']],
    posted: [['brindle.map', 'failure: brindle-check could not map the story: unknown command brindle.map']],
  },
  {
    name: 'no server: the panel says it is not running',
    cursor: 0,
    settings: { checkPath: MISSING },
    run: async ({ run, page }) => { run('brindle.playFromHere'); page(0).say({ type: 'ready' }); },
    requests: [],
    posted: [['brindle.play', 'failure: brindle-check is not running, so the story cannot be played.']],
  },
];

test('the play and map panels ask the server for the story at the cursor and show its answers', async () => {
  for (const { name, cursor, settings = { checkPath: process.execPath }, answers = { 'brindle.play': PLAY, 'brindle.map': MAP }, run, requests, posted } of panelCases) {
    const standIn = editor({ settings, answers, documents: [] });
    activate(standIn);
    // The client is loaded once a story needs it, after activation.
    const clientModule = new Module(CLIENT);
    clientModule.exports = standIn.client;
    clientModule.loaded = true;
    require.cache[CLIENT] = clientModule;
    standIn.api.window.activeTextEditor = { document: story(), selection: { active: { line: cursor } } };
    await run({ ...standIn, page: (index) => standIn.seen.panels[index] });
    await settle();
    assert.deepStrictEqual(standIn.seen.requests, requests, name);
    assert.deepStrictEqual(standIn.seen.panels.map((page) => [page.viewType, ...page.posted.map((message) =>
      `${message.type}${message.title && message.type === 'play' ? `: ${message.title}` : ''}${message.message ? `: ${message.message.split(' Install')[0]}` : ''}`)]), posted, name);
    assert.ok(standIn.seen.panels.every((page) => page.column === standIn.api.ViewColumn.Beside), `${name}: beside the story`);
    delete require.cache[CLIENT];
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
