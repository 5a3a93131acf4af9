#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz, prepares seed corpora from files the
# program saves, and runs each conversation target for FUZZ_SECONDS seconds (default 20) and
# each load-and-save target for FUZZ_LOAD_SECONDS (default 6). Prints the
# number of runs per target; exits non-zero when any target crashed, hung or ran out of
# memory, leaving the input under build-fuzz/fuzz-run/<target>/artifacts. Every run starts
# from the seed corpus in a fresh temporary folder, so a fixed seed repeats a run exactly;
# the temporary folders are removed however the script ends.
#
#   scripts/fuzz.sh                 all ten targets
#   scripts/fuzz.sh dic log         some of them: idiom_hdid idiomdic hdid dic log read a file
#                                   and run conversations on it (some 45 inputs a second);
#                                   load_idiom_hdid ... load_log only read, save, read the save
#                                   and save again (thousands a second)
#   FUZZ_SECONDS=300 scripts/fuzz.sh
#   FUZZ_RUNS=1000000 scripts/fuzz.sh load_dic   a number of inputs instead of a time (the
#                                   long campaign: some 7 minutes for load_dic)
#   FUZZ_CORPUS_OUT=fuzz/corpus     after each load-and-save run, merges what it found into
#                                   that folder's corpus of the file, adding only inputs that
#                                   reach new coverage, cut to 512 bytes so that the corpus
#                                   stays small (how fuzz/corpus was made)
#   FUZZ_SEED=0 scripts/fuzz.sh     a new random seed each run (default: seed 1, so that a
#                                   run of the test command mutates the same way every time)
#   FUZZ_TIMEOUT=300 scripts/fuzz.sh  seconds one input may take before it counts as a hang
#                                   (default 60; a free id near the id ceiling makes the
#                                   readers build id arrays of millions of elements, which
#                                   takes tens of seconds on a loaded machine)
#
# Needs clang, libclang-rt-14-dev, cmake, ninja and the shared data beside the repository
# (or TSUGIHAGI_SHARED_DIR).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
shared="${TSUGIHAGI_SHARED_DIR:-$root/../shared}"
seconds="${FUZZ_SECONDS:-20}"
seed="${FUZZ_SEED:-1}"
hang_seconds="${FUZZ_TIMEOUT:-60}"
load_seconds="${FUZZ_LOAD_SECONDS:-6}"
runs_limit="${FUZZ_RUNS:-}"
max_len=8192
files=(idiom_hdid idiomdic hdid dic log)
all_targets=("${files[@]}" load_idiom_hdid load_idiomdic load_hdid load_dic load_log)
if [ "$#" -gt 0 ]; then targets=("$@"); else targets=("${all_targets[@]}"); fi

for t in "${targets[@]}"; do
  case " ${all_targets[*]} " in
    *" $t "*) ;;
    *) echo "unknown target: $t (one of: ${all_targets[*]})" >&2; exit 2 ;;
  esac
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTSUGIHAGI_FUZZ=ON -DTSUGIHAGI_WERROR=ON -DTSUGIHAGI_BENCH=OFF \
  -DTSUGIHAGI_TESTS=OFF -DTSUGIHAGI_QT=OFF >/dev/null
ninja -C "$build" -j2 tsugihagi-cli $(printf 'tsugihagi_fuzz_%s ' "${targets[@]}")

run_dir="$build/fuzz-run"  # logs and crashing inputs, kept after the run
scratch="$(mktemp -d)"     # seeds, corpora and session folders of this run only
trap 'rm -rf "$scratch"' EXIT
seeds="$scratch/seeds"
rm -rf "$run_dir"
for t in "${files[@]}"; do mkdir -p "$seeds/$t"; done
for t in "${all_targets[@]}"; do
  mkdir -p "$scratch/corpus/$t" "$run_dir/$t/artifacts"
done

# Sessions of the command-line program: each leaves the five data files it saved.
session() {  # name, then the lines on standard input
  local name="$1" dir
  dir="$(mktemp -d -p "$scratch")"
  mkdir "$dir/data"
  for t in "${files[@]}"; do : >"$dir/data/$t.data"; done
  "$build/frontends/cli/tsugihagi-cli" --dir "$dir" --seed 1 >/dev/null
  for t in "${files[@]}"; do
    if [ -s "$dir/data/$t.data" ]; then
      head -c "$max_len" "$dir/data/$t.data" >"$seeds/$t/session-$name"
    fi
  done
  rm -rf "$dir"
}
printf '%s\n' 'こんにちは' '今日はいい天気ですね' '今日は雨ですね' 'こんにちは、今日もいい天気' \
  '明日もいい天気ですね' '今日は雨ですね' | session chat
head -n 40 "$shared/corpus/ja-sentences.txt" | session corpus
head -n 12 "$shared/golden/closing-loop/input.txt" | session closing

# The reference sessions' saved files. Seeds longer than the fuzzer's input limit are cut
# to their first bytes: the readers drop the record cut short.
for data in "$shared"/golden/*/expected/data; do
  name="$(basename "$(dirname "$(dirname "$data")")")"
  for t in "${files[@]}"; do
    if [ -s "$data/$t.data" ]; then
      head -c "$max_len" "$data/$t.data" >"$seeds/$t/golden-$name"
    fi
  done
done

# Free id files are empty unless words were pruned: a few little-endian i32 ids.
printf '\x03\x00\x00\x00\x0a\x00\x00\x00' >"$seeds/hdid/free-3-10"
printf '\x00\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x07\x00\x00\x00' >"$seeds/hdid/free-0-1-2-7"
cp "$seeds/hdid/"* "$seeds/idiom_hdid/"

failed=()
summary=()
for t in "${targets[@]}"; do
  log="$run_dir/$t/fuzz.log"
  status=0
  file="${t#load_}"
  # The conversation targets run as they always did; the load-and-save targets also start
  # from the minimised corpus kept in fuzz/corpus, and may run a number of inputs.
  limit=(-max_total_time="$seconds")
  corpora=("$scratch/corpus/$t" "$seeds/$file")
  if [ "$file" != "$t" ]; then
    limit=(-max_total_time="$load_seconds")
    if [ -n "$runs_limit" ]; then limit=(-runs="$runs_limit"); fi
    if [ -d "$root/fuzz/corpus/$file" ]; then corpora+=("$root/fuzz/corpus/$file"); fi
  fi
  "$build/fuzz/tsugihagi_fuzz_$t" "${limit[@]}" -seed="$seed" \
    -max_len="$max_len" -timeout="$hang_seconds" \
    -print_final_stats=1 -artifact_prefix="$run_dir/$t/artifacts/" \
    "${corpora[@]}" >"$log" 2>&1 || status=$?
  # "Done N runs" ends a clean run; after a crash the last status line "#N ..." counts.
  runs="$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)"
  coverage="$(sed -n 's/^#[0-9]*[[:space:]].* cov: \([0-9]*\) .*/\1/p' "$log" | tail -n 1)"
  if [ -z "$runs" ]; then runs="$(sed -n 's/^#\([0-9]*\)[[:space:]].*/\1/p' "$log" | tail -n 1)"; fi
  if [ "$status" -eq 0 ]; then
    summary+=("$t: ${runs:-?} runs, coverage ${coverage:-?}, no crash")
    if [ -n "${FUZZ_CORPUS_OUT:-}" ] && [ "$file" != "$t" ]; then
      mkdir -p "$FUZZ_CORPUS_OUT/$file"
      "$build/fuzz/tsugihagi_fuzz_$t" -merge=1 -max_len=512 "$FUZZ_CORPUS_OUT/$file" \
        "${corpora[@]}" >>"$log" 2>&1
    fi
  else
    artifact="$(sed -n "s/.*Test unit written to \(.*\)/\1/p" "$log" | tail -n 1)"
    when="after ${runs} runs"
    if [ -z "$runs" ]; then when="while replaying the corpus"; fi
    summary+=("$t: FAILED (exit $status) $when; input: ${artifact:-none}; log: $log")
    failed+=("$t")
    grep -m 1 -A 12 -E '^==[0-9]+==ERROR|runtime error|^ALARM|out-of-memory|deadly signal' "$log" >&2 || true
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
