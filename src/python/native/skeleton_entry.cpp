#include "skeleton_entry.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "classes/confusables.h"
#include "interpreter_states.h"
#include "normkit/utf8.h"
#include "python/binder.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

constexpr std::uint64_t default_max_chars = 1000000;
constexpr std::array<const char*, 2> PARAMETERS = {"text", "max_chars"};

// Keywords are rare here; they are compared by their characters.
std::span<PyObject*> no_interned_names() noexcept { return {}; }

constexpr FunctionSignature SIGNATURE = {"confusable_skeleton", PARAMETERS, 1, no_interned_names};

std::string bound_message(const char* what, std::uint64_t max_chars) {
  return std::string("confusable skeleton ") + what + " exceeds max_chars=" + std::to_string(max_chars);
}

// The skeleton as UTF-8, or nothing when it outgrows `max_chars`. The text
// has at most `max_chars` code points, so every buffer stays within a small
// multiple of it.
bool skeleton_utf8(std::string_view text, std::uint64_t max_chars, std::string& out) {
  std::u32string cps;
  cps.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    cps.push_back(decode_utf8(text.data() + i, length));
    i += length;
  }
  std::u32string skeleton;
  if (!confusable_skeleton(cps, skeleton, max_chars)) return false;
  out.reserve(skeleton.size());
  for (const char32_t cp : skeleton) normkit::utf8::append(out, cp);
  return true;
}

}  // namespace

PyObject* confusable_skeleton_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    std::array<PyObject*, PARAMETERS.size()> bound{};
    if (!bind_arguments(SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    std::string_view text;
    if (!convert_text(bound[0], text)) {
      add_argument_note("text");
      return nullptr;
    }
    std::uint64_t max_chars = default_max_chars;
    if (bound[1] != nullptr && !convert_count(bound[1], max_chars)) {
      add_argument_note("max_chars");
      return nullptr;
    }
    // A str knows its length: an over-long text is refused unread.
    const Py_ssize_t length = PyUnicode_GetLength(bound[0]);
    if (length < 0) return nullptr;
    if (static_cast<std::uint64_t>(length) > max_chars) {
      raise_value_error(bound_message("input", max_chars));
      return nullptr;
    }
    std::string skeleton;
    bool within_bound = false;
    {
      // Only the UTF-8 buffer is read, which the argument keeps alive.
      ReleasedGil released;
      within_bound = skeleton_utf8(text, max_chars, skeleton);
    }
    if (!within_bound) {
      raise_value_error(bound_message("output", max_chars));
      return nullptr;
    }
    return PyUnicode_FromStringAndSize(skeleton.data(), static_cast<Py_ssize_t>(skeleton.size()));
  });
}

}  // namespace orlenta
