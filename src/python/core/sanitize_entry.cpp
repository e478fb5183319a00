#include "sanitize_entry.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "interpreter_states.h"
#include "pipeline/pipeline.h"
#include "python/binder.h"
#include "python/cached_object.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"
#include "python/str_source.h"
#include "report/report.h"

namespace orlenta {
namespace {

constexpr FunctionSignature SANITIZE_SIGNATURE = {"sanitize", SANITIZE_PARAMETERS, 1,
                                                  current_state_cells<&ModuleState::sanitize_keywords>};

using BoundArguments = std::array<PyObject*, SANITIZE_PARAMETERS.size()>;

struct SanitizeArguments {
  // The text argument itself (borrowed), its UTF-8 form, and the encoded
  // copy that form is read from when the string does not hold one itself.
  PyObject* text_object = nullptr;
  // An unchanged exact str is returned as it is; anything else is built.
  bool text_is_exact_str = false;
  std::string_view text;
  PyRef text_copy;
  std::string_view policy = "balanced_chat";
  std::optional<std::string_view> normalization;
  std::optional<bool> tidy_whitespace;
  bool return_spans = false;
};

// What the pipeline hands back to the interpreter side: the report, and its
// JSON text when json.loads is to read it, written without the lock.
struct SanitizeOutput {
  StrSource text;
  SanitizeReport report;
  std::string report_json;
};

// json.loads, imported at the first call in each interpreter. If the import
// fails, nothing is kept and a later call tries again.
PyRef json_loads() {
  return cached_object(current_state_cell<&ModuleState::json_loads>, []() -> PyObject* {
    PyRef module_name{PyUnicode_FromString("json")};
    if (!module_name) return nullptr;
    PyRef json_module{PyImport_Import(module_name.get())};
    if (!json_module) return nullptr;
    return PyObject_GetAttrString(json_module.get(), "loads");
  });
}

bool convert_arguments(const BoundArguments& bound, SanitizeArguments& arguments) {
  const auto fail = [](const char* parameter) {
    add_argument_note(parameter);
    return false;
  };
  arguments.text_object = bound[0];
  arguments.text_is_exact_str = PyUnicode_CheckExact(bound[0]);
  if (!convert_large_text(bound[0], arguments.text, arguments.text_copy)) return fail("text");
  if (bound[1] != nullptr && !convert_text(bound[1], arguments.policy)) return fail("policy");
  if (bound[2] != nullptr && !convert_optional_text(bound[2], arguments.normalization)) {
    return fail("normalization");
  }
  if (bound[3] != nullptr && !convert_optional_bool(bound[3], arguments.tidy_whitespace)) {
    return fail("tidy_whitespace");
  }
  if (bound[4] != nullptr && !convert_bool(bound[4], arguments.return_spans)) return fail("return_spans");
  return true;
}

// The whole pipeline, report serialization included, runs without the lock:
// it reads only the UTF-8 buffers of the argument strings, which the caller
// keeps alive for the duration of the call.
Outcome<SanitizeOutput> run_without_lock(const SanitizeArguments& arguments,
                                         std::optional<NormalizationForm> normalization, bool write_json) {
  ReleasedGil released;
  Outcome<SanitizeResult> outcome = sanitize_inner_with_overrides(
      arguments.text, arguments.policy, normalization, arguments.tidy_whitespace, arguments.return_spans);
  if (Error* error = std::get_if<Error>(&outcome)) return std::move(*error);
  SanitizeResult& result = std::get<SanitizeResult>(outcome);
  SanitizeOutput output{.text = {}, .report = {}, .report_json = {}};
  if (result.report.changed || !arguments.text_is_exact_str) {
    output.text = prepare_str_source(std::move(result.text));
  }
  if (write_json) {
    // Only the text goes on from here, and whether it changed.
    output.report_json = report_to_json(result.report);
    output.report.changed = result.report.changed;
  } else {
    output.report = std::move(result.report);
  }
  return output;
}

// The sanitized text as a str. An unchanged text is the argument itself
// when that is an exact str: it is immutable, so no copy is needed.
PyObject* output_text(const SanitizeArguments& arguments, const SanitizeOutput& output) {
  if (!output.report.changed && arguments.text_is_exact_str) {
    Py_INCREF(arguments.text_object);
    return arguments.text_object;
  }
  return str_from_source(output.text);
}

// json.loads of the report's JSON text, which must give a dict.
PyObject* load_report(const SanitizeOutput& output) {
  PyRef loads = json_loads();
  if (!loads) return nullptr;
  PyRef report_text{PyUnicode_FromStringAndSize(output.report_json.data(),
                                                static_cast<Py_ssize_t>(output.report_json.size()))};
  if (!report_text) return nullptr;
  PyRef report{PyObject_CallFunctionObjArgs(loads.get(), report_text.get(), nullptr)};
  if (!report) return nullptr;
  if (!PyDict_Check(report.get())) {
    raise_type_mismatch(report.get(), "dict");
    return nullptr;
  }
  return report.release();
}

// `make_report` is null for the report read back by json.loads.
PyObject* sanitize(SanitizeArguments& arguments, ReportDictMaker make_report) {
  std::optional<NormalizationForm> normalization;
  if (arguments.normalization) {
    normalization = parse_normalization(*arguments.normalization);
    if (!normalization) {
      raise_value_error("unknown normalization: " + std::string(*arguments.normalization));
      return nullptr;
    }
  }

  Outcome<SanitizeOutput> outcome = run_without_lock(arguments, normalization, make_report == nullptr);
  if (const Error* error = std::get_if<Error>(&outcome)) {
    raise_value_error(error->message);
    return nullptr;
  }
  const SanitizeOutput& output = std::get<SanitizeOutput>(outcome);
  // The input has been read: its encoded copy goes before the result's str
  // is built, which keeps the call's peak memory down on long texts.
  arguments.text_copy = PyRef{};

  PyRef report{make_report == nullptr ? load_report(output) : make_report(output.report)};
  if (!report) return nullptr;
  PyRef text{output_text(arguments, output)};
  if (!text) return nullptr;
  return PyTuple_Pack(2, text.get(), report.get());
}

}  // namespace

std::optional<NormalizationForm> parse_normalization(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "NFC") return NormalizationForm::nfc;
  if (upper == "NFKC") return NormalizationForm::nfkc;
  return std::nullopt;
}

PyObject* sanitize_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return sanitize_entry_with(args, nargs, kwnames, nullptr);
}

PyObject* sanitize_entry_with(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              ReportDictMaker make_report) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    BoundArguments bound{};
    if (!bind_arguments(SANITIZE_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    SanitizeArguments arguments;
    if (!convert_arguments(bound, arguments)) return nullptr;
    return sanitize(arguments, make_report);
  });
}

}  // namespace orlenta
