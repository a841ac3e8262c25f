'use strict';
// Where the extension finds brindle-check, on either system.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { findProgram, isProgramFile } = require('../src/program');

const posix = { platform: 'linux', home: '/home/ann', base: '/stories/harbour', env: { PATH: '/usr/local/bin:/usr/bin' } };
const windows = { platform: 'win32', home: 'C:\\Users\\Ann', base: 'C:\\Stories', env: { Path: 'C:\\Tools;"C:\\Program Files\\Brindle"' } };

const cases = [
  // name, system, setting, programs that exist, expected
  ['found on PATH', posix, '', ['/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['the first on PATH wins', posix, '', ['/usr/bin/brindle-check', '/usr/local/bin/brindle-check'], '/usr/local/bin/brindle-check'],
  ['not on PATH', posix, '', [], undefined],
  ['blank setting means the default', posix, '  ', ['/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['a bare name is looked for on PATH', posix, 'my-check', ['/usr/bin/my-check'], '/usr/bin/my-check'],
  ['a full path, as it is', posix, '/opt/brindle/brindle-check', ['/opt/brindle/brindle-check'], '/opt/brindle/brindle-check'],
  ['a full path that is missing is not replaced by PATH', posix, '/opt/brindle/brindle-check', ['/usr/bin/brindle-check'], undefined],
  ['~/ is the home folder', posix, '~/bin/brindle-check', ['/home/ann/bin/brindle-check'], '/home/ann/bin/brindle-check'],
  ['a relative path starts at the workspace', posix, 'build/brindle-check', ['/stories/harbour/build/brindle-check'], '/stories/harbour/build/brindle-check'],
  ['empty PATH entries are skipped', { ...posix, env: { PATH: '::/usr/bin' } }, '', ['brindle-check', '/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['no PATH at all', { ...posix, env: {} }, '', ['/usr/bin/brindle-check'], undefined],
  ['Windows: .exe, Path in any case, quoted entries', windows, '', ['C:\\Program Files\\Brindle\\brindle-check.exe'], 'C:\\Program Files\\Brindle\\brindle-check.exe'],
  ['Windows: no program without .exe', windows, '', ['C:\\Tools\\brindle-check'], undefined],
  ['Windows: a full path gets .exe', windows, 'D:\\brindle\\brindle-check', ['D:\\brindle\\brindle-check.exe'], 'D:\\brindle\\brindle-check.exe'],
  ['Windows: an ending of its own is kept', windows, 'D:\\brindle\\check.com', ['D:\\brindle\\check.com'], 'D:\\brindle\\check.com'],
  ['Windows: a relative path starts at the workspace', windows, 'bin\\brindle-check.exe', ['C:\\Stories\\bin\\brindle-check.exe'], 'C:\\Stories\\bin\\brindle-check.exe'],
];

test('findProgram finds brindle-check as the setting and PATH say', () => {
  for (const [name, system, setting, programs, expected] of cases) {
    const isProgram = (file) => programs.includes(file);
    assert.strictEqual(findProgram(setting, { ...system, isProgram }), expected, name);
  }
});

test('isProgramFile takes only executable regular files', { skip: process.platform === 'win32' }, () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'brindle-program-'));
  try {
    const make = (name, mode) => {
      fs.writeFileSync(path.join(folder, name), '#!/bin/sh\n', { mode });
      return path.join(folder, name);
    };
    fs.mkdirSync(path.join(folder, 'folder'));
    const files = [
      [make('runs', 0o755), true],
      [make('does-not-run', 0o644), false],
      [path.join(folder, 'folder'), false],
      [path.join(folder, 'missing'), false],
    ];
    for (const [file, expected] of files) assert.strictEqual(isProgramFile(file), expected, file);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});
