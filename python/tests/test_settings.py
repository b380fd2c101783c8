"""settings() and block() read and set the panels as the tool's panel and --set do."""

import re

import pytest

import wqtrans
from conftest import NAMES, tool

PANELS = [name for name in NAMES if wqtrans.settings(name)]


def panel_block(name: str, *sets: str) -> str:
    """The block that `wqtrans panel` prints after the --set settings."""
    text = tool("panel", name, *[arg for s in sets for arg in ("--set", s)])
    return re.search(r"^block: ([0-9A-F]+)$", text, re.M).group(1)


def other_value(field: dict):
    """A value of the field other than the one it has, or None when it has none."""
    kind, value = field["kind"], field["value"]
    if "min" in field:
        return field["max"] if value != field["max"] else field["min"]
    if kind == "check box":
        return not value
    if kind == "choice":
        return next(c for c in reversed(field["choices"]) if c != value)
    if kind == "radio button" and not value:
        return True
    return None


def as_set(label: str, value) -> str:
    return f"{label}={'on' if value is True else 'off' if value is False else value}"


@pytest.mark.parametrize("name", PANELS)
def test_each_field_sets_the_block_that_panel_set_gives(name):
    for label, field in wqtrans.settings(name).items():
        value = other_value(field)
        if value is None:
            continue
        block = wqtrans.block(name, {label: value})
        assert block.hex().upper() == panel_block(name, as_set(label, value)), f"{name}: {label}={value}"
        assert wqtrans.settings(name, block)[label]["value"] == value, f"{name}: {label}={value}"


@pytest.mark.parametrize("name", PANELS)
def test_settings_list_what_panel_shows(name):
    text = tool("panel", name)
    for label, field in wqtrans.settings(name).items():
        if field["kind"] in ("track bar", "up-down"):
            line = next(line for line in text.splitlines() if f'--set "{label}=N"' in line)
            assert f"position {field['value']}, range {field['min']} to {field['max']}" in line
        elif field["kind"] in ("radio button", "check box"):
            line = next(line for line in text.splitlines() if f'"{label}"' in line and "button" in line or
                        f'"{label}"' in line and "box" in line)
            assert ("(*)" in line or "[x]" in line) == field["value"], line
        elif field["kind"] == "choice":
            assert set(field["choices"]) <= set(re.findall(r'radio button "([^"]+)"', text))


@pytest.mark.parametrize("name", PANELS)
def test_a_changed_panel_round_trips_through_settings_block_and_params(name):
    # Every field changed at once, in the panel's order.
    changed = {label: other_value(field) for label, field in wqtrans.settings(name).items()}
    changed = {label: value for label, value in changed.items() if value is not None and value is not True}
    block = wqtrans.block(name, changed)
    read = wqtrans.settings(name, block)
    assert wqtrans.block(name, read) == block
    assert wqtrans.block(name, {}, base=block) == block
    # params decodes the block into the fields that panel prints after it.
    fields = tool("panel", name, "--block", block.hex()).split("block: ", 1)[1].splitlines()[1:]
    decoded = tool("params", name, "--block", block.hex()).splitlines()[1:]
    assert [line.split()[:3] for line in decoded] == [line.split()[:3] for line in fields]


def test_a_transition_without_a_panel_has_no_settings():
    assert wqtrans.settings("Fade") == {}
    assert wqtrans.block("Zoom", {}) == b""
    with pytest.raises(ValueError, match="Fade has no settings panel"):
        wqtrans.block("Fade", {"Anything": 1})


def test_a_radio_button_is_left_by_choosing_another():
    assert wqtrans.block("Line", {"Horizontal": False, "Vertical": True}) == wqtrans.block("Line", {"Vertical": True})
    with pytest.raises(ValueError, match='"Horizontal" is a radio button set to False'):
        wqtrans.block("Line", {"Horizontal": False})
