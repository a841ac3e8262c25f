#!/usr/bin/env bash
# Packages the VS Code extension: package.sh DIST_DIR VERSION writes
# DIST_DIR/brindle-VERSION.vsix through vsce, the universal extension, which
# finds brindle-check on PATH. VERSION is the project's
# (project(brindle VERSION ...) in CMakeLists.txt), MAJOR.MINOR.PATCH.
#   package.sh DIST_DIR VERSION TARGET PROGRAM LICENCE
# writes instead DIST_DIR/brindle-VERSION-TARGET.vsix, the extension for one
# of VS Code's platforms (vsce package --target), which carries PROGRAM, a
# brindle-check built for it, where src/program.js's CARRIED says (a target
# CARRIED does not name is refused), with LICENCE, the LICENSE.txt shipped
# beside PROGRAM, at the end of its notices. A
# .vsix holds the extension's files, the npm packages it runs with and their
# licence notices (THIRD-PARTY-NOTICES.txt); it is the same bytes on every
# run from the same sources: its entries are sorted by name, of one mode, and
# dated SOURCE_DATE_EPOCH (to the two seconds a zip's date holds), by
# default the time of the checkout's last commit. Needs Node.js 20 or later
# (vsce's) and the node_modules that `npm ci` installs here. A failed run
# leaves the .vsix that was there, if any, as it was.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -ne 2 ] && [ $# -ne 5 ]; then
  echo "usage: $0 DIST_DIR VERSION [TARGET PROGRAM LICENCE]" >&2
  exit 2
fi
dist=$1
version=$2
target=${3:-}
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "package.sh: VERSION must be MAJOR.MINOR.PATCH, as VS Code wants it, not '$version'" >&2
  exit 2
fi
if [ ! -x "$here/node_modules/.bin/vsce" ]; then
  echo "package.sh: vsce is not installed; run 'npm ci' in $here first" >&2
  exit 1
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
  echo "package.sh: no git commit to date the files by; set SOURCE_DATE_EPOCH" >&2
  exit 1
fi
name=brindle-$version
if [ -n "$target" ]; then
  program=$4
  licence=$5
  carried=$(node -e '
    const place = require(process.argv[1]).CARRIED[process.argv[2]];
    if (place) console.log(place);
  ' "$here/src/program.js" "$target")
  if [ -z "$carried" ]; then
    echo "package.sh: the extension carries no brindle-check for $target; it does for:" \
      "$(node -p 'Object.keys(require(process.argv[1]).CARRIED).join(", ")' "$here/src/program.js")" >&2
    exit 2
  fi
  for file in "$program" "$licence"; do
    [ -f "$file" ] || { echo "package.sh: there is no file $file" >&2; exit 1; }
  done
  name=brindle-$version-$target
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/extension
mkdir -p "$stage"
cp -R "$here/package.json" "$here/README.md" "$here/language-configuration.json" \
  "$here/.vscodeignore" "$here/src" "$here/media" "$here/syntaxes" "$here/images" "$stage/"
node -e '
  const fs = require("fs");
  const [file, version] = process.argv.slice(1);
  const manifest = JSON.parse(fs.readFileSync(file, "utf8"));
  manifest.version = version;
  fs.writeFileSync(file, JSON.stringify(manifest, null, 2) + "\n");
' "$stage/package.json" "$version"

# The packages the extension runs with, as npm installed them here: each
# top-level one with everything under it, which holds their own.
(cd "$here" && npm ls --omit=dev --all --parseable) | while IFS= read -r folder; do
  relative=${folder#"$here"/}
  if [[ $relative =~ ^node_modules/(@[^/]+/)?[^/]+$ ]]; then
    mkdir -p "$stage/$(dirname "$relative")"
    cp -R "$folder" "$stage/$relative"
  fi
done
target_options=()
if [ -n "$target" ]; then
  mkdir -p "$stage/$(dirname "$carried")"
  cp "$program" "$stage/$carried"
  node "$here/tools/notices.js" "$stage" "$carried" "$licence" > "$stage/THIRD-PARTY-NOTICES.txt"
  target_options=(--target "$target")
else
  node "$here/tools/notices.js" "$stage" > "$stage/THIRD-PARTY-NOTICES.txt"
fi

(cd "$stage" && "$here/node_modules/.bin/vsce" package "${target_options[@]}" --out "$work/raw.vsix" \
  --skip-license --allow-missing-repository --no-rewrite-relative-links) >&2
mkdir -p "$dist"
node "$here/tools/vsix.js" normalize "$work/raw.vsix" "$dist/$name.vsix" "$epoch"
echo "$dist/$name.vsix"
