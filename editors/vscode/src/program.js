'use strict';
// Finds the brindle-check program the extension starts. The setting
// brindle.checkPath names it: empty, `brindle-check` is looked for on PATH
// as a shell would look for it; a bare name is looked for on PATH too; a
// path (`~/` for the home folder, a relative one from the workspace's first
// folder) is taken as it is. On Windows a name without an ending gets
// `.exe`. Returns the program's full path, or undefined when there is no
// such program. Only `isProgram` touches the file system, and tests replace
// it.

const fs = require('fs');
const os = require('os');
const path = require('path');

const DEFAULT_PROGRAM = 'brindle-check';

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

function findProgram(setting, options = {}) {
  const {
    env = process.env,
    platform = process.platform,
    home = os.homedir(),
    base = process.cwd(),
    isProgram = (file) => isProgramFile(file, platform),
  } = options;
  const paths = platform === 'win32' ? path.win32 : path.posix;
  let name = (setting || '').trim() || DEFAULT_PROGRAM;
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

module.exports = { findProgram, isProgramFile, DEFAULT_PROGRAM };
