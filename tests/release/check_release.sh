#!/usr/bin/env bash
# Builds the release with scripts/release.sh (build-release/, dist/) and
# checks what a user gets:
#   - each package holds exactly the files it should, owned by root, the
#     Windows texts with CR LF line ends, the Linux ones with LF;
#   - the 64-bit zip's programs run under wine on examples/tour/test.py
#     copied into the unpacked folder, the tarball's and the .deb's programs
#     run natively, and all give the same output.lua (CR LF on Windows) and
#     "every line will load"; brindle-check --version of every build prints
#     the project's version (the 32-bit programs, which these machines cannot
#     run, are inspected instead);
#   - the programs that include Lua's code ship Lua's notice, all ship
#     nlohmann/json's (compiled into brindle-check), the tarball
#     needs no library beside those of every Debian 12 system, and the .deb
#     depends on Lua's shared library;
#   - the .deb installs with dpkg -i and removes with dpkg -r (as root;
#     otherwise it is unpacked with dpkg-deb -x), and lintian reports no
#     error or warning that is not overridden;
#   - the man pages render without warnings (groff -ww, man --warnings);
#   - the universal .vsix carries no program; the win32-x64 and linux-x64
#     ones carry the 64-bit zip's and the tarball's brindle-check (PE32+
#     x86-64, ELF x86-64), name their platform, hold the notices of Lua and
#     nlohmann/json, and the Linux one's program is executable as unpacked
#     and prints the version;
#   - a second release, from scratch in other folders, gives the same bytes.
# Prints one line per check, the packages' sizes and contents, lintian's
# output, both SHA256SUMS and the time taken, then "release: N passed, N
# failed"; exits 1 when a check failed. The tree must be committed, as for
# scripts/release.sh.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
started=$(date +%s)

scripts/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 file python3-pefile \
  dpkg-dev zip unzip groff lintian man-db || exit 1

version=$(sed -n 's/^project(brindle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
echo "release check of brindle $version"
scripts/release.sh || { echo "FAILED - scripts/release.sh"; exit 1; }

scratch=$(mktemp -d /tmp/brindle-release.XXXXXX)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && dpkg -r brindle >/dev/null 2>&1
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

source tests/shell/checks.sh
same() {  # same NAME WANT GOT
  [ "$2" == "$3" ]
  check "$1" $? "want: $(printf %q "$2")" "got:  $(printf %q "$3")"
}

zip32=dist/brindle-$version-windows-x86.zip
zip64=dist/brindle-$version-windows-x86_64.zip
tarball=dist/brindle-$version-linux-x86_64.tar.gz
deb=dist/brindle_${version}-1_amd64.deb

# What each package holds, in the order its listing gives.
docs=(CHANGELOG.txt LICENSE.txt README.txt)
listing() {  # listing TOP FILES...: the folder and its files
  local top=$1
  shift
  printf '%s/\n' "$top"
  printf "$top/%s\n" "$@"
}
same "the 32-bit zip's entries" \
  "$(listing "brindle-$version-windows-x86" "${docs[@]}" brindle-check.exe brindle.exe)" \
  "$(zipinfo -1 "$zip32")"
same "the 64-bit zip's entries" \
  "$(listing "brindle-$version-windows-x86_64" "${docs[@]}" brindle-check.exe brindle.exe)" \
  "$(zipinfo -1 "$zip64")"
same "the tarball's entries" \
  "$(listing "brindle-$version-linux-x86_64" "${docs[@]}" brindle brindle-check brindle-check.1 brindle.1)" \
  "$(tar -tzf "$tarball")"
same "the .deb's entries" "$(printf '%s\n' ./usr/ ./usr/bin/ ./usr/bin/brindle \
  ./usr/bin/brindle-check ./usr/share/ ./usr/share/doc/ ./usr/share/doc/brindle/ \
  ./usr/share/doc/brindle/README.txt ./usr/share/doc/brindle/changelog.Debian.gz \
  ./usr/share/doc/brindle/changelog.gz ./usr/share/doc/brindle/copyright ./usr/share/lintian/ \
  ./usr/share/lintian/overrides/ ./usr/share/lintian/overrides/brindle ./usr/share/man/ \
  ./usr/share/man/man1/ ./usr/share/man/man1/brindle-check.1.gz \
  ./usr/share/man/man1/brindle.1.gz)" "$(dpkg-deb -c "$deb" | awk '{print $NF}')"
same "the tarball's owners" "0/0" "$(tar -tvzf "$tarball" --numeric-owner | awk '{print $2}' | sort -u)"
same "the .deb's owners" "root/root" "$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)"
for package in "$zip32" "$zip64"; do
  same "$package: entries carry no owner or extra times" "" \
    "$(zipinfo -v "$package" | grep -i 'extra field' | grep -v ': *0 bytes$')"
done
same "the .deb's version" "$version-1" "$(dpkg-deb -f "$deb" Version)"
dpkg-deb -f "$deb" Depends | grep -q 'liblua5\.1-0'
check "the .deb depends on Lua 5.1's library (dpkg-shlibdeps)" $? "$(dpkg-deb -f "$deb" Depends)"

mkdir -p "$scratch/zip32" "$scratch/zip64" "$scratch/tar" "$scratch/deb"
unzip -q "$zip32" -d "$scratch/zip32"
unzip -q "$zip64" -d "$scratch/zip64"
tar -xzf "$tarball" -C "$scratch/tar"
dpkg-deb -x "$deb" "$scratch/deb"
win32=$scratch/zip32/brindle-$version-windows-x86
win64=$scratch/zip64/brindle-$version-windows-x86_64
linux=$scratch/tar/brindle-$version-linux-x86_64

# Texts: CR LF line ends in the zips, LF in the tarball; Lua's notice where
# Lua's code is in brindle-check, and the version in the guide's title.
for text in "$win32"/*.txt "$win64"/*.txt; do
  [ "$(grep -c $'\r$' "$text")" -eq "$(wc -l <"$text")" ] && [ -s "$text" ]
  check "CR LF line ends: ${text#"$scratch"/}" $?
done
for text in "$linux"/*.txt; do
  ! grep -q $'\r' "$text" && [ -s "$text" ]
  check "LF line ends: ${text#"$scratch"/}" $?
done
for folder in "$win32" "$win64" "$linux"; do
  grep -q '^Copyright (c) 2026 The Brindle authors' "$folder/LICENSE.txt" &&
    grep -q '^Copyright (C) 1994-2012 Lua.org, PUC-Rio\.' "$folder/LICENSE.txt" &&
    grep -q '^Copyright (c) 2013-2022 Niels Lohmann' "$folder/LICENSE.txt" &&
    [ "$(grep -c '^Permission is hereby granted' "$folder/LICENSE.txt")" -eq 3 ]
  check "Brindle's, Lua's and nlohmann/json's notices: ${folder#"$scratch"/}/LICENSE.txt" $?
  same "the guide's title: ${folder#"$scratch"/}" "Brindle $version" \
    "$(head -n 1 "$folder/README.txt" | tr -d '\r')"
done
copyright=$scratch/deb/usr/share/doc/brindle/copyright
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" &&
  grep -q '^License: Expat' "$copyright" && ! grep -q 'Lua' "$copyright" &&
  grep -q '^ nlohmann/json .*Copyright 2013-2022 Niels Lohmann' "$copyright"
check "the .deb's copyright file: machine-readable, nlohmann/json's notice, no Lua's (Lua is linked as a library)" $?

# Libraries: the tarball's programs need only what every Debian 12 system
# has; the .deb's brindle-check takes Lua from Debian's shared library.
for program in brindle brindle-check; do
  same "libraries of the tarball's $program beside libc, libm, libgcc_s and libstdc++" "" \
    "$(readelf -d "$linux/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
      grep -v -x -e libc.so.6 -e libm.so.6 -e libgcc_s.so.1 -e 'libstdc++.so.6')"
done
readelf -d "$scratch/deb/usr/bin/brindle-check" | grep -q 'NEEDED.*\[liblua5\.1\.so\.0\]'
check "the .deb's brindle-check links liblua5.1.so.0" $?

# Runs PROGRAM in DIR; sets out, err and rc.
run_in() {  # run_in DIR PROGRAM [ARGS...]
  local dir=$1
  shift
  (cd "$dir" && "$@" >"$scratch/out" 2>"$scratch/err")
  rc=$?
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
}

mkdir -p "$WINEPREFIX"
wineboot --init >"$scratch/wineboot.log" 2>&1 || cat "$scratch/wineboot.log"

# The tarball's conversion is the reference for the others.
cp examples/tour/test.py "$linux/"
run_in "$linux" ./brindle
same "the tarball's brindle converts the tour" "0:" "$rc:$err"
reference=$scratch/reference.lua
cp "$linux/output.lua" "$reference"
head -n 1 "$reference" | grep -q '^-- This file was automatically generated by Brindle$'
check "the tour's output.lua begins with Brindle's header" $?
run_in "$linux" ./brindle-check
same "the tarball's brindle-check passes the tour" "0:brindle-check: every line will load" "$rc:$err"
run_in "$linux" ./brindle-check --version
same "the tarball's brindle-check --version" "0:brindle-check $version" "$rc:$out"

cp examples/tour/test.py "$win64/"
run_in "$win64" wine brindle.exe
same "the 64-bit brindle.exe converts the tour under wine" "0:" "$rc:$err"
cmp -s <(crlf "$reference") "$win64/output.lua"
check "the 64-bit brindle.exe writes the tarball's output.lua with CR LF" $?
run_in "$win64" wine brindle-check.exe
same "the 64-bit brindle-check.exe passes the tour" "0:brindle-check: every line will load"$'\r' \
  "$rc:$err"
run_in "$win64" wine brindle-check.exe --version
same "the 64-bit brindle-check.exe --version" "0:brindle-check $version"$'\r' "$rc:$out"
# Static programs: only DLLs that every Windows has.
for program in "$win32"/*.exe "$win64"/*.exe; do
  same "DLLs imported by ${program#"$scratch"/}" "" "$(x86_64-w64-mingw32-objdump -p "$program" |
    awk '/DLL Name:/ {print $3}' | grep -v -i -x -e kernel32.dll -e msvcrt.dll)"
done
# The 32-bit program cannot run here: its version is read from its text,
# where the compiler keeps the tail of the --version line apart from the
# program's name.
LC_ALL=C grep -q -a -P "\\x00 \\Q$version\\E\$" "$win32/brindle-check.exe"
check "the 32-bit brindle-check.exe holds its --version line's ' $version'" $?
for folder in "$win32" "$win64"; do
  /usr/bin/python3 tests/windows/check_pe.py "$folder/brindle.exe" "$version" >"$scratch/pe" 2>&1
  check "version resource and manifest of ${folder#"$scratch"/}/brindle.exe" $? "$(cat "$scratch/pe")"
done

# The .deb installed (or, without root, unpacked) and its programs run.
story=$scratch/story
mkdir -p "$story"
cp examples/tour/test.py "$story/"
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W brindle >/dev/null 2>&1; then
  dpkg -i "$deb" >"$scratch/dpkg" 2>&1
  check "dpkg -i $deb" $? "$(cat "$scratch/dpkg")"
  installed=1
  bin=/usr/bin
  how=installed
else
  echo "# not root, or brindle already installed: the .deb is unpacked with dpkg-deb -x instead"
  bin=$scratch/deb/usr/bin
  how=unpacked
fi
run_in "$story" "$bin/brindle"
same "the $how .deb's brindle converts the tour" "0:" "$rc:$err"
cmp -s "$reference" "$story/output.lua"
check "the $how .deb's brindle writes the tarball's output.lua" $?
run_in "$story" "$bin/brindle-check"
same "the $how .deb's brindle-check passes the tour" "0:brindle-check: every line will load" "$rc:$err"
run_in "$story" "$bin/brindle-check" --version
same "the $how .deb's brindle-check --version" "0:brindle-check $version" "$rc:$out"
if [ "$installed" -eq 1 ]; then
  dpkg -r brindle >"$scratch/dpkg" 2>&1
  check "dpkg -r brindle" $? "$(cat "$scratch/dpkg")"
  installed=0
  [ ! -e /usr/bin/brindle ] && [ ! -e /usr/bin/brindle-check ] && ! dpkg-query -W brindle >/dev/null 2>&1
  check "dpkg -r removed the programs" $?
fi

# The VS Code extensions: the universal one carries no program, each
# platform's the brindle-check of that platform's package, with the notices
# of the code it includes.
vsix_universal=dist/brindle-$version.vsix
vsix_windows=dist/brindle-$version-win32-x64.vsix
vsix_linux=dist/brindle-$version-linux-x64.vsix
same "the universal .vsix carries no program" "" "$(zipinfo -1 "$vsix_universal" | grep '^extension/bin/')"
same "the win32-x64 .vsix's program" "extension/bin/brindle-check.exe" \
  "$(zipinfo -1 "$vsix_windows" | grep '^extension/bin/')"
same "the linux-x64 .vsix's program, its mode executable" "-rwxr-xr-x extension/bin/brindle-check" \
  "$(zipinfo "$vsix_linux" | awk '$NF ~ /^extension\/bin\// {print $1, $NF}')"
for kind in universal windows linux; do
  package=vsix_$kind
  mkdir -p "$scratch/vsix-$kind"
  unzip -q "${!package}" -d "$scratch/vsix-$kind"
done
carried_windows=$scratch/vsix-windows/extension/bin/brindle-check.exe
carried_linux=$scratch/vsix-linux/extension/bin/brindle-check
file -b "$carried_windows" | grep -q '^PE32+ executable (console) x86-64' &&
  cmp -s "$carried_windows" "$win64/brindle-check.exe"
check "the win32-x64 .vsix carries the 64-bit zip's brindle-check.exe (PE32+ x86-64)" $? \
  "$(file -b "$carried_windows")"
file -b "$carried_linux" | grep -q '^ELF 64-bit LSB .*, x86-64' && cmp -s "$carried_linux" "$linux/brindle-check"
check "the linux-x64 .vsix carries the tarball's brindle-check (ELF x86-64)" $? "$(file -b "$carried_linux")"
run_in "$story" "$carried_linux" --version
same "the linux-x64 .vsix's brindle-check, as unpacked, --version" "0:brindle-check $version" "$rc:$out"
for kind in universal windows linux; do
  manifest=$scratch/vsix-$kind/extension.vsixmanifest
  notices=$scratch/vsix-$kind/extension/THIRD-PARTY-NOTICES.txt
  case $kind in
    universal) want="no target, no notice of Lua or nlohmann/json" ;;
    windows) want="TargetPlatform=\"win32-x64\", the notices of Lua and nlohmann/json" ;;
    linux) want="TargetPlatform=\"linux-x64\", the notices of Lua and nlohmann/json" ;;
  esac
  got="no target"
  grep -q 'TargetPlatform=' "$manifest" && got=$(grep -o 'TargetPlatform="[^"]*"' "$manifest")
  if grep -q '^Copyright (C) 1994-2012 Lua.org, PUC-Rio\.' "$notices" &&
    grep -q '^Copyright (c) 2013-2022 Niels Lohmann' "$notices"; then
    got="$got, the notices of Lua and nlohmann/json"
  elif ! grep -q -e 'Lua\.org' -e 'Niels Lohmann' "$notices"; then
    got="$got, no notice of Lua or nlohmann/json"
  fi
  same "the $kind .vsix's target and notices" "$want" "$got"
done

# The man pages, as shipped in the tarball and (compressed) in the .deb.
for page in "$linux"/*.1 "$scratch"/deb/usr/share/man/man1/*.1.gz; do
  name=${page#"$scratch"/}
  messages=$(zcat -f "$page" | groff -ww -man -z 2>&1)
  same "groff -ww: $name" "" "$messages"
  messages=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  same "man --warnings: $name" "" "$messages"
  zcat -f "$page" | grep -q "^\.TH .* \"Brindle $version\""
  check "the version in the title of $name" $?
done

echo "# lintian $deb:"
lintian --pedantic -I --fail-on error,warning "$deb" 2>&1 |
  grep -v '^running with root privileges' | sed 's/^/#   /'
check "lintian: no error or warning that is not overridden" "${PIPESTATUS[0]}"

echo "# packages:"
for package in dist/*; do
  echo "#   $(basename "$package"): $(stat -c %s "$package") bytes"
done
for package in "$zip32" "$zip64"; do
  echo "# $(basename "$package"):"
  zipinfo -l "$package" | sed -n '3,$p' | sed 's/^/#   /'
done
echo "# $(basename "$tarball"):"
tar -tvzf "$tarball" --numeric-owner | sed 's/^/#   /'
echo "# $(basename "$deb"):"
dpkg-deb -I "$deb" | sed 's/^/#  /'
dpkg-deb -c "$deb" | sed 's/^/#   /'

# A second release from scratch, in other folders, gives the same bytes.
cp dist/SHA256SUMS "$scratch/SHA256SUMS.first"
scripts/release.sh --build "$scratch/build-again" --dist "$scratch/dist-again" >"$scratch/again.log" 2>&1
check "a second release from scratch" $? "$(tail -n 20 "$scratch/again.log")"
echo "# SHA256SUMS, first release:"
sed 's/^/#   /' "$scratch/SHA256SUMS.first"
echo "# SHA256SUMS, second release:"
sed 's/^/#   /' "$scratch/dist-again/SHA256SUMS" 2>/dev/null
diff -r dist "$scratch/dist-again" >"$scratch/diff" 2>&1
check "the two releases are byte-identical" $? "$(cat "$scratch/diff")"

echo "# release check: $(($(date +%s) - started)) s"
echo "release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
