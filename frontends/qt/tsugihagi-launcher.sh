#!/bin/sh
# Starts the window in the user's working folder, $XDG_DATA_HOME/tsugihagi, preparing an empty
# data/ there on the first run (the program itself refuses to start without the five files).
# TSUGIHAGI_BIN names the program to start (default: tsugihagi beside this script, or on PATH).
set -eu
work="${XDG_DATA_HOME:-$HOME/.local/share}/tsugihagi"
mkdir -p "$work/data"
for name in dic.data hdid.data idiom_hdid.data idiomdic.data log.data; do
  [ -e "$work/data/$name" ] || : >"$work/data/$name"
done
here=$(cd "$(dirname "$0")" && pwd)
bin="${TSUGIHAGI_BIN:-}"
if [ -z "$bin" ]; then
  if [ -x "$here/tsugihagi" ]; then bin="$here/tsugihagi"; else bin=tsugihagi; fi
fi
cd "$work"
exec "$bin" "$@"
