"""Frames of any layout draw the same picture; bad input is a clear exception."""

import numpy as np
import pytest

import wqtrans
from conftest import assert_same, pictures

# A transition that moves pixels (Push), one that blends (Fade), one that stretches
# (Zoom 2) and one that tints and scales (Turn), at a moment inside the run.
CASES = [("Push", 430), ("Fade", 300), ("Zoom 2", 610), ("Turn", 520)]


def layouts(picture: np.ndarray) -> dict[str, np.ndarray]:
    """The same picture in other memory layouts."""
    h, w, c = picture.shape
    wide = np.zeros((h, 2 * w + 1, c + 2), np.uint8)
    wide[:, 1::2, 1 : c + 1] = picture
    flipped = np.ascontiguousarray(picture[::-1, ::-1])
    readonly = picture.copy()
    readonly.flags.writeable = False
    unaligned = np.frombuffer(bytearray(b"\0" + picture.tobytes()), np.uint8, offset=1).reshape(picture.shape)
    padded = np.zeros((h, w + 3, c), np.uint8)
    padded[:, :w] = picture
    return {
        "every other column, channels inside a wider pixel": wide[:, 1::2, 1 : c + 1],
        "Fortran order": np.asfortranarray(picture),
        "negative strides": flipped[::-1, ::-1],
        "read-only": readonly,
        "not on a 4-byte boundary": unaligned,
        "rows apart": padded[:, :w],
        "rows bottom up": np.ascontiguousarray(picture[::-1])[::-1],
    }


@pytest.mark.parametrize("name,t", CASES)
@pytest.mark.parametrize("channels", [3, 4])
def test_every_layout_draws_the_same_picture(name, t, channels):
    old, new = pictures(29, 38, channels)
    expected = wqtrans.frame_at(name, old, new, t)
    assert expected.shape == old.shape and expected.flags.c_contiguous
    olds, news = layouts(old), layouts(new)
    for what in olds:
        assert_same(expected, wqtrans.frame_at(name, olds[what], news[what], t), f"{name}, {what}")
        out = layouts(np.full_like(expected, 7))[what]
        if out.flags.writeable:
            assert wqtrans.frame_at(name, olds[what], news[what], t, out=out) is out
            assert_same(expected, out, f"{name}, into an out of {what}")


@pytest.mark.parametrize("name,t", CASES)
def test_rgba_draws_the_rgb_picture_and_keeps_alpha_as_the_pictures_have_it(name, t):
    old, new = pictures(24, 33, 4)
    frame = wqtrans.frame_at(name, old, new, t)
    assert_same(wqtrans.frame_at(name, old[..., :3], new[..., :3], t), frame[..., :3], name)
    assert (frame[..., 3] == 255).all()


def test_out_may_be_one_of_the_pictures():
    old, new = pictures(20, 30, 4)
    expected = wqtrans.frame_at("Push", old, new, 500)
    assert wqtrans.frame_at("Push", old, new, 500, out=old) is old
    assert_same(expected, old, "out=old")


def test_out_may_overlap_a_picture():
    old, new = pictures(20, 30, 4)
    expected = wqtrans.frame_at("Push", old, new, 500)
    memory = np.zeros((25, 30, 4), np.uint8)
    memory[:20] = old
    # out starts five rows into old: drawing it must not change the old picture read.
    assert wqtrans.frame_at("Push", memory[:20], new, 500, out=memory[5:]) is not None
    assert_same(expected, memory[5:], "out over old's last rows")


def test_frames_read_the_pictures_once():
    old, new = pictures(16, 16)
    run = wqtrans.frames("Fade", old, new, duration_ms=100, fps=10)
    first = wqtrans.frame_at("Fade", old, new, 0, duration_ms=100, fps=10)
    old[:] = 0
    assert_same(first, next(run), "the first frame after old changed")


OLD, NEW = pictures(8, 10)
BAD = [
    # (what, call, exception, message)
    ("an unknown name", lambda: wqtrans.frame_at("Wipe", OLD, NEW, 0), ValueError, 'unknown transition "Wipe"'),
    ("a name that is no str", lambda: wqtrans.frame_at(3, OLD, NEW, 0), TypeError, "named by a str"),
    ("a list for a frame", lambda: wqtrans.frame_at("Fade", OLD.tolist(), NEW, 0), TypeError, "numpy.ndarray"),
    ("float pixels", lambda: wqtrans.frame_at("Fade", OLD / 255, NEW, 0), TypeError, "uint8, not float64"),
    ("int8 pixels", lambda: wqtrans.frame_at("Fade", OLD.view(np.int8), NEW, 0), TypeError, "uint8, not int8"),
    ("a grey picture", lambda: wqtrans.frame_at("Fade", OLD[..., 0], NEW, 0), ValueError, "not \\(8, 10\\)"),
    ("two channels", lambda: wqtrans.frame_at("Fade", OLD[..., :2], NEW, 0), ValueError, "not \\(8, 10, 2\\)"),
    ("an empty picture", lambda: wqtrans.frame_at("Fade", OLD[:0], NEW[:0], 0), ValueError, "old is 10x0 pixels"),
    ("pictures of two sizes", lambda: wqtrans.frame_at("Fade", OLD, NEW[1:], 0), ValueError, "one shape"),
    ("RGB and RGBA", lambda: wqtrans.frame_at("Fade", OLD, np.dstack([NEW, NEW[..., :1]]), 0), ValueError,
     "one shape"),
    ("a side past the budget", lambda: wqtrans.frame_at("Fade", np.broadcast_to(OLD[:1], (16385, 10, 3)),
                                                        np.broadcast_to(NEW[:1], (16385, 10, 3)), 0),
     ValueError, "10x16385 pixels; the limit is 16384 a side"),
    ("pixels past the budget", lambda: wqtrans.frame_at("Fade", np.broadcast_to(OLD[:1, :1], (9000, 9000, 3)),
                                                        np.broadcast_to(NEW[:1, :1], (9000, 9000, 3)), 0),
     ValueError, "67108864 pixels in all"),
    ("an out of another shape", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, out=np.zeros((8, 10, 4), np.uint8)),
     ValueError, "out must have the shape of old and new"),
    ("a read-only out", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, out=np.broadcast_to(OLD, OLD.shape)),
     ValueError, "out is read-only"),
    ("an out whose pixels overlap", lambda: wqtrans.frame_at(
        "Fade", OLD, NEW, 0, out=np.lib.stride_tricks.as_strided(np.zeros(40, np.uint8), (8, 10, 3), (3, 3, 1))),
     ValueError, "share memory"),
    ("a negative moment", lambda: wqtrans.frame_at("Fade", OLD, NEW, -1), ValueError, "t_ms must be from 0"),
    ("a moment past 32 bits", lambda: wqtrans.frame_at("Fade", OLD, NEW, 2**32), ValueError, "t_ms"),
    ("a float moment", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0.5), TypeError, "t_ms must be an int, not float"),
    ("a bool moment", lambda: wqtrans.frame_at("Fade", OLD, NEW, True), TypeError, "t_ms must be an int, not bool"),
    ("a zero duration", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, duration_ms=0), ValueError, "duration_ms"),
    ("a zero frame rate", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, fps=0), ValueError, "fps must be from 1"),
    ("a frame rate past 240", lambda: wqtrans.frames("Fade", OLD, NEW, fps=241), ValueError, "fps"),
    ("a negative seed", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, seed=-1), ValueError, "seed"),
    ("an unknown label", lambda: wqtrans.block("Turn", {"Speed": 3}), ValueError,
     'no control "Speed"; its controls are: "Number of rotations" \\(track bar, 1 to 7\\)'),
    ("a value out of range", lambda: wqtrans.block("Turn", {"Number of rotations": 8}), ValueError,
     "takes 1 to 7, not 8"),
    ("a value of the wrong kind", lambda: wqtrans.block("Turn", {"Inverse Rotation": "maybe"}), ValueError,
     "takes on or off"),
    ("an unknown choice", lambda: wqtrans.block("Bands", {"Direction": "Sideways"}), ValueError,
     'no choice "Sideways"'),
    ("a float setting", lambda: wqtrans.block("Turn", {"Number of rotations": 2.0}), TypeError,
     "takes a bool, an int or a str, not float"),
    ("settings that are no dict", lambda: wqtrans.block("Turn", ["Number of rotations=2"]), TypeError, "a dict"),
    ("settings for a panel-less transition", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, settings={"a": 1}),
     ValueError, "Fade has no settings panel"),
    ("a short block", lambda: wqtrans.settings("Turn", b"\x03\0\0\0"), ValueError, "has 12 bytes, not 4"),
    ("an empty block", lambda: wqtrans.frame_at("Door", OLD, NEW, 0, block=b""), ValueError, "has 2 bytes, not 0"),
    ("a block for a transition without one", lambda: wqtrans.frame_at("Fade", OLD, NEW, 0, block=b"\0"),
     ValueError, "Fade has no parameters"),
    ("a str for a block", lambda: wqtrans.settings("Door", "0000"), TypeError, "bytes"),
]


@pytest.mark.parametrize("call,error,message", [case[1:] for case in BAD], ids=[case[0] for case in BAD])
def test_bad_input_raises_a_clear_exception(call, error, message):
    with pytest.raises(error, match=message):
        call()
