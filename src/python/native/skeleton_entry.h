// orlenta.confusable_skeleton: the look-alike skeleton of a str.
#pragma once

#include <Python.h>

namespace orlenta {

// confusable_skeleton(text, max_chars=1000000)
//
// The skeleton of text: its canonical decomposition with every code point
// replaced by the prototype it is confusable with, decomposed again. Two
// texts that look alike have equal skeletons. Raises ValueError when text,
// or its skeleton, has more than max_chars code points; the work stops as
// soon as the skeleton outgrows the bound.
PyObject* confusable_skeleton_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) noexcept;

inline constexpr char CONFUSABLE_SKELETON_HELP[] =
    "confusable_skeleton(text, max_chars=1000000)\n"
    "--\n"
    "\n"
    "Return the confusable skeleton of text: its NFD form with every code\n"
    "point replaced by the prototype it is visually confusable with (by the\n"
    "Unicode confusables data), in NFD again. Texts that look alike have\n"
    "equal skeletons (\"paypal\" and \"p\\u0430ypal\" with a Cyrillic a). The\n"
    "skeleton is for comparing, not for showing.\n"
    "\n"
    "Raises ValueError when the text, or its skeleton, would have more than\n"
    "max_chars code points.";

}  // namespace orlenta
