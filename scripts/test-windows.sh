#!/usr/bin/env bash
# Cross-builds the Windows program and the core's unit tests with mingw-w64, then runs under
# wine (no display needed: wine's null graphics driver) the core tests and the window test,
# which drives the real tsugihagi.exe window; then makes the download zip (cpack), unpacks it
# into a fresh folder and runs the program from there: it starts, answers and saves.
#
# Usage: scripts/test-windows.sh            build dir: build-mingw (override: BUILD_DIR=...)
# Needs: g++-mingw-w64-x86-64-posix, wine, wine64, libgtest-dev (for googletest's sources),
#        libboost-dev, cmake, ninja-build, unzip.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-mingw}
jobs=${JOBS:-2}

# One wine prefix per build dir, created once; no Mono or Gecko install dialogs, no noise,
# and a crash ends the program instead of starting the debugger.
export WINEPREFIX=$build/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY

step() { printf '\n== %s\n' "$*"; }

step "configure and build ($build)"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTSUGIHAGI_TESTS=ON -DTSUGIHAGI_BENCH=OFF -DTSUGIHAGI_FUZZ=OFF -DTSUGIHAGI_WERROR=ON
cmake --build "$build" -j "$jobs"

step "wine prefix ($WINEPREFIX)"
mkdir -p "$build"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wine wineboot -i >/dev/null 2>&1
fi
# Windows without a display: the null graphics driver. The server is stopped afterwards so
# that the next start reads the setting.
timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
timeout 60 wineserver -k 2>/dev/null || true
timeout 60 wineserver -w 2>/dev/null || true

step "tests under wine"
status=0
ctest --test-dir "$build" --output-on-failure --timeout 900 || status=$?
timeout 60 wineserver -w 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  echo "Windows tests FAILED" >&2
  exit "$status"
fi

step "download zip"
version=$(sed -n 's/^project(tsugihagi VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=tsugihagi-$version-windows-x64
rm -f "$build/$name.zip"
(cd "$build" && cpack -G ZIP >/dev/null)
unzip -Z1 "$build/$name.zip" | LC_ALL=C sort
expected="$name/README.txt
$name/bin/tsugihagi.dll
$name/data/dic.data
$name/data/hdid.data
$name/data/idiom_hdid.data
$name/data/idiomdic.data
$name/data/log.data
$name/include/tsugihagi.h
$name/lib/libtsugihagi.dll.a
$name/tsugihagi.exe"
if [ "$(unzip -Z1 "$build/$name.zip" | grep -v '/$' | LC_ALL=C sort)" != "$expected" ]; then
  echo "the zip's files differ from: $expected" >&2
  exit 1
fi

step "the unpacked download under wine"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$build/$name.zip" -d "$unpacked"
status=0
timeout 300 wine "$build/frontends/win32/tsugihagi_window_test.exe" --unpacked \
  "$(winepath -w "$unpacked/$name" 2>/dev/null)" || status=$?
timeout 60 wineserver -w 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  echo "the unpacked program FAILED" >&2
  exit "$status"
fi
echo "Windows tests passed"
