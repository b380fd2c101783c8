#!/usr/bin/env python3
"""Joins two video files with one of the wqtrans transitions, keeping both files' sound.

The last --duration ms of the first file give way to the start of the second:
    join.py first.mp4 second.mp4 joined.mp4 --transition Push --duration 1000 --set "Direction=..."
The joined video has the first file's size and frame rate (the second file's frames are
scaled to that size and taken one for one) and is encoded with H.264; the two files'
sounds, resampled to 48 kHz stereo, cross-fade over the transition (equal power) and are
encoded as AAC. Needs PyAV (Debian: python3-av) and NumPy. `wqtrans join` does the same
for any number of clips and pictures, with every input's sound kept in sync.
"""

import argparse
import collections
import math
import sys
from fractions import Fraction

import numpy as np

try:
    import av
except ImportError:
    sys.exit("join.py: needs PyAV (Debian: python3-av)")

import wqtrans

SOUND_RATE = 48000


def sound_of(path: str) -> np.ndarray:
    """A file's sound as 48 kHz stereo samples, shape (2, n); none for a file without sound."""
    with av.open(path) as source:
        if not source.streams.audio:
            return np.zeros((2, 0), np.float32)
        resampler = av.AudioResampler(format="fltp", layout="stereo", rate=SOUND_RATE)
        chunks = [np.zeros((2, 0), np.float32)]
        for frame in source.decode(audio=0):
            chunks += [out.to_ndarray() for out in resampler.resample(frame)]
        chunks += [out.to_ndarray() for out in resampler.resample(None)]
        return np.concatenate(chunks, axis=1)


def cross_faded(first: np.ndarray, second: np.ndarray, start: int, overlap: int, total: int) -> np.ndarray:
    """The first sound from 0 and the second from `start`, equal-power faded over `overlap` samples."""
    mixed = np.zeros((2, total), np.float32)
    x = np.clip((np.arange(total) - start) / max(overlap, 1), 0.0, 1.0).astype(np.float32)
    first = first[:, :total]
    mixed[:, : first.shape[1]] += first * np.cos(x[: first.shape[1]] * math.pi / 2)
    second = second[:, : max(total - start, 0)]
    mixed[:, start : start + second.shape[1]] += second * np.sin(x[start : start + second.shape[1]] * math.pi / 2)
    return mixed


def check_arguments(args: argparse.Namespace, settings: dict) -> str | None:
    """What is wrong with the arguments, in one line, before anything is written; None if nothing."""
    for name in (args.first, args.second):
        try:
            with av.open(name) as container:
                if not container.streams.video:
                    return f"{name}: has no video stream"
        except FileNotFoundError:
            return f"{name}: no such file"
        except (OSError, av.error.FFmpegError) as error:
            return f"{name}: cannot be read as a video ({getattr(error, 'strerror', None) or error})"
    if not 1 <= args.duration <= 600000:
        return f"--duration {args.duration}: give 1 to 600000 ms"
    try:
        wqtrans.block(args.transition, settings)  # an unknown name, label or value
    except (ValueError, TypeError) as error:
        return str(error)
    return None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("first")
    parser.add_argument("second")
    parser.add_argument("out")
    parser.add_argument("--transition", default="Fade", help="a name or ID, as wqtrans.transitions() lists them")
    parser.add_argument("--duration", type=int, default=1000, help="length of the transition in ms")
    parser.add_argument("--set", action="append", default=[], metavar="LABEL=VALUE",
                        help="a control of the transition's settings panel, as the wqtrans tool's --set")
    args = parser.parse_args()
    settings = dict(s.split("=", 1) if "=" in s else (s, True) for s in args.set)
    problem = check_arguments(args, settings)
    if problem:
        print(f"join.py: {problem}", file=sys.stderr)
        return 2

    with av.open(args.first) as first, av.open(args.second) as second, av.open(args.out, "w") as out:
        video_in = first.streams.video[0]
        rate = video_in.average_rate or Fraction(25)
        width, height = video_in.codec_context.width, video_in.codec_context.height
        video_out = out.add_stream("libx264", rate=rate)
        video_out.width, video_out.height, video_out.pix_fmt = width, height, "yuv420p"
        audio_out = out.add_stream("aac", rate=SOUND_RATE, layout="stereo")

        written = 0

        def write(picture: np.ndarray) -> None:
            nonlocal written
            frame = av.VideoFrame.from_ndarray(picture, format="rgb24")
            frame.pts, frame.time_base = written, 1 / rate
            out.mux(video_out.encode(frame))
            written += 1

        # The first file's pictures held back by the transition's length, so that its
        # last pictures meet the second file's first.
        overlap = max(1, round(args.duration * rate / 1000))
        held = collections.deque()
        for frame in first.decode(video=0):
            held.append(frame.to_ndarray(format="rgb24"))
            if len(held) > overlap:
                write(held.popleft())
        second_start = written

        # The transition from the held pictures to the second file's first ones, then the
        # rest of the second file.
        fps = round(rate) if rate.denominator == 1 and 1 <= rate <= 240 else None
        for index, frame in enumerate(second.decode(video=0)):
            picture = frame.to_ndarray(width=width, height=height, format="rgb24")
            if held:
                t = index * 1000 * rate.denominator // rate.numerator
                picture = wqtrans.frame_at(args.transition, held.popleft(), picture, t, duration_ms=args.duration,
                                           fps=fps, settings=settings)
            write(picture)
        for picture in held:  # a second file shorter than the transition
            write(picture)
        out.mux(video_out.encode())

        # Both sounds, the second from the frame where its pictures start.
        seconds = lambda frames: frames / rate
        total = round(seconds(written) * SOUND_RATE)
        start = round(seconds(second_start) * SOUND_RATE)
        mixed = cross_faded(sound_of(args.first), sound_of(args.second), start,
                            round(seconds(min(overlap, written - second_start)) * SOUND_RATE), total)
        for at in range(0, total, 1024):
            frame = av.AudioFrame.from_ndarray(np.ascontiguousarray(mixed[:, at : at + 1024]), format="fltp",
                                               layout="stereo")
            frame.sample_rate, frame.pts, frame.time_base = SOUND_RATE, at, Fraction(1, SOUND_RATE)
            out.mux(audio_out.encode(frame))
        out.mux(audio_out.encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
