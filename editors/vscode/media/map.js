// The story map's page: lays out the DOT the extension posts ({type: 'map',
// dot, engine, places}, as src/storyMap.js makes them, or {type: 'failure',
// message}) with Graphviz (Viz.js, WebAssembly, bundled), and posts back
// `ready` once loaded, `rendered` with the milliseconds the layout took,
// and `reveal` with the line of a label or jump clicked. A map that comes
// while one is being laid out waits, and only the newest is drawn.
(function () {
  'use strict';
  const vscode = acquireVsCodeApi();
  const graph = document.getElementById('graph');
  const notice = document.getElementById('notice');
  const layout = Viz.instance();
  let places = {};
  let newest;
  let drawing = false;

  function showNotice(text) {
    notice.hidden = !text;
    notice.textContent = text || '';
  }

  async function draw() {
    if (drawing) return;
    drawing = true;
    try {
      while (newest) {
        const message = newest;
        newest = undefined;
        if (message.type === 'failure') {
          graph.replaceChildren();
          showNotice(message.message);
          continue;
        }
        try {
          const viz = await layout;
          const started = performance.now();
          const svg = viz.renderSVGElement(message.dot, { engine: message.engine || 'dot' });
          const milliseconds = performance.now() - started;
          graph.replaceChildren(svg);
          places = message.places;
          showNotice('');
          vscode.postMessage({ type: 'rendered', milliseconds, labels: svg.querySelectorAll('g.node').length });
        } catch (error) {
          showNotice(`The map could not be laid out: ${error && error.message ? error.message : error}`);
        }
      }
    } finally {
      drawing = false;
    }
  }

  function reveal(event) {
    const element = event.target.closest('g.node, g.edge');
    if (element && places[element.id]) vscode.postMessage({ type: 'reveal', line: places[element.id] });
  }

  graph.addEventListener('click', reveal);
  window.addEventListener('message', (event) => {
    if (event.data.type !== 'map' && event.data.type !== 'failure') return;
    newest = event.data;
    draw();
  });
  vscode.postMessage({ type: 'ready' });
}());
