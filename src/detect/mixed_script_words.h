// Homoglyphs: words and identifiers that mix scripts, or that imitate a
// word of one script with letters of another.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Splits the text into words (runs of letters, marks, digits and connector
// punctuation) and reports, for each word with a non-ASCII letter:
// - `confusable` when the word mixes scripts and has the skeleton of a word
//   of one script ("looks_like": that word), or when it is written wholly in
//   Cyrillic or Greek letters that imitate ASCII on an otherwise ASCII line;
// - `mixed_script` when it mixes scripts beyond what ordinary writing does:
//   more than Latin with one other recommended script other than Cyrillic
//   and Greek, or Latin with Han and its companions (Japanese kana, Hangul,
//   Bopomofo).
// Evidence "scripts" names the scripts ("Latn+Cyrl"). Byte offsets.
void find_mixed_script_words(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
