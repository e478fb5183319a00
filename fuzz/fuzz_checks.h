// Checks shared by the libFuzzer targets, written independently of the code
// under test so that they can judge it: a strict UTF-8 validator and encoder,
// the property check that aborts (a finding for libFuzzer) with what broke,
// and the exact-size copies and cuts of the texts the targets feed back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace fuzz_checks {

inline void require(bool holds, const char* property, const char* context) {
  if (!holds) {
    std::fprintf(stderr, "property violated (%s): %s\n", context, property);
    std::abort();
  }
}

inline bool is_scalar_value(char32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

inline void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Strict UTF-8: shortest form only, no surrogates, nothing above U+10FFFF.
inline bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        return false;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t shortest_above = length == 3 ? 0x800 : 0x10000;
    if ((length > 2 && cp < shortest_above) || !is_scalar_value(cp)) {
      return false;
    }
    i += length;
  }
  return true;
}

// A text in a heap block of exactly its size, so that AddressSanitizer
// reports a read even one byte past its end: the spare capacity and the
// terminating NUL of a std::string would hide it. libFuzzer hands each input
// over in such a block already; the texts the targets derive from it and
// feed back are copied into one.
struct ExactCopy {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;

  std::string_view view() const { return {bytes.get(), size}; }
};

inline ExactCopy exact_copy(std::string_view text) {
  ExactCopy copy{std::unique_ptr<char[]>(new char[text.size()]), text.size()};
  if (!text.empty()) std::memcpy(copy.bytes.get(), text.data(), text.size());
  return copy;
}

// The first fraction/256 of a UTF-8 text, moved back to the start of the code
// point it falls in: a text that ends wherever the fuzzer chose, inside a
// cluster, a run of marks or a block of a scan.
inline std::string_view cut_at_code_point(std::string_view text, std::uint8_t fraction) {
  std::size_t end = text.size() * fraction / 256;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace fuzz_checks
