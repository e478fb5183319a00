#include "lib/query_entries.h"

#include <array>
#include <string>
#include <string_view>
#include <variant>

#include "lib/binder.h"
#include "lib/code_point_queries.h"
#include "lib/convert.h"
#include "lib/errors.h"
#include "lib/gil.h"
#include "lib/panic.h"
#include "policy/policy.h"

namespace orlenta {
namespace {

constexpr std::uint64_t default_skeleton_max_chars = 1000000;

constexpr std::array<const char*, 2> SKELETON_PARAMETERS = {"text", "max_chars"};
constexpr FunctionSignature SKELETON_SIGNATURE = {"normalize_for_skeleton", SKELETON_PARAMETERS, 1};

constexpr std::array<const char*, 1> DECORATION_PARAMETERS = {"ch"};
constexpr FunctionSignature DECORATION_SIGNATURE = {"is_identifier_decoration", DECORATION_PARAMETERS, 1};

constexpr std::array<const char*, 2> RISK_PARAMETERS = {"ch", "policy"};
constexpr FunctionSignature RISK_SIGNATURE = {"encoded_codepoint_risk", RISK_PARAMETERS, 2};

PyObject* new_str(std::string_view utf8) {
  return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

// Counting and normalizing touch no Python object; the text's UTF-8 buffer
// stays alive through the caller's reference.
Outcome<std::string> skeleton_without_lock(std::string_view text, std::uint64_t max_chars) {
  ReleasedGil released;
  return normalize_for_skeleton(text, max_chars);
}

}  // namespace

PyObject* normalize_for_skeleton_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
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
    const Outcome<std::string> outcome = skeleton_without_lock(text, max_chars);
    if (const Error* error = std::get_if<Error>(&outcome)) {
      raise_value_error(error->message);
      return nullptr;
    }
    return new_str(std::get<std::string>(outcome));
  });
}

PyObject* is_identifier_decoration_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
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
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
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
    const std::optional<ResolvedPolicy> policy = get_policy(policy_name);
    if (!policy) {
      raise_value_error("unknown policy: " + std::string(policy_name));
      return nullptr;
    }
    const std::optional<std::string_view> reason = encoded_codepoint_risk(ch, *policy);
    if (!reason) Py_RETURN_NONE;
    return new_str(*reason);
  });
}

}  // namespace orlenta
