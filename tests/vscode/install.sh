#!/usr/bin/env bash
# Installs what the test of the extension in a real VS Code runs with into
# tests/vscode/node_modules (git-ignored), never globally: code-server, the
# VS Code that runs in a browser, and playwright-core, both as
# package-lock.json pins them. Debian's chromium, ripgrep and libkrb5-dev
# come from scripts/install-deps.sh, which calls this script. Nothing here
# downloads a browser or a prebuilt binary: no install script of a package
# runs; code-server's own postinstall is done by hand below, its native
# modules are built with node-gyp against the installed Node.js's headers,
# and Debian's rg stands in for the ripgrep binary @vscode/ripgrep would
# fetch. Does nothing when the lock file and this script are as they were at
# the last complete install. Needs Node.js 20 (code-server's), npm, a C++
# compiler, make and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

stamp=node_modules/.brindle-installed
want=$(cat package-lock.json install.sh | sha256sum | cut -d' ' -f1)
if [ "$(cat "$stamp" 2>/dev/null)" = "$want" ]; then
  exit 0
fi
major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$major" != 20 ]; then
  echo "tests/vscode/install.sh: code-server 4.100 runs on Node.js 20, and there is $(node --version); not installed" >&2
  exit 0
fi

rg=$(command -v rg) || { echo "tests/vscode/install.sh: Debian's ripgrep (rg) is not installed" >&2; exit 1; }

start=$(date +%s)
echo "Installing code-server and playwright-core for the test in a real VS Code (tests/vscode)"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
npm_quiet=(--ignore-scripts --no-audit --no-fund --loglevel=error)
npm ci "${npm_quiet[@]}"

# node-gyp takes the headers of the Node.js that runs it from its own
# install where it has them (no download); npm's bundled node-gyp.
nodedir=$(dirname "$(dirname "$(realpath "$(command -v node)")")")
gyp=$(dirname "$(realpath "$(command -v npm)")")/../node_modules/node-gyp/bin/node-gyp.js
[ -f "$nodedir/include/node/node_api.h" ] ||
  { echo "tests/vscode/install.sh: no Node.js headers in $nodedir/include/node" >&2; exit 1; }
build_native() {
  (cd "$1" && node "$gyp" rebuild --nodedir="$nodedir" --jobs="$(nproc)" --loglevel=error >/dev/null)
}

# argon2, which code-server loads at start, is built from source by its own
# node-pre-gyp (told not to fetch a prebuilt one), which puts it where
# argon2 looks.
npm rebuild argon2 --build-from-source --loglevel=error >/dev/null

# code-server's postinstall: the packages of the VS Code it carries (pinned
# by that folder's npm-shrinkwrap.json), the links it makes, and the
# packages its built-in extensions share.
vscode=node_modules/code-server/lib/vscode
(cd "$vscode" && npm install --omit=dev "${npm_quiet[@]}")
ln -sfn node_modules "$vscode/node_modules.asar"
ln -sfn code-linux.sh "$vscode/bin/remote-cli/code-server"
ln -sfn browser-linux.sh "$vscode/bin/helpers/browser.sh"
(cd "$vscode/extensions" && npm install --omit=dev "${npm_quiet[@]}")

# The native modules VS Code's server loads on Linux; @parcel/watcher comes
# prebuilt in its own npm package, and the rest are Windows's.
for module in @vscode/spdlog native-watchdog node-pty kerberos; do
  build_native "$vscode/node_modules/$module"
done
ripgrep=$vscode/node_modules/@vscode/ripgrep/bin
mkdir -p "$ripgrep"
ln -sf "$rg" "$ripgrep/rg"

echo "$want" >"$stamp"
echo "Installed in $(($(date +%s) - start)) s: $(du -sh node_modules | cut -f1) in tests/vscode/node_modules"
