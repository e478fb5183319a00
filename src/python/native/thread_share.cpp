#include "thread_share.h"

#include <algorithm>
#include <ctime>

namespace orlenta {

double thread_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::size_t pipeline_threads_to_run(std::size_t cores, std::size_t max_threads, const CpuSpent& calling,
                                    const CpuSpent& pipeline) {
  if (max_threads < cores || calling.texts == 0 || pipeline.texts == 0) return max_threads;
  const double calling_per_text = calling.seconds / static_cast<double>(calling.texts);
  const double pipeline_per_text = pipeline.seconds / static_cast<double>(pipeline.texts);
  // Past twice the cores, a thread more thins every share and gains nothing.
  const std::size_t most = std::min(max_threads, 2 * cores);
  std::size_t best = 1;
  double best_seconds = 0;
  for (std::size_t threads = 1; threads <= most; ++threads) {
    // Each thread's share of a core while all of them run, the calling
    // thread included; the batch goes at the pace of the slower side.
    const double share = std::min(1.0, static_cast<double>(cores) / static_cast<double>(threads + 1));
    const double seconds = std::max(calling_per_text, pipeline_per_text / static_cast<double>(threads)) / share;
    if (threads == 1 || seconds < best_seconds) {
      best = threads;
      best_seconds = seconds;
    }
  }
  return best;
}

}  // namespace orlenta
