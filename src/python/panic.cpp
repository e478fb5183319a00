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

PyObject* make_panic_exception_type() {
  return PyErr_NewExceptionWithDoc("orlenta.PanicException", PANIC_EXCEPTION_DOC, PyExc_BaseException, nullptr);
}

}  // namespace

void raise_panic(CellFinder find_type_cell, const char* message) noexcept {
  // The fault replaces whatever Python error was pending when it happened;
  // clearing it first keeps the C API calls below legal.
  PyErr_Clear();
  PyRef type = cached_object(find_type_cell, make_panic_exception_type);
  if (!type) return;
  PyRef text{PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace")};
  if (!text) return;
  PyErr_SetObject(type.get(), text.get());
}

}  // namespace orlenta
