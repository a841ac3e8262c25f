#!/usr/bin/env bash
# The VS Code extension's offline tests, which the test suite (ctest) runs:
#   test.sh grammar           the grammar against test/grammar/*.brindle with
#                             vscode-tmgrammar-test, and every scope of the
#                             grammar asserted there
#   test.sh units             story recognition, the search for brindle-check
#                             and how stories open, under Node's test runner
#   test.sh package VERSION [PROGRAM LICENCE]
#                             package.sh twice: the same bytes, and what the
#                             .vsix holds; given a brindle-check and the
#                             LICENSE.txt of its build, the linux-x64 .vsix
#                             with that program too
#   test.sh browser [images]  the play and map panels' pages in headless
#                             Chromium (Debian's, /usr/bin/chromium, through
#                             playwright-core; no browser is downloaded), then
#                             bench/story_map_layout.js's figure for a map of
#                             1,000 labels; with `images`, the screenshots
#                             images/play-panel.png and images/story-map.png
#                             are made anew
# Exits 77, which ctest counts as skipped, with the reason, where Node.js,
# npm or the node_modules that `npm ci` installs here are missing, or
# Node.js is older than what a part needs, or, for the browser check,
# Chromium or playwright-core is.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

skip() {
  echo "SKIPPED: $*"
  exit 77
}
needs_node() {
  command -v node >/dev/null && command -v npm >/dev/null ||
    skip "Node.js and npm are not installed (scripts/install-deps.sh nodejs npm installs Debian's)"
  local major
  major=$(node -p 'process.versions.node.split(".")[0]')
  [ "$major" -ge "$1" ] || skip "this part needs Node.js $1 or later, and there is $(node --version)"
  [ -f node_modules/.package-lock.json ] || skip "the extension's packages are not installed: run 'npm ci' in $here"
}

case "${1:-}" in
  grammar)
    needs_node 18
    node_modules/.bin/vscode-tmgrammar-test 'test/grammar/*.brindle'
    node --test test/grammar-coverage.test.js
    ;;
  units)
    needs_node 18
    node --test test/story.test.js test/program.test.js test/extension.test.js test/panel-views.test.js
    ;;
  package)
    [ $# -eq 2 ] || [ $# -eq 4 ] || { echo "usage: $0 package VERSION [PROGRAM LICENCE]" >&2; exit 2; }
    needs_node 20
    version=$2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || true)}
    [ -n "$epoch" ] || epoch=1700000000
    export SOURCE_DATE_EPOCH=$epoch
    ./package.sh "$work/first" "$version" 2>"$work/first.log" || { cat "$work/first.log"; exit 1; }
    ./package.sh "$work/second" "$version" 2>"$work/second.log" || { cat "$work/second.log"; exit 1; }
    vsix=brindle-$version.vsix
    sha256sum "$work/first/$vsix" "$work/second/$vsix" | sed "s|$work/||"
    cmp "$work/first/$vsix" "$work/second/$vsix" || { echo "two runs of package.sh gave different files"; exit 1; }
    if [ $# -eq 4 ]; then
      ./package.sh "$work/first" "$version" linux-x64 "$3" "$4" 2>"$work/linux.log" ||
        { cat "$work/linux.log"; exit 1; }
      export BRINDLE_VSIX_LINUX=$work/first/brindle-$version-linux-x64.vsix BRINDLE_VSIX_PROGRAM=$3 \
        BRINDLE_VSIX_LICENCE=$4
    fi
    BRINDLE_VSIX=$work/first/$vsix BRINDLE_VSIX_VERSION=$version BRINDLE_VSIX_EPOCH=$epoch \
      node --test test/package.test.js
    ;;
  browser)
    needs_node 18
    [ -x "${BRINDLE_CHROMIUM:-/usr/bin/chromium}" ] ||
      skip "there is no Chromium at ${BRINDLE_CHROMIUM:-/usr/bin/chromium} (scripts/install-deps.sh chromium installs Debian's)"
    [ -f node_modules/playwright-core/package.json ] || skip "playwright-core is not installed: run 'npm ci' in $here"
    if [ "${2:-}" = images ]; then
      BRINDLE_SCREENSHOTS=$here/images node --test test/browser.test.js
    else
      node --test test/browser.test.js
    fi
    node ../../bench/story_map_layout.js 1000 3
    ;;
  *)
    echo "usage: $0 grammar | units | package VERSION | browser [images]" >&2
    exit 2
    ;;
esac
