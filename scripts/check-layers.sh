#!/usr/bin/env bash
# Fails when a file of the core includes a header of a layer above its own, of a front-end,
# or (outside the unit tests) of the test library. The layers, lowest first, are the order
# of core/CMakeLists.txt: io, dict, memory, reply, app.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

rank() {
  case $1 in
    io) echo 0 ;; dict) echo 1 ;; memory) echo 2 ;; reply) echo 3 ;; app) echo 4 ;;
    *) echo -1 ;;
  esac
}

bad=0
while IFS= read -r file; do
  layer=${file#core/}
  layer=${layer%%/*}
  own=$(rank "$layer")
  if [ "$own" -lt 0 ]; then
    echo "$file: not in a layer (core/{io,dict,memory,reply,app})"
    bad=1
    continue
  fi
  while IFS=: read -r line text; do
    target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
    case $target in
      core/*)
        other=${target#core/}
        other=${other%%/*}
        if [ "$(rank "$other")" -lt 0 ]; then
          echo "$file:$line: includes $target, which is in no layer"
          bad=1
        elif [ "$(rank "$other")" -gt "$own" ]; then
          echo "$file:$line: $layer includes $target, a layer above it"
          bad=1
        fi
        ;;
      tests/support/*)
        case $file in
          *_test.cpp) ;;
          *) echo "$file:$line: the core includes the test library ($target)"; bad=1 ;;
        esac
        ;;
      frontends/* | tests/* | bench/* | fuzz/* | library/* | include/*)
        echo "$file:$line: the core includes $target"
        bad=1
        ;;
    esac
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
done < <(find core -mindepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$bad" -ne 0 ]; then
  echo "layer check: includes point up the layers" >&2
  exit 1
fi
echo "layer check: every include of the core points down its layers"
