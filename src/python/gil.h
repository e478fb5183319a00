// Releasing the interpreter lock around work that touches no Python object.
#pragma once

#include <Python.h>

namespace orlenta {

// Releases the lock on construction and takes it back on destruction, so the
// lock is held again on every way out of the scope, including an exception.
struct ReleasedGil {
  PyThreadState* saved = PyEval_SaveThread();

  ReleasedGil() = default;
  ReleasedGil(const ReleasedGil&) = delete;
  ReleasedGil& operator=(const ReleasedGil&) = delete;
  ~ReleasedGil() { PyEval_RestoreThread(saved); }
};

}  // namespace orlenta
