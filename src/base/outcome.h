// Results of fallible operations: either the value or a plain error message.
#pragma once

#include <stdexcept>
#include <string>
#include <variant>

namespace orlenta {

// A refusal of input, raised to Python as ValueError by the entry points.
struct Error {
  std::string message;
};

template <class T>
using Outcome = std::variant<T, Error>;

// A broken invariant inside the module. Never an ordinary error: the entry
// points turn it into the module's PanicException.
struct InternalFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace orlenta
