'use strict';
// Prints the licence notices of the npm packages under FOLDER/node_modules
// (those a .vsix bundles): for each, its name, version and licence, then the
// text of its licence files, in the order of their names.
//   node notices.js FOLDER [PROGRAM LICENCE] > THIRD-PARTY-NOTICES.txt
// With PROGRAM (its path in the extension) and LICENCE (the LICENSE.txt
// that the release's zip or tarball ships beside that program, with the
// notices of the code it includes), the notices end with that text, its
// line ends made LF.
// A package that ships no licence file is named with the licence its
// package.json gives, so that the gap shows, unless tools/licences/ holds
// its notices (SUPPLIED): those of a package that carries other software
// compiled into it, as Viz.js carries Graphviz and Expat.
const fs = require('fs');
const path = require('path');

const LICENCE_FILE = /^(licen[cs]e|copying|notice)(\..*)?$/i;
const SUPPLIED = {
  '@viz-js/viz': ['viz-js.txt', 'graphviz.txt', 'expat.txt'],
};
const LICENCES = path.join(__dirname, 'licences');

function packagesUnder(modules, found = []) {
  if (!fs.existsSync(modules)) return found;
  for (const name of fs.readdirSync(modules).sort()) {
    const folder = path.join(modules, name);
    if (name.startsWith('@')) {
      packagesUnder(folder, found);
      continue;
    }
    const manifest = path.join(folder, 'package.json');
    if (!fs.existsSync(manifest)) continue;
    found.push(folder);
    packagesUnder(path.join(folder, 'node_modules'), found);
  }
  return found;
}

function notice(folder) {
  const manifest = JSON.parse(fs.readFileSync(path.join(folder, 'package.json'), 'utf8'));
  const licence = typeof manifest.license === 'string' ? manifest.license : JSON.stringify(manifest.license || 'none given');
  const files = fs.readdirSync(folder).filter((name) => LICENCE_FILE.test(name)).sort();
  const texts = files.map((name) => fs.readFileSync(path.join(folder, name), 'utf8').trimEnd())
    .concat((SUPPLIED[manifest.name] || []).map((name) => fs.readFileSync(path.join(LICENCES, name), 'utf8').trimEnd()));
  const heading = `${manifest.name} ${manifest.version} (${licence})`;
  return [heading, '-'.repeat(heading.length), texts.length ? texts.join('\n\n') : '(the package ships no licence file)'].join('\n');
}

const [folder, program, licence, ...rest] = process.argv.slice(2);
if (!folder || (program && !licence) || rest.length) {
  process.stderr.write('usage: notices.js FOLDER [PROGRAM LICENCE]\n');
  process.exit(2);
}
const notices = packagesUnder(path.join(folder, 'node_modules')).map(notice)
  .sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
if (program) {
  const heading = `${program}: Brindle's brindle-check`;
  notices.push([heading, '-'.repeat(heading.length),
    fs.readFileSync(licence, 'utf8').replace(/\r\n/g, '\n').trimEnd()].join('\n'));
}
const bundles = program ? `these npm packages and ${program}` : 'these npm packages';
process.stdout.write(`The Brindle extension bundles ${bundles}, under their own licences.\n\n${notices.join('\n\n\n')}\n`);
