#include "detect/encoded_payloads.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "detect/payload_alphabet.h"

namespace orlenta::detect {
namespace {

// The block test must agree with the byte table for every byte in every
// lane.
TEST(PayloadAlphabet, BlockLanesAgreeWithTheTableForEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    for (std::size_t lane = 0; lane < block_size; ++lane) {
      std::array<char, block_size> block;
      block.fill(' ');
      block[lane] = static_cast<char>(byte);
      const std::uint64_t expected = is_payload_byte(static_cast<char>(byte)) ? std::uint64_t{1} << lane : 0;
      ASSERT_EQ(payload_lanes(block.data()), expected) << byte << " in lane " << lane;
    }
  }
}

// The scan stops only at blocks of sixteen payload bytes that start at a
// multiple of sixteen: moving the text by every offset in a block must find
// the same payloads, moved as far, from the shortest on.
TEST(EncodedPayloads, EveryAlignmentFindsTheSamePayloads) {
  std::mt19937 random(7);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (const std::size_t length : {32u, 33u, 44u, 47u, 48u, 60u, 100u}) {
    std::string payload = "Qk1AaZ9x";  // digits and both cases whatever is drawn
    while (payload.size() < length - length % 4) payload += alphabet[random() % 64];
    const std::string text = "see " + payload + " and more, " + payload + "\n";
    std::vector<Finding> reference;
    find_encoded_payloads(text, reference);
    ASSERT_EQ(reference.size(), 2u) << payload;
    for (std::size_t shift = 1; shift < block_size; ++shift) {
      std::vector<Finding> moved;
      find_encoded_payloads(std::string(shift, '.') + text, moved);
      ASSERT_EQ(moved.size(), reference.size()) << length << " shifted by " << shift;
      for (std::size_t i = 0; i < moved.size(); ++i) {
        EXPECT_EQ(moved[i].start, reference[i].start + shift);
        EXPECT_EQ(moved[i].end, reference[i].end + shift);
      }
    }
  }
}

}  // namespace
}  // namespace orlenta::detect
