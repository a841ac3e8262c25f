#!/usr/bin/env bash
# Builds the release of the checked-out commit into dist/ (VERSION is that of
# project(brindle VERSION ...) in CMakeLists.txt):
#   brindle-VERSION-windows-x86.zip, brindle-VERSION-windows-x86_64.zip
#   brindle-VERSION-linux-x86_64.tar.gz   one folder each: the programs,
#                                         README.txt, LICENSE.txt, CHANGELOG.txt
#                                         (and the man pages on Linux)
#   brindle_VERSION-1_amd64.deb           through CPack (cmake/release-deb.cmake)
#   brindle-VERSION.vsix                  when editors/vscode/package.sh exists:
#                                         the VS Code extension, which finds
#                                         brindle-check on PATH
#   brindle-VERSION-win32-x64.vsix        the same, carrying the 64-bit zip's
#   brindle-VERSION-linux-x64.vsix        brindle-check.exe or the tarball's
#                                         brindle-check, with their notices
#   SHA256SUMS                            over all of them
# The tree must be clean: what is released is the commit. Two runs on the same
# commit give the same bytes: times come from the commit (SOURCE_DATE_EPOCH),
# entries are sorted, owners are root, and no build path or time is kept.
# The Linux tarball links Lua statically (Debian's liblua5.1.a), so that it
# runs on a Debian 12 machine without liblua5.1-0; the .deb links the shared
# library and depends on it.
#   scripts/release.sh [--build DIR] [--dist DIR]
# --build names the folder of the four builds (build-release/), which later
# runs reuse; --dist the folder of the packages (dist/).
# Needs the Debian packages of scripts/install-deps.sh and g++-mingw-w64-i686
# g++-mingw-w64-x86-64 dpkg-dev file zip.
set -euo pipefail
cd "$(dirname "$0")/.."

build_root=build-release
dist=dist
while [ $# -gt 0 ]; do
  case $1 in
    --build) build_root=$2; shift 2 ;;
    --dist) dist=$2; shift 2 ;;
    *) echo "usage: scripts/release.sh [--build DIR] [--dist DIR]" >&2; exit 2 ;;
  esac
done

if [ -n "$(git status --porcelain)" ]; then
  echo "release.sh: the tree has changes that are not committed; commit them (or stash them) first:" >&2
  git status --short >&2
  exit 1
fi

export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export TZ=UTC LC_ALL=C
umask 022
mkdir -p "$build_root" "$dist"
build_root=$(cd "$build_root" && pwd)
dist=$(cd "$dist" && pwd)
# The packages are made in a folder of their own and moved into dist/ only
# once all are there, so that a failed run leaves dist/ as it was.
out=$build_root/dist-new
rm -rf "$out"
mkdir -p "$out"

# No path of this machine goes into the programs.
prefix_maps="-ffile-prefix-map=$PWD/= -ffile-prefix-map=$build_root/="
# Debian's hardening flags for the Linux programs, without its -g and -O2
# (a release build is optimised by CMake's Release flags and carries no
# debugging information). The Linux builds compile no C: their Lua is
# Debian's library.
linux_flags() {  # linux_flags CXXFLAGS|CPPFLAGS|LDFLAGS
  DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2" dpkg-buildflags --get "$1"
}
linux_options=(
  -DCMAKE_CXX_FLAGS="$(linux_flags CPPFLAGS) $(linux_flags CXXFLAGS) $prefix_maps"
  -DCMAKE_EXE_LINKER_FLAGS="$(linux_flags LDFLAGS)")
# The linker flags of the Windows builds are their toolchain's (-static).
windows_options=(-DCMAKE_C_FLAGS="$prefix_maps" -DCMAKE_CXX_FLAGS="$prefix_maps")

# Each configuration starts from a fresh cache, so that it holds exactly the
# options given here whatever an earlier run gave; ninja still reuses what
# was built with the same commands.
build() {  # build NAME OPTIONS...
  local dir=$build_root/$1
  shift
  cmake --fresh -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLE_TESTS=OFF \
    -DBRINDLE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir"
}

# Debian's Lua 5.1 library, static or shared, from liblua5.1-0-dev.
lua_library() {  # lua_library FILE-NAME
  local path
  path=$(gcc -print-file-name="$1")
  if [ ! -f "$path" ]; then
    echo "release.sh: no $1 (scripts/install-deps.sh installs liblua5.1-0-dev)" >&2
    return 1
  fi
  echo "$path"
}
lua_static=$(lua_library liblua5.1.a)
lua_shared=$(lua_library liblua5.1.so)

build windows-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DBRINDLE_PACKAGE=archive \
  "${windows_options[@]}"
# The Lua sources that the first Windows build fetched serve the second.
mkdir -p "$build_root/windows-x86_64/lua-source"
cp -n "$build_root"/windows-x86/lua-source/lua5.1_*.orig.tar.gz "$build_root/windows-x86_64/lua-source/"
build windows-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DBRINDLE_PACKAGE=archive "${windows_options[@]}"
build linux-x86_64 -DBRINDLE_PACKAGE=archive \
  -DBRINDLE_LUA_LIBRARY="$lua_static" "${linux_options[@]}"
build deb -DBRINDLE_PACKAGE=deb -DBRINDLE_LUA_LIBRARY="$lua_shared" \
  "${linux_options[@]}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_root/deb/CMakeCache.txt")

# Installs a build into one folder, as the archives hold it, with the
# commit's time and plain permissions on every entry.
stage() {  # stage BUILD FOLDER [--strip]
  local folder=$build_root/stage/$2
  rm -rf "$folder"
  cmake --install "$build_root/$1" --prefix "$folder" "${@:3}" >/dev/null
  chmod -R u+rwX,go+rX,go-w "$folder"
  find "$folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The Windows programs are stripped as they are linked; strip would rewrite
# their headers.
for platform in windows-x86 windows-x86_64; do
  name=brindle-$version-$platform
  stage "$platform" "$name"
  (cd "$build_root/stage" && find "$name" -print | sort | zip -q -X -9 -@ "$out/$name.zip")
done

name=brindle-$version-linux-x86_64
stage linux-x86_64 "$name" --strip
tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
  -C "$build_root/stage" -cf - "$name" | gzip -9n >"$out/$name.tar.gz"

(cd "$build_root/deb" && cpack -G DEB >/dev/null)
cp "$build_root/deb/package/brindle_$version-1_amd64.deb" "$out/"

# The platform extensions carry the programs of the packages made above, as
# staged, with the LICENSE.txt beside them, which holds the notices of the
# code they include.
if [ -e editors/vscode/package.sh ]; then
  editors/vscode/package.sh "$out" "$version"
  windows=$build_root/stage/brindle-$version-windows-x86_64
  linux=$build_root/stage/brindle-$version-linux-x86_64
  editors/vscode/package.sh "$out" "$version" win32-x64 "$windows/brindle-check.exe" "$windows/LICENSE.txt"
  editors/vscode/package.sh "$out" "$version" linux-x64 "$linux/brindle-check" "$linux/LICENSE.txt"
  for vsix in "brindle-$version.vsix" "brindle-$version-win32-x64.vsix" "brindle-$version-linux-x64.vsix"; do
    if [ ! -f "$out/$vsix" ]; then
      echo "release.sh: editors/vscode/package.sh wrote no $vsix" >&2
      exit 1
    fi
  done
fi

(cd "$out" && find . -maxdepth 1 -type f -name 'brindle*' -printf '%f\n' | sort |
  xargs sha256sum -- >SHA256SUMS)
rm -f "$dist"/brindle-*.zip "$dist"/brindle-*.tar.gz "$dist"/brindle_*.deb "$dist"/brindle-*.vsix \
  "$dist"/SHA256SUMS
mv "$out"/* "$dist/"
rmdir "$out"
echo "release.sh: brindle $version in $dist:"
for package in "$dist"/*; do
  echo "  $(basename "$package"), $(stat -c %s "$package") bytes"
done
