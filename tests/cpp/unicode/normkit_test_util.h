// Helpers shared by the normkit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "normkit/normalize.h"
#include "normkit/utf8.h"

namespace normkit_test {

using normkit::Form;
using CodePoints = std::vector<char32_t>;

inline std::string utf8_of(const CodePoints& cps) {
  std::string s;
  for (char32_t cp : cps) normkit::utf8::append(s, cp);
  return s;
}

// "U+0301" for failure messages.
inline std::string hex(char32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
  return buf;
}

// The file under ORLENTA_SHARED_DIR, or "" when the shared folder is absent.
inline std::string shared_file(const std::string& relative) {
  const std::filesystem::path path = std::filesystem::path(ORLENTA_SHARED_DIR) / relative;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

#define NORMKIT_REQUIRE_SHARED(var, relative)                                          \
  const std::string var = ::normkit_test::shared_file(relative);                      \
  if (var.empty()) GTEST_SKIP() << "needs " relative " under ORLENTA_SHARED_DIR ("    \
                                << ORLENTA_SHARED_DIR << "), which is absent"

// The whole stream through next().
inline std::string via_next(std::string_view text, Form form) {
  normkit::ComposeStream stream(text, form);
  std::string out;
  char32_t cp;
  while (stream.next(cp)) normkit::utf8::append(out, cp);
  return out;
}

// The whole stream through pull_utf8 in chunks of `chunk` code points,
// checking each call's count.
inline std::string via_chunks(std::string_view text, Form form, std::uint64_t chunk) {
  normkit::ComposeStream stream(text, form);
  std::string out;
  for (;;) {
    const std::size_t before = out.size();
    const std::uint64_t got = stream.pull_utf8(out, chunk);
    std::uint64_t counted = 0;
    for (std::size_t i = before; i < out.size(); ++i) counted += (out[i] & 0xC0) != 0x80;
    EXPECT_EQ(got, counted);
    if (got < chunk) return out;
  }
}

}  // namespace normkit_test
