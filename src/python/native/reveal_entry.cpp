#include "reveal_entry.h"

#include <memory>
#include <span>
#include <vector>

#include "interpreter_states.h"
#include "pipeline/hidden_runs.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

struct PyMemFree {
  void operator()(Py_UCS4* memory) const { PyMem_Free(memory); }
};

PyObject* run_tuple(const HiddenSpan& run) {
  PyRef start{PyLong_FromSize_t(run.start)};
  if (!start) return nullptr;
  PyRef end{PyLong_FromSize_t(run.end)};
  if (!end) return nullptr;
  return PyTuple_Pack(2, start.get(), end.get());
}

}  // namespace

PyObject* hidden_runs_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 1) {
      PyErr_Format(PyExc_TypeError, "_hidden_runs() takes 1 positional argument but %zd were given", nargs);
      return nullptr;
    }
    if (!PyUnicode_Check(args[0])) {
      raise_type_mismatch(args[0], "str");
      return nullptr;
    }
    const Py_ssize_t length = PyUnicode_GetLength(args[0]);
    if (length < 0) return nullptr;
    // The limited API reads a str's code points only as a copy; Py_UCS4 and
    // char32_t are both 32-bit code units.
    static_assert(sizeof(Py_UCS4) == sizeof(char32_t));
    const std::unique_ptr<Py_UCS4, PyMemFree> code_points{PyUnicode_AsUCS4Copy(args[0])};
    if (!code_points) return nullptr;
    std::vector<HiddenSpan> runs;
    {
      ReleasedGil released;
      runs = hidden_runs(std::span(reinterpret_cast<const char32_t*>(code_points.get()), static_cast<std::size_t>(length)));
    }
    PyRef results{PyList_New(static_cast<Py_ssize_t>(runs.size()))};
    if (!results) return nullptr;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      PyObject* run = run_tuple(runs[i]);
      if (run == nullptr) return nullptr;
      PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), run);  // steals the reference
    }
    return results.release();
  });
}

}  // namespace orlenta
