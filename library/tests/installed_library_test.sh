#!/usr/bin/env bash
# Installs the library from a build folder into a temporary prefix, builds a C99 program
# against the installed header with pkg-config and a CMake project with find_package, and
# replays every reference session through the first: replies and files byte for byte.
# usage: installed_library_test.sh BUILD_DIR SOURCE_DIR SHARED_DIR
# (TSUGIHAGI_SHARED_DIR, when set, names the shared data instead of SHARED_DIR.)
set -euo pipefail
build=$1 source=$2 shared=${TSUGIHAGI_SHARED_DIR:-$3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
for component in library development; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
pc=$(dirname "$(find "$prefix" -name tsugihagi.pc)")
libdir=$(dirname "$pc")

# The library exports exactly the functions its header declares, under its SONAME.
exported=$(nm -D --defined-only "$libdir/libtsugihagi.so.0" | awk '$2 == "T" {print $3}' |
  sed 's/@.*//' | sort)
declared=$(grep -o 'tsugihagi_[a-z_]*(' "$prefix/include/tsugihagi.h" | tr -d '(' | sort -u)
if [ "$exported" != "$declared" ]; then
  echo "exported: $exported"
  echo "declared: $declared"
  exit 1
fi
readelf -d "$libdir/libtsugihagi.so.0" | grep -q 'SONAME.*\[libtsugihagi.so.0\]'
export PKG_CONFIG_PATH=$pc
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -pedantic -Werror -o "$work/replay" "$source/library/tests/replay.c" \
  $(pkg-config --cflags --libs tsugihagi)

mkdir "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(tsugihagi 0 REQUIRED)
add_executable(replay replay.c)
target_link_libraries(replay PRIVATE tsugihagi::tsugihagi)
CMAKE
cp "$source/library/tests/replay.c" "$work/consumer/"
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null

passed=0 failed=0
for session in "$shared"/golden/*/; do
  name=$(basename "$session")
  dir=$work/session-$name
  mkdir -p "$dir/data"
  if [ -d "$session/initial/data" ]; then
    cp "$session"/initial/data/* "$dir/data/"
  else
    touch "$dir"/data/{idiom_hdid,idiomdic,hdid,dic,log}.data
  fi
  limit=()
  [ -f "$session/max-entries" ] && limit=("$(cat "$session/max-entries")")
  ok=1
  LD_LIBRARY_PATH=$libdir "$work/replay" "$dir" "$(cat "$session/seed")" "${limit[@]}" \
    <"$session/input.txt" >"$dir/replies.txt" || ok=0
  for file in replies.txt log.txt config data/idiom_hdid.data data/idiomdic.data data/hdid.data \
    data/dic.data data/log.data; do
    if ! cmp -s "$session/expected/$file" "$dir/$file"; then
      echo "$name: $file differs"
      ok=0
    fi
  done
  if [ "$ok" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
