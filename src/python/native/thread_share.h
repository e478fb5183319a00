// How many pipeline threads a batch should run at once. The calling thread
// works too, reading the texts and building every result; when the threads
// outnumber the cores, the scheduler gives each an equal share of them, so a
// pipeline thread beyond what the pipeline needs only slows the calling
// thread down. With dict reports, building the results costs about as much
// per text as the pipeline itself: on two cores, two pipeline threads left
// the calling thread two thirds of a core and made the batch 10-35% slower
// than one.
#pragma once

#include <cstddef>

namespace orlenta {

// CPU seconds spent on a number of texts.
struct CpuSpent {
  double seconds = 0;
  std::size_t texts = 0;
};

// The CPU time the thread that calls it has used so far (not only the
// batch's calling thread: the pipeline threads measure themselves with it).
double thread_cpu_seconds();

// The number of pipeline threads, from 1 to `max_threads`, that makes the
// batch quickest on `cores` cores, given what a text has cost the calling
// thread and a pipeline thread; the fewest among equals. `max_threads`
// when either side is not measured yet, or when every thread has a core.
std::size_t pipeline_threads_to_run(std::size_t cores, std::size_t max_threads, const CpuSpent& calling,
                                    const CpuSpent& pipeline);

}  // namespace orlenta
