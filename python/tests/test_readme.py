"""The README's example runs as it is printed."""

import re
from pathlib import Path

README = Path(__file__).resolve().parents[2] / "README.md"


def test_the_readme_example_runs(capsys):
    section = README.read_text().split("## From Python", 1)[1]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    assert len(code.strip().splitlines()) == 10
    exec(compile(code, "README.md", "exec"), {})
    assert "Number of rotations" in capsys.readouterr().out
