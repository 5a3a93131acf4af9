#!/bin/sh
# Starts the window in the user's working folder, $XDG_DATA_HOME/tsugihagi, preparing an empty
# data/ there on the first run, when there is no data/ at all. As the XDG base directory rules
# say, an XDG_DATA_HOME that is unset, empty or relative means ~/.local/share; the home folder
# is HOME, or the account's when HOME is unset or empty (the terminal program decides alike). A data/ that lacks a file is
# left as it is: the program then refuses to start instead of starting on part of its memory
# and overwriting the rest at exit.
# TSUGIHAGI_BIN names the program to start (default: tsugihagi beside this script, or on PATH).
set -eu
case "${XDG_DATA_HOME:-}" in
/*) base=$XDG_DATA_HOME ;;
*)
  home=${HOME:-}
  [ -n "$home" ] || home=$(getent passwd "$(id -u)" | cut -d: -f6)
  if [ -z "$home" ]; then
    echo "tsugihagi: no home folder is known: set HOME or XDG_DATA_HOME" >&2
    exit 1
  fi
  base=$home/.local/share
  ;;
esac
work="$base/tsugihagi"
if [ ! -e "$work/data" ] && [ ! -L "$work/data" ]; then
  mkdir -p "$work"
  mkdir "$work/data.new.$$"
  for name in dic.data hdid.data idiom_hdid.data idiomdic.data log.data; do
    : >"$work/data.new.$$/$name"
  done
  mv -T "$work/data.new.$$" "$work/data"
fi
here=$(cd "$(dirname "$0")" && pwd)
bin="${TSUGIHAGI_BIN:-}"
if [ -z "$bin" ]; then
  if [ -x "$here/tsugihagi" ]; then bin="$here/tsugihagi"; else bin=tsugihagi; fi
fi
cd "$work"
exec "$bin" "$@"
