"""Threads draw side by side and get the frames that one thread gets."""

from concurrent.futures import ThreadPoolExecutor

import numpy as np

import wqtrans
from conftest import NAMES, assert_same, pictures


def test_threads_draw_the_frames_one_thread_draws():
    old, new = pictures(96, 128, 4)
    # Every transition at moments that replay the ones built on earlier steps, with a
    # seed for the random ones.
    jobs = [(name, t, seed) for name in NAMES for t in (90, 480, 777) for seed in (1, 5)]

    def draw(job):
        name, t, seed = job
        return wqtrans.frame_at(name, old, new, t, seed=seed, fps=30)

    alone = [draw(job) for job in jobs]
    with ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(draw, jobs * 2))
    for job, frame in zip(jobs * 2, together):
        assert_same(alone[jobs.index(job)], frame, f"{job} on a thread")


def test_threads_share_one_out_array_row_by_row():
    old, new = pictures(40, 30)
    out = np.zeros((4, 40, 30, 3), np.uint8)
    with ThreadPoolExecutor(max_workers=4) as pool:
        list(pool.map(lambda i: wqtrans.frame_at("Square", old, new, 250 * i, out=out[i]), range(4)))
    for i in range(4):
        assert_same(wqtrans.frame_at("Square", old, new, 250 * i), out[i], f"out[{i}]")


def test_threads_take_the_frames_of_one_run_between_them():
    old, new = pictures(64, 80, 4)
    alone = [frame.tobytes() for frame in wqtrans.frames("Turn 2", old, new, duration_ms=700, fps=20)]
    run = wqtrans.frames("Turn 2", old, new, duration_ms=700, fps=20)
    with ThreadPoolExecutor(max_workers=3) as pool:
        together = list(pool.map(lambda _: next(run).tobytes(), range(len(run))))
    assert sorted(together) == sorted(alone)
