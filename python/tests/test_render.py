"""frame_at and frames draw what the tool's render draws, for all 21 transitions."""

import signal

import numpy as np
import pytest

import wqtrans
from conftest import NAMES, assert_same, pictures, read_png, tool, write_png

# Two sizes, one of them odd in both directions; moments before, inside and at the end
# of a 1000 ms run.
SIZES = [(48, 64), (37, 53)]
MOMENTS = [0, 140, 500, 863, 1000]


@pytest.mark.parametrize("height,width", SIZES)
@pytest.mark.parametrize("name", NAMES)
def test_frame_at_is_render_at(tmp_path, name, height, width):
    old, new = pictures(height, width)
    paths = [write_png(tmp_path / "old.png", old), write_png(tmp_path / "new.png", new)]
    for index, t in enumerate(MOMENTS):
        out = tmp_path / f"at{t}.png"
        # render's own rate (fps=None, 30) and another one given to both.
        rate, fps = ([], None) if index % 2 == 0 else (["--fps", "25"], 25)
        tool("render", name, "--from", paths[0], "--to", paths[1], "--at", str(t), "--out", str(out), "--quiet", *rate)
        frame = wqtrans.frame_at(name, old, new, t, fps=fps)
        rate_text = " ".join(rate) or "the tool's own rate"
        assert_same(read_png(out), frame, f"{name} {width}x{height} at {t} ms, {rate_text}")


# The transitions replayed on the frame-rate timeline, at a rate other than the default,
# with settings, a seed, flags and the module's own last step.
@pytest.mark.parametrize(
    "name,fps,sets,seed,flags,last",
    [
        ("Open", 12, {}, 1, 0, False),
        ("ZigZag 2", 7, {}, 9, 0, False),
        ("Stretch 2", 60, {"Center H+V": True}, 1, 0, False),
        ("Turn", 30, {"Number of rotations": 3, "Inverse Rotation": True}, 1, 0, True),
        ("Zoom 2", 30, {}, 1, 1, False),
        ("Push", 24, {}, 1, 0, False),
        ("Turn 2", 50, {}, 1, 0, True),
        ("Mosaic", 25, {}, 77, 0, False),
    ],
)
def test_frame_at_takes_the_run_options_as_render_does(tmp_path, name, fps, sets, seed, flags, last):
    old, new = pictures(40, 56)
    paths = [write_png(tmp_path / "old.png", old), write_png(tmp_path / "new.png", new)]
    options = ["--fps", str(fps), "--seed", str(seed), "--flags", str(flags), "--duration", "800"]
    options += [arg for label, value in sets.items() for arg in ("--set", f"{label}={'on' if value is True else value}")]
    options += ["--module-last-step"] if last else []
    for t in [333, 640, 800]:
        out = tmp_path / f"at{t}.png"
        tool("render", name, "--from", paths[0], "--to", paths[1], "--at", str(t), "--out", str(out), "--quiet", *options)
        frame = wqtrans.frame_at(
            name, old, new, t, duration_ms=800, fps=fps, settings=sets, seed=seed, flags=flags, module_last_step=last
        )
        assert_same(read_png(out), frame, f"{name} at {t} ms, {fps} fps")


@pytest.mark.parametrize("last", [False, True], ids=["", "module's last step"])
@pytest.mark.parametrize("name", NAMES)
def test_frames_are_render_out_dir(tmp_path, name, last):
    old, new = pictures(31, 45)
    paths = [write_png(tmp_path / "old.png", old), write_png(tmp_path / "new.png", new)]
    folder = tmp_path / "frames"
    options = ["--duration", "600", "--fps", "8", "--out", f"{folder}/", "--quiet"]
    tool("render", name, "--from", paths[0], "--to", paths[1], *options, *(["--module-last-step"] if last else []))
    expected = sorted(folder.glob("frame-*.png"))
    run = wqtrans.frames(name, old, new, duration_ms=600, fps=8, module_last_step=last)
    assert run.times == [0, 125, 250, 375, 600]  # 600 x 8 / 1000 + 1 frames, the last at the end
    assert len(run) == len(expected)
    for index, (path, frame) in enumerate(zip(expected, run, strict=True)):
        assert_same(read_png(path), frame, f"{name} frame {index}")
    assert len(run) == 0


def test_a_signal_stops_a_long_drawing():
    # Ten minutes at 240 frames a second replayed at 1920x1080: a signal that comes while
    # it is drawn raises at once, and `out` is not drawn.
    old, new = (np.full((1080, 1920, 4), level, np.uint8) for level in (100, 200))
    out = np.zeros_like(old)

    def interrupt(signum, frame):
        signal.setitimer(signal.ITIMER_REAL, 0)
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        with pytest.raises(KeyboardInterrupt):
            signal.setitimer(signal.ITIMER_REAL, 0.001, 0.001)
            wqtrans.frame_at("Stretch 2", old, new, 599999, duration_ms=600000, fps=240, out=out)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert not out.any()
    # Drawn whole when no signal comes.
    wqtrans.frame_at("Stretch 2", old, new, 599999, duration_ms=600000, fps=240, out=out)
    assert out.any()


# ease= and reverse= draw what the tool's --ease and --reverse draw: one eased and one
# reversed moment, and a whole eased, reversed run; bad curves are refused.
@pytest.mark.parametrize(
    "name,motion",
    [
        ("Stretch 2", {"ease": "ease-in"}),
        ("Door", {"reverse": True}),
        ("Zoom", {"ease": "cubic-bezier(0.2,0.9,0.4,1)", "reverse": True}),
    ],
)
def test_ease_and_reverse_are_renders(tmp_path, name, motion):
    old, new = pictures(37, 53)
    paths = [write_png(tmp_path / "old.png", old), write_png(tmp_path / "new.png", new)]
    options = (["--ease", motion["ease"]] if "ease" in motion else []) + (["--reverse"] if "reverse" in motion else [])
    out = tmp_path / "at.png"
    tool("render", name, "--from", paths[0], "--to", paths[1], "--at", "300", "--out", str(out), "--quiet", *options)
    frame = wqtrans.frame_at(name, old, new, 300, **motion)
    assert_same(read_png(out), frame, f"{name} {motion} at 300 ms")
    assert not (frame == wqtrans.frame_at(name, old, new, 300)).all(), "the motion changed nothing"
    folder = tmp_path / "frames"
    tool("render", name, "--from", paths[0], "--to", paths[1], "--fps", "10", "--out", f"{folder}/", "-q", *options)
    run = wqtrans.frames(name, old, new, fps=10, **motion)
    for path, frame in zip(sorted(folder.glob("frame-*.png")), run, strict=True):
        assert_same(read_png(path), frame, f"{name} {motion} {path.name}")


def test_bad_motion_is_refused():
    old, new = pictures(8, 8)
    with pytest.raises(ValueError, match="would make time run backwards"):
        wqtrans.frame_at("Door", old, new, 300, ease="cubic-bezier(0.5,1.5,0.5,1)")
    with pytest.raises(ValueError, match='unknown curve "bounce"'):
        wqtrans.frames("Door", old, new, ease="bounce")
    with pytest.raises(TypeError, match="ease must be a str"):
        wqtrans.frame_at("Door", old, new, 300, ease=None)
    with pytest.raises(TypeError, match="reverse must be a bool"):
        wqtrans.frame_at("Door", old, new, 300, reverse=1)
