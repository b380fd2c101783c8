#!/usr/bin/env python3
"""The Python module's frame_at at 1920x1080 against the frame renderer in C++, and
frames a second with 1 and 2 threads.

    python3 python/bench.py [--bench build/release/bench/wqtrans_bench] [--threads-seconds 3]

Run it with the release build's module first on PYTHONPATH (build/release/python) and
its wqtrans_bench (BM_FrameAt1080 in bench/PythonFrameAtBench.cpp). Both sides draw the
same pictures at 333 ms of a 1000 ms run, into one reused output, and are timed by the
calling thread's CPU time, so other programs on a shared machine do not count. The
Python call's overhead is its time less the C++ time, against the C++ time.
"""

import argparse
import json
import os
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import wqtrans

WIDTH, HEIGHT = 1920, 1080


def pattern(second: bool) -> np.ndarray:
    """The C++ benchmark's pictures as RGBA arrays (its 0xAARRGGBB words' bytes)."""
    i = np.arange(WIDTH * HEIGHT, dtype=np.uint64)
    words = (i * 40503) & 0xFFFFFF if second else ((i * 2654435761) & 0xFFFFFFFF) >> 8
    words = (words | 0xFF000000).astype("<u4")
    return words.view(np.uint8).reshape(HEIGHT, WIDTH, 4)


def cpu_ms(call, seconds: float = 0.6) -> float:
    """The fastest of five means of `call`'s thread CPU time, each over at least `seconds`."""
    call()
    best = float("inf")
    for _ in range(5):
        calls, start, wall = 0, time.thread_time_ns(), time.monotonic()
        while calls == 0 or time.monotonic() - wall < seconds / 5:
            call()
            calls += 1
        best = min(best, (time.thread_time_ns() - start) / calls / 1e6)
    return best


def native_ms(bench: str) -> dict[str, float]:
    result = subprocess.run(
        [bench, "--benchmark_filter=BM_FrameAt1080", "--benchmark_format=json", "--benchmark_repetitions=3",
         "--benchmark_min_time=0.2"], capture_output=True, text=True, check=True)
    times: dict[str, float] = {}
    for run in json.loads(result.stdout)["benchmarks"]:
        if run.get("run_type") == "iteration":
            code = run["name"].split("/")[1]
            times[code] = min(times.get(code, float("inf")), run["ns_per_call"] / 1e6)
    return times


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench", default="build/release/bench/wqtrans_bench")
    parser.add_argument("--threads-seconds", type=float, default=3.0)
    args = parser.parse_args()
    if not os.access(args.bench, os.X_OK):
        print(f"bench.py: {args.bench} is not built: cmake --build --preset release", file=sys.stderr)
        return 2

    old, new = pattern(False), pattern(True)
    old_rgb, new_rgb = np.ascontiguousarray(old[..., :3]), np.ascontiguousarray(new[..., :3])
    out, out_rgb = np.empty_like(old), np.empty_like(old_rgb)
    native = native_ms(args.bench)
    print(f"{'transition':<20}{'C++ ms':>8}{'RGBA ms':>9}{'overhead':>9}{'new array':>10}{'RGB ms':>8}")
    overheads = []
    for t in wqtrans.transitions():
        rgba = cpu_ms(lambda: wqtrans.frame_at(t.id, old, new, 333, out=out))
        fresh = cpu_ms(lambda: wqtrans.frame_at(t.id, old, new, 333))
        rgb = cpu_ms(lambda: wqtrans.frame_at(t.id, old_rgb, new_rgb, 333, out=out_rgb))
        c = native[t.id]
        overheads.append((rgba - c) / c)
        print(f"{t.name:<20}{c:8.2f}{rgba:9.2f}{overheads[-1]:+9.1%}{fresh:10.2f}{rgb:8.2f}")
    print(f"overhead of the RGBA call into a reused out: median {sorted(overheads)[len(overheads) // 2]:+.1%}")

    # Frames a second: a run of Push drawn frame by frame, on 1 and 2 threads (wall time).
    for threads in (1, 2):
        outs = [np.empty_like(old) for _ in range(threads)]
        done, start = 0, time.monotonic()
        with ThreadPoolExecutor(threads) as pool:
            while time.monotonic() - start < args.threads_seconds:
                list(pool.map(lambda k: wqtrans.frame_at("Push", old, new, (done + k) * 40 % 1000, out=outs[k]),
                              range(threads)))
                done += threads
        print(f"Push, {threads} thread{'s' if threads > 1 else ''}: {done / (time.monotonic() - start):.1f} frames a second")
    return 0


if __name__ == "__main__":
    sys.exit(main())
