'use strict';
// The pages of the extension's panels (the play, the story map). panelHtml
// (kind, {cspSource, nonce, title, styles, scripts}) gives the page of kind
// `play` or `map`: its skeleton, the style sheets and scripts at the given
// URIs (the webview's own, from asWebviewUri), and a Content-Security-Policy
// that lets nothing else in: no network, no inline script or style, scripts
// only with this page's nonce, styles and fonts only from the webview's own
// source (cspSource), and WebAssembly, which the map's layout runs as, only
// in the map. newNonce() gives a fresh nonce for each page. Pure but for
// newNonce's random bytes.

const crypto = require('crypto');

const PAGES = {
  play: {
    wasm: false,
    body: [
      '<header class="bar"><h1 id="title"></h1><button id="restart" type="button">Restart</button></header>',
      '<details id="variables" open><summary>Starting values</summary>',
      '<p class="hint">A value as the story writes one (<code>3</code>, <code>True</code>, <code>"text"</code>); empty, the story sets it.</p>',
      '<table id="variable-table"></table></details>',
      '<div id="notice" class="notice" hidden></div>',
      '<ol id="steps" class="steps"></ol>',
    ],
  },
  map: {
    wasm: true,
    body: [
      '<div id="notice" class="notice" hidden></div>',
      '<div id="graph" class="graph"></div>',
    ],
  },
};

const HTML_ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' };
const escapeHtml = (text) => String(text).replace(/[&<>"']/g, (character) => HTML_ESCAPES[character]);

function contentSecurityPolicy({ cspSource, nonce, wasm }) {
  return [
    "default-src 'none'",
    `style-src ${cspSource}`,
    `font-src ${cspSource}`,
    `script-src 'nonce-${nonce}'${wasm ? " 'wasm-unsafe-eval'" : ''}`,
  ].join('; ');
}

function panelHtml(kind, { cspSource, nonce, title, styles = [], scripts = [] }) {
  const page = PAGES[kind];
  if (!page) throw new Error(`no panel page ${kind}`);
  const policy = contentSecurityPolicy({ cspSource, nonce, wasm: page.wasm });
  return [
    '<!DOCTYPE html>',
    '<html lang="en">',
    '<head>',
    '<meta charset="utf-8">',
    `<meta http-equiv="Content-Security-Policy" content="${escapeHtml(policy)}">`,
    '<meta name="viewport" content="width=device-width, initial-scale=1">',
    `<title>${escapeHtml(title)}</title>`,
    ...styles.map((uri) => `<link rel="stylesheet" href="${escapeHtml(uri)}">`),
    '</head>',
    `<body class="${kind}">`,
    ...page.body,
    ...scripts.map((uri) => `<script nonce="${escapeHtml(nonce)}" src="${escapeHtml(uri)}"></script>`),
    '</body>',
    '</html>',
    '',
  ].join('\n');
}

function newNonce() {
  return crypto.randomBytes(18).toString('base64');
}

module.exports = { panelHtml, newNonce, contentSecurityPolicy };
