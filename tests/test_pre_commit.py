"""The pre-commit hooks, tried the way users try them: pre-commit builds the
package from this repository in an environment of its own, so this is slow."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
SAMPLE = ROOT.parent / "shared" / "corpus" / "trojan-source" / "Python" / "commenting-out.py"
PRE_COMMIT = pathlib.Path(sys.executable).parent / "pre-commit"


def test_hooks_fail_on_a_trojan_source_sample_and_pass_after_the_fix(tmp_path):
    if not SAMPLE.is_file():
        pytest.skip(f"{SAMPLE} is absent")
    if not PRE_COMMIT.exists():
        pytest.skip("pre-commit is not installed")
    repo = tmp_path / "repo"
    repo.mkdir()
    shutil.copy(SAMPLE, repo / "sample.py")
    environment = {
        **os.environ,
        "PRE_COMMIT_HOME": str(tmp_path / "pre-commit-home"),
        "CMAKE_BUILD_PARALLEL_LEVEL": "2",
        "GIT_AUTHOR_NAME": "test", "GIT_AUTHOR_EMAIL": "test@example.org",
        "GIT_COMMITTER_NAME": "test", "GIT_COMMITTER_EMAIL": "test@example.org",
    }
    subprocess.run(["git", "init", "-q"], cwd=repo, check=True)
    subprocess.run(["git", "add", "sample.py"], cwd=repo, check=True)

    def hook(name):
        return subprocess.run([str(PRE_COMMIT), "try-repo", str(ROOT), name, "--all-files"], cwd=repo,
                              env=environment, capture_output=True, text=True, timeout=3600)

    check = hook("orlenta-check")
    assert check.returncode == 1, check.stdout + check.stderr
    assert "sample.py:4:" in check.stdout and "bidi_control U+202E RIGHT-TO-LEFT OVERRIDE" in check.stdout
    fix = hook("orlenta-fix")
    assert fix.returncode == 1 and "fixed sample.py" in fix.stdout, fix.stdout + fix.stderr
    again = hook("orlenta-check")
    assert again.returncode == 0, again.stdout + again.stderr
