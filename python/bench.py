#!/usr/bin/env python3
"""The Python module's frame_at at 1920x1080 against the frame renderer in C++, and
frames a second with 1 and 2 threads.

    python3 python/bench.py [--bench build/release/bench/wqtrans_bench] [--threads-seconds 3]

Run it with the release build's module first on PYTHONPATH (build/release/python) and
its wqtrans_bench (BM_FrameAt1080 in bench/FrameAtBench.cpp). Both sides draw the
same pictures at 333 ms of a 1000 ms run, into one reused output in memory of the same
kind, and are timed by the calling thread's CPU time, so other programs on a shared
machine do not count. The Python call's overhead is its time less the C++ time,
against the C++ time. "new array" is the RGBA call without `out` (a fresh array each
time), "RGB ms" the call on C-contiguous RGB arrays, drawn where they lie as 3-byte
pixels, and "RGB/RGBA" its time against the RGBA call's.
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


def huge_page_aligned(shape: tuple[int, ...]) -> np.ndarray:
    """An array on a 2 MiB boundary, as the C++ side's surfaces lie (host/SoftwareSurfacePixels.h):
    NumPy offers its large blocks to the kernel as huge pages too, and both sides then
    pay the same address translation, so the difference is the call's."""
    size = int(np.prod(shape))
    raw = np.empty(size + (2 << 20), np.uint8)
    start = -raw.ctypes.data % (2 << 20)
    return raw[start : start + size].reshape(shape)


def pattern(second: bool) -> np.ndarray:
    """The C++ benchmark's pictures as RGBA arrays (its 0xAARRGGBB words' bytes)."""
    i = np.arange(WIDTH * HEIGHT, dtype=np.uint64)
    words = (i * 40503) & 0xFFFFFF if second else ((i * 2654435761) & 0xFFFFFFFF) >> 8
    picture = huge_page_aligned((HEIGHT, WIDTH, 4))
    picture[:] = (words | 0xFF000000).astype("<u4").view(np.uint8).reshape(HEIGHT, WIDTH, 4)
    return picture


def cpu_ms(call, seconds: float = 0.1) -> float:
    """The mean thread CPU time of `call` over at least `seconds`."""
    call()
    calls, start, wall = 0, time.thread_time_ns(), time.monotonic()
    while calls == 0 or time.monotonic() - wall < seconds:
        call()
        calls += 1
    return (time.thread_time_ns() - start) / calls / 1e6


def native_ms(bench: str, code: str) -> float:
    """The C++ side's mean time of one transition's frame over 0.1 s."""
    result = subprocess.run(
        [bench, f"--benchmark_filter=BM_FrameAt1080/{code}/", "--benchmark_format=json", "--benchmark_min_time=0.1"],
        capture_output=True, text=True, check=True)
    return json.loads(result.stdout)["benchmarks"][0]["ns_per_call"] / 1e6


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench", default="build/release/bench/wqtrans_bench")
    parser.add_argument("--threads-seconds", type=float, default=3.0)
    parser.add_argument("--threads-only", action="store_true", help="only the frames a second on 1 and 2 threads")
    parser.add_argument("--rounds", type=int, default=5, help="turns of each side per transition")
    args = parser.parse_args()
    if not os.access(args.bench, os.X_OK):
        print(f"bench.py: {args.bench} is not built: cmake --build --preset release", file=sys.stderr)
        return 2

    old, new = pattern(False), pattern(True)
    if not args.threads_only:
        overhead_table(args, old, new)
    threads_table(args, old, new)
    return 0


def overhead_table(args: argparse.Namespace, old: np.ndarray, new: np.ndarray) -> None:
    old_rgb, new_rgb = np.ascontiguousarray(old[..., :3]), np.ascontiguousarray(new[..., :3])
    out, out_rgb = huge_page_aligned(old.shape), np.empty_like(old_rgb)
    print(f"{'transition':<20}{'C++ ms':>8}{'RGBA ms':>9}{'overhead':>9}{'new array':>10}{'RGB ms':>8}{'RGB/RGBA':>9}")
    overheads, natives = [], {}
    for t in wqtrans.transitions():
        # The fastest of several turns of each side, taken in turn, so that a busy
        # moment of a shared machine weighs on both alike.
        times = {"c": [], "rgba": [], "fresh": [], "rgb": []}
        for _ in range(args.rounds):
            times["c"].append(native_ms(args.bench, t.id))
            times["rgba"].append(cpu_ms(lambda: wqtrans.frame_at(t.id, old, new, 333, out=out)))
            times["fresh"].append(cpu_ms(lambda: wqtrans.frame_at(t.id, old, new, 333)))
            times["rgb"].append(cpu_ms(lambda: wqtrans.frame_at(t.id, old_rgb, new_rgb, 333, out=out_rgb)))
        c, rgba, fresh, rgb = (min(times[k]) for k in ("c", "rgba", "fresh", "rgb"))
        overheads.append((rgba - c) / c)
        natives[t.name] = c
        print(f"{t.name:<20}{c:8.2f}{rgba:9.2f}{overheads[-1]:+9.1%}{fresh:10.2f}{rgb:8.2f}{rgb / rgba:9.2f}", flush=True)
    print(f"overhead of the RGBA call into a reused out: median {sorted(overheads)[len(overheads) // 2]:+.1%}")
    # The call's fixed cost, with almost no pixels to draw: what Python and the module
    # spend on a request whatever its size (an upper bound of the call's overhead).
    tiny = [np.zeros((1, 1, 4), np.uint8) for _ in range(3)]
    fixed = min(cpu_ms(lambda: wqtrans.frame_at("Fade", tiny[0], tiny[1], 333, out=tiny[2])) for _ in range(5))
    fastest = min(natives, key=natives.get)
    print(f"a 1x1 frame_at: {fixed * 1000:.1f} us, {fixed / natives[fastest]:.1%} of the fastest 1080p frame in C++ "
          f"({fastest}, {natives[fastest]:.2f} ms)")


def threads_table(args: argparse.Namespace, old: np.ndarray, new: np.ndarray) -> None:
    # Frames a second on 1 and 2 threads, by the wall clock, each thread into an out of
    # its own, with the processors the process had meanwhile: on a shared machine the
    # frames a second follow what the others leave, while the CPU time a frame takes
    # stays that of one thread when the threads do not wait for each other.
    for name in ("Turn", "Trame"):
        for threads in (1, 2):
            outs = [huge_page_aligned(old.shape) for _ in range(threads)]
            done, start, cpu = 0, time.monotonic(), time.process_time()
            with ThreadPoolExecutor(threads) as pool:
                while time.monotonic() - start < args.threads_seconds:
                    list(pool.map(lambda k: wqtrans.frame_at(name, old, new, 333, out=outs[k]), range(threads)))
                    done += threads
            wall, cpu = time.monotonic() - start, time.process_time() - cpu
            print(f"{name} at 1920x1080, {threads} thread{'s' if threads > 1 else ''}: {done / wall:.0f} frames a second, "
                  f"{cpu / done * 1000:.2f} ms CPU a frame, {cpu / wall:.2f} processors busy")
    print(f"load average: {os.getloadavg()[0]:.1f} on {os.cpu_count()} processors")


if __name__ == "__main__":
    sys.exit(main())
