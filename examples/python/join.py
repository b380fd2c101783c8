#!/usr/bin/env python3
"""Joins two video files with one of the wqtrans transitions, keeping the first file's sound.

The last --duration ms of the first file give way to the start of the second:
    join.py first.mp4 second.mp4 joined.mp4 --transition Push --duration 1000 --set "Direction=..."
The joined video has the first file's size and frame rate (the second file's frames are
scaled to that size and taken one for one) and is encoded with H.264; the first file's
sound is copied as it is. Needs PyAV (Debian: python3-av) and NumPy.
"""

import argparse
import collections
import sys
from fractions import Fraction

import numpy as np

try:
    import av
except ImportError:
    sys.exit("join.py: needs PyAV (Debian: python3-av)")

import wqtrans


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
        audio_in = first.streams.audio[0] if first.streams.audio else None
        rate = video_in.average_rate or Fraction(25)
        width, height = video_in.codec_context.width, video_in.codec_context.height
        video_out = out.add_stream("libx264", rate=rate)
        video_out.width, video_out.height, video_out.pix_fmt = width, height, "yuv420p"
        audio_out = out.add_stream(template=audio_in) if audio_in else None

        written = 0

        def write(picture: np.ndarray) -> None:
            nonlocal written
            frame = av.VideoFrame.from_ndarray(picture, format="rgb24")
            frame.pts, frame.time_base = written, 1 / rate
            out.mux(video_out.encode(frame))
            written += 1

        # The first file: its sound as it comes, its pictures held back by the
        # transition's length, so that its last pictures meet the second file's first.
        overlap = max(1, round(args.duration * rate / 1000))
        held = collections.deque()
        for packet in first.demux(*[s for s in (video_in, audio_in) if s]):
            if packet.stream == audio_in:
                if packet.dts is not None:
                    packet.stream = audio_out
                    out.mux(packet)
                continue
            for frame in packet.decode():
                held.append(frame.to_ndarray(format="rgb24"))
                if len(held) > overlap:
                    write(held.popleft())

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
    return 0


if __name__ == "__main__":
    sys.exit(main())
