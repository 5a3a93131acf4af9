#!/usr/bin/env bash
# Takes docs/screenshot-linux.png: starts the real Qt window ("tsugihagi") under Xvfb in a
# scratch working folder with empty data files, types Japanese lines with xdotool (three
# submitted with Enter, the last left in the input box) and captures the window.
# A window manager (openbox, if installed) draws the title bar; without one the capture is
# the bare 494 × 338 client area.
#
# Usage: scripts/screenshot-qt.sh [tsugihagi-binary] [output.png]
# Needs: xvfb-run (xvfb), xdotool, ImageMagick (import, convert), fonts-vlgothic.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build-release/frontends/qt/tsugihagi}  # what scripts/run.sh builds
out=${2:-$root/docs/screenshot-linux.png}
if [[ ! -x $bin ]]; then
  echo "screenshot-qt.sh: no program at $bin (run scripts/run.sh first, or name the program)" >&2
  exit 1
fi
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data"
for f in dic.data hdid.data idiom_hdid.data idiomdic.data log.data; do
  : >"$work/data/$f"
done

# Runs inside the virtual display.
cat >"$work/inside.sh" <<'INSIDE'
set -euo pipefail
bin=$1 out=$2
export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
if command -v openbox >/dev/null; then
  openbox --sm-disable >/dev/null 2>&1 &
  sleep 1
fi
"$bin" >/dev/null 2>&1 &
app=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name 'つぎはぎ' | head -n 1)
sleep 1
# Into the input box (client 0,2 494×48), then type: xdotool sends each character as a key,
# remapping a spare key code for characters the keyboard map lacks. The first remapped key
# can be lost while the program catches up with the new map: warm up with one and erase it.
xdotool mousemove --window "$wid" 120 20 click 1
sleep 0.3
xdotool type --delay 60 'あ'
sleep 0.5
xdotool key BackSpace
for line in '今日はいい天気ですね😀' 'いい天気だから散歩に行こう' '今日は散歩に行きたいな'; do
  xdotool type --delay 60 "$line"
  sleep 0.3
  xdotool key Return
  sleep 0.5
done
xdotool type --delay 60 '日本語の入力もできます'
sleep 1
if command -v openbox >/dev/null; then
  import -frame -window "$wid" "$out"
else
  import -window "$wid" "$out"
fi
kill "$app"
wait "$app" 2>/dev/null || true
INSIDE

(cd "$work" && xvfb-run -a -s "-screen 0 800x600x24" bash "$work/inside.sh" "$bin" "$out")
identify "$out"
