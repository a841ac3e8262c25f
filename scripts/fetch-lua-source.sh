#!/usr/bin/env bash
# Puts the upstream source tarball of Debian's lua5.1 package into DIR
# (lua5.1_VERSION.orig.tar.gz), unless one is there already, for the Windows
# cross-builds, which compile Lua's parser from it. Reads Debian's source
# package through apt with a private list of sources, leaving the system's
# apt configuration as it is.
#   scripts/fetch-lua-source.sh DIR
set -euo pipefail

dir=$1
mkdir -p "$dir"
if compgen -G "$dir/lua5.1_*.orig.tar.gz" >/dev/null; then
  exit 0
fi

scratch=$(mktemp -d)
chmod 755 "$scratch"  # apt reads the lists as its own user
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/lists/partial"
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$scratch/src.sources"
apt_options=(-o Dir::Etc::SourceParts="$scratch" -o Dir::Etc::SourceList=/dev/null
  -o Dir::State::Lists="$scratch/lists")
apt-get update -qq "${apt_options[@]}" 2>&1 | grep -v -e unsandboxed -e "^$" || true
# As root, apt warns that the download runs unsandboxed; that is harmless.
(cd "$scratch" && apt-get source -qq --download-only "${apt_options[@]}" lua5.1 2>&1 |
  grep -v -e 'unsandboxed' -e '^$' || true)
tarball=$(compgen -G "$scratch/lua5.1_*.orig.tar.gz" | head -n 1)
if [ -z "$tarball" ]; then
  echo "fetch-lua-source.sh: no lua5.1 source tarball came from Debian's archive" >&2
  exit 1
fi
cp "$tarball" "$dir/"
echo "fetch-lua-source.sh: $(basename "$tarball") in $dir"
