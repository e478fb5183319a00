#include "passes/removal_pass.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "passes/removal_decision.h"
#include "text/utf8.h"

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

using Counts = std::map<std::string_view, std::uint64_t>;

// Adds what the chain of tests does with the code point of `piece`, one
// that meets the same fate wherever it stands.
void add_fate(Counts& removed, Counts& flagged, const Piece& piece, const ResolvedPolicy& policy) {
  std::size_t length = 0;
  const char32_t cp = decode_utf8(piece.utf8.data(), length);
  if (!needs_decision(cp)) return;
  const RemovalAction action = removal_action(cp, policy);
  if (action.step == Step::remove) ++removed[removal_reason_names[action.reason]];
  if (action.step == Step::remove_default_ignorable) ++removed["default_ignorable"];
  if (action.step == Step::flag) ++flagged[removal_reason_names[action.reason]];
  if (action.step == Step::count_retained_tag) ++flagged["tag_char"];
}

Counts counts_of(const CountMap& counts) {
  Counts result;
  for (const auto& [name, count] : counts) result[name] += count;
  return result;
}

// Every reason the walk counts reaches the report's maps, whichever others
// come before or after it, under every setting of the switches.
TEST(RemovalPass, ReportsTheCountsOfEveryReason) {
  std::mt19937 random(20261210);
  std::uniform_int_distribution<std::size_t> piece_at(0, pieces.size() - 1);
  std::uniform_int_distribution<std::size_t> length(0, 12);
  for (unsigned setting = 0; setting < removal_switch_settings; ++setting) {
    const ResolvedPolicy policy = with_removal_switches(setting);
    for (int round = 0; round < 20; ++round) {
      std::string text;
      Counts removed;
      Counts flagged;
      for (std::size_t n = length(random); n != 0; --n) {
        const Piece& piece = pieces[piece_at(random)];
        text += piece.utf8;
        add_fate(removed, flagged, piece, policy);
      }
      const Removal removal = std::get<Removal>(remove_characters(text, policy, SpanRecording::none));
      EXPECT_EQ(counts_of(removal.removed_counts), removed) << "setting " << setting << " round " << round;
      EXPECT_EQ(counts_of(removal.flagged_counts), flagged) << "setting " << setting << " round " << round;
    }
  }
}

}  // namespace
}  // namespace orlenta
