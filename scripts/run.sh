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

# The launcher prepares the working folder and starts the program there.
bin="$root/build-release/frontends/qt/tsugihagi"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ ! -x "$bin" ]; then
  echo "No display: starting the terminal front-end instead (Ctrl-D or Ctrl-C ends and saves)." >&2
  bin="$root/build-release/frontends/cli/tsugihagi-cli"
fi
TSUGIHAGI_BIN="$bin" exec "$root/frontends/qt/tsugihagi-launcher.sh"
