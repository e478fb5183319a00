"""The module in sub-interpreters and across re-imports: every module object
keeps its own cached objects, which must never reach another interpreter or
outlive the module."""

import importlib.util

import pytest


@pytest.fixture(autouse=True)
def debug_allocator(monkeypatch):
    """The children run with the allocator's debug hooks, which fill freed
    memory with a pattern: a module state used after its module was freed
    then crashes the child instead of going unnoticed."""
    monkeypatch.setenv("PYTHONMALLOC", "debug")


# Runs in each interpreter of a scenario: a first call, a call by keywords,
# a call that raises, and the queries.
CHECK = '''
def check(core):
    assert core.sanitize("a\\u200bb")[0] == "ab"
    assert core.sanitize(text="x", policy="strict_exec")[1]["policy"] == "strict_exec"
    try:
        core.sanitize("x", policy="no_such_policy")
    except ValueError as error:
        assert str(error) == "unknown policy: no_such_policy", error
    else:
        raise AssertionError("an unknown policy was accepted")
    assert core.encoded_codepoint_risk(ch="\\u202e", policy="balanced_chat") == "bidi_control"
    assert core.encoded_codepoint_risk("a", "balanced_chat") is None
    assert core.normalize_for_skeleton(text="\\ufb01") == "fi"
    assert core.is_identifier_decoration(ch="\\u200d")
'''

# Sub-interpreters that share the main interpreter's lock, as mod_wsgi makes
# them: 3.13 has _interpreters and its "legacy" config, 3.10 to 3.12 have
# _xxsubinterpreters.
if importlib.util.find_spec("_interpreters"):
    INTERPRETERS = "import _interpreters as interpreters\ncreate = lambda: interpreters.create('legacy')"
elif importlib.util.find_spec("_xxsubinterpreters"):
    INTERPRETERS = "import _xxsubinterpreters as interpreters\ncreate = lambda: interpreters.create(isolated=False)"
else:
    INTERPRETERS = None

# Steps: "+a" creates sub-interpreter a and "-a" destroys it; "a" imports
# the module in a and checks it there; "a<" checks the main interpreter's
# module object in a, carried over by its address, so that a has no module
# object of its own unless it imported one; "main" checks in the main one.
SCENARIO = '''
import orlenta._core
{interpreters}
exec(CHECK)
borrowed = "ctypes.cast(%d, ctypes.py_object).value" % id(orlenta._core)
made = {{}}
for step in {steps!r}.split():
    if step == "main":
        check(orlenta._core)
    elif step[0] == "+":
        made[step[1:]] = create()
    elif step[0] == "-":
        interpreters.destroy(made.pop(step[1:]))
    else:
        core = borrowed if step.endswith("<") else "orlenta._core"
        code = CHECK + "import ctypes, orlenta._core\\ncheck(%s)" % core
        failure = interpreters.run_string(made[step.rstrip("<")], code)
        assert failure is None, failure.formatted
print("ok")
'''


@pytest.mark.skipif(INTERPRETERS is None, reason="this Python has no module to create sub-interpreters with")
@pytest.mark.parametrize(
    "steps",
    [
        "+a a -a main",
        "main +a a -a main",
        "+a +b a b -a b -b main",
        "main +a a< -a main",
        "+a a< a a< -a main",
    ],
)
def test_sub_interpreters_keep_their_own_cached_objects(run_python, steps):
    child = run_python(f"CHECK = {CHECK!r}\n" + SCENARIO.format(interpreters=INTERPRETERS, steps=steps))
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == "ok"


def test_functions_outlive_the_module_objects_that_served_them(run_python):
    # Calls use the newest live module object of their interpreter; once it
    # is freed, the functions of an older one fall back to that one's state.
    child = run_python(
        f"CHECK = {CHECK!r}\n"
        """
import gc, importlib, sys, weakref
import orlenta
exec(CHECK)
first = importlib.import_module("orlenta._core")
del sys.modules["orlenta._core"]
second = importlib.import_module("orlenta._core")
check(second)
check(first)
# The package holds the submodule as an attribute too.
del sys.modules["orlenta._core"], orlenta._core
freed = weakref.ref(second)
del second
gc.collect()
assert freed() is None
check(first)
third = importlib.import_module("orlenta._core")
check(third)
check(orlenta)
print("ok")
"""
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == "ok"
