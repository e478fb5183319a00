// The vectorised scan for zero-width code points against a decode of every
// code point.
#include "detect/zero_width.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "normkit/utf8.h"

namespace orlenta::detect {
namespace {

// Every code point in the first and the last lane of a block, and those
// under the two lead bytes the scan stops at (U+2000..2FFF, U+F000..FFFF)
// in every lane, each also at the end of the text, with a curly quote (the
// lead byte of U+200B..200D) before it in half of the texts: the scan stops
// exactly at the zero-width ones. Each text sits in an allocation of its
// exact size, so that the address sanitizer catches a read past it.
TEST(FindZeroWidth, StopsExactlyAtZeroWidthCodePoints) {
  const std::string quote = "\u201C";
  const std::string after = "\u2019" + std::string(20, 'b');
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string encoded;
    normkit::utf8::append(encoded, cp);
    const bool shares_a_lead = (cp >= 0x2000 && cp <= 0x2FFF) || (cp >= 0xF000 && cp <= 0xFFFF);
    for (std::size_t at = 0; at <= 17; at += shares_a_lead || at == 15 ? 1 : 15) {
      std::string text(at, 'a');
      if (at >= quote.size() && at % 2 == 1) text.replace(0, quote.size(), quote);
      text += encoded;
      for (const std::string& tail : {std::string(), after}) {
        const std::string whole = text + tail;
        const auto bytes = std::make_unique<char[]>(whole.size());
        std::memcpy(bytes.get(), whole.data(), whole.size());
        const char* const end = bytes.get() + whole.size();
        ASSERT_EQ(find_zero_width(bytes.get(), end) - bytes.get(),
                  static_cast<std::ptrdiff_t>(is_zero_width(cp) ? at : whole.size()))
            << std::hex << static_cast<unsigned>(cp) << std::dec << " at " << at;
      }
    }
  }
  EXPECT_EQ(find_zero_width(nullptr, nullptr), nullptr);
}

}  // namespace
}  // namespace orlenta::detect
