// Python exceptions raised by the module's own checks.
#pragma once

#include <Python.h>

#include <string_view>

namespace orlenta {

// ValueError with a UTF-8 message.
void raise_value_error(std::string_view message);

// TypeError "'<qualified type name>' object is not an instance of
// '<expected>'", or "'None' is not an instance of '<expected>'" for None.
void raise_type_mismatch(PyObject* value, const char* expected);

// Attaches the note "while processing '<parameter>'" to the pending
// exception. Interpreters without add_note (3.10) and a failing add_note
// leave the exception as it was.
void add_argument_note(const char* parameter);

}  // namespace orlenta
