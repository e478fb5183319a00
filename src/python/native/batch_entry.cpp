#include "batch_entry.h"

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_states.h"
#include "pipeline/pipeline.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"
#include "chunk_runner.h"
#include "report/report.h"
#include "report_dict.h"
#include "sanitize_dict_entry.h"
#include "sanitize_entry.h"

namespace orlenta {
namespace {

// The pending exception as an object, with its traceback attached.
PyRef take_exception() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return PyRef{value};
}

// Reads policy, normalization, tidy_whitespace, return_spans and report
// from the five arguments at `args`.
bool read_settings(PyObject* const* args, ChunkSettings& settings) {
  if (!convert_text(args[0], settings.policy)) return false;
  std::optional<std::string_view> normalization;
  if (!convert_optional_text(args[1], normalization)) return false;
  if (normalization) {
    settings.normalization = parse_normalization(*normalization);
    if (!settings.normalization) {
      raise_value_error("unknown normalization: " + std::string(*normalization));
      return false;
    }
  }
  if (!convert_optional_bool(args[2], settings.tidy_whitespace) || !convert_bool(args[3], settings.return_spans)) {
    return false;
  }
  std::string_view report;
  if (!convert_text(args[4], report)) return false;
  if (report == "dict") {
    settings.report = ReportForm::dict;
  } else if (report == "json") {
    settings.report = ReportForm::json;
  } else if (report == "none") {
    settings.report = ReportForm::none;
  } else if (report == "changed+json") {
    settings.report = ReportForm::changed_and_json;
  } else {
    raise_value_error("unknown report form: " + std::string(report));
    return false;
  }
  return true;
}

// Below this many code points a str is read as its code points (4 bytes
// each), which costs the calling thread a copy: encoding it there, as
// sanitize reads it, cost several times as much on a text beyond ASCII, and
// would leave a UTF-8 copy cached on the caller's str. A longer one is
// encoded here, which keeps a chunk's memory down.
constexpr Py_ssize_t CODE_POINTS_LIMIT = Py_ssize_t{1} << 16;

// Reads one text into the source, a short one as code points into the
// chunk's buffer: false with an exception set when it cannot be read.
bool read_source(TextSource& source, std::vector<Py_UCS4>& code_points) {
  PyObject* const object = source.object.get();
  source.exact = PyUnicode_CheckExact(object);
  if (PyUnicode_Check(object)) {
    const Py_ssize_t length = PyUnicode_GetLength(object);
    if (length < 0) return false;
    if (length < CODE_POINTS_LIMIT) {
      source.form = TextForm::code_points;
      source.place = {code_points.size(), static_cast<std::size_t>(length)};
      code_points.resize(code_points.size() + source.place.size);
      return length == 0 || PyUnicode_AsUCS4(object, code_points.data() + source.place.start, length, 0) != nullptr;
    }
  }
  std::string_view text;
  if (!convert_large_text(object, text, source.holder)) return false;
  source.form = TextForm::utf8;
  source.utf8 = text.data();
  source.place = {0, text.size()};
  return true;
}

// Reads every text of the list into the chunk, with the lock held.
void read_sources(PyObject* list, Chunk& chunk) {
  const Py_ssize_t count = PyList_Size(list);
  chunk.sources.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    TextSource& source = chunk.sources[static_cast<std::size_t>(i)];
    source.object = PyRef{Py_NewRef(PyList_GetItem(list, i))};
    if (!read_source(source, chunk.code_points)) {
      source.form = TextForm::unreadable;
      source.holder = take_exception();
    }
  }
}

// A tuple of the items, stealing their new references; NULL with an
// exception set when one of them is NULL or the tuple cannot be made.
template <class... Items>
PyObject* result_tuple(Items*... items) {
  PyRef owned[] = {PyRef{items}...};
  for (const PyRef& item : owned) {
    if (!item) return nullptr;
  }
  PyObject* tuple = PyTuple_New(sizeof...(Items));
  if (tuple == nullptr) return nullptr;
  for (Py_ssize_t i = 0; i < static_cast<Py_ssize_t>(sizeof...(Items)); ++i) {
    PyTuple_SetItem(tuple, i, owned[i].release());  // steals the reference
  }
  return tuple;
}

// A result tuple that holds only strs and bools can never be part of a
// reference cycle, so the collector is told not to look at it: it would
// only find that out itself, once per result, on the calling thread.
PyObject* untracked(PyObject* tuple) {
  if (tuple != nullptr) PyObject_GC_UnTrack(tuple);
  return tuple;
}

template <class Entry>
std::span<const Entry> entries_of(const std::vector<Entry>& entries, Slice slice) {
  return std::span<const Entry>(entries).subspan(slice.start, slice.size);
}

// The report of text i, kept in the chunk's report vectors.
ReportView kept_report(const Chunk& chunk, std::size_t i) {
  const KeptReport& kept = chunk.kept.reports[i];
  return {kept.report_version,
          kept.policy,
          kept.normalization,
          chunk.results[i].changed,
          entries_of(chunk.kept.counts, kept.removed_counts),
          entries_of(chunk.kept.counts, kept.flagged_counts),
          entries_of(chunk.kept.spans, kept.spans),
          entries_of(chunk.kept.stats, kept.stats),
          kept.literal_stat_names};
}

PyObject* str_of(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// The str of a sanitized text: an unchanged exact str is returned as it
// is, as sanitize does; any other is built from the text's code points or
// its UTF-8.
PyObject* result_str(const Chunk& chunk, const TextSource& source, const TextResult& result) {
  if (!result.changed && source.exact) return Py_NewRef(source.object.get());
  if (result.wide.size != 0) {
    return PyUnicode_FromWideChar(chunk.wide.data() + result.wide.start, static_cast<Py_ssize_t>(result.wide.size));
  }
  return str_of(bytes_of(chunk, result.text));
}

// The result of one text, or the exception object it raised, as a new
// reference; NULL with an exception set when building it failed.
PyObject* text_result(const Chunk& chunk, std::size_t i, const ChunkSettings& settings, ReportShapes& shapes) {
  const TextSource& source = chunk.sources[i];
  const TextResult& result = chunk.results[i];
  switch (result.fate) {
    case TextFate::unreadable:
      return Py_NewRef(source.holder.get());
    case TextFate::unencodable: {
      // Reading the str as UTF-8 raises the error sanitize raises.
      std::string_view ignored;
      if (!convert_text(source.object.get(), ignored)) return take_exception().release();
      PyErr_SetString(PyExc_SystemError, "a str with a surrogate was read as UTF-8");
      return nullptr;
    }
    case TextFate::refused:
      // The exception sanitize raises, made the way it makes it.
      raise_value_error(std::string(bytes_of(chunk, result.text)));
      return take_exception().release();
    case TextFate::sanitized:
      break;
  }
  PyObject* const text = result_str(chunk, source, result);
  switch (settings.report) {
    case ReportForm::dict:
      // A dict may come to hold anything: this tuple stays tracked.
      return result_tuple(text, report_to_dict(kept_report(chunk, i), shapes));
    case ReportForm::json:
      return untracked(result_tuple(text, str_of(bytes_of(chunk, result.json))));
    case ReportForm::none:
      return untracked(result_tuple(text, Py_NewRef(result.changed ? Py_True : Py_False)));
    case ReportForm::changed_and_json:
      return untracked(result_tuple(text, Py_NewRef(result.changed ? Py_True : Py_False),
                                    str_of(bytes_of(chunk, result.json))));
  }
  Py_XDECREF(text);
  PyErr_SetString(PyExc_SystemError, "unknown report form");
  return nullptr;
}

// The results of a chunk whose pipeline has run, in a new list.
PyObject* chunk_results(const Chunk& chunk, const ChunkSettings& settings) {
  PyRef results{PyList_New(static_cast<Py_ssize_t>(chunk.sources.size()))};
  if (!results) return nullptr;
  const HeldReportShapes held = current_report_shapes();
  if (held.shapes == nullptr) return nullptr;
  for (std::size_t i = 0; i < chunk.sources.size(); ++i) {
    PyObject* result = text_result(chunk, i, settings, *held.shapes);
    if (result == nullptr) return nullptr;
    PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), result);  // steals the reference
  }
  return results.release();
}

PyObject* sanitize_chunk(PyObject* list, const ChunkSettings& settings) {
  // One thread does everything here; the short texts' code points are
  // encoded once the lock is released.
  Chunk chunk;
  read_sources(list, chunk);
  {
    ReleasedGil released;
    const std::atomic<bool> never{false};
    std::string scratch;
    sanitize_chunk_texts(chunk, settings, never, scratch);
  }
  return chunk_results(chunk, settings);
}

// A runner and the policy name its settings view, in one capsule.
struct HeldRunner {
  PyRef policy;
  std::unique_ptr<ChunkRunner> runner;
};

constexpr char RUNNER_CAPSULE[] = "orlenta._native.chunk_runner";

void free_runner(PyObject* capsule) {
  delete static_cast<HeldRunner*>(PyCapsule_GetPointer(capsule, RUNNER_CAPSULE));
}

ChunkRunner* runner_in(PyObject* capsule) {
  auto* held = static_cast<HeldRunner*>(PyCapsule_GetPointer(capsule, RUNNER_CAPSULE));
  return held == nullptr ? nullptr : held->runner.get();
}

}  // namespace

PyObject* sanitize_chunk_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 6) {
      PyErr_Format(PyExc_TypeError, "_sanitize_chunk() takes 6 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    if (!PyList_Check(args[0])) {
      raise_type_mismatch(args[0], "list");
      return nullptr;
    }
    ChunkSettings settings;
    if (!read_settings(args + 1, settings)) return nullptr;
    return sanitize_chunk(args[0], settings);
  });
}

PyObject* next_chunk_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 4) {
      PyErr_Format(PyExc_TypeError, "_next_chunk() takes 4 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    if (!PyList_Check(args[3])) {
      raise_type_mismatch(args[3], "list");
      return nullptr;
    }
    const Py_ssize_t max_texts = PyLong_AsSsize_t(args[1]);
    if (max_texts == -1 && PyErr_Occurred()) return nullptr;
    const Py_ssize_t max_chars = PyLong_AsSsize_t(args[2]);
    if (max_chars == -1 && PyErr_Occurred()) return nullptr;
    PyRef chunk{PyList_New(0)};
    if (!chunk) return nullptr;
    Py_ssize_t chars = 0;
    for (Py_ssize_t count = 0; count < max_texts; ++count) {
      PyRef text{PyIter_Next(args[0])};
      if (!text) {
        // The texts read before the input failed still get their results;
        // the caller raises its exception once they are out.
        if (PyErr_Occurred()) {
          PyRef failure = take_exception();
          if (!failure || PyList_Append(args[3], failure.get()) != 0) return nullptr;
        }
        break;
      }
      if (PyList_Append(chunk.get(), text.get()) != 0) return nullptr;
      // Anything but a str counts for nothing here; the chunk call refuses it.
      if (PyUnicode_Check(text.get())) {
        chars += PyUnicode_GetLength(text.get());
        if (chars >= max_chars) break;
      }
    }
    return chunk.release();
  });
}

PyObject* first_refusal_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 1) {
      PyErr_Format(PyExc_TypeError, "_first_refusal() takes 1 positional argument but %zd were given", nargs);
      return nullptr;
    }
    if (!PyList_Check(args[0])) {
      raise_type_mismatch(args[0], "list");
      return nullptr;
    }
    // Every result but a refusal is a tuple, so one comparison of types
    // passes it: a test per result in Python cost the calling thread, which
    // builds every result, more than building some of them.
    const Py_ssize_t count = PyList_Size(args[0]);
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* const result = PyList_GetItem(args[0], i);
      if (!Py_IS_TYPE(result, &PyTuple_Type) && PyExceptionInstance_Check(result)) return PyLong_FromSsize_t(i);
    }
    return PyLong_FromLong(-1);
  });
}

PyObject* chunk_runner_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 6) {
      PyErr_Format(PyExc_TypeError, "_chunk_runner() takes 6 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    ChunkSettings settings;
    if (!read_settings(args, settings)) return nullptr;
    const std::size_t threads = PyLong_AsSize_t(args[5]);
    if (PyErr_Occurred()) return nullptr;
    auto held = std::make_unique<HeldRunner>();
    // The settings view the policy's UTF-8 form, which the capsule keeps.
    held->policy = PyRef{Py_NewRef(args[0])};
    held->runner = std::make_unique<ChunkRunner>(settings, threads);
    PyObject* capsule = PyCapsule_New(held.get(), RUNNER_CAPSULE, free_runner);
    if (capsule != nullptr) held.release();
    return capsule;
  });
}

PyObject* submit_chunk_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 2) {
      PyErr_Format(PyExc_TypeError, "_submit_chunk() takes 2 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    ChunkRunner* runner = runner_in(args[0]);
    if (runner == nullptr) return nullptr;
    if (!PyList_Check(args[1])) {
      raise_type_mismatch(args[1], "list");
      return nullptr;
    }
    // Whichever side has time to spare encodes the texts: the pipeline
    // threads, unless the calling thread had to wait for them last time, in
    // which case it would only wait for them again.
    std::unique_ptr<Chunk> chunk = runner->empty_chunk();
    read_sources(args[1], *chunk);
    if (runner->behind()) encode_sources(*chunk);
    runner->submit(std::move(chunk));
    Py_RETURN_NONE;
  });
}

PyObject* take_chunk_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 1) {
      PyErr_Format(PyExc_TypeError, "_take_chunk() takes 1 positional argument but %zd were given", nargs);
      return nullptr;
    }
    ChunkRunner* runner = runner_in(args[0]);
    if (runner == nullptr) return nullptr;
    std::unique_ptr<Chunk> chunk = runner->take<ReleasedGil>();
    if (!chunk) Py_RETURN_NONE;
    if (chunk->fault) std::rethrow_exception(chunk->fault);
    PyObject* results = chunk_results(*chunk, runner->settings());
    if (results == nullptr) return nullptr;
    runner->recycle(std::move(chunk));
    return results;
  });
}

}  // namespace orlenta
