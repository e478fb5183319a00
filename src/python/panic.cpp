#include "python/panic.h"

#include <cstring>

#include "python/py_ref.h"

namespace orlenta {
namespace {

constexpr char PANIC_EXCEPTION_DOC[] =
    "Raised when the native code called from Python fails.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception,\n"
    "so that it typically propagates all the way up and ends the interpreter.";

// Created at the first fault and kept for the life of the process. Only read
// and written with the interpreter lock held, so a plain check suffices; if
// creating the class lets another thread in and both create one, the first
// stored wins and the other is dropped.
PyObject* PANIC_EXCEPTION = nullptr;

PyObject* panic_exception_type() {
  if (PANIC_EXCEPTION == nullptr) {
    PyObject* created = PyErr_NewExceptionWithDoc("orlenta.PanicException", PANIC_EXCEPTION_DOC,
                                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    if (PANIC_EXCEPTION == nullptr) {
      PANIC_EXCEPTION = created;
    } else {
      Py_DECREF(created);
    }
  }
  return PANIC_EXCEPTION;
}

}  // namespace

void raise_panic(const char* message) noexcept {
  // The fault replaces whatever Python error was pending when it happened;
  // clearing it first keeps the C API calls below legal.
  PyErr_Clear();
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;
  PyRef text{PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace")};
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace orlenta
