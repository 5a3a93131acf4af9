#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window in the user's working folder
# ($XDG_DATA_HOME/tsugihagi), preparing an empty data/ on the first run. Without a display it
# starts the terminal front-end instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTSUGIHAGI_TESTS=OFF -DTSUGIHAGI_BENCH=OFF >/dev/null
ninja -C "$root/build-release"

work="${XDG_DATA_HOME:-$HOME/.local/share}/tsugihagi"
mkdir -p "$work/data"
for name in dic.data hdid.data idiom_hdid.data idiomdic.data log.data; do
  [ -e "$work/data/$name" ] || : >"$work/data/$name"
done
cd "$work"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$root/build-release/frontends/qt/tsugihagi" ]; then
  exec "$root/build-release/frontends/qt/tsugihagi"
fi
echo "No display: starting the terminal front-end in $work (Ctrl-D or Ctrl-C ends and saves)." >&2
exec "$root/build-release/frontends/cli/tsugihagi-cli"
