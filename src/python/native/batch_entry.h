// The entry points of sanitize_many: one chunk of texts sanitized with the
// interpreter lock released once for the whole chunk, or a stream of chunks
// whose pipeline runs on threads of their own while the calling thread
// builds the results of the chunks before them.
#pragma once

#include <Python.h>

namespace orlenta {

// _sanitize_chunk(texts, policy, normalization, tidy_whitespace, return_spans, report)
//
// `texts` is a list; the other arguments are sanitize's, already checked by
// the caller, and `report` is "dict", "json", "none" or "changed+json".
// Returns a list with one entry per text: (text, report dict),
// (text, report JSON), (text, changed) or (text, changed, report JSON), or,
// for a text that sanitize would refuse, the exception it would raise.
PyObject* sanitize_chunk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char SANITIZE_CHUNK_DOC[] =
    "_sanitize_chunk(texts, policy, normalization, tidy_whitespace, return_spans, report)\n--\n\n"
    "One chunk of sanitize_many, for orlenta's own use.";

// _next_chunk(iterator, max_texts, max_chars): a list of the iterator's next
// texts, up to max_texts of them or until their lengths reach max_chars;
// empty once the iterator is exhausted.
PyObject* next_chunk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

// _chunk_runner(policy, normalization, tidy_whitespace, return_spans, report, threads)
//
// A capsule that runs the pipeline over submitted chunks on up to `threads`
// threads of its own, which never take the interpreter lock; freeing it
// stops them. Arguments as _sanitize_chunk's.
PyObject* chunk_runner_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

// _submit_chunk(runner, texts): reads the list's texts and queues them.
PyObject* submit_chunk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

// _take_chunk(runner): the results of the oldest submitted chunk, as
// _sanitize_chunk gives them, waiting for its pipeline without the lock; None
// when no chunk is pending.
PyObject* take_chunk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

// _first_refusal(results): the index of the first exception object in the
// list of a chunk's results, or -1 when there is none.
PyObject* first_refusal_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char NEXT_CHUNK_DOC[] =
    "_next_chunk(iterator, max_texts, max_chars, failure)\n--\n\nThe texts of the next chunk, for orlenta's own use.";
inline constexpr char CHUNK_RUNNER_DOC[] =
    "_chunk_runner(policy, normalization, tidy_whitespace, return_spans, report, threads)\n--\n\n"
    "The pipeline threads of one sanitize_iter call, for orlenta's own use.";
inline constexpr char SUBMIT_CHUNK_DOC[] =
    "_submit_chunk(runner, texts)\n--\n\nQueues a chunk of sanitize_iter, for orlenta's own use.";
inline constexpr char FIRST_REFUSAL_DOC[] =
    "_first_refusal(results)\n--\n\nWhere the first refusal in a chunk's results is, for orlenta's own use.";
inline constexpr char TAKE_CHUNK_DOC[] =
    "_take_chunk(runner)\n--\n\nThe results of the oldest queued chunk, for orlenta's own use.";

}  // namespace orlenta
