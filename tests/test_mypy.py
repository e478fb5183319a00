"""mypy --strict accepts real use of orlenta and rejects misspelled names."""

import importlib.util
import pathlib
import re
import subprocess
import sys

import pytest

if importlib.util.find_spec("mypy") is None:
    pytest.skip("mypy is not installed in this environment (make test installs it)", allow_module_level=True)

EVERY_NAME = pathlib.Path(__file__).resolve().parent / "mypy_samples" / "every_name.py"

# (file name, code, the one error mypy must report)
MISTAKES = [
    ("report_key", 'changed = sanitize("x")[1]["chnaged"]', 'TypedDict "SanitizeReport" has no key "chnaged"'),
    ("stats_key", 'entropy = sanitize("x")[1]["stats"]["entropy"]', 'TypedDict "SanitizeStats" has no key "entropy"'),
    ("reason", 'n = sanitize("x")[1]["removed_counts"]["junk_invisble"]', "Invalid index type \"Literal['junk_invisble']\""),
    ("policy", 'sanitize("x", policy="balancd")', "Argument \"policy\" to \"sanitize\" has incompatible type \"Literal['balancd']\""),
    ("core_types", "from orlenta._core import SanitizeReport", 'Module "orlenta._core" does not explicitly export attribute'),
    ("json_report", 'changed = sanitize_many(["x"], report="json")[0][1]["changed"]', 'Invalid index type "str"'),
    ("collected", 'text = sanitize_many(["x"], errors="collect")[0][0]', "is not indexable"),
]


@pytest.fixture(scope="module")
def mypy_errors(tmp_path_factory):
    """Runs mypy once over every sample; the error lines of each, by file name."""
    folder = tmp_path_factory.mktemp("mypy")
    files = [EVERY_NAME]
    for name, code, _ in MISTAKES:
        files.append(folder / f"{name}.py")
        files[-1].write_text(f"from orlenta import sanitize, sanitize_many\n{code}\n")
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir", str(folder / "cache"), *map(str, files)],
        capture_output=True,
        text=True,
        cwd=folder,
        timeout=600,
    )
    assert result.returncode in (0, 1), result.stdout + result.stderr
    errors = {file.stem: [] for file in files}
    for found in re.finditer(r"^(.*?):\d+: error: (.*)$", result.stdout, re.MULTILINE):
        errors[pathlib.Path(found[1]).stem].append(found[2])
    return errors


def test_every_name_type_checks_and_runs(mypy_errors):
    assert mypy_errors[EVERY_NAME.stem] == []
    child = subprocess.run([sys.executable, str(EVERY_NAME)], capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stderr


@pytest.mark.parametrize("name, error", [pytest.param(name, error, id=name) for name, _, error in MISTAKES])
def test_mistake_is_reported(mypy_errors, name, error):
    assert len(mypy_errors[name]) == 1 and error in mypy_errors[name][0], mypy_errors[name]
