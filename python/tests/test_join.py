"""examples/python/join.py joins two generated clips through PyAV."""

import math
import subprocess
import sys
from fractions import Fraction
from pathlib import Path

import av
import pytest
import numpy as np

JOIN = Path(__file__).resolve().parents[2] / "examples" / "python" / "join.py"


def make_clip(path: Path, size: tuple[int, int], colour: tuple[int, int, int], frames: int, sound: bool,
              frequency: int = 440) -> None:
    """A clip of one colour at 10 frames a second, with a tone when `sound`."""
    with av.open(str(path), "w") as out:
        video = out.add_stream("libx264", rate=10)
        video.width, video.height, video.pix_fmt = size[0], size[1], "yuv420p"
        audio = out.add_stream("aac", rate=48000, layout="mono") if sound else None
        picture = np.zeros((size[1], size[0], 3), np.uint8)
        picture[:] = colour
        for i in range(frames):
            frame = av.VideoFrame.from_ndarray(picture, format="rgb24")
            frame.pts, frame.time_base = i, Fraction(1, 10)
            out.mux(video.encode(frame))
        out.mux(video.encode())
        if audio:
            samples = frames * 4800
            tone = (0.3 * np.sin(2 * math.pi * frequency * np.arange(samples) / 48000)).astype(np.float32)
            for start in range(0, samples, 1024):
                frame = av.AudioFrame.from_ndarray(tone[None, start : start + 1024], format="fltp", layout="mono")
                frame.sample_rate, frame.pts, frame.time_base = 48000, start, Fraction(1, 48000)
                out.mux(audio.encode(frame))
            out.mux(audio.encode())


def test_join_makes_one_video_with_both_sounds(tmp_path):
    first, second, joined = tmp_path / "first.mp4", tmp_path / "second.mkv", tmp_path / "joined.mp4"
    make_clip(first, (64, 48), (220, 30, 30), 15, sound=True)
    make_clip(second, (80, 60), (30, 30, 220), 10, sound=True, frequency=1000)
    result = subprocess.run(
        [sys.executable, str(JOIN), str(first), str(second), str(joined), "--transition", "Push", "--duration", "500"],
        capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == 0, result.stderr

    with av.open(str(joined)) as video:
        assert video.streams.audio, "the sound is kept"
        sound = np.concatenate([frame.to_ndarray()[0] for frame in video.decode(audio=0)])
        video.seek(0)
        pictures = [frame.to_ndarray(format="rgb24") for frame in video.decode(video=0)]
    assert abs(sound.size / 48000 - 2.0) < 0.1
    # The first tone (440 Hz) before the cut, the second (1000 Hz) after it.
    def tone_at(second: float) -> float:
        part = sound[int(second * 48000) : int(second * 48000) + 4800]
        return np.abs(np.fft.rfft(part)).argmax() * 48000 / part.size
    assert abs(tone_at(0.3) - 440) < 20 and abs(tone_at(1.7) - 1000) < 20
    # 15 + 10 frames, 5 of them shared by the transition, at the first file's size.
    assert len(pictures) == 20 and pictures[0].shape == (48, 64, 3)
    red = lambda p: p[..., 0].mean() > 150 and p[..., 2].mean() < 100
    blue = lambda p: p[..., 2].mean() > 150 and p[..., 0].mean() < 100
    assert all(red(p) for p in pictures[:10]) and all(blue(p) for p in pictures[15:])
    # Inside the transition both clips show.
    middle = pictures[12]
    assert (middle[..., 0] > 150).any() and (middle[..., 2] > 150).any()


@pytest.mark.parametrize(
    "first, extra, message",
    [
        ("missing.mp4", [], "join.py: missing.mp4: no such file"),
        ("notes.txt", [], "join.py: notes.txt: cannot be read as a video"),
        ("first.mp4", ["--transition", "Nope"], 'join.py: unknown transition "Nope"'),
        ("first.mp4", ["--set", "Spin=3"], "join.py: Push's panel has no control \"Spin\""),
        ("first.mp4", ["--duration", "0"], "join.py: --duration 0: give 1 to 600000 ms"),
    ],
)
def test_join_refuses_bad_arguments_in_one_line_before_writing(tmp_path, first, extra, message):
    make_clip(tmp_path / "first.mp4", (32, 24), (220, 30, 30), 3, sound=False)
    (tmp_path / "notes.txt").write_text("not a video\n")
    arguments = [first, "first.mp4", "joined.mp4", "--transition", "Push"] + extra
    result = subprocess.run([sys.executable, str(JOIN)] + arguments, cwd=tmp_path, capture_output=True, text=True,
                            timeout=60)
    assert result.returncode == 2
    assert result.stderr.startswith(message) and result.stderr.count("\n") == 1, result.stderr
    assert not (tmp_path / "joined.mp4").exists()

