"""The interactive examples of the README, each block run on its own."""

import doctest
import pathlib
import re

README = pathlib.Path(__file__).resolve().parents[1] / "README.md"


def test_readme_examples():
    text = README.read_text(encoding="utf-8")
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner()
    blocks = [found for found in re.finditer(r"```python\n(.*?)```", text, re.DOTALL) if ">>>" in found[1]]
    assert len(blocks) >= 2
    for found in blocks:
        line = text.count("\n", 0, found.start(1))
        runner.run(parser.get_doctest(found[1], {}, "README", str(README), line))
    assert runner.summarize(verbose=False).failed == 0
