'use strict';
// Where the extension finds brindle-check, on either system.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { findProgram, isProgramFile, makeExecutable, installAdvice } = require('../src/program');

const posix = { platform: 'linux', arch: 'x64', home: '/home/ann', base: '/stories/harbour', env: { PATH: '/usr/local/bin:/usr/bin' } };
const windows = { platform: 'win32', arch: 'x64', home: 'C:\\Users\\Ann', base: 'C:\\Stories', env: { Path: 'C:\\Tools;"C:\\Program Files\\Brindle"' } };
// The extension installed, as a platform's .vsix or the universal one.
const linuxExtension = { ...posix, extensionFolder: '/home/ann/.vscode/extensions/brindle.brindle-1.0.0-linux-x64' };
const linuxCarried = `${linuxExtension.extensionFolder}/bin/brindle-check`;
const windowsExtension = { ...windows, extensionFolder: 'C:\\Users\\Ann\\.vscode\\extensions\\brindle.brindle-1.0.0-win32-x64' };
const windowsCarried = `${windowsExtension.extensionFolder}\\bin\\brindle-check.exe`;

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
  ['Linux x64: the carried one before PATH', linuxExtension, '', [linuxCarried, '/usr/bin/brindle-check'], linuxCarried],
  ['Linux x64: the setting before the carried one', linuxExtension, '/opt/brindle/brindle-check', [linuxCarried, '/opt/brindle/brindle-check'], '/opt/brindle/brindle-check'],
  ['Linux x64: a missing setting is not replaced by the carried one', linuxExtension, 'my-check', [linuxCarried], undefined],
  ['Linux x64, universal .vsix: PATH', linuxExtension, '', ['/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['Linux x64, universal .vsix, not on PATH: none', linuxExtension, '', [], undefined],
  ['Linux arm64 carries none: PATH', { ...linuxExtension, arch: 'arm64' }, '', [linuxCarried, '/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['macOS carries none: PATH', { ...linuxExtension, platform: 'darwin', arch: 'arm64' }, '', [linuxCarried, '/usr/bin/brindle-check'], '/usr/bin/brindle-check'],
  ['Windows x64: the carried one before Path', windowsExtension, '', [windowsCarried, 'C:\\Tools\\brindle-check.exe'], windowsCarried],
  ['Windows x64: the setting before the carried one', windowsExtension, 'D:\\brindle\\brindle-check', [windowsCarried, 'D:\\brindle\\brindle-check.exe'], 'D:\\brindle\\brindle-check.exe'],
  ['Windows x64, universal .vsix, not on Path: none', windowsExtension, '', [], undefined],
  ['Windows arm64 carries none: Path', { ...windowsExtension, arch: 'arm64' }, '', [windowsCarried, 'C:\\Tools\\brindle-check.exe'], 'C:\\Tools\\brindle-check.exe'],
];

test('findProgram finds brindle-check as the setting and PATH say', () => {
  for (const [name, system, setting, programs, expected] of cases) {
    const isProgram = (file) => programs.includes(file);
    assert.strictEqual(findProgram(setting, { ...system, isProgram }), expected, name);
  }
});

test('installAdvice names the release packages that hold brindle-check for the platform', () => {
  const advice = [
    // system, names it gives, names it must not give
    [linuxExtension, ['brindle-2.1.0-linux-x64.vsix', 'brindle_2.1.0-1_amd64.deb', 'brindle-2.1.0-linux-x86_64.tar.gz', 'brindle.checkPath'], ['win32', '.zip']],
    [windowsExtension, ['brindle-2.1.0-win32-x64.vsix', 'brindle-2.1.0-windows-x86_64.zip', 'brindle.checkPath'], ['linux', '.deb']],
    [{ ...windows, arch: 'arm64' }, ['brindle-2.1.0-windows-x86_64.zip', 'brindle.checkPath'], ['.vsix']],
    [{ ...posix, arch: 'arm64' }, ['sources', 'brindle.checkPath'], ['.vsix', '.deb', '.tar.gz']],
  ];
  for (const [system, given, absent] of advice) {
    const text = installAdvice('2.1.0', system.platform, system.arch);
    for (const name of given) assert.ok(text.includes(name), `${system.platform}-${system.arch}: ${name} in "${text}"`);
    for (const name of absent) assert.ok(!text.includes(name), `${system.platform}-${system.arch}: no ${name} in "${text}"`);
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
    // A carried program unpacked without its mode is made executable.
    fs.chmodSync(files[1][0], 0o644);
    makeExecutable(files[1][0]);
    assert.strictEqual(fs.statSync(files[1][0]).mode & 0o777, 0o755);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});
