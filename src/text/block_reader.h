// Reading a text block by block, the way every scan walks it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orlenta {

// The last bytes of a text, fewer than a block (and its reach), copied to
// the front of a buffer of zeros.
template <std::size_t Size, std::size_t Reach>
struct PaddedBlock {
  std::array<char, Size + Reach> bytes{};
  std::size_t size = 0;

  // The lanes of the block that hold the text's bytes, one bit per lane,
  // the earliest lowest (for blocks of at most 64 bytes).
  std::uint64_t text_lanes() const {
    static_assert(Size <= 64);
    return size >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
  }
};

// Hands out a text in blocks of `Size` bytes: the full blocks in place, then
// what is left after them, in a PaddedBlock, so that a scan reads its last
// bytes with the same block code as the others and only has to leave out the
// lanes past the end. A scan whose block code also reads the `Reach` bytes
// after a block gets a full block only where those bytes are in the text;
// the rest, which may then be up to Size + Reach - 1 bytes, is read padded.
template <std::size_t Size, std::size_t Reach = 0>
struct BlockReader {
  const char* next;
  const char* end;

  bool has_full_block() const { return static_cast<std::size_t>(end - next) >= Size + Reach; }
  const char* block() const { return next; }
  void advance() { next += Size; }

  // The bytes from the current block on, padded; call once no full block is
  // left.
  PaddedBlock<Size, Reach> remainder() const {
    PaddedBlock<Size, Reach> padded;
    padded.size = static_cast<std::size_t>(end - next);
    // An empty text may come without any storage, so nothing is copied then.
    if (padded.size != 0) std::memcpy(padded.bytes.data(), next, padded.size);
    return padded;
  }
};

}  // namespace orlenta
