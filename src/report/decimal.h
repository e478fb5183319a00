// Decimal text of unsigned integers, as std::to_chars writes it. A report
// with spans holds two offsets per event, thousands of them, and
// std::to_chars spent over a hundred instructions on each: it finds the
// length in a loop of divisions and calls out of line for the digits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orlenta {

// The longest: 18446744073709551615.
inline constexpr std::size_t max_decimal_digits = 20;

namespace decimal_internal {

inline constexpr std::uint64_t powers_of_ten[max_decimal_digits] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The number of digits, from the number of bits: 1233 / 4096 is just below
// log10(2), so the guess is the count of digits or that less one, which the
// power of ten it names tells apart. Zero is written as one digit, as one.
inline std::size_t digit_count(std::uint64_t value) {
  const std::uint64_t nonzero = value | 1;  // no power of ten lies between the two
  const auto guess = static_cast<std::size_t>((std::bit_width(nonzero) * 1233) >> 12);
  return guess + (nonzero >= powers_of_ten[guess] ? 1 : 0);
}

}  // namespace decimal_internal

// Writes `value` from `out` on, which has room for max_decimal_digits
// bytes, and returns the end. Two digits at a time from the last, in 32-bit
// arithmetic once the rest fits, as offsets almost always do.
inline char* write_decimal(char* out, std::uint64_t value) {
  using decimal_internal::digit_pairs;
  char* const end = out + decimal_internal::digit_count(value);
  char* next = end;
  while (value > 0xFFFFFFFFULL) {
    next -= 2;
    std::memcpy(next, digit_pairs + 2 * (value % 100), 2);
    value /= 100;
  }
  auto rest = static_cast<std::uint32_t>(value);
  while (rest >= 100) {
    next -= 2;
    std::memcpy(next, digit_pairs + 2 * (rest % 100), 2);
    rest /= 100;
  }
  if (rest >= 10) {
    std::memcpy(next - 2, digit_pairs + 2 * rest, 2);
  } else {
    next[-1] = static_cast<char>('0' + rest);
  }
  return end;
}

}  // namespace orlenta
