'use strict';
// The panels' pages in a real browser: Debian's Chromium, driven by
// playwright-core, headless, offline. openPage(context, kind) loads the page
// of `kind` as the extension writes it (src/webview.js, its policy
// included), from a made-up origin that serves only the extension's own
// files, with a stand-in for VS Code's acquireVsCodeApi that records what
// the page posts (window.posted). Every other request is refused, and any
// breach of the page's policy is recorded (window.refused).
//   browser()            the context, or undefined with the reason why not
//   send(page, message)  posts `message` to the page, as the extension does,
//                        and settles once the page has handled it
const fs = require('fs');
const os = require('os');
const path = require('path');
const { panelHtml } = require('../../src/webview');

const CHROMIUM = process.env.BRINDLE_CHROMIUM || '/usr/bin/chromium';
const ORIGIN = 'https://brindle.test';
const EXTENSION = path.join(__dirname, '..', '..');
const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const SCRIPTS = {
  play: ['media/play.js'],
  map: ['node_modules/@viz-js/viz/dist/viz-global.js', 'media/map.js'],
};
const TYPES = { '.js': 'text/javascript', '.css': 'text/css', '.html': 'text/html' };

function whyNot() {
  if (!fs.existsSync(CHROMIUM)) return `there is no Chromium at ${CHROMIUM} (scripts/install-deps.sh chromium installs Debian's)`;
  try {
    require.resolve('playwright-core');
  } catch {
    return 'playwright-core is not installed (npm ci in editors/vscode)';
  }
  return undefined;
}

async function browser() {
  const reason = whyNot();
  if (reason) return { reason };
  const { chromium } = require('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'brindle-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, args: FLAGS, viewport: { width: 720, height: 640 }, deviceScaleFactor: 1,
  });
  await context.route('**/*', (route) => {
    const url = new URL(route.request().url());
    if (url.origin !== ORIGIN) return route.abort();
    if (url.pathname === '/play.html' || url.pathname === '/map.html') {
      const kind = url.pathname.slice(1, -5);
      return route.fulfill({ contentType: TYPES['.html'], body: panelHtml(kind, {
        cspSource: ORIGIN, nonce: 'bm9uY2Utb2YtdGhlLXRlc3Q=', title: `${kind} of test.py`,
        styles: [`${ORIGIN}/media/panel.css`], scripts: SCRIPTS[kind].map((file) => `${ORIGIN}/${file}`),
      }) });
    }
    const file = path.join(EXTENSION, decodeURIComponent(url.pathname));
    const allowed = file.startsWith(path.join(EXTENSION, 'media') + path.sep) || file.startsWith(path.join(EXTENSION, 'node_modules', '@viz-js') + path.sep);
    if (!allowed || !fs.existsSync(file)) return route.fulfill({ status: 404, body: '' });
    return route.fulfill({ contentType: TYPES[path.extname(file)] || 'application/octet-stream', body: fs.readFileSync(file) });
  });
  await context.addInitScript(() => {
    let state;
    window.posted = [];
    window.refused = [];
    document.addEventListener('securitypolicyviolation', (event) => window.refused.push(`${event.violatedDirective} ${event.blockedURI}`));
    window.acquireVsCodeApi = () => ({
      postMessage: (message) => window.posted.push(message),
      getState: () => state,
      setState: (next) => { state = next; },
    });
  });
  return {
    context,
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function openPage(context, kind) {
  const page = await context.newPage();
  await page.goto(`${ORIGIN}/${kind}.html`);
  await page.waitForFunction(() => window.posted.some((message) => message.type === 'ready'));
  return page;
}

// A message event is dispatched later, as a task of its own; the listener
// added here runs after the page's own (added when it loaded), so the
// promise settles once the page has handled the message.
function send(page, message) {
  return page.evaluate((data) => new Promise((resolve) => {
    window.addEventListener('message', () => resolve(), { once: true });
    window.postMessage(data, '*');
  }), message);
}

module.exports = { browser, openPage, send, whyNot };
