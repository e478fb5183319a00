#include "pipeline/code_point_queries.h"

#include "classes/code_point_classes.h"
#include "normkit/normalize.h"
#include "text/utf8.h"

namespace orlenta {

std::optional<std::string_view> encoded_codepoint_risk(char32_t cp, const ResolvedPolicy& policy) {
  if (policy.remove_bidi && is_bidi_control(cp)) return "bidi_control";
  if (is_bidi_mark(cp)) {
    if (policy.remove_bidi_marks) return "bidi_mark";
    return std::nullopt;
  }
  if (policy.remove_other_controls && is_line_separator(cp)) return "line_separator";
  if (policy.remove_tag_chars && is_tag_character(cp)) return "tag_char";
  if (policy.remove_junk_invisibles && is_junk_invisible(cp)) return "junk_invisible";
  if (policy.remove_default_ignorables && is_default_ignorable(cp)) return "default_ignorable";
  if (policy.remove_other_controls && is_control_or_format(cp)) return "control_or_format";
  return std::nullopt;
}

bool is_identifier_decoration(char32_t cp) { return is_combining_mark(cp) || is_default_ignorable(cp); }

Outcome<std::optional<std::string>> normalize_for_skeleton(std::string_view text, std::uint64_t max_chars) {
  // Counting first makes an over-long input cost one pass over its bytes.
  if (count_code_points(text) > max_chars) {
    return Error{"confusable skeleton input exceeds max_chars=" + std::to_string(max_chars)};
  }
  // A normalized text cannot exceed the bound its input already met.
  if (normkit::is_normalized(text, normkit::Form::nfkc)) return std::nullopt;
  normkit::ComposeStream stream(text, normkit::Form::nfkc);
  std::string skeleton;
  skeleton.reserve(text.size());
  stream.pull_utf8(skeleton, max_chars);
  char32_t one_more = 0;
  if (stream.next(one_more)) {
    return Error{"confusable skeleton output exceeds max_chars=" + std::to_string(max_chars)};
  }
  return std::optional<std::string>(std::move(skeleton));
}

}  // namespace orlenta
