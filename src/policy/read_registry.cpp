// Reads a registry document into records. Every record accepts the same two
// shapes: an object whose keys name the fields (unknown keys are skipped
// with their whole value) or an array holding the fields in declaration
// order. Each field's C++ type selects the rules its value must meet.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <variant>

#include "policy/json_tree.h"
#include "policy/policy.h"

namespace orlenta {
namespace {

// Thrown from inside the nested readers, caught once at the top and turned
// into the reader's Error with a line and column.
struct ReadFailure {
  std::size_t offset;
  std::string message;
};

enum class Presence : std::uint8_t { required, defaulted };

// One field of a record: its key, whether a document may leave it out (the
// member then keeps its default), and the member it is read into.
template <class Record, class... MemberTypes>
struct Field {
  std::string_view name;
  Presence presence;
  std::variant<MemberTypes Record::*...> member;
};

constexpr std::array<Field<SignalSpec, std::uint64_t, double>, 6> signal_spec_fields{{
    {"entropy_prefix_chars", Presence::required, &SignalSpec::entropy_prefix_chars},
    {"entropy_prefix_threshold", Presence::required, &SignalSpec::entropy_prefix_threshold},
    {"entropy_prefix_min_chars", Presence::required, &SignalSpec::entropy_prefix_min_chars},
    {"base64_min_chars", Presence::required, &SignalSpec::base64_min_chars},
    {"combining_ratio_threshold", Presence::required, &SignalSpec::combining_ratio_threshold},
    {"combining_min_chars", Presence::required, &SignalSpec::combining_min_chars},
}};

constexpr std::array<Field<PolicySpec, std::string, bool>, 13> policy_spec_fields{{
    {"normalization", Presence::required, &PolicySpec::normalization},
    {"remove_bidi", Presence::required, &PolicySpec::remove_bidi},
    {"remove_bidi_marks", Presence::defaulted, &PolicySpec::remove_bidi_marks},
    {"flag_bidi_marks", Presence::defaulted, &PolicySpec::flag_bidi_marks},
    {"remove_tag_chars", Presence::defaulted, &PolicySpec::remove_tag_chars},
    {"cap_variation_selectors", Presence::defaulted, &PolicySpec::cap_variation_selectors},
    {"remove_junk_invisibles", Presence::required, &PolicySpec::remove_junk_invisibles},
    {"remove_other_controls", Presence::required, &PolicySpec::remove_other_controls},
    {"remove_default_ignorables", Presence::required, &PolicySpec::remove_default_ignorables},
    {"tidy_whitespace", Presence::required, &PolicySpec::tidy_whitespace},
    {"flag_default_ignorables", Presence::required, &PolicySpec::flag_default_ignorables},
    {"flag_base64ish", Presence::required, &PolicySpec::flag_base64ish},
    {"flag_combining_abuse", Presence::required, &PolicySpec::flag_combining_abuse},
}};

constexpr std::array<Field<PolicyRegistry, SignalSpec, StringMap<std::string>, StringMap<PolicySpec>>, 3>
    policy_registry_fields{{
        {"signals", Presence::required, &PolicyRegistry::signals},
        {"aliases", Presence::required, &PolicyRegistry::aliases},
        {"presets", Presence::required, &PolicyRegistry::presets},
    }};

// A literal without fraction or exponent. The parser hands such a literal
// over as floating point only when it is outside the integer ranges.
bool is_integer_literal(std::string_view literal) { return literal.find_first_of(".eE") == literal.npos; }

std::string describe(const JsonValue& value) {
  switch (value.kind) {
    case JsonKind::null:
      return "null";
    case JsonKind::boolean:
      return value.boolean ? "boolean `true`" : "boolean `false`";
    case JsonKind::unsigned_integer:
      return "integer `" + std::to_string(value.unsigned_integer) + "`";
    case JsonKind::signed_integer:
      return "integer `" + std::to_string(value.signed_integer) + "`";
    case JsonKind::floating_point:
      return (is_integer_literal(value.text) ? "integer `" : "floating-point number `") + value.text + "`";
    case JsonKind::string:
      return "string \"" + value.text + "\"";
    case JsonKind::array:
      return "array";
    case JsonKind::object:
      break;
  }
  return "object";
}

[[noreturn]] void fail(std::size_t offset, std::string message) { throw ReadFailure{offset, std::move(message)}; }

[[noreturn]] void fail_type(const JsonValue& value, std::string_view expected) {
  fail(value.offset, "invalid type: " + describe(value) + ", expected " + std::string(expected));
}

void read_into(const JsonValue& value, bool& out) {
  if (value.kind != JsonKind::boolean) fail_type(value, "a boolean");
  out = value.boolean;
}

void read_into(const JsonValue& value, std::string& out) {
  if (value.kind != JsonKind::string) fail_type(value, "a string");
  out = value.text;
}

// The count fields: a JSON integer from 0 to 2^64 - 1.
void read_into(const JsonValue& value, std::uint64_t& out) {
  constexpr std::string_view expected = "an integer from 0 to 2^64-1";
  if (value.kind == JsonKind::unsigned_integer) {
    out = value.unsigned_integer;
    return;
  }
  if (value.kind == JsonKind::signed_integer && value.signed_integer == 0) {  // "-0"
    out = 0;
    return;
  }
  const bool integer = value.kind == JsonKind::signed_integer ||
                       (value.kind == JsonKind::floating_point && is_integer_literal(value.text));
  if (integer) fail(value.offset, "invalid value: " + describe(value) + ", expected " + std::string(expected));
  fail_type(value, expected);
}

// The threshold fields: any JSON number.
void read_into(const JsonValue& value, double& out) {
  switch (value.kind) {
    case JsonKind::unsigned_integer:
      out = static_cast<double>(value.unsigned_integer);
      return;
    case JsonKind::signed_integer:
      out = static_cast<double>(value.signed_integer);
      return;
    case JsonKind::floating_point:
      out = value.floating_point;
      return;
    default:
      fail_type(value, "a number");
  }
}

// Declared ahead of read_record, which reaches them through nested records.
void read_into(const JsonValue& value, SignalSpec& out);
void read_into(const JsonValue& value, PolicySpec& out);

template <class Value>
void read_into(const JsonValue& value, StringMap<Value>& out) {
  if (value.kind != JsonKind::object) fail_type(value, "a map");
  for (const JsonMember& member : value.members) {
    Value entry{};
    read_into(member.value, entry);
    out.insert_or_assign(member.key, std::move(entry));  // a repeated key: the later entry wins
  }
}

template <class Record, class FieldList>
void read_record(const JsonValue& value, std::string_view record_name, const FieldList& fields, Record& out) {
  const auto read_field = [&](std::size_t index, const JsonValue& field_value) {
    std::visit([&](auto member) { read_into(field_value, out.*member); }, fields[index].member);
  };

  if (value.kind == JsonKind::object) {
    std::array<bool, std::tuple_size_v<FieldList>> seen{};
    for (const JsonMember& member : value.members) {
      const auto field = std::ranges::find(fields, std::string_view(member.key), &FieldList::value_type::name);
      if (field == fields.end()) continue;  // not a field: skipped, whatever its value
      const auto index = static_cast<std::size_t>(field - fields.begin());
      if (seen[index]) fail(member.key_offset, "duplicate field `" + member.key + "`");
      seen[index] = true;
      read_field(index, member.value);
    }
    for (std::size_t index = 0; index < fields.size(); ++index) {
      if (!seen[index] && fields[index].presence == Presence::required) {
        fail(value.offset, "missing field `" + std::string(fields[index].name) + "`");
      }
    }
    return;
  }

  if (value.kind == JsonKind::array) {
    // Elements may be left off only at the end, and only where every field
    // left off has a default.
    const std::size_t count = value.elements.size();
    const auto defaulted = [](const auto& field) { return field.presence == Presence::defaulted; };
    if (count > fields.size() || !std::all_of(fields.begin() + count, fields.end(), defaulted)) {
      fail(value.offset, "invalid length " + std::to_string(count) + ", expected " + std::string(record_name) +
                             " with " + std::to_string(fields.size()) + " elements");
    }
    for (std::size_t index = 0; index < count; ++index) read_field(index, value.elements[index]);
    return;
  }

  fail_type(value, record_name);
}

void read_into(const JsonValue& value, SignalSpec& out) {
  read_record(value, "struct SignalSpec", signal_spec_fields, out);
}

void read_into(const JsonValue& value, PolicySpec& out) {
  read_record(value, "struct PolicySpec", policy_spec_fields, out);
}

void read_into(const JsonValue& value, PolicyRegistry& out) {
  read_record(value, "struct PolicyRegistry", policy_registry_fields, out);
}

}  // namespace

Outcome<PolicyRegistry> read_registry(std::string_view json_text) {
  Outcome<JsonValue> document = parse_json_tree(json_text);
  if (Error* error = std::get_if<Error>(&document)) return std::move(*error);
  PolicyRegistry registry;
  try {
    read_into(std::get<JsonValue>(document), registry);
  } catch (const ReadFailure& failure) {
    return Error{failure.message + describe_position(json_text, failure.offset)};
  }
  return registry;
}

}  // namespace orlenta
