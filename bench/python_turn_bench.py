#!/usr/bin/env python3
"""The same turns as tsugihagi_bench_library_turns, from Python: teaches the first LINES corpus
lines, times TURNS short turns, and prints the median and 99th percentile beside the native
program's, with their ratio. The two run alternately, ROUNDS times each (default 2), and the
best median of each counts, so that a busy machine weighs on both alike.

usage: PYTHONPATH=build/library/python python3 bench/python_turn_bench.py BUILD_DIR [LINES [TURNS]]
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import tsugihagi

build = pathlib.Path(sys.argv[1])
lines_wanted = int(sys.argv[2]) if len(sys.argv) > 2 else 30000
turns = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
shared = pathlib.Path(os.environ.get("TSUGIHAGI_SHARED_DIR", pathlib.Path(__file__).resolve().parents[2] / "shared"))

rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 2
lines = (shared / "corpus" / "ja-sentences.txt").read_text(encoding="utf-8").split("\n")[:lines_wanted]


def native_turns():
    out = subprocess.run([build / "bench" / "tsugihagi_bench_library_turns", str(lines_wanted), str(turns)],
                         check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1])


def python_turns():
    micros = []
    with tempfile.TemporaryDirectory() as folder:
        with tsugihagi.Bot(folder, seed=20261210, save="never", transcript=False) as bot:
            for line in lines:
                bot.learn(line)
            for i in range(turns):
                raw = lines[(i * 7919) % len(lines)].encode()[: 30 + 3 * (i % 11)]
                while raw and (raw[-1] & 0xC0) == 0x80:
                    raw = raw[:-1]
                line = raw[:-1].decode()
                start = time.perf_counter_ns()
                bot.converse(line)
                micros.append((time.perf_counter_ns() - start) / 1000)
    micros.sort()
    return micros[len(micros) // 2], micros[len(micros) * 99 // 100]


native, python = [], []
for _ in range(rounds):
    native.append(native_turns())
    python.append(python_turns())
native_best, python_best = min(native), min(python)
print(f"native turn: median {native_best[0]:.1f} us, p99 {native_best[1]:.1f} us")
print(f"python turn: median {python_best[0]:.1f} us, p99 {python_best[1]:.1f} us")
print(f"python / native, median: {python_best[0] / native_best[0]:.3f}")
