// The boundary between the module's C++ code and the interpreter: no C++
// exception may cross it.
#pragma once

#include <Python.h>

#include <exception>
#include <new>

#include "python/cached_object.h"

namespace orlenta {

// Used for a fault that carries no text of its own.
inline constexpr char GENERIC_PANIC_MESSAGE[] = "internal fault in orlenta._core";

// Sets the module's PanicException (a BaseException subclass) with the
// message, read as UTF-8 with replacement of bad bytes. The type is made at
// the first fault and kept in the cell `find_type_cell` finds in the state of
// the calling interpreter's module; without one, it is made for this fault
// alone. If the type cannot be created, the exception of that failure stays
// set.
void raise_panic(CellFinder find_type_cell, const char* message) noexcept;

// Runs an entry point's body, which reports an ordinary failure by setting a
// Python exception and returning `failure`. A C++ exception escaping the body
// becomes a Python exception instead: running out of memory a MemoryError,
// so that a large input cannot abort the host process, and any other fault a
// PanicException with its message, its type kept where `panic_type_cell`
// finds it. The handlers only call the C API, which throws nothing; by the
// time they run, unwinding has re-taken the interpreter lock and released
// every resource of the call.
template <class Result, class Body>
Result guarded(CellFinder panic_type_cell, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& fault) {
    raise_panic(panic_type_cell, *fault.what() != '\0' ? fault.what() : GENERIC_PANIC_MESSAGE);
  } catch (...) {
    raise_panic(panic_type_cell, GENERIC_PANIC_MESSAGE);
  }
  return failure;
}

}  // namespace orlenta
