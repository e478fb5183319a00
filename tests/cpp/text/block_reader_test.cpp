#include "text/block_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orlenta {
namespace {

// Reads a text of every length up to three blocks and a reach from a heap
// buffer of exactly its size, so that AddressSanitizer catches a block read
// past the end, and checks that the blocks and the remainder give back the
// text once, in order, with zeros after it.
template <std::size_t Size, std::size_t Reach>
void expect_every_length_read_once() {
  for (std::size_t length = 0; length <= 3 * Size + Reach; ++length) {
    std::string source;
    for (std::size_t i = 0; i < length; ++i) source += static_cast<char>('a' + i % 26);
    const std::unique_ptr<char[]> text(new char[length]);
    std::copy(source.begin(), source.end(), text.get());
    BlockReader<Size, Reach> reader{text.get(), text.get() + length};
    std::string read;
    for (; reader.has_full_block(); reader.advance()) {
      read.append(reader.block(), Size + Reach);
      read.resize(read.size() - Reach);
    }
    const auto last = reader.remainder();
    ASSERT_LT(last.size, Size + Reach) << length;
    ASSERT_EQ(reader.block() + last.size, text.get() + length) << length;
    read.append(last.bytes.data(), last.size);
    for (std::size_t i = last.size; i < last.bytes.size(); ++i) ASSERT_EQ(last.bytes[i], '\0') << length;
    const std::size_t lanes = last.size < Size ? last.size : Size;
    ASSERT_EQ(last.text_lanes(), lanes == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << lanes) - 1) << length;
    ASSERT_EQ(read, source) << length;
  }
}

TEST(BlockReader, EveryTailLengthIsReadOnceAndPadded) {
  expect_every_length_read_once<16, 0>();
  expect_every_length_read_once<64, 0>();
  expect_every_length_read_once<64, 2>();
}

}  // namespace
}  // namespace orlenta
