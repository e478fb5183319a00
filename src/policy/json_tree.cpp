#include "policy/json_tree.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <nlohmann/json.hpp>

namespace orlenta {
namespace {

using Json = nlohmann::json;

// Feeds the parser one byte at a time and records how far it has read. The
// parser reports no positions to its SAX handler, so the handler takes them
// from here.
struct TrackingIterator {
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  const char* current = nullptr;
  const char** furthest = nullptr;

  reference operator*() const { return *current; }
  TrackingIterator& operator++() {
    *furthest = ++current;
    return *this;
  }
  bool operator==(const TrackingIterator& other) const { return current == other.current; }
};

bool is_number_byte(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// SAX handler that builds the JsonValue tree.
struct TreeBuilder {
  std::string_view text;
  const char* const* furthest;
  JsonValue root;
  std::vector<JsonValue*> open_containers;  // innermost last
  std::string error;

  std::size_t consumed() const { return static_cast<std::size_t>(*furthest - text.data()); }

  // The parser reads one byte past a number before it can tell where the
  // number ends; that byte belongs to what follows.
  std::size_t number_end() const {
    const std::size_t end = consumed();
    return end > 0 && !is_number_byte(text[end - 1]) ? end - 1 : end;
  }

  // The slot for the next value: the root, the next array element, or the
  // value of the member whose key was just read. Only the innermost open
  // container grows, so the pointers to open containers stay valid.
  JsonValue& place(JsonKind kind, std::size_t offset) {
    JsonValue* slot = &root;
    if (!open_containers.empty()) {
      JsonValue& parent = *open_containers.back();
      slot = parent.kind == JsonKind::array ? &parent.elements.emplace_back() : &parent.members.back().value;
    }
    slot->kind = kind;
    slot->offset = offset;
    return *slot;
  }

  bool open(JsonKind kind) {
    if (open_containers.size() == json_max_depth) {
      error = "nesting deeper than " + std::to_string(json_max_depth) + " levels" + describe_position(text, consumed());
      return false;
    }
    open_containers.push_back(&place(kind, consumed()));
    return true;
  }

  bool close() {
    open_containers.pop_back();
    return true;
  }

  bool null() {
    place(JsonKind::null, consumed());
    return true;
  }
  bool boolean(bool value) {
    place(JsonKind::boolean, consumed()).boolean = value;
    return true;
  }
  bool number_integer(Json::number_integer_t value) {
    place(JsonKind::signed_integer, number_end()).signed_integer = value;
    return true;
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    place(JsonKind::unsigned_integer, number_end()).unsigned_integer = value;
    return true;
  }
  bool number_float(Json::number_float_t value, const Json::string_t& literal) {
    JsonValue& slot = place(JsonKind::floating_point, number_end());
    slot.floating_point = value;
    slot.text = literal;
    return true;
  }
  bool string(Json::string_t& value) {
    place(JsonKind::string, consumed()).text = std::move(value);
    return true;
  }
  // Binary values exist only in the binary formats, never in JSON text.
  bool binary(Json::binary_t&) { return false; }
  bool start_object(std::size_t) { return open(JsonKind::object); }
  bool key(Json::string_t& key) {
    open_containers.back()->members.push_back(JsonMember{std::move(key), consumed(), {}});
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(JsonKind::array); }
  bool end_array() { return close(); }

  bool parse_error(std::size_t position, const std::string&, const Json::exception& failure) {
    // Drop the library's "[json.exception.parse_error.101] " tag. A syntax
    // error names its line and column already; the others (a number too
    // large for a double) are given theirs here.
    std::string_view message = failure.what();
    if (const std::size_t tag_end = message.find("] "); message.starts_with("[json.") && tag_end != message.npos) {
      message.remove_prefix(tag_end + 2);
    }
    error = message;
    if (dynamic_cast<const Json::parse_error*>(&failure) == nullptr) error += describe_position(text, position);
    return false;
  }
};

}  // namespace

Outcome<JsonValue> parse_json_tree(std::string_view text) {
  const char* furthest = text.data();
  TreeBuilder builder{text, &furthest, {}, {}, {}};
  const TrackingIterator first{text.data(), &furthest};
  const TrackingIterator last{text.data() + text.size(), &furthest};
  if (!Json::sax_parse(first, last, &builder)) {
    return Error{std::move(builder.error)};
  }
  return std::move(builder.root);
}

std::string describe_position(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, offset);
  const std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t line_start = before.rfind('\n') + 1;  // npos + 1 == 0 on the first line
  return " at line " + std::to_string(line) + " column " + std::to_string(offset - line_start);
}

}  // namespace orlenta
