'use strict';
// The panels beside a story: the play from the label at the cursor
// (`brindle.play`) and the story map (`brindle.map`), each a webview of its
// own page (media/, laid out by src/webview.js) that this module feeds with
// what src/playView.js and src/storyMap.js make of the server's answers.
// storyPanels({extensionUri, request}) gives {playFromHere, showStoryMap,
// documentChanged, dispose}; request(command, storyUri, ...arguments)
// resolves to the server's answer, or rejects with a message for the
// author. There is one panel of each kind; its command, run again, points it
// at the story and the cursor of the active editor. The map follows its
// story's edits once they pause for MAP_REFRESH_MS, only while it is seen; a
// hidden map is brought up to date when it is shown again. An answer that a
// newer request overtook is dropped.

const path = require('path');
const vscode = require('vscode');
const { labelAt } = require('./labelAt');
const { playView } = require('./playView');
const { mapDot } = require('./storyMap');
const { panelHtml, newNonce } = require('./webview');

const LANGUAGE = 'brindle';
const MAP_REFRESH_MS = 300;
const VIEW_TYPES = { play: 'brindle.play', map: 'brindle.map' };
const MESSAGES = {
  notAStory: 'Brindle: the active editor holds no story. Open one, or run "Brindle: Treat This File as a Story".',
};
const VIZ = ['node_modules', '@viz-js', 'viz', 'dist'];

function messageOf(error) {
  return error && error.message ? error.message : String(error);
}

// The page asks for values as the story writes them, and shows them so;
// brindle.play takes its booleans as true and false.
const PLAY_BOOLEANS = { True: 'true', False: 'false' };

// The starting values a page sent: names to the values as typed, strings,
// in the form brindle.play takes.
function startingValues(set) {
  const values = {};
  if (!set || typeof set !== 'object') return values;
  for (const [name, value] of Object.entries(set)) {
    if (typeof value !== 'string' || value.trim() === '') continue;
    const typed = value.trim();
    values[name] = PLAY_BOOLEANS[typed] || typed;
  }
  return values;
}

function storyPanels({ extensionUri, request }) {
  const media = vscode.Uri.joinPath(extensionUri, 'media');
  const viz = vscode.Uri.joinPath(extensionUri, ...VIZ);
  let play;
  let map;

  // Opens a panel of `kind` into `state`, which then holds it. A page that
  // is hidden is unloaded (no context is kept for it), and says `ready` when
  // it is loaded again; until then nothing is posted to it. `onReady` runs
  // then, `onMessage` for the page's other messages, `onShown` each time
  // the panel comes into view, `onClosed` once it is closed.
  function openPanel(kind, state, title, scripts, { onReady, onMessage, onShown = () => {}, onClosed }) {
    const panel = vscode.window.createWebviewPanel(VIEW_TYPES[kind], title,
      { viewColumn: vscode.ViewColumn.Beside, preserveFocus: true },
      { enableScripts: true, localResourceRoots: [media, viz] });
    const { webview } = panel;
    webview.html = panelHtml(kind, {
      cspSource: webview.cspSource,
      nonce: newNonce(),
      title,
      styles: [webview.asWebviewUri(vscode.Uri.joinPath(media, 'panel.css')).toString()],
      scripts: scripts.map((script) => webview.asWebviewUri(script).toString()),
    });
    Object.assign(state, { panel, ready: false });
    const subscriptions = [
      webview.onDidReceiveMessage((message) => {
        if (!message || typeof message !== 'object') return;
        if (message.type !== 'ready') return onMessage(message);
        state.ready = true;
        return onReady();
      }),
      panel.onDidChangeViewState(() => {
        if (!panel.visible) state.ready = false;
        else onShown();
      }),
      panel.onDidDispose(() => {
        subscriptions.forEach((subscription) => subscription.dispose());
        onClosed();
      }),
    ];
    return state;
  }

  async function revealLine(storyUri, line) {
    if (!Number.isInteger(line) || line < 1) return;
    const key = storyUri.toString();
    const shown = vscode.window.visibleTextEditors.find((editor) => editor.document.uri.toString() === key);
    const at = new vscode.Range(line - 1, 0, line - 1, 0);
    try {
      await vscode.window.showTextDocument(storyUri, { viewColumn: shown ? shown.viewColumn : vscode.ViewColumn.One, selection: at });
    } catch (error) {
      vscode.window.showErrorMessage(messageOf(error));
    }
  }

  // Posts `message` to the panel now if its page is loaded, and keeps it to
  // post again when the page loads anew (a panel that was hidden).
  function post(state, message) {
    state.last = message;
    if (state.ready) state.panel.webview.postMessage(message);
  }

  function activeStory() {
    const editor = vscode.window.activeTextEditor;
    if (editor && editor.document.languageId === LANGUAGE) return editor;
    vscode.window.showInformationMessage(MESSAGES.notAStory);
    return undefined;
  }

  async function runPlay() {
    const state = play;
    const asked = ++state.asked;
    const options = {};
    if (state.from) options.from = state.from;
    if (Object.keys(state.set).length) options.set = state.set;
    const heading = state.from ? `Play from ${state.from}` : 'Play from the start';
    let message;
    try {
      message = { type: 'play', title: heading, view: playView(await request('brindle.play', state.storyUri, options)) };
    } catch (error) {
      message = { type: 'failure', title: heading, message: messageOf(error) };
    }
    if (play === state && asked === state.asked) post(state, message);
  }

  function playFromHere() {
    const editor = activeStory();
    if (!editor) return undefined;
    const { document } = editor;
    const from = labelAt((index) => document.lineAt(index).text, editor.selection.active.line);
    const title = `Play: ${path.posix.basename(document.uri.path)}`;
    if (!play) {
      const state = { asked: 0, set: {} };
      play = openPanel('play', state, title, [vscode.Uri.joinPath(media, 'play.js')], {
        onReady: () => { if (state.last) state.panel.webview.postMessage(state.last); },
        onMessage: (message) => {
          if (message.type === 'restart') {
            state.set = startingValues(message.set);
            runPlay();
          } else if (message.type === 'reveal') {
            revealLine(state.storyUri, message.line);
          }
        },
        onClosed: () => { if (play === state) play = undefined; },
      });
    } else {
      play.panel.title = title;
      play.panel.reveal(vscode.ViewColumn.Beside, true);
    }
    play.storyUri = document.uri;
    play.from = from;
    return runPlay();
  }

  async function refreshMap() {
    const state = map;
    const asked = ++state.asked;
    state.stale = false;
    let message;
    try {
      message = { type: 'map', ...mapDot(await request('brindle.map', state.storyUri)) };
    } catch (error) {
      message = { type: 'failure', message: messageOf(error) };
    }
    if (map === state && asked === state.asked) post(state, message);
  }

  function showStoryMap() {
    const editor = activeStory();
    if (!editor) return undefined;
    const { document } = editor;
    const title = `Story Map: ${path.posix.basename(document.uri.path)}`;
    if (!map) {
      const state = { asked: 0, stale: false, timer: undefined };
      const scripts = [vscode.Uri.joinPath(viz, 'viz-global.js'), vscode.Uri.joinPath(media, 'map.js')];
      map = openPanel('map', state, title, scripts, {
        onReady: () => { if (!state.stale && state.last) state.panel.webview.postMessage(state.last); },
        onMessage: (message) => { if (message.type === 'reveal') revealLine(state.storyUri, message.line); },
        onShown: () => { if (map === state && state.stale) refreshMap(); },
        onClosed: () => {
          clearTimeout(state.timer);
          if (map === state) map = undefined;
        },
      });
    } else {
      map.panel.title = title;
      map.panel.reveal(vscode.ViewColumn.Beside, true);
    }
    map.storyUri = document.uri;
    return refreshMap();
  }

  // An edit of the story the map shows: drawn again once the edits pause,
  // if the map is seen; otherwise when it is shown.
  function documentChanged(document) {
    if (!map || !map.storyUri || document.uri.toString() !== map.storyUri.toString()) return;
    const state = map;
    clearTimeout(state.timer);
    if (!state.panel.visible) {
      state.stale = true;
      return;
    }
    state.timer = setTimeout(() => {
      state.timer = undefined;
      if (map === state && state.panel.visible) refreshMap();
      else state.stale = true;
    }, MAP_REFRESH_MS);
  }

  function dispose() {
    for (const state of [play, map]) if (state) state.panel.dispose();
  }

  return { playFromHere, showStoryMap, documentChanged, dispose };
}

module.exports = { storyPanels, MAP_REFRESH_MS };
