// The single-character and skeleton queries beside sanitize: plain C++, no
// Python objects.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/outcome.h"
#include "policy/policy.h"

namespace orlenta {

// The reason under which `policy` would remove `cp` on its own, without
// neighbours; nullopt when it would keep it.
std::optional<std::string_view> encoded_codepoint_risk(char32_t cp, const ResolvedPolicy& policy);

// A combining mark or a default-ignorable code point.
bool is_identifier_decoration(char32_t cp);

// The NFKC form of `text`, refused when the text or its NFKC form holds more
// than `max_chars` code points; nullopt when the text is already in NFKC and
// so is its own skeleton. Never normalizes further than max_chars + 1 code
// points.
Outcome<std::optional<std::string>> normalize_for_skeleton(std::string_view text, std::uint64_t max_chars);

}  // namespace orlenta
