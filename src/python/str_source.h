// Building a long str from the pipeline's UTF-8 with little work under the
// interpreter lock. CPython's UTF-8 decoder runs with the lock held and, on
// a long non-ASCII text, costs about as much as the pipeline's own share;
// its Latin-1 decoder is close to a copy. So a text that Latin-1 holds is
// turned into it first, without the lock, and only the copy is left to the
// interpreter: threads that sanitize long texts then wait less for each
// other.
//
// Wider texts stay UTF-8. A UTF-16 or UCS-4 copy would save lock time too,
// but it is larger than the UTF-8 and cannot be written over it, so the
// call's peak memory would grow by up to four bytes a character.
#pragma once

#include <Python.h>

#include <string>

namespace orlenta {

// The text of a str: UTF-8, or Latin-1 in the same buffer.
struct StrSource {
  std::string bytes;
  bool latin1 = false;
};

// Takes the UTF-8 text; needs no lock.
StrSource prepare_str_source(std::string&& utf8);

// The str, with the lock held; NULL with an exception set on failure.
PyObject* str_from_source(const StrSource& source);

}  // namespace orlenta
