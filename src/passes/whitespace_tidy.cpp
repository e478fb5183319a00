#include "passes/whitespace_tidy.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "passes/byte_block.h"

namespace orlenta {
namespace {

// The bytes that can begin horizontal whitespace or a line feed: tab, line
// feed, space and the lead bytes of the wide spaces. Every other byte is
// copied as it is, without decoding.
constexpr std::array<bool, 256> may_start_whitespace = [] {
  std::array<bool, 256> bytes{};
  for (const unsigned char byte : {0x09, 0x0A, 0x20, 0xC2, 0xE1, 0xE2, 0xE3}) bytes[byte] = true;
  return bytes;
}();

// Length of the run of bytes from `p` that the tidy keeps as they are: bytes
// that cannot begin whitespace, and single spaces between two of them. Such
// a space comes after an ordinary code point (the bytes of a run belong to
// ordinary code points) and before one, so the tidy would emit it as it is.
// A space at the start of the run is not taken: what came before it is not
// known here.
//
// Prose has a space every few bytes, so sixteen bytes are tested at once,
// single spaces included; the first byte that may need more is then looked
// at alone.
std::size_t ordinary_run_length(const char* p, const char* end) {
  const auto special = [](const char* at) { return may_start_whitespace[static_cast<unsigned char>(*at)]; };
  constexpr std::uint64_t first_byte = 0x80;
  constexpr std::uint64_t last_byte = first_byte << 56;
  const char* q = p;
  while (q < end) {
    if (end - q >= static_cast<std::ptrdiff_t>(block_size)) {
      const ByteBlock bytes = load_block(q);
      const BlockMask spaces = to_mask(bytes == ' ');
      const BlockMask others = to_mask((bytes == '\t') | (bytes == '\n') | (bytes == 0xC2) |
                                       ((bytes >= 0xE1) & (bytes <= 0xE3)));
      const std::uint64_t special_low = spaces.half[0] | others.half[0];
      const std::uint64_t special_high = spaces.half[1] | others.half[1];
      // A space is kept as it is only between two ordinary bytes. The byte
      // before the first one is outside the run, the byte after the last one
      // in the next block.
      const std::uint64_t neighbours_low =
          (special_low << 8) | (special_low >> 8) | (special_high << 56) | (q == p ? first_byte : 0);
      const std::uint64_t neighbours_high = (special_high << 8) | (special_high >> 8) | (special_low >> 56) | last_byte;
      const BlockMask stops = {{others.half[0] | (spaces.half[0] & neighbours_low),
                                others.half[1] | (spaces.half[1] & neighbours_high)}};
      if (!any_marked(stops)) {
        q += block_size;
        continue;
      }
      q += first_marked(stops);
    }
    if (!special(q)) {
      ++q;
      continue;
    }
    if (*q != ' ' || q == p || end - q < 2 || special(q + 1)) break;
    q += 2;
  }
  return static_cast<std::size_t>(q - p);
}

// Byte length of the space separator other than U+0020 that starts at `p`,
// or 0 when none does. These are U+00A0, U+1680, U+2000 to U+200A, U+202F,
// U+205F and U+3000, recognised by their UTF-8 bytes; the text is valid
// UTF-8, so a lead byte is followed by its continuation bytes.
std::size_t wide_space_length(const char* p) {
  const auto byte = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
  switch (byte(0)) {
    case 0xC2:
      return byte(1) == 0xA0 ? 2 : 0;
    case 0xE1:
      return byte(1) == 0x9A && byte(2) == 0x80 ? 3 : 0;
    case 0xE2:
      if (byte(1) == 0x80) return byte(2) <= 0x8A || byte(2) == 0xAF ? 3 : 0;
      return byte(1) == 0x81 && byte(2) == 0x9F ? 3 : 0;
    case 0xE3:
      return byte(1) == 0x80 && byte(2) == 0x80 ? 3 : 0;
    default:
      return 0;
  }
}

}  // namespace

// The tidied text is never longer than what has been read of the original,
// so it is written over the original from the front. As long as nothing has
// been dropped the write position equals the read position and ordinary
// bytes are only skipped over.
void run_whitespace_tidy(std::string& output, SanitizeReport& report, bool& changed) {
  char* const data = output.data();
  const std::size_t size = output.size();
  std::size_t read = 0;
  std::size_t written = 0;
  // Code points dropped: the difference of the code point counts before and
  // after, as every rule drops whole code points or turns one into a space.
  std::uint64_t dropped = 0;
  // A tab became a space: the one change that keeps the length.
  bool tab_replaced = false;
  bool last_was_space = false;
  // The text's leading spaces go as well as indentation does, so the start
  // of the text counts as the start of a line.
  bool at_line_start = true;
  while (read < size) {
    const std::size_t run = ordinary_run_length(data + read, data + size);
    if (run != 0) {
      if (written != read) std::memmove(data + written, data + read, run);
      written += run;
      read += run;
      last_was_space = false;
      at_line_start = false;
      continue;
    }
    const auto byte = static_cast<unsigned char>(data[read]);
    if (byte == '\n') {
      // A space right before a line feed is trailing: the emitted space is
      // the last byte written.
      if (last_was_space) {
        --written;
        ++dropped;
      }
      data[written++] = '\n';
      ++read;
      at_line_start = true;
      last_was_space = false;
      continue;
    }
    const std::size_t length = byte == ' ' || byte == '\t' ? 1 : wide_space_length(data + read);
    if (length == 0) {
      // A lead byte of something else: the run of ordinary bytes that follows
      // takes its continuation bytes.
      data[written++] = data[read++];
      last_was_space = false;
      at_line_start = false;
      continue;
    }
    if (at_line_start || last_was_space) {
      ++dropped;
    } else {
      tab_replaced = tab_replaced || byte == '\t';
      data[written++] = ' ';
      last_was_space = true;
    }
    read += length;
  }
  if (last_was_space) {
    --written;
    ++dropped;
  }
  while (written > 0 && data[written - 1] == '\n') {
    --written;
    ++dropped;
  }

  if (written == size && !tab_replaced) return;
  output.resize(written);
  bump_removed(report, "whitespace_tidy", std::max<std::uint64_t>(dropped, 1));
  changed = true;
}

}  // namespace orlenta
