'use strict';
// The Brindle extension. It gives a story the language `brindle` (files
// VS Code opens as Python that looks like stories, and any file on
// command), starts `brindle-check --lsp` (the one it carries, where it
// carries one; see src/program.js) as the language server of those
// documents once the first of them is open, and shows beside a story the
// Lua it becomes, a play of it from the cursor, and its map
// (src/panels.js). The language client is loaded only then, so Python
// users who never open a story pay nothing for it.

const os = require('os');
const vscode = require('vscode');
const { looksLikeStory, STORY_LINES_LOOKED_AT } = require('./story');
const { findProgram, carriedProgram, makeExecutable, installAdvice, DEFAULT_PROGRAM } = require('./program');
const { version: VERSION } = require('../package.json');
const { storyPanels } = require('./panels');

const LANGUAGE = 'brindle';
const PYTHON = 'python';
const COMMANDS = {
  treatAsStory: 'brindle.treatAsStory',
  showConvertedLua: 'brindle.showConvertedLua',
  playFromHere: 'brindle.playFromHere',
  showStoryMap: 'brindle.showStoryMap',
};
const SETTINGS = { section: 'brindle', checkPath: 'checkPath', recognizeStories: 'recognizeStories' };
// The server's command that returns a document's whole converted Lua as a
// string, and the arguments it takes.
const CONVERTED_LUA = {
  command: 'brindle.showLua',
  arguments: (documentUri) => [documentUri],
};
// Views of the converted Lua are virtual documents of this scheme; the path
// is the story's with `.lua` after it, the query the story's URI.
const LUA_SCHEME = 'brindle-lua';
const LUA_REFRESH_MS = 300;

const MESSAGES = {
  notFound: (name, setting) => setting
    ? `Brindle cannot check stories: there is no program ${name} (the setting brindle.checkPath). Set it to the full path of brindle-check.`
    : `Brindle cannot check stories: ${DEFAULT_PROGRAM} is not on PATH. ${installAdvice(VERSION)}`,
  didNotStart: (program, reason) =>
    `Brindle cannot check stories: ${program} did not start as a language server (${reason}). It needs a brindle-check that knows --lsp.`,
  noLua: (program) => `Brindle: ${program} returned no Lua for this story.`,
  noChecker: 'Brindle: brindle-check is not running, so there is no Lua to show.',
  notRunning: (command) => `brindle-check is not running, so ${command === 'brindle.map' ? 'there is no map to draw' : 'the story cannot be played'}. ` +
    'Install Brindle, or set brindle.checkPath to the full path of a brindle-check that knows --lsp; VS Code said why it did not start.',
  failed: (command, reason) => `brindle-check could not ${command === 'brindle.map' ? 'map' : 'play'} the story: ${reason}`,
  notAStory: 'Brindle: the active editor holds no story. Open one, or run "Brindle: Treat This File as a Story".',
  openSettings: 'Open Settings',
};

let client;        // the running language client, once a story is open
let clientProgram; // the program it started
let clientStart;   // its start, while it is under way
// The value of brindle.checkPath whose program was not found or did not
// start; the author was told, and it is not tried again until it changes.
let gaveUpOn;
let extensionFolder; // where the extension is installed, with its bin/
// Documents that have been stories. A language change keeps the document
// object (VS Code closes and reopens the same one), so a story that opens
// as Python again was turned into Python by its author, and stays so.
const wereStories = new WeakSet();
const luaChanges = new vscode.EventEmitter();
const luaRefreshes = new Map();

function messageOf(error) {
  return error && error.message ? error.message : String(error);
}

function settings() {
  return vscode.workspace.getConfiguration(SETTINGS.section);
}

function workspaceBase() {
  const folder = vscode.workspace.workspaceFolders && vscode.workspace.workspaceFolders[0];
  return folder && folder.uri.scheme === 'file' ? folder.uri.fsPath : os.homedir();
}

function openSettingOnRequest(choice) {
  if (choice === MESSAGES.openSettings) {
    vscode.commands.executeCommand('workbench.action.openSettings', `${SETTINGS.section}.${SETTINGS.checkPath}`);
  }
}

// Starts the language server, once; resolves to the client, or to
// undefined when brindle-check cannot be found or started, which the author
// is told once.
function ensureClient() {
  if (client) return Promise.resolve(client);
  if (clientStart) return clientStart;
  const setting = (settings().get(SETTINGS.checkPath, '') || '').trim();
  if (gaveUpOn === setting) return Promise.resolve(undefined);
  const carried = carriedProgram(extensionFolder);
  if (!setting && carried) makeExecutable(carried);
  const program = findProgram(setting, { base: workspaceBase(), extensionFolder });
  if (!program) {
    gaveUpOn = setting;
    vscode.window.showErrorMessage(MESSAGES.notFound(setting || DEFAULT_PROGRAM, setting), MESSAGES.openSettings)
      .then(openSettingOnRequest);
    return Promise.resolve(undefined);
  }
  const { LanguageClient } = require('vscode-languageclient/node');
  const candidate = new LanguageClient('brindle', 'Brindle', { command: program, args: ['--lsp'] }, {
    // Stories on disk and new ones; not the old versions a diff shows.
    documentSelector: [{ language: LANGUAGE, scheme: 'file' }, { language: LANGUAGE, scheme: 'untitled' }],
  });
  clientStart = candidate.start().then(() => {
    client = candidate;
    clientProgram = program;
    return client;
  }, (error) => {
    gaveUpOn = setting;
    vscode.window.showErrorMessage(MESSAGES.didNotStart(program, messageOf(error)), MESSAGES.openSettings)
      .then(openSettingOnRequest);
    candidate.dispose();
    return undefined;
  }).finally(() => { clientStart = undefined; });
  return clientStart;
}

async function stopClient() {
  const running = client || await clientStart;
  client = undefined;
  if (running) await running.stop();
}

// Gives a Python document that looks like a story the language of stories,
// unless the author turned it into Python.
function recognise(document) {
  if (document.languageId === LANGUAGE) {
    wereStories.add(document);
    ensureClient();
    return;
  }
  if (document.languageId !== PYTHON || wereStories.has(document)) return;
  if (!settings().get(SETTINGS.recognizeStories, true)) return;
  const head = document.getText(new vscode.Range(0, 0, STORY_LINES_LOOKED_AT, 0));
  if (looksLikeStory(head)) {
    // A document closed meanwhile keeps its language; nothing is lost.
    vscode.languages.setTextDocumentLanguage(document, LANGUAGE).then(undefined, () => {});
  }
}

function luaUriOf(storyUri) {
  return vscode.Uri.from({ scheme: LUA_SCHEME, path: `${storyUri.path}.lua`, query: storyUri.toString() });
}

// The converted Lua of the story a view shows, from the server.
async function convertedLua(luaUri) {
  const storyUri = vscode.Uri.parse(luaUri.query);
  const running = await ensureClient();
  if (!running) throw new Error(MESSAGES.noChecker);
  const { ExecuteCommandRequest } = require('vscode-languageclient/node');
  const lua = await running.sendRequest(ExecuteCommandRequest.type, {
    command: CONVERTED_LUA.command,
    arguments: CONVERTED_LUA.arguments(running.code2ProtocolConverter.asUri(storyUri)),
  });
  if (typeof lua !== 'string') throw new Error(MESSAGES.noLua(clientProgram));
  return lua;
}

// The server's answer to `command` for the story at storyUri, with `rest`
// after the story in its arguments; rejects with a message for the author.
async function storyCommand(command, storyUri, ...rest) {
  const running = await ensureClient();
  if (!running) throw new Error(MESSAGES.notRunning(command));
  const { ExecuteCommandRequest } = require('vscode-languageclient/node');
  try {
    return await running.sendRequest(ExecuteCommandRequest.type, {
      command,
      arguments: [running.code2ProtocolConverter.asUri(storyUri), ...rest],
    });
  } catch (error) {
    throw new Error(MESSAGES.failed(command, messageOf(error)));
  }
}

// An open view of a story's Lua follows the story's edits, once they pause.
function refreshLuaOf(document) {
  if (document.languageId !== LANGUAGE) return;
  const luaUri = luaUriOf(document.uri);
  const key = luaUri.toString();
  if (!vscode.workspace.textDocuments.some((open) => open.uri.toString() === key)) return;
  clearTimeout(luaRefreshes.get(key));
  luaRefreshes.set(key, setTimeout(() => {
    luaRefreshes.delete(key);
    luaChanges.fire(luaUri);
  }, LUA_REFRESH_MS));
}

async function showConvertedLua() {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== LANGUAGE) {
    vscode.window.showInformationMessage(MESSAGES.notAStory);
    return;
  }
  try {
    const view = await vscode.workspace.openTextDocument(luaUriOf(editor.document.uri));
    await vscode.window.showTextDocument(view, { viewColumn: vscode.ViewColumn.Beside, preserveFocus: true, preview: false });
  } catch (error) {
    vscode.window.showErrorMessage(messageOf(error));
  }
}

async function treatAsStory() {
  const editor = vscode.window.activeTextEditor;
  if (editor && editor.document.languageId !== LANGUAGE) {
    await vscode.languages.setTextDocumentLanguage(editor.document, LANGUAGE);
  }
}

function activate(context) {
  extensionFolder = context.extensionUri.fsPath;
  const panels = storyPanels({ extensionUri: context.extensionUri, request: storyCommand });
  context.subscriptions.push(
    luaChanges,
    panels,
    vscode.commands.registerCommand(COMMANDS.treatAsStory, treatAsStory),
    vscode.commands.registerCommand(COMMANDS.showConvertedLua, showConvertedLua),
    vscode.commands.registerCommand(COMMANDS.playFromHere, panels.playFromHere),
    vscode.commands.registerCommand(COMMANDS.showStoryMap, panels.showStoryMap),
    vscode.workspace.registerTextDocumentContentProvider(LUA_SCHEME, {
      onDidChange: luaChanges.event,
      provideTextDocumentContent: convertedLua,
    }),
    vscode.workspace.onDidOpenTextDocument(recognise),
    vscode.workspace.onDidChangeTextDocument((change) => {
      refreshLuaOf(change.document);
      panels.documentChanged(change.document);
    }),
    vscode.workspace.onDidChangeConfiguration(async (change) => {
      if (!change.affectsConfiguration(`${SETTINGS.section}.${SETTINGS.checkPath}`)) return;
      gaveUpOn = undefined;
      await stopClient();
      if (vscode.workspace.textDocuments.some((document) => document.languageId === LANGUAGE)) ensureClient();
    }),
  );
  vscode.workspace.textDocuments.forEach(recognise);
}

function deactivate() {
  return stopClient();
}

module.exports = { activate, deactivate };
