#!/usr/bin/env bash
# Cross-builds brindle.exe and brindle-check.exe for 32-bit Windows
# (build-win32/) and 64-bit Windows (build-win64/), checks that all are static
# console programs and that brindle.exe carries the project's version, the
# manifest and Windows Vista as its minimum, and runs the end-to-end tests of
# the 64-bit ones under wine (brindle-check.exe --play on the tour among
# them, against examples/tour/expected-play.txt). brindle-check.exe links Lua 5.1 compiled from
# the sources of Debian's package, which the first build of each folder
# fetches (network to Debian's archive) and keeps there. 32-bit programs
# cannot run on build machines whose kernel has 32-bit emulation turned off,
# so the 32-bit build is only built and inspected; both come from the same
# sources. Needs the Debian packages g++-mingw-w64-i686 g++-mingw-w64-x86-64
# wine wine64 file python3-pefile locales (scripts/install-deps.sh installs
# those it is given).
set -euo pipefail
cd "$(dirname "$0")/.."

build_windows() {  # build_windows DIR TOOLCHAIN
  cmake -S . -B "$1" -G Ninja -DBRINDLE_TESTS=OFF -DBRINDLE_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" >/dev/null
  cmake --build "$1"
}

# Checks the file type and that only DLLs every Windows has are imported, so
# that the C++ runtime is linked in, not expected beside the program.
inspect() {  # inspect EXE OBJDUMP EXPECTED-TYPE
  local description dll
  description=$(file -b "$1")
  echo "$1: $description"
  if [[ $description != "$3"* ]]; then
    echo "FAILED: $1 is not a $3"
    return 1
  fi
  for dll in $("$2" -p "$1" | awk '/DLL Name:/ {print $3}'); do
    case ${dll,,} in
      kernel32.dll | msvcrt.dll) ;;
      *)
        echo "FAILED: $1 needs $dll; it is not linked statically"
        return 1
        ;;
    esac
  done
  echo "$1 imports only: $("$2" -p "$1" | awk '/DLL Name:/ {printf "%s ", $3}')"
}

build_windows build-win32 mingw-w64-i686
build_windows build-win64 mingw-w64-x86_64
inspect build-win32/brindle.exe i686-w64-mingw32-objdump "PE32 executable (console) Intel 80386"
inspect build-win64/brindle.exe x86_64-w64-mingw32-objdump "PE32+ executable (console) x86-64"
inspect build-win32/brindle-check.exe i686-w64-mingw32-objdump "PE32 executable (console) Intel 80386"
inspect build-win64/brindle-check.exe x86_64-w64-mingw32-objdump "PE32+ executable (console) x86-64"
for build in build-win32 build-win64; do
  tests/windows/check_pe.py "$build/brindle.exe" \
    "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
done

# The Linux build of the same sources is the reference for the conversions.
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target brindle brindle-check
# A helper that holds a file open, as another program would.
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -municode -static \
  -o build-win64/hold_file.exe tests/windows/hold_file.cpp
tests/windows/wine_e2e.sh build-win64/brindle.exe build/brindle examples \
  build-win64/hold_file.exe build-win64/brindle-check.exe build/brindle-check
