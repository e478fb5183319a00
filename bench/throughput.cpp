#include "throughput.h"

#include <algorithm>
#include <chrono>

namespace bench {
namespace {

volatile std::uint64_t sink;

double seconds_for(const Operation& operation, std::size_t calls) {
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t folded = 0;
  for (std::size_t i = 0; i < calls; ++i) {
    folded += operation();
  }
  const auto stop = std::chrono::steady_clock::now();
  sink = sink + folded;
  return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

std::size_t calls_per_pass(const Operation& operation, double min_seconds) {
  std::size_t calls = 1;
  for (;;) {
    const double seconds = seconds_for(operation, calls);
    if (seconds >= min_seconds) {
      return calls;
    }
    // Grow towards the goal from the latest estimate, at most tenfold per
    // step so that one noisy short measurement cannot overshoot wildly.
    const double wanted = seconds > 0 ? 1.2 * min_seconds / seconds * static_cast<double>(calls)
                                      : 10.0 * static_cast<double>(calls);
    calls = std::clamp(static_cast<std::size_t>(wanted), calls + 1, 10 * calls);
  }
}

double time_pass(const Operation& operation, std::size_t calls, std::size_t input_bytes) {
  const double seconds = seconds_for(operation, calls);
  return static_cast<double>(input_bytes) * static_cast<double>(calls) / seconds / 1e6;
}

Throughput summarize(std::vector<double> mb_per_s) {
  std::sort(mb_per_s.begin(), mb_per_s.end());
  const std::size_t n = mb_per_s.size();
  const double median =
      n % 2 == 1 ? mb_per_s[n / 2] : (mb_per_s[n / 2 - 1] + mb_per_s[n / 2]) / 2;
  return Throughput{mb_per_s.front(), median, mb_per_s.back()};
}

}  // namespace bench
