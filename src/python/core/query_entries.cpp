#include "query_entries.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "interpreter_states.h"
#include "pipeline/code_point_queries.h"
#include "policy/policy.h"
#include "python/binder.h"
#include "python/cached_object.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

constexpr std::uint64_t default_skeleton_max_chars = 1000000;

constexpr FunctionSignature SKELETON_SIGNATURE = {"normalize_for_skeleton", SKELETON_PARAMETERS, 1,
                                                   current_state_cells<&ModuleState::skeleton_keywords>};
constexpr FunctionSignature DECORATION_SIGNATURE = {"is_identifier_decoration", DECORATION_PARAMETERS, 1,
                                                     current_state_cells<&ModuleState::decoration_keywords>};
constexpr FunctionSignature RISK_SIGNATURE = {"encoded_codepoint_risk", RISK_PARAMETERS, 2,
                                               current_state_cells<&ModuleState::risk_keywords>};

PyObject* new_str(std::string_view utf8) {
  return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

// The reason as a str. The module state keeps one of each after its first
// use, so that a query returns a new reference instead of building the same
// small string every call. `state` is the current module state, or nullptr.
PyObject* reason_object(ModuleState* state, std::string_view reason) {
  const auto* found = std::find(RISK_REASONS.begin(), RISK_REASONS.end(), reason);
  if (found == RISK_REASONS.end()) return new_str(reason);
  const auto index = static_cast<std::size_t>(found - RISK_REASONS.begin());
  if (state != nullptr && state->risk_reasons[index] != nullptr) return Py_NewRef(state->risk_reasons[index]);
  const auto find_cell = [index]() noexcept -> PyObject** {
    ModuleState* current = current_module_state();
    return current == nullptr ? nullptr : &current->risk_reasons[index];
  };
  return cached_object(find_cell, [reason] { return new_str(reason); }).release();
}

// Counting and normalizing touch no Python object; the text's UTF-8 buffer
// stays alive through the caller's reference.
Outcome<std::optional<std::string>> skeleton_without_lock(std::string_view text, std::uint64_t max_chars) {
  ReleasedGil released;
  return normalize_for_skeleton(text, max_chars);
}

// The policy named by `name_object` (whose UTF-8 form is `name`), or nullptr
// when there is none. The module state, `state` when there is one, keeps the
// policy of the previous call with the name object it came from, and one a
// call resolves replaces it; without a state, `uncached` holds the policy.
// `displaced` receives the name object the state held before: the caller
// releases it only after its last use of the policy, since releasing it can
// run Python code (a str subclass's __del__) that may free the state the
// result points into.
const ResolvedPolicy* resolve_cached(ModuleState* state, PyObject* name_object, std::string_view name,
                                     std::optional<ResolvedPolicy>& uncached, PyRef& displaced) {
  if (state != nullptr && state->policy_name == name_object) return &state->policy;
  uncached = get_policy(name);
  if (!uncached) return nullptr;
  if (state == nullptr) return &*uncached;
  state->policy = std::move(*uncached);
  displaced = PyRef{std::exchange(state->policy_name, Py_NewRef(name_object))};
  return &state->policy;
}

}  // namespace

PyObject* normalize_for_skeleton_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    std::array<PyObject*, SKELETON_PARAMETERS.size()> bound{};
    if (!bind_arguments(SKELETON_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    std::string_view text;
    if (!convert_text(bound[0], text)) {
      add_argument_note("text");
      return nullptr;
    }
    std::uint64_t max_chars = default_skeleton_max_chars;
    if (bound[1] != nullptr && !convert_count(bound[1], max_chars)) {
      add_argument_note("max_chars");
      return nullptr;
    }
    // A str knows its length, so an over-long text is refused without being
    // read, and an ASCII text (one byte per code point) is its own skeleton.
    const Py_ssize_t length = PyUnicode_GetLength(bound[0]);
    if (length < 0) return nullptr;
    if (static_cast<std::uint64_t>(length) > max_chars) {
      raise_value_error("confusable skeleton input exceeds max_chars=" + std::to_string(max_chars));
      return nullptr;
    }
    const bool exact_str = PyUnicode_CheckExact(bound[0]);
    if (exact_str && static_cast<std::size_t>(length) == text.size()) return Py_NewRef(bound[0]);

    const Outcome<std::optional<std::string>> outcome = skeleton_without_lock(text, max_chars);
    if (const Error* error = std::get_if<Error>(&outcome)) {
      raise_value_error(error->message);
      return nullptr;
    }
    const std::optional<std::string>& skeleton = std::get<std::optional<std::string>>(outcome);
    if (!skeleton) return exact_str ? Py_NewRef(bound[0]) : new_str(text);
    return new_str(*skeleton);
  });
}

PyObject* is_identifier_decoration_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    std::array<PyObject*, DECORATION_PARAMETERS.size()> bound{};
    if (!bind_arguments(DECORATION_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    char32_t ch = 0;
    if (!convert_single_character(bound[0], ch)) {
      add_argument_note("ch");
      return nullptr;
    }
    return PyBool_FromLong(is_identifier_decoration(ch));
  });
}

PyObject* encoded_codepoint_risk_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    std::array<PyObject*, RISK_PARAMETERS.size()> bound{};
    if (!bind_arguments(RISK_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    char32_t ch = 0;
    if (!convert_single_character(bound[0], ch)) {
      add_argument_note("ch");
      return nullptr;
    }
    std::string_view policy_name;
    if (!convert_text(bound[1], policy_name)) {
      add_argument_note("policy");
      return nullptr;
    }
    // One look-up serves the policy and the reason: nothing in between runs
    // Python code or a collection that could free the module.
    ModuleState* state = current_module_state();
    std::optional<ResolvedPolicy> uncached;
    PyRef displaced;  // released as the call returns, after the policy's last use
    const ResolvedPolicy* policy = resolve_cached(state, bound[1], policy_name, uncached, displaced);
    if (policy == nullptr) {
      raise_value_error("unknown policy: " + std::string(policy_name));
      return nullptr;
    }
    const std::optional<std::string_view> reason = encoded_codepoint_risk(ch, *policy);
    if (!reason) Py_RETURN_NONE;
    return reason_object(state, *reason);
  });
}

}  // namespace orlenta
