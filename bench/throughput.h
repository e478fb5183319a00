// Repeated wall-clock timing of one operation over one input, reported as
// MB/s of input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace bench {

// One call of the measured work. Its result is folded into a sink so that
// the compiler cannot drop the call.
using Operation = std::function<std::uint64_t()>;

struct Throughput {
  double min_mb_per_s = 0;
  double median_mb_per_s = 0;
  double max_mb_per_s = 0;
};

// How many consecutive calls of `operation` last at least `min_seconds`, so
// that fast calls (early exits, small inputs) are timed well above the
// clock's resolution.
std::size_t calls_per_pass(const Operation& operation, double min_seconds);

// Times `calls` consecutive calls and returns the throughput of the pass in
// MB/s (10^6 bytes) of `input_bytes` per call.
double time_pass(const Operation& operation, std::size_t calls, std::size_t input_bytes);

Throughput summarize(std::vector<double> mb_per_s);

}  // namespace bench
