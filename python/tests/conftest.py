"""What the tests of the Python module share: the wqtrans tool beside the module,
pictures whose every pixel differs from its neighbours, and PNG files."""

import os
import subprocess
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import wqtrans

NAMES = [t.name for t in wqtrans.transitions()]


def tool(*args: str) -> str:
    """Runs the wqtrans tool (WQTRANS_TOOL) and gives its stdout; fails on an error."""
    path = os.environ.get("WQTRANS_TOOL")
    if not path:
        pytest.skip("WQTRANS_TOOL does not name the wqtrans tool")
    result = subprocess.run([path, *args], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, f"wqtrans {' '.join(args)}: {result.stderr}"
    return result.stdout


def pictures(height: int, width: int, channels: int = 3) -> tuple[np.ndarray, np.ndarray]:
    """An old and a new picture of noise, different everywhere."""
    rng = np.random.default_rng(height * 1000 + width)
    old = rng.integers(0, 256, (height, width, channels), dtype=np.uint8)
    new = rng.integers(0, 256, (height, width, channels), dtype=np.uint8)
    if channels == 4:
        old[..., 3] = 255
        new[..., 3] = 255
    return old, new


def write_png(path: Path, picture: np.ndarray) -> str:
    Image.fromarray(picture).save(path)
    return str(path)


def read_png(path: Path) -> np.ndarray:
    with Image.open(path) as image:
        return np.asarray(image.convert("RGB"))


def first_difference(expected: np.ndarray, actual: np.ndarray) -> str:
    """Where two pictures first differ, with both pixels."""
    if expected.shape != actual.shape:
        return f"shapes {expected.shape} and {actual.shape}"
    y, x = np.argwhere((expected != actual).any(axis=-1))[0]
    count = int((expected != actual).any(axis=-1).sum())
    return f"{count} pixels differ, the first at x={x}, y={y}: expected {expected[y, x]}, got {actual[y, x]}"


def assert_same(expected: np.ndarray, actual: np.ndarray, what: str) -> None:
    assert np.array_equal(expected, actual), f"{what}: {first_difference(expected, actual)}"
