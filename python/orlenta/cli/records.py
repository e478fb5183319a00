"""NamedTuple for the command's own records, without importing typing.

typing takes longer to import than the rest of ``orlenta check`` of one
file. Type checkers see typing.NamedTuple itself; at run time a class
written the same way becomes a collections.namedtuple with the same fields,
defaults, methods and properties. A module that writes one imports
annotations from __future__: the fields are then in the class's
__annotations__ on every version of Python, also those that evaluate
annotations lazily.
"""

from collections import namedtuple

# For the command's modules too: type checkers take any name TYPE_CHECKING
# for typing's.
TYPE_CHECKING = False

if TYPE_CHECKING:
    from typing import NamedTuple
else:

    class _NamedTupleMeta(type):
        def __new__(mcls, name, bases, namespace):
            if not bases:
                return super().__new__(mcls, name, bases, namespace)
            fields = list(namespace.get("__annotations__", {}))
            if not fields:
                raise TypeError(f"{name} names no fields; its module must import annotations from __future__")
            defaults = [namespace[field] for field in fields if field in namespace]
            base = namedtuple(name, fields, defaults=defaults, module=namespace["__module__"])
            body = {key: value for key, value in namespace.items() if key not in fields}
            return type(name, (base,), {**body, "__slots__": ()})

    class NamedTuple(metaclass=_NamedTupleMeta):
        pass

__all__ = ["TYPE_CHECKING", "NamedTuple"]
