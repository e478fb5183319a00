#include "thread_share.h"

#include <gtest/gtest.h>

namespace orlenta {
namespace {

// Microseconds a text cost each side, as measured over 1000 texts.
CpuSpent spent(double microseconds) { return {microseconds * 1e-3, 1000}; }

struct Case {
  const char* what;
  std::size_t cores;
  std::size_t max_threads;
  CpuSpent calling;
  CpuSpent pipeline;
  std::size_t expected;
};

TEST(PipelineThreadsToRun, PicksTheQuickestShareOfTheCores) {
  const Case cases[] = {
      {"every thread has a core", 4, 2, spent(2.0), spent(2.4), 2},
      {"one thread", 2, 1, spent(2.0), spent(2.4), 1},
      {"not measured yet", 2, 2, CpuSpent{}, spent(2.4), 2},
      // A second thread would leave each thread two thirds of a core: 3.0 µs
      // a text against 2.4 with one.
      {"dict reports on two cores", 2, 2, spent(2.0), spent(2.4), 1},
      // 1.95 µs a text with two against 2.4 with one.
      {"json reports on two cores", 2, 2, spent(1.3), spent(2.4), 2},
      // From two threads on, the calling thread sets the pace.
      {"dict reports on eight cores", 8, 8, spent(2.0), spent(2.4), 2},
      {"pipeline bound on eight cores", 8, 8, spent(0.1), spent(2.4), 8},
      {"far more threads than cores", 2, 1000, spent(0.1), spent(2.4), 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pipeline_threads_to_run(c.cores, c.max_threads, c.calling, c.pipeline), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace orlenta
