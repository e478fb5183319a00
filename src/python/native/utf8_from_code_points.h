// UTF-8 from the code points PyUnicode_AsUCS4 copies out of a str: the
// limited API's way to read a str without CPython's UTF-8 encoder, which
// runs with the interpreter lock held. The batch reads its short texts so,
// and its pipeline threads encode them here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orlenta {

// Writes the UTF-8 form of the code points (each at most U+10FFFF) to
// `out`, which has room for four bytes per code point, and returns its
// size; nullopt when one of them is a surrogate. Four code points at a time
// where the processor has SSSE3.
std::optional<std::size_t> utf8_from_code_points(const std::uint32_t* code_points, std::size_t count, char* out);

// The same, one code point at a time: the path without SSSE3, and the
// reference the vector path is tested against.
std::optional<std::size_t> utf8_from_code_points_one_by_one(const std::uint32_t* code_points, std::size_t count,
                                                            char* out);

}  // namespace orlenta
