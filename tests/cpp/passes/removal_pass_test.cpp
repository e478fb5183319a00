#include "passes/removal_pass.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orlenta {
namespace {

struct Piece {
  std::string_view utf8;
  bool removed;
  // Has no normalization boundary before it.
  bool joins = false;
};

// Fates that do not depend on the code points around them under
// balanced_chat: the joiner and the bidi mark are decided and retained,
// the acute accent is retained without a decision.
constexpr std::array<Piece, 11> pieces = {{
    {"a", false},
    {"\u00E9", false},
    {"\u2764", false},
    {"\u200D", false},
    {"\u200E", false},
    {"\u0301", false, true},
    {"\u200B", true},
    {"\x01", true},
    {"\U000E0041", true},
    {"\u202E", true},
    {"\u0085", true},
}};

// Retained stretches of every length up to several blocks, with decided
// code points among them, between removals, one or several in a row, and at
// both ends: what is retained comes out whole and in order, each removal
// leaves its event at its own offset, and a removal followed by a code point
// without a boundary before it is noted, however many removals come between.
TEST(RemovalPass, KeepsTheStretchesBetweenRemovalsWhole) {
  const ResolvedPolicy& policy = *find_policy("balanced_chat");
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::size_t> stretch(0, 40);
  std::uniform_int_distribution<std::size_t> removals(0, 3);
  std::uniform_int_distribution<std::size_t> kept_piece(0, 5);
  std::uniform_int_distribution<std::size_t> removed_piece(6, pieces.size() - 1);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    std::string expected;
    std::vector<std::uint64_t> removed_at;
    bool joins = false;
    bool after_removal = false;
    for (int part = 0; part < 6; ++part) {
      for (std::size_t n = removals(random); n != 0; --n) {
        const Piece& piece = pieces[removed_piece(random)];
        removed_at.push_back(text.size());
        text += piece.utf8;
        after_removal = true;
      }
      for (std::size_t n = stretch(random); n != 0; --n) {
        const Piece& piece = pieces[kept_piece(random)];
        joins = joins || (after_removal && piece.joins);
        after_removal = false;
        text += piece.utf8;
        expected += piece.utf8;
      }
    }
    Outcome<Removal> outcome = remove_characters(text, policy, SpanRecording::unlimited);
    ASSERT_TRUE(std::holds_alternative<Removal>(outcome));
    const Removal& removal = std::get<Removal>(outcome);
    ASSERT_EQ(removal.text, expected) << "round " << round;
    EXPECT_EQ(removal.joined_without_boundary, joins) << "round " << round;
    std::vector<std::uint64_t> event_starts;
    for (const SpanEvent& event : removal.spans) {
      if (event.kind == "removed") event_starts.push_back(event.start);
    }
    EXPECT_EQ(event_starts, removed_at) << "round " << round;
  }
}

}  // namespace
}  // namespace orlenta
