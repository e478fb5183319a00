"""The layering check of tools/check_layers.py on small made-up trees."""

import pathlib
import subprocess
import sys

import pytest

CHECK = pathlib.Path(__file__).resolve().parent.parent / "tools" / "check_layers.py"


@pytest.mark.parametrize(
    ("path", "include", "allowed"),
    [
        ("passes/a.cpp", '"report/report.h"', True),
        ("passes/a.cpp", '"passes/b.h"', True),
        ("python/core/m.cpp", '"pipeline/pipeline.h"', True),
        ("classes/c.h", "<normkit/normalize.h>", True),
        ("passes/a.cpp", "<nlohmann/json.hpp>", True),
        ("policy/p.h", '"python/errors.h"', False),
        ("policy/p.h", '"report/report.h"', False),
        ("text/utf8.h", '"normkit/utf8.h"', False),
        ("base/outcome.h", '"text/utf8.h"', False),
    ],
)
def test_includes_go_only_downwards(tmp_path, path, include, allowed):
    source = tmp_path / "src" / path
    source.parent.mkdir(parents=True)
    source.write_text(f"#include {include}\n", encoding="utf-8")
    result = subprocess.run([sys.executable, CHECK, "--src", tmp_path / "src"], capture_output=True, text=True)
    assert (result.returncode == 0) == allowed, result.stderr
    if not allowed:
        assert path in result.stderr


def test_the_source_tree_is_layered():
    assert subprocess.run([sys.executable, CHECK], capture_output=True).returncode == 0
