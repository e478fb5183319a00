// Python objects made on first use and kept in a cell of a module's state.
#pragma once

#include <Python.h>

#include "python/py_ref.h"

namespace orlenta {

// Finds the cell for one cached object in the state of the calling
// interpreter's module, or returns nullptr when that interpreter has none.
using CellFinder = PyObject** (*)() noexcept;

// A new reference to the object in the cell `find_cell` returns; when the
// cell is empty, to the one `make` returns (a new reference, or NULL with an
// exception set), which is then stored there. Without a cell the made object
// serves this one use.
//
// Cells are only touched with the interpreter lock held, so a plain
// check-and-set is the once-only guard. A std::call_once would be wrong:
// making can release the lock (an import does), and a second thread would
// then wait on the once-flag while holding the lock the first one needs back.
// If two threads make the object at once, the first one stored stays.
//
// The cell is found again after making: making can run Python code or a
// garbage collection, which may free the module the first cell belonged to.
template <class FindCell, class Make>
PyRef cached_object(FindCell&& find_cell, Make&& make) {
  if (PyObject** cell = find_cell(); cell != nullptr && *cell != nullptr) return PyRef{Py_NewRef(*cell)};
  PyRef made{make()};
  if (!made) return made;
  PyObject** cell = find_cell();
  if (cell == nullptr) return made;
  if (*cell == nullptr) *cell = Py_NewRef(made.get());
  return PyRef{Py_NewRef(*cell)};
}

}  // namespace orlenta
