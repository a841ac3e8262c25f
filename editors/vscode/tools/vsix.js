'use strict';
// The .vsix (a zip) that packaging writes, made reproducible, and listed.
//   node vsix.js normalize IN OUT EPOCH   writes OUT with IN's entries sorted by
//                                         name, each dated EPOCH (seconds, UTC,
//                                         down to an even one)
//                                         and of mode 0644, but the programs
//                                         under extension/bin/, of mode 0755:
//                                         the same bytes for the same
//                                         contents, wherever and whenever it
//                                         runs
//   node vsix.js list FILE                prints each entry: name, size, date
// readEntries(FILE) gives the entries, for the tests.
// VS Code unpacks an extension with the mode its zip entry gives, so the
// Linux brindle-check that a .vsix carries is executable once installed.
// OUT is written beside itself and renamed into place once complete.
// A zip's date is a local time without a zone, to two seconds: it is
// written and read as UTC, so that the machine's zone changes nothing, and
// EPOCH is taken down to an even second, which the zip holds exactly.
process.env.TZ = 'UTC';
const fs = require('fs');
const yauzl = require('yauzl');
const yazl = require('yazl');

// The folder of the programs a platform's .vsix carries (src/program.js's
// CARRIED).
const PROGRAMS = 'extension/bin/';

function readEntries(file) {
  return new Promise((resolve, reject) => {
    yauzl.open(file, { lazyEntries: true }, (error, zip) => {
      if (error) return reject(error);
      const entries = [];
      zip.on('error', reject);
      zip.on('end', () => resolve(entries));
      zip.on('entry', (entry) => {
        if (entry.fileName.endsWith('/')) return zip.readEntry();
        zip.openReadStream(entry, (streamError, stream) => {
          if (streamError) return reject(streamError);
          const chunks = [];
          stream.on('data', (chunk) => chunks.push(chunk));
          stream.on('error', reject);
          stream.on('end', () => {
            entries.push({
              name: entry.fileName, data: Buffer.concat(chunks), date: entry.getLastModDate(),
              mode: entry.externalFileAttributes >>> 16,
            });
            zip.readEntry();
          });
        });
      });
      zip.readEntry();
    });
  });
}

async function normalize(input, output, epoch) {
  const seconds = Number(epoch);
  if (!Number.isInteger(seconds) || seconds < 315532800) {
    throw new Error(`the date must be whole seconds since 1970, from 1980 on (zip's first year), not "${epoch}"`);
  }
  const date = new Date((seconds - (seconds % 2)) * 1000);
  const entries = (await readEntries(input))
    .sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  const zip = new yazl.ZipFile();
  for (const entry of entries) {
    const mode = entry.name.startsWith(PROGRAMS) ? 0o100755 : 0o100644;
    zip.addBuffer(entry.data, entry.name, { mtime: date, mode, compress: true, forceDosTimestamp: true });
  }
  zip.end();
  const partial = `${output}.partial`;
  try {
    await new Promise((resolve, reject) => {
      zip.outputStream.pipe(fs.createWriteStream(partial)).on('close', resolve).on('error', reject);
    });
    fs.renameSync(partial, output);
  } catch (error) {
    fs.rmSync(partial, { force: true });
    throw error;
  }
}

async function list(file) {
  process.stdout.on('error', (error) => process.exit(error.code === 'EPIPE' ? 0 : 1));
  for (const entry of await readEntries(file)) {
    process.stdout.write(`${entry.name}\t${entry.data.length}\t${entry.date.toISOString()}\n`);
  }
}

module.exports = { readEntries };

if (require.main === module) {
  const [command, ...args] = process.argv.slice(2);
  const commands = { normalize: [normalize, 3], list: [list, 1] };
  if (!commands[command] || args.length !== commands[command][1]) {
    process.stderr.write('usage: vsix.js normalize IN OUT EPOCH | vsix.js list FILE\n');
    process.exit(2);
  }
  commands[command][0](...args).catch((error) => {
    process.stderr.write(`vsix.js: ${error.message}\n`);
    process.exit(1);
  });
}
