#include "passes/whitespace_tidy.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classes/whitespace.h"
#include "text/block_reader.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// Whether `lead` may begin a space separator other than U+0020: those are
// U+00A0 (0xC2), U+1680 (0xE1), U+2000 to U+200A, U+202F, U+205F (0xE2) and
// U+3000 (0xE3).
constexpr bool is_wide_space_lead(unsigned char lead) { return lead == 0xC2 || (lead >= 0xE1 && lead <= 0xE3); }

// Byte length of the space separator other than U+0020 that starts at `p`,
// or 0 when none does. The text is valid UTF-8, so a lead byte is followed
// by its continuation bytes.
std::size_t wide_space_length(const char* p) {
  if (!is_wide_space_lead(static_cast<unsigned char>(*p))) return 0;
  std::size_t length = 0;
  return is_space_separator(decode_utf8(p, length)) ? length : 0;
}

// Whether the byte at `at` begins a code point that the tidy may change:
// tab, line feed, space or a wide space.
bool may_change(const char* at) {
  const auto byte = static_cast<unsigned char>(*at);
  return byte == '\t' || byte == '\n' || byte == ' ' || wide_space_length(at) != 0;
}

// The first bytes of the wide spaces, marked in the lane of their lead byte.
// The lanes of `second` and `third` hold the bytes one and two places on.
inline ByteTest wide_space_leads(ByteBlock bytes, ByteBlock second, ByteBlock third) {
  const ByteTest e2_80 = (bytes == 0xE2) & (second == 0x80) & ((third <= 0x8A) | (third == 0xAF));
  const ByteTest e2_81 = (bytes == 0xE2) & (second == 0x81) & (third == 0x9F);
  const ByteTest others = ((bytes == 0xC2) & (second == 0xA0)) | ((bytes == 0xE1) & (second == 0x9A) & (third == 0x80)) |
                          ((bytes == 0xE3) & (second == 0x80) & (third == 0x80));
  return e2_80 | e2_81 | others;
}

// The bytes of 64 that may belong to what the tidy changes, one bit per
// byte, the earliest byte lowest: spaces and line feeds, which the tidy
// keeps as they are between two ordinary bytes, and the rest, which it
// always looks at.
struct ChunkBytes {
  std::uint64_t separators = 0;
  std::uint64_t changeable = 0;
};

inline ChunkBytes chunk_bytes(const char* p) {
  ChunkBytes chunk;
  for (std::size_t block = 0; block < chunk_size / block_size; ++block) {
    const char* const at = p + block * block_size;
    const ByteBlock bytes = load_block(at);
    ByteTest changeable = bytes == '\t';
    // Read as signed, bytes from 0x80 up are negative, so their high bits
    // mark the blocks that may need the wide-space test; it is run only on
    // those with a lead byte of a wide space (0xC2, or 0xE1 to 0xE3: -62,
    // -31 to -29), which most text in other scripts lacks.
    const ByteTest signed_bytes = std::bit_cast<ByteTest>(bytes);
    if (lane_bits(signed_bytes) != 0 &&
        lane_bits((signed_bytes == -62) | ((signed_bytes > -32) & (signed_bytes < -28))) != 0) {
      changeable |= wide_space_leads(bytes, load_block(at + 1), load_block(at + 2));
    }
    const std::size_t shift = block * block_size;
    chunk.separators |= lane_bits((bytes == ' ') | (bytes == '\n')) << shift;
    chunk.changeable |= lane_bits(changeable) << shift;
  }
  return chunk;
}

// Whether the byte at `at` is a space or a line feed, kept as it is between
// two code points the tidy never changes.
bool is_separator(const char* at) { return *at == ' ' || *at == '\n'; }

// Length of the run of bytes from `p` that the tidy keeps as they are: bytes
// of code points it never changes, and single spaces and line feeds between
// two of them. Such a separator comes after an ordinary code point (the
// bytes of a run belong to ordinary code points) and before one, so the tidy
// would emit it as it is, and the run ends on an ordinary code point. A
// separator at the start of the run is not taken: what came before it is not
// known here.
//
// Prose has a space every few bytes and a line feed every few hundred, so
// 64 bytes are tested at once, single separators included; the first byte
// that may need more is then looked at alone. Wide spaces are told apart
// from the other code points under the same lead bytes (curly quotes,
// dashes, most of the scripts of U+1000 to U+1FFF) by all their bytes, so
// text in those scripts stays in the chunks.
std::size_t ordinary_run_length(const char* p, const char* end) {
  constexpr std::uint64_t first_byte = 1;
  constexpr std::uint64_t last_byte = first_byte << 63;
  const char* q = p;
  while (q < end) {
    // A chunk also reads the two bytes after it, for the wide spaces.
    BlockReader<chunk_size, 2> reader{q, end};
    ChunkBytes chunk;
    // The byte after the chunk: in the next chunk, or the end of the text,
    // which a separator must not stand next to either.
    std::uint64_t after = last_byte;
    std::size_t length = chunk_size;
    if (reader.has_full_block()) {
      chunk = chunk_bytes(q);
    } else {
      const auto last = reader.remainder();
      chunk = chunk_bytes(last.bytes.data());
      chunk.separators &= last.text_lanes();
      chunk.changeable &= last.text_lanes();
      if (last.size < chunk_size) {
        after = std::uint64_t{1} << (last.size - 1);
        length = last.size;
      }
    }
    // The byte before the chunk is outside the run or ordinary.
    const std::uint64_t special = chunk.separators | chunk.changeable;
    const std::uint64_t neighbours = (special << 1) | (special >> 1) | (q == p ? first_byte : 0) | after;
    const std::uint64_t stops = chunk.changeable | (chunk.separators & neighbours);
    if (stops == 0) {
      q += length;
      continue;
    }
    // Every stop is a byte the tidy may change; only a single separator
    // between two ordinary code points is kept as it is.
    q += std::countr_zero(stops);
    if (!is_separator(q) || q == p || end - q < 2 || may_change(q + 1)) break;
    q += 2;
  }
  return static_cast<std::size_t>(q - p);
}

// The bytes that break a kept text, in the lanes of `bytes`, whose lanes in
// `previous` hold the bytes one place before: tabs, a space after a space or
// line feed, and a line feed after a space (the tidy keeps line feeds after
// line feeds).
inline ByteTest separator_breaks(ByteBlock bytes, ByteBlock previous) {
  const ByteTest space = bytes == ' ';
  return (bytes == '\t') | (space & (previous == '\n')) | ((previous == ' ') & (space | (bytes == '\n')));
}

// Whether the tidy keeps the 64 bytes from `p` as they are, given the byte
// before them at p[-1] and the two after them at p[64] and p[65]. The
// separators of the four blocks share one movemask; only a block holding a
// lead byte of a wide space (0xC2, 0xE1 to 0xE3) is tested by all the bytes
// of the wide spaces, as curly quotes, dashes and the scripts of U+1000 to
// U+1FFF and U+3000 to U+3FFF share their leads.
bool is_settled_chunk(const char* p) {
  ByteTest breaks{};
  for (std::size_t block = 0; block < chunk_size / block_size; ++block) {
    const char* const at = p + block * block_size;
    const ByteBlock bytes = load_block(at);
    breaks |= separator_breaks(bytes, load_block(at - 1));
    const ByteTest signed_bytes = std::bit_cast<ByteTest>(bytes);
    if (lane_bits(signed_bytes) != 0 && lane_bits((bytes == 0xC2) | bytes_in_range(bytes, 0xE1, 0xE3)) != 0) {
      breaks |= wide_space_leads(bytes, load_block(at + 1), load_block(at + 2));
    }
  }
  return lane_bits(breaks) == 0;
}

// Length of the start of the text that the tidy keeps as it is, whatever
// follows, found chunk by chunk. Most texts need no tidying, and this
// settles them with one separator movemask per chunk instead of following
// the runs between separators; the tidy then goes on from the first chunk
// that may need it. The first byte is looked at alone, since a space there
// goes as indentation does; the chunks then start one byte on, so that the
// byte before each of them is in the text.
std::size_t settled_length(const char* data, std::size_t size) {
  if (size == 0 || data[0] == ' ' || data[0] == '\t' || wide_space_length(data) != 0) return 0;
  const char* q = data + 1;
  const char* const end = data + size;
  BlockReader<chunk_size, 2> reader{q, end};
  for (; reader.has_full_block(); reader.advance()) {
    if (!is_settled_chunk(reader.block())) return static_cast<std::size_t>(reader.block() - data);
  }
  q = reader.block();
  // The last bytes (up to a chunk and the two after it), after the byte
  // before them, padded with zeros, which neither break a kept text nor
  // complete a wide space.
  const auto remaining = static_cast<std::size_t>(end - q);
  std::array<char, 1 + 2 * chunk_size + 2> last{};
  if (remaining != 0) std::memcpy(last.data(), q - 1, remaining + 1);
  for (std::size_t at = 0; at < remaining; at += chunk_size) {
    if (!is_settled_chunk(last.data() + 1 + at)) return static_cast<std::size_t>(q + at - data);
  }
  return size;
}

}  // namespace

// The tidied text is never longer than what has been read of the original,
// so it is written over the original from the front. As long as nothing has
// been dropped the write position equals the read position and ordinary
// bytes are only skipped over.
std::uint64_t run_whitespace_tidy(std::string& text) {
  char* const data = text.data();
  const std::size_t size = text.size();
  // Leading spaces go as indentation does, which leaves the tidy where it
  // was at the start, so the settled start is looked for after them: text
  // cut out of a longer one often starts with a space.
  std::size_t leading = 0;
  while (leading < size && data[leading] == ' ') ++leading;
  std::size_t read = leading + settled_length(data + leading, size - leading);
  std::size_t written = read - leading;
  if (leading != 0) std::memmove(data, data + leading, written);
  // Code points dropped: the difference of the code point counts before and
  // after, as every rule drops whole code points or turns one into a space.
  std::uint64_t dropped = leading;
  // A tab became a space: the one change that keeps the length.
  bool tab_replaced = false;
  // What the settled start left behind: it holds no tabs, wide spaces or
  // doubled separators, so its last byte tells both.
  bool last_was_space = written != 0 && data[written - 1] == ' ';
  // The text's leading spaces go as well as indentation does, so the start
  // of the text counts as the start of a line.
  bool at_line_start = written == 0 || data[written - 1] == '\n';
  while (read < size) {
    const auto byte = static_cast<unsigned char>(data[read]);
    // No run starts on a space, line feed or tab, so those are taken here
    // without reading a chunk: a run stops before a doubled separator, or
    // one at the end of the text, and each of its bytes would cost one.
    if (byte != ' ' && byte != '\n' && byte != '\t') {
      const std::size_t run = ordinary_run_length(data + read, data + size);
      if (run != 0) {
        if (written != read) std::memmove(data + written, data + read, run);
        written += run;
        read += run;
        last_was_space = false;
        at_line_start = false;
        continue;
      }
    }
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

  if (written == size && !tab_replaced) return 0;
  text.resize(written);
  return std::max<std::uint64_t>(dropped, 1);
}

}  // namespace orlenta
