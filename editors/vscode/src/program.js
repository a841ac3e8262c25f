'use strict';
// Finds the brindle-check program the extension starts. The setting
// brindle.checkPath names it: empty, the brindle-check that the extension
// carries for this platform (CARRIED) is taken, and where it carries none,
// `brindle-check` is looked for on PATH as a shell would look for it; a bare
// name is looked for on PATH too; a path (`~/` for the home folder, a
// relative one from the workspace's first folder) is taken as it is. On
// Windows a name without an ending gets `.exe`. Returns the program's full
// path, or undefined when there is no such program. Only `isProgram` and
// `makeExecutable` touch the file system, and tests replace the first.

const fs = require('fs');
const os = require('os');
const path = require('path');

const DEFAULT_PROGRAM = 'brindle-check';
// Where a platform's .vsix holds brindle-check, inside the extension's
// folder, by VS Code's name of the platform (`vsce package --target`);
// package.sh puts the program there. The universal .vsix holds none.
const CARRIED = {
  'win32-x64': 'bin/brindle-check.exe',
  'linux-x64': 'bin/brindle-check',
};

// A file that the system can start: a regular file, and on POSIX one that
// may be executed.
function isProgramFile(file, platform = process.platform) {
  try {
    if (!fs.statSync(file).isFile()) return false;
    if (platform !== 'win32') fs.accessSync(file, fs.constants.X_OK);
    return true;
  } catch {
    return false;
  }
}

// PATH, whose name Windows spells in any case.
function searchPath(env, platform) {
  const key = platform === 'win32'
    ? Object.keys(env).find((name) => name.toUpperCase() === 'PATH')
    : 'PATH';
  return (key && env[key]) || '';
}

// The path of the brindle-check that the extension in `extensionFolder`
// would carry on this platform, or undefined on a platform none is made
// for. Whether the file is there (the platform's .vsix, or the universal
// one) is for `isProgram` to say.
function carriedProgram(extensionFolder, platform = process.platform, arch = process.arch) {
  const relative = CARRIED[`${platform}-${arch}`];
  if (!relative || !extensionFolder) return undefined;
  return (platform === 'win32' ? path.win32 : path.posix).join(extensionFolder, ...relative.split('/'));
}

// Gives the carried program back the executable bit, for those who may
// read it, when whatever unpacked the .vsix dropped it: VS Code keeps the
// mode that the zip entry gives, but not every unpacker does.
function makeExecutable(file, platform = process.platform) {
  if (platform === 'win32') return;
  try {
    const { mode } = fs.statSync(file);
    if ((mode & 0o111) === 0) fs.chmodSync(file, (mode & 0o7777) | ((mode & 0o444) >> 2));
  } catch {
    // No such file, or one this user may not change: isProgramFile then
    // refuses it, and PATH is looked at.
  }
}

function findProgram(setting, options = {}) {
  const {
    env = process.env,
    platform = process.platform,
    arch = process.arch,
    home = os.homedir(),
    base = process.cwd(),
    extensionFolder,
    isProgram = (file) => isProgramFile(file, platform),
  } = options;
  const paths = platform === 'win32' ? path.win32 : path.posix;
  const carried = carriedProgram(extensionFolder, platform, arch);
  const given = (setting || '').trim();
  if (!given && carried && isProgram(carried)) return carried;
  let name = given || DEFAULT_PROGRAM;
  if (name === '~' || name.startsWith('~/') || (platform === 'win32' && name.startsWith('~\\'))) {
    name = paths.join(home, name.slice(1));
  }
  if (platform === 'win32' && !paths.extname(name)) name += '.exe';

  const isPath = name.includes('/') || (platform === 'win32' && name.includes('\\'));
  const candidates = isPath
    ? [paths.resolve(base, name)]
    : searchPath(env, platform).split(paths.delimiter)
      .map((folder) => (platform === 'win32' ? folder.replace(/^"(.*)"$/, '$1') : folder))
      .filter(Boolean)
      .map((folder) => paths.join(folder, name));
  return candidates.find(isProgram);
}

// What to install, said when no brindle-check is found: the release's
// packages of `version` that hold one for this platform.
function installAdvice(version, platform = process.platform, arch = process.arch) {
  if (platform === 'win32') {
    const extension = CARRIED[`${platform}-${arch}`]
      ? `install the extension for Windows x64, brindle-${version}-win32-x64.vsix, which carries brindle-check, or ` : '';
    return `To check stories, ${extension}unpack brindle-${version}-windows-x86_64.zip and set brindle.checkPath to its brindle-check.exe.`;
  }
  if (platform === 'linux' && arch === 'x64') {
    return `To check stories, install the extension for Linux x64, brindle-${version}-linux-x64.vsix, which carries brindle-check, ` +
      `or the package brindle_${version}-1_amd64.deb, or unpack brindle-${version}-linux-x86_64.tar.gz and set brindle.checkPath to its brindle-check.`;
  }
  return 'To check stories, build brindle-check from Brindle\'s sources and put it on PATH, or set brindle.checkPath to its full path.';
}

module.exports = { findProgram, isProgramFile, carriedProgram, makeExecutable, installAdvice, CARRIED, DEFAULT_PROGRAM };
