#include "batch_entry.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
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
// each), for a pipeline thread to encode; a longer one is encoded here, as
// sanitize reads it, which keeps a chunk's memory down.
constexpr Py_ssize_t CODE_POINTS_LIMIT = Py_ssize_t{1} << 16;

// Reads one text into the element, as code points when `as_code_points`
// allows: false with an exception set when it cannot be read.
bool read_element(Element& element, bool as_code_points) {
  PyObject* const object = element.object.get();
  if (!as_code_points || !PyUnicode_Check(object)) return convert_large_text(object, element.text, element.copy);
  const Py_ssize_t length = PyUnicode_GetLength(object);
  if (length < 0) return false;
  if (length >= CODE_POINTS_LIMIT) return convert_large_text(object, element.text, element.copy);
  element.code_points.reset(new Py_UCS4[static_cast<std::size_t>(length)]);
  element.code_point_count = static_cast<std::size_t>(length);
  return length == 0 || PyUnicode_AsUCS4(object, element.code_points.get(), length, 0) != nullptr;
}

// Reads every text of the list, with the lock held; short ones as code
// points when `as_code_points`, for the pipeline threads to encode.
std::vector<Element> read_elements(PyObject* list, bool as_code_points) {
  const Py_ssize_t count = PyList_Size(list);
  std::vector<Element> elements(static_cast<std::size_t>(count < 0 ? 0 : count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    Element& element = elements[static_cast<std::size_t>(i)];
    element.object = PyRef{Py_NewRef(PyList_GetItem(list, i))};
    if (!read_element(element, as_code_points)) {
      element.code_points.reset();
      element.conversion_error = take_exception();
    }
  }
  return elements;
}

// The result of one element, or the exception object it raised, as a new
// reference; NULL with an exception set when building it failed.
PyObject* element_result(Element& element, const ChunkSettings& settings, ReportShapes& shapes) {
  if (element.conversion_error) return Py_NewRef(element.conversion_error.get());
  if (element.unencodable) {
    // Reading the str as UTF-8 raises the error sanitize raises.
    if (!convert_text(element.object.get(), element.text)) return take_exception().release();
    PyErr_SetString(PyExc_SystemError, "a str with a surrogate was read as UTF-8");
    return nullptr;
  }
  if (const Error* error = std::get_if<Error>(&*element.outcome)) {
    // The exception sanitize raises, made the way it makes it.
    raise_value_error(error->message);
    return take_exception().release();
  }
  const SanitizeResult& result = std::get<SanitizeResult>(*element.outcome);
  element.copy = PyRef{};
  // An unchanged exact str is returned as it is, as sanitize does.
  PyRef text{!result.report.changed && PyUnicode_CheckExact(element.object.get())
                 ? Py_NewRef(element.object.get())
                 : PyUnicode_FromStringAndSize(result.text.data(), static_cast<Py_ssize_t>(result.text.size()))};
  if (!text) return nullptr;
  PyRef report;
  switch (settings.report) {
    case ReportForm::dict:
      report = PyRef{report_to_dict(result.report, shapes)};
      break;
    case ReportForm::json:
      report = PyRef{PyUnicode_FromStringAndSize(element.report_json.data(),
                                                 static_cast<Py_ssize_t>(element.report_json.size()))};
      break;
    case ReportForm::none:
      report = PyRef{Py_NewRef(result.report.changed ? Py_True : Py_False)};
      break;
    case ReportForm::changed_and_json: {
      PyRef json{PyUnicode_FromStringAndSize(element.report_json.data(),
                                             static_cast<Py_ssize_t>(element.report_json.size()))};
      if (!json) return nullptr;
      return PyTuple_Pack(3, text.get(), result.report.changed ? Py_True : Py_False, json.get());
    }
  }
  if (!report) return nullptr;
  return PyTuple_Pack(2, text.get(), report.get());
}

// The results of a chunk whose pipeline has run, in a new list.
PyObject* chunk_results(std::vector<Element>& elements, const ChunkSettings& settings) {
  PyRef results{PyList_New(static_cast<Py_ssize_t>(elements.size()))};
  if (!results) return nullptr;
  const HeldReportShapes held = current_report_shapes();
  if (held.shapes == nullptr) return nullptr;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    PyObject* result = element_result(elements[i], settings, *held.shapes);
    if (result == nullptr) return nullptr;
    PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), result);  // steals the reference
  }
  return results.release();
}

PyObject* sanitize_chunk(PyObject* list, const ChunkSettings& settings) {
  // One thread does everything here: encoding where the pipeline runs costs
  // nothing extra, and code points would only take more memory.
  std::vector<Element> elements = read_elements(list, false);
  {
    ReleasedGil released;
    const std::atomic<bool> never{false};
    sanitize_elements(elements, settings, never);
  }
  return chunk_results(elements, settings);
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
    runner->submit(read_elements(args[1], !runner->behind()));
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
    PyObject* results = chunk_results(chunk->elements, runner->settings());
    if (results == nullptr) return nullptr;
    for (Element& element : chunk->elements) {
      element.object = PyRef{};
      element.copy = PyRef{};
      element.conversion_error = PyRef{};
    }
    runner->recycle(std::move(chunk));
    return results;
  });
}

}  // namespace orlenta
