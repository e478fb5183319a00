"""cmake/Findnlohmann_json.cmake, run on a small probe project: the JSON
headers of the Python build environment come before any system copy, and a
build that finds none says what is missing and how to get it."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

CMAKE_DIR = pathlib.Path(__file__).resolve().parent.parent / "cmake"
CMAKE = shutil.which("cmake")

pytestmark = pytest.mark.skipif(CMAKE is None, reason="cmake is not installed")

PROBE = """
cmake_minimum_required(VERSION 3.21)
project(probe LANGUAGES NONE)
list(APPEND CMAKE_MODULE_PATH "{cmake_dir}")
find_package(nlohmann_json 3.11 REQUIRED)
get_target_property(headers nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
message(STATUS "json ${{nlohmann_json_VERSION}} at ${{headers}}")
"""


def fake_package(site, version):
    """A folder laid out as the PyPI package nlohmann-json installs itself."""
    include = site / "nlohmann_json" / "include" / "nlohmann"
    (include / "detail").mkdir(parents=True)
    (site / "nlohmann_json" / "__init__.py").write_text("")
    (include / "json.hpp").write_text('#include "detail/abi_macros.hpp"\n')
    major, minor, patch = version.split(".")
    (include / "detail" / "abi_macros.hpp").write_text(
        f"#define NLOHMANN_JSON_VERSION_MAJOR {major}  // NOLINT(modernize-macro-to-enum)\n"
        f"#define NLOHMANN_JSON_VERSION_MINOR {minor}  // NOLINT(modernize-macro-to-enum)\n"
        f"#define NLOHMANN_JSON_VERSION_PATCH {patch}  // NOLINT(modernize-macro-to-enum)\n"
    )
    return include.parent


def configure(tmp_path, *defines, python_path=""):
    project = tmp_path / "probe"
    project.mkdir(exist_ok=True)
    (project / "CMakeLists.txt").write_text(PROBE.format(cmake_dir=CMAKE_DIR.as_posix()))
    return subprocess.run(
        [CMAKE, "-S", project, "-B", tmp_path / "build", *defines],
        capture_output=True,
        text=True,
        env=dict(os.environ, PYTHONPATH=str(python_path)),
    )


def test_python_package_comes_first_and_is_looked_up_at_every_configure(tmp_path):
    # pip's isolated build environment is a new folder at every build.
    for build_env, version in (("env-1", "3.12.0"), ("env-2", "3.11.3")):
        headers = fake_package(tmp_path / build_env, version)
        result = configure(tmp_path, f"-DPython_EXECUTABLE={sys.executable}", python_path=headers.parent.parent)
        assert result.returncode == 0, result.stderr
        assert f"json {version} at {headers}\n" in result.stdout


def test_too_old_python_package_is_refused(tmp_path):
    headers = fake_package(tmp_path / "env", "3.10.5")
    result = configure(tmp_path, f"-DPython_EXECUTABLE={sys.executable}", python_path=headers.parent.parent)
    assert result.returncode != 0
    assert '"3.10.5"' in result.stderr


def test_missing_headers_say_what_is_missing_and_how_to_get_them(tmp_path):
    result = configure(tmp_path, "-DCMAKE_IGNORE_PREFIX_PATH=/usr;/usr/local")
    assert result.returncode != 0
    message = " ".join(result.stderr.split())
    assert "nlohmann/json 3.11 or later" in message
    assert "build requirement nlohmann-json" in message
    assert "apt install nlohmann-json3-dev" in message
