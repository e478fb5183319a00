// A parsed JSON document in the shape the registry reader needs. Unlike a
// general-purpose DOM it keeps object members in document order with
// repeated keys intact (a repeated field is an error for records but not for
// maps), and it remembers where in the input each value was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/outcome.h"

namespace orlenta {

enum class JsonKind : std::uint8_t {
  null,
  boolean,
  unsigned_integer,  // an integer literal that fits std::uint64_t
  signed_integer,    // a literal with a minus sign that fits std::int64_t
  floating_point,    // any other number, integer literals out of range included
  string,
  array,
  object,
};

struct JsonMember;

struct JsonValue {
  JsonKind kind = JsonKind::null;
  // Input bytes consumed when the value was recognised: just past a scalar,
  // just past the opening bracket of an array or object.
  std::size_t offset = 0;
  bool boolean = false;
  std::uint64_t unsigned_integer = 0;
  std::int64_t signed_integer = 0;
  double floating_point = 0.0;
  // A string's value, or the literal of a floating_point number.
  std::string text;
  std::vector<JsonValue> elements;
  std::vector<JsonMember> members;
};

struct JsonMember {
  std::string key;
  std::size_t key_offset = 0;  // just past the key's closing quote
  JsonValue value;
};

// Deeper nesting is refused, so that neither the tree nor the recursive
// walks over it can exhaust the stack.
inline constexpr std::size_t json_max_depth = 128;

// Parses exactly one JSON value; only whitespace may follow it.
Outcome<JsonValue> parse_json_tree(std::string_view text);

// " at line L column C", C being the column of the last byte before
// `offset` (both counted from 1).
std::string describe_position(std::string_view text, std::size_t offset);

}  // namespace orlenta
