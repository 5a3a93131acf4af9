#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the unit and end-to-end tests
# (tsugihagi-cli in ja_JP.UTF-8 among them) in a normal build and under AddressSanitizer +
# UndefinedBehaviorSanitizer, the window tests (headless), the Japanese catalogue's coverage,
# the library's threads under ThreadSanitizer, the loaders' fuzz targets for a bounded time,
# and the Windows program cross-built and tested under wine.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/install-deps.sh" test || { echo "installing dependencies failed" >&2; exit 1; }

passed=0
failed=0
failures=()
step() {
  local name=$1
  shift
  echo "=== $name"
  local started=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name: passed ($((SECONDS - started)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name: FAILED ($((SECONDS - started)) s)"
  fi
}

build_and_test() {
  local dir=$1
  shift
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null &&
    ninja -C "$root/$dir" -j"$jobs" &&
    (cd "$root/$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j1)
}

step "layer check" bash "$root/scripts/check-layers.sh"
# The normal build is the Release build users make; the test command's builds treat warnings
# as errors.
step "normal build" build_and_test build -DCMAKE_BUILD_TYPE=Release -DTSUGIHAGI_WERROR=ON
# The Japanese catalogue translates every message (msgfmt --check --statistics): its test ran
# in the normal build's ctest; here once more to show its statistics in the log.
step "japanese catalogue" ctest --test-dir "$root/build" -R '^po_catalogue$' -V --output-on-failure
step "sanitizer build" build_and_test build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTSUGIHAGI_WERROR=ON -DTSUGIHAGI_SANITIZE=ON -DTSUGIHAGI_BENCH=OFF
# Under ThreadSanitizer: two bots in two threads through the library, and loading and saving
# a large state on two threads.
thread_sanitizer() {
  cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTSUGIHAGI_WERROR=ON -DTSUGIHAGI_TSAN=ON -DTSUGIHAGI_BENCH=OFF -DTSUGIHAGI_QT=OFF >/dev/null &&
    ninja -C "$root/build-tsan" -j"$jobs" tsugihagi_library_thread_tests \
      tsugihagi_loading_thread_tests &&
    TSAN_OPTIONS=halt_on_error=1 "$root/build-tsan/library/tsugihagi_library_thread_tests" &&
    TSAN_OPTIONS=halt_on_error=1 "$root/build-tsan/tests/tsugihagi_loading_thread_tests"
}
step "thread sanitizer build" thread_sanitizer
# Run through bash, so that a script that lost its run bit still runs (never skipped).
step "fuzzing the loaders" bash "$root/scripts/fuzz.sh"
step "windows program under wine" bash "$root/scripts/test-windows.sh"
step "debian package" bash "$root/scripts/test-package.sh"

echo
[ ${#failures[@]} -eq 0 ] || echo "failed: ${failures[*]}"
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
