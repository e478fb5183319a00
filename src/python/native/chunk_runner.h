// The native half of sanitize_many: the pipeline over chunks of texts, on
// threads of its own that never take the interpreter lock, so that the
// calling thread builds the Python results of one chunk while the pipeline
// runs over the next ones.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pipeline/pipeline.h"
#include "python/py_ref.h"

namespace orlenta {

// What each result holds beside the text: the report as a dict or as JSON
// text, whether the text changed, or both of the last two.
enum class ReportForm { dict, json, none, changed_and_json };

struct ChunkSettings {
  std::string_view policy;
  std::optional<NormalizationForm> normalization;
  std::optional<bool> tidy_whitespace;
  bool return_spans = false;
  ReportForm report = ReportForm::dict;
};

// One text of a chunk: the str (a strong reference, so that the list may
// change and the UTF-8 form stays put while the lock is released), its UTF-8
// form, and what became of it. Only the calling thread, holding the lock,
// touches the references; the pipeline threads read the text and fill in
// the rest. Elements stay where they were read: `text` may view `encoded`.
struct Element {
  PyRef object;
  std::string_view text;
  PyRef copy;
  // A short str that is not ASCII comes as its code points instead, which
  // the pipeline thread encodes into `encoded`: encoding it under the lock
  // cost the calling thread more than anything else in reading a chunk.
  std::unique_ptr<Py_UCS4[]> code_points;
  std::size_t code_point_count = 0;
  std::string encoded;
  // Set by the pipeline thread when the code points hold a surrogate, which
  // UTF-8 cannot carry: the calling thread then raises what reading the
  // str as UTF-8 raises.
  bool unencodable = false;
  // Set when the text could not be read as UTF-8 (not a str, lone surrogates).
  PyRef conversion_error;
  std::optional<Outcome<SanitizeResult>> outcome;
  std::string report_json;
};

// The UTF-8 form of the code points into `out`; false when one of them is a
// surrogate.
bool encode_code_points(const Py_UCS4* code_points, std::size_t count, std::string& out);

// The pipeline over every readable element, stopping early once `stop` is
// set; touches no Python object.
void sanitize_elements(std::vector<Element>& elements, const ChunkSettings& settings,
                       const std::atomic<bool>& stop);

struct Chunk {
  std::vector<Element> elements;
  // A fault of the pipeline (running out of memory), for the calling thread
  // to raise when it takes the chunk.
  std::exception_ptr fault;
  bool done = false;
};

// Chunks are submitted and taken in the same order by one calling thread;
// up to `max_threads` threads, started as chunks arrive, run the pipeline
// over them in between. The settings' policy view must outlive the runner.
class ChunkRunner {
 public:
  ChunkRunner(const ChunkSettings& settings, std::size_t max_threads);
  // Stops the threads, which leave the chunk in hand after its current text,
  // and waits for them.
  ~ChunkRunner();
  ChunkRunner(const ChunkRunner&) = delete;
  ChunkRunner& operator=(const ChunkRunner&) = delete;

  const ChunkSettings& settings() const { return settings_; }
  std::size_t pending() const { return order_.size(); }

  // Whether the last chunk taken was not done yet: the calling thread had
  // to wait for the pipeline threads.
  bool behind() const { return behind_; }

  // Throws std::system_error when no thread can be started at all.
  void submit(std::vector<Element> elements);

  // Hands back a taken chunk whose Python references are all released, for
  // a pipeline thread to free: freeing a chunk's texts and reports is work
  // the calling thread, which builds every result, is better spared.
  void recycle(std::unique_ptr<Chunk> chunk);

  // The oldest chunk once its pipeline has run, or nullptr when none is
  // pending. `WhileWaiting` is made, as a scope, only if the chunk is not
  // done yet: the caller releases the interpreter lock in it.
  template <class WhileWaiting>
  std::unique_ptr<Chunk> take();

 private:
  void run();

  ChunkSettings settings_;
  std::size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable chunk_done_;
  // Every chunk not yet taken, in order; `waiting_` those no thread has begun.
  std::deque<std::unique_ptr<Chunk>> order_;
  std::deque<Chunk*> waiting_;
  std::vector<std::unique_ptr<Chunk>> spent_;
  std::atomic<bool> stopping_{false};
  bool behind_ = false;
  std::vector<std::thread> threads_;
};

template <class WhileWaiting>
std::unique_ptr<Chunk> ChunkRunner::take() {
  if (order_.empty()) return nullptr;
  std::unique_ptr<Chunk> chunk = std::move(order_.front());
  order_.pop_front();
  {
    std::lock_guard lock(mutex_);
    behind_ = !chunk->done;
    if (!behind_) return chunk;
  }
  // Declared in this order so that the mutex is released before the scope
  // ends: taking the interpreter lock back may wait, and no thread may wait
  // for it while holding the mutex.
  WhileWaiting waiting;
  std::unique_lock lock(mutex_);
  chunk_done_.wait(lock, [&] { return chunk->done; });
  return chunk;
}

}  // namespace orlenta
