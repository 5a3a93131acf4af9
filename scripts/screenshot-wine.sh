#!/usr/bin/env bash
# Takes a screenshot of tsugihagi.exe under wine in a virtual X server (Xvfb), in a Japanese
# locale, after a few typed lines, and writes it to docs/screenshot-wine.png.
#
# Usage: scripts/screenshot-wine.sh [output.png]     build dir: build-mingw (BUILD_DIR=...)
# Needs what scripts/test-windows.sh needs, plus xvfb, imagemagick, fonts-vlgothic, fonts-wine
# and locales.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-mingw}
out=$(realpath -m "${1:-$root/docs/screenshot-wine.png}")
lines=("今日はいい天気ですね" "今日は雨が降りそうですね" "明日はいい天気になるといいですね"
  "今日はいい天気だから散歩に行きます")

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DTSUGIHAGI_BENCH=OFF
fi
cmake --build "$build" -j "${JOBS:-2}" --target tsugihagi tsugihagi_window_test
exe=$build/frontends/win32/tsugihagi.exe
driver=$build/frontends/win32/tsugihagi_window_test.exe

# A Japanese locale makes wine use code page 932 and Japanese UI fonts.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 2>/dev/null || true
fi
if locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  export LANG=ja_JP.UTF-8
else
  echo "ja_JP.UTF-8 is not available; using C.UTF-8" >&2
  export LANG=C.UTF-8
fi
export LC_ALL=$LANG

# A prefix of its own (X11 driver, virtual desktop), apart from the test prefix that uses
# the null driver.
export WINEPREFIX=$build/wineprefix-x11
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# A free X display number.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 800x500x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wine wineboot -i >/dev/null 2>&1
fi
reg() { timeout 60 wine reg add "$@" /f >/dev/null 2>&1; }
# A wine-drawn desktop, so the window gets its title bar without a window manager.
reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x500
# Japanese UI font names resolved to VL Gothic (fonts-vlgothic).
for name in 'MS UI Gothic' 'MS Gothic' 'MS PGothic' 'MS Shell Dlg' 'MS Shell Dlg 2' \
  'ＭＳ ゴシック' 'ＭＳ Ｐゴシック' 'Tahoma' 'MS Sans Serif' 'System'; do
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" /d 'VL PGothic'
done
# The caption buttons' symbol font, which wine does not find in its data folder by itself.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
timeout 60 wineserver -w 2>/dev/null || true

# Start the program in a scratch folder with empty data files and type the lines.
mkdir -p "$scratch/data"
for f in dic hdid idiom_hdid idiomdic log; do : >"$scratch/data/$f.data"; done
(cd "$scratch" && exec timeout 120 wine "$exe" >/dev/null 2>&1) &
for line in "${lines[@]}"; do
  rect=$(timeout 60 wine "$driver" --enter-line "$line" | tr -d '\r')
done
read -r x y w h <<<"$rect"
sleep 2  # let the window repaint

mkdir -p "$(dirname "$out")"
import -display "$DISPLAY" -window root "$scratch/screen.png"
convert "$scratch/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
