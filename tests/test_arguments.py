"""How sanitize binds and converts its arguments, and the errors callers see."""

import sys

import pytest

from orlenta import normalize_for_skeleton, sanitize


class Outer:
    class Inner:
        pass


def numpy_like(type_name, module="numpy", **members):
    """An instance of a class that looks like NumPy's boolean scalar type by its names."""
    return type(type_name, (), {"__module__": module, **members})()


def assert_note(error, parameter):
    if sys.version_info >= (3, 11):
        assert error.__notes__ == [f"while processing '{parameter}'"]
    else:
        assert not hasattr(error, "__notes__")


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "sanitize() missing 1 required positional argument: 'text'"),
        ((), {"policy": "strict"}, "sanitize() missing 1 required positional argument: 'text'"),
        (("x",) * 6, {}, "sanitize() takes from 1 to 5 positional arguments but 6 were given"),
        (("x", "strict"), {"policy": "strict"}, "sanitize() got multiple values for argument 'policy'"),
        (("x",), {"Text": "y"}, "sanitize() got an unexpected keyword argument 'Text'"),
        # The first offending keyword in call order is the one reported.
        (("x",), {"mode": 1, "text": "y"}, "sanitize() got an unexpected keyword argument 'mode'"),
        (("x",), {"text": "y", "mode": 1}, "sanitize() got multiple values for argument 'text'"),
        # Binding is complete before any value is converted.
        ((1,), {"\udcff": 1}, "sanitize() got an unexpected keyword argument '\udcff'"),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        sanitize(*args, **kwargs)
    assert str(info.value) == message
    assert not hasattr(info.value, "__notes__")


@pytest.mark.parametrize(
    "kwargs, message, parameter",
    [
        ({"text": 1}, "'int' object is not an instance of 'str'", "text"),
        ({"text": Outer.Inner()}, "'Outer.Inner' object is not an instance of 'str'", "text"),
        ({"text": "x", "policy": None}, "'None' is not an instance of 'str'", "policy"),
        ({"text": "x", "normalization": b"NFC"}, "'bytes' object is not an instance of 'str'", "normalization"),
        ({"text": "x", "tidy_whitespace": 1}, "'int' object is not an instance of 'bool'", "tidy_whitespace"),
        ({"text": "x", "return_spans": 1}, "'int' object is not an instance of 'bool'", "return_spans"),
        ({"text": "x", "return_spans": None}, "'None' is not an instance of 'bool'", "return_spans"),
        # Converted in parameter order, whatever the keyword order.
        ({"return_spans": 1, "policy": None, "text": "x"}, "'None' is not an instance of 'str'", "policy"),
        # Only a boolean scalar type of the module named numpy qualifies.
        ({"text": "x", "return_spans": numpy_like("int_")}, "'int_' object is not an instance of 'bool'", "return_spans"),
        (
            {"text": "x", "return_spans": numpy_like("bool_", module="fakenumpy", __bool__=lambda self: True)},
            "'bool_' object is not an instance of 'bool'",
            "return_spans",
        ),
        (
            {"text": "x", "return_spans": numpy_like("bool_")},
            "object of type 'bool_' does not define a '__bool__' conversion",
            "return_spans",
        ),
        (
            {"text": "x", "tidy_whitespace": numpy_like("bool")},
            "object of type 'bool' does not define a '__bool__' conversion",
            "tidy_whitespace",
        ),
        (
            {"text": "x", "return_spans": numpy_like("bool_", __bool__=lambda self: 1)},
            "__bool__ should return bool, returned int",
            "return_spans",
        ),
    ],
)
def test_conversion_type_errors(kwargs, message, parameter):
    with pytest.raises(TypeError) as info:
        sanitize(**kwargs)
    assert str(info.value) == message
    assert_note(info.value, parameter)


def test_raising_bool_conversion_propagates_unchanged():
    class Refused(Exception):
        pass

    def refuse(self):
        raise Refused("no truth value")

    with pytest.raises(Refused, match="no truth value") as info:
        sanitize("x", tidy_whitespace=numpy_like("bool_", __bool__=refuse))
    assert_note(info.value, "tidy_whitespace")


@pytest.mark.parametrize(
    "kwargs, parameter",
    [
        ({"text": "a\ud800b"}, "text"),
        # Long texts other than ASCII are encoded by a separate path.
        ({"text": "é" * 70_000 + "\ud800"}, "text"),
        ({"text": "x", "policy": "\udfff"}, "policy"),
    ],
)
def test_lone_surrogate_raises_the_encoding_error(kwargs, parameter):
    with pytest.raises(UnicodeEncodeError) as info:
        sanitize(**kwargs)
    assert_note(info.value, parameter)


@pytest.mark.parametrize("text", ["a\ud800b", "é" * 70_000 + "\ud800"])
def test_lone_surrogate_in_skeleton_input(text):
    with pytest.raises(UnicodeEncodeError) as info:
        normalize_for_skeleton(text)
    assert_note(info.value, "text")


@pytest.mark.parametrize(
    "parameter, text",
    [("return_spans", "a\u200bb\u202ec"), ("tidy_whitespace", "a  b   \n\n\n\nc  ")],
)
def test_numpy_booleans_work_like_bool(parameter, text):
    numpy = pytest.importorskip("numpy")
    with_true = sanitize(text, **{parameter: True})
    with_false = sanitize(text, **{parameter: False})
    assert with_true != with_false
    assert sanitize(text, **{parameter: numpy.True_}) == with_true
    assert sanitize(text, **{parameter: numpy.False_}) == with_false


def test_omitted_arguments_take_their_defaults():
    class Text(str):
        pass

    text = "Some text\u200b with\tcontent "
    expected = sanitize(text, "balanced_chat", None, None, False)
    assert sanitize(text) == expected
    assert sanitize(Text(text)) == expected
    assert sanitize(text, normalization=None, tidy_whitespace=None) == expected


def test_keywords_and_positions_bind_alike():
    text = "x\u200by  z"
    positional = sanitize(text, "strict", "nfkc", False, True)
    keywords = sanitize(return_spans=True, tidy_whitespace=False, normalization="nfkc", policy="strict", text=text)
    assert positional == keywords
