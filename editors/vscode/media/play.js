// The play panel's page: shows the play the extension posts ({type: 'play',
// title, view}, view as src/playView.js makes it, or {type: 'failure',
// message}), keeps the starting values the author types (in the webview's
// state, so that they outlive a hidden panel), and posts back `ready` once
// loaded, `restart` with those values, and `reveal` with the line of a step
// clicked. The story's text goes into the page as text, never as markup.
(function () {
  'use strict';
  const vscode = acquireVsCodeApi();
  const state = vscode.getState() || { values: {}, message: undefined };
  const title = document.getElementById('title');
  const steps = document.getElementById('steps');
  const notice = document.getElementById('notice');
  const variables = document.getElementById('variables');
  const table = document.getElementById('variable-table');

  function element(tag, className, text) {
    const made = document.createElement(tag);
    if (className) made.className = className;
    if (text !== undefined) made.textContent = text;
    return made;
  }

  function startingValues() {
    const set = {};
    for (const [name, value] of Object.entries(state.values)) {
      if (value.trim() !== '') set[name] = value.trim();
    }
    return set;
  }

  function restart() {
    vscode.postMessage({ type: 'restart', set: startingValues() });
  }

  function showNotice(text, tone) {
    notice.hidden = !text;
    notice.className = `notice ${tone || ''}`;
    notice.textContent = text || '';
  }

  function variableRow({ name, value }) {
    const row = element('tr');
    const label = element('label', '', name);
    const input = element('input');
    input.id = `value-${name}`;
    label.htmlFor = input.id;
    input.type = 'text';
    input.spellcheck = false;
    input.placeholder = 'as the story sets it';
    input.value = state.values[name] || '';
    input.addEventListener('input', () => {
      state.values[name] = input.value;
      vscode.setState(state);
    });
    input.addEventListener('keydown', (event) => { if (event.key === 'Enter') restart(); });
    const cells = [element('th'), element('td'), element('td', 'at-end', `at the end: ${value}`)];
    cells[0].append(label);
    cells[1].append(input);
    row.append(...cells);
    return row;
  }

  function stepItem(step) {
    const item = element('li', `step ${step.kind}`);
    if (step.line) {
      item.dataset.line = String(step.line);
      item.tabIndex = 0;
      item.title = `line ${step.line}`;
    }
    if (step.kind === 'dialogue') {
      item.append(element('span', 'speaker', step.speaker), element('span', 'text', step.text));
    } else if (step.kind === 'jump') {
      item.append(element('span', 'target', `jump_out ${step.text}`));
    } else {
      item.append(element('code', 'text', step.text));
    }
    return item;
  }

  function endItem(end) {
    const item = stepItem({ line: end.line, kind: `end ${end.tone}` });
    item.replaceChildren(element('strong', 'heading', end.heading), ' ', element('span', 'text', end.text));
    return item;
  }

  function showPlay({ title: heading, view }) {
    title.textContent = heading;
    showNotice('');
    table.replaceChildren(...view.variables.map(variableRow));
    variables.hidden = view.variables.length === 0;
    steps.replaceChildren(...view.steps.map(stepItem), endItem(view.end));
  }

  function show(message) {
    if (message.type === 'play') showPlay(message);
    else if (message.type === 'failure') {
      if (message.title) title.textContent = message.title;
      steps.replaceChildren();
      showNotice(message.message, 'error');
    } else return;
    state.message = message;
    vscode.setState(state);
  }

  function reveal(event) {
    const item = event.target.closest('[data-line]');
    if (item) vscode.postMessage({ type: 'reveal', line: Number(item.dataset.line) });
  }

  document.getElementById('restart').addEventListener('click', restart);
  steps.addEventListener('click', reveal);
  steps.addEventListener('keydown', (event) => { if (event.key === 'Enter') reveal(event); });
  window.addEventListener('message', (event) => show(event.data));
  if (state.message) show(state.message);
  vscode.postMessage({ type: 'ready' });
}());
