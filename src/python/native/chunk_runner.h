// The native half of sanitize_many: the pipeline over chunks of texts, on
// threads of its own that never take the interpreter lock, so that the
// calling thread builds the Python results of one chunk while the pipeline
// runs over the next ones.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
#include "report/report.h"
#include "thread_share.h"

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

// A run of elements in one of a chunk's shared buffers.
struct Slice {
  std::size_t start = 0;
  std::size_t size = 0;
};

// How the calling thread read a text.
enum class TextForm : std::uint8_t {
  // A short str comes as its code points, in the chunk's code point
  // buffer, which the pipeline thread encodes: encoding it under the lock
  // cost the calling thread more than anything else in reading a chunk.
  code_points,
  // A long str's UTF-8, or a short one's encoded by the calling thread
  // when it had time to spare.
  utf8,
  // Not a str, or lone surrogates in a text read as UTF-8.
  unreadable,
};

// One text of a chunk as the calling thread read it. Only the calling
// thread, holding the lock, touches the references; the pipeline threads
// read the rest. `object` is a strong reference, so that the list may
// change and a UTF-8 form the str caches stays put while the lock is
// released.
struct TextSource {
  PyRef object;
  // The UTF-8 copy of a long text, or the exception reading it raised.
  PyRef holder;
  const char* utf8 = nullptr;
  Slice place;  // bytes at `utf8`, or code points in the chunk's buffer
  TextForm form = TextForm::unreadable;
  // An unchanged exact str is its own result; any other text's result is
  // made from the sanitized text.
  bool exact = false;
};

enum class TextFate : std::uint8_t {
  sanitized,
  // The pipeline's refusal, its message in the chunk's bytes.
  refused,
  // The code points hold a surrogate, which UTF-8 cannot carry: the calling
  // thread raises what reading the str as UTF-8 raises.
  unencodable,
  unreadable,
};

// A report copied out of the pipeline's result, its entries in the chunk's
// report vectors. Its views, the entries' names and string values included,
// are of names fixed in the program or of the policy registry's own copies,
// which outlive the result.
struct KeptReport {
  std::uint32_t report_version = 1;
  std::string_view policy;
  std::string_view normalization;
  Slice removed_counts;
  Slice flagged_counts;
  Slice spans;
  Slice stats;
  bool literal_stat_names = false;
};

// What became of one text. Slices are of the chunk's bytes.
struct TextResult {
  TextFate fate = TextFate::unreadable;
  bool changed = false;
  // The sanitized text unless the source is its own result; the message of
  // a refusal.
  Slice text;
  // The same text's code points in the chunk's wide buffer, when it has one
  // from U+0100 up; empty otherwise.
  Slice wide;
  Slice json;
};

// The reports of a chunk in dict form, one per text (empty for a text that
// was not sanitized).
struct KeptReports {
  std::vector<KeptReport> reports;
  std::vector<CountMap::value_type> counts;
  std::vector<SpanEvent> spans;
  std::vector<StatsMap::value_type> stats;
};

// A chunk's texts and results in a few buffers that are filled again for
// every chunk: in steady state a chunk allocates nothing per text. The
// calling thread alone grows and clears the sources, code points and
// encoded texts, the pipeline thread that runs the chunk the results,
// bytes, code points of results and reports, so that memory is mostly freed
// by the thread that allocated it (freeing another thread's memory contends
// for its allocator's lock).
struct Chunk {
  std::vector<TextSource> sources;
  std::vector<Py_UCS4> code_points;
  // The UTF-8 form of the code points, when the calling thread encodes them.
  std::string encoded;
  std::vector<TextResult> results;
  std::string bytes;
  // The calling thread makes a str from code points in a third to a half of
  // the time CPython's UTF-8 decoder takes on a text beyond Latin-1 (from
  // ASCII and Latin-1, UTF-8 is as quick), so the pipeline thread decodes
  // such texts here. Filled only where a wchar_t is a code point.
  std::vector<wchar_t> wide;
  KeptReports kept;
  // A fault of the pipeline (running out of memory), for the calling thread
  // to raise when it takes the chunk.
  std::exception_ptr fault;
  bool done = false;
};

// Encodes the sources read as code points into the chunk's `encoded` buffer,
// where they are read as UTF-8 from then on. A text with a surrogate stays
// as it is, for the pipeline thread to find it unencodable.
void encode_sources(Chunk& chunk);

// The pipeline over every source of the chunk into its results, stopping
// early once `stop` is set; touches no Python object. `scratch` holds the
// UTF-8 form of one text at a time, kept from one call to the next.
void sanitize_chunk_texts(Chunk& chunk, const ChunkSettings& settings, const std::atomic<bool>& stop,
                          std::string& scratch);

// The text, its JSON report or refusal message, out of the chunk's bytes.
inline std::string_view bytes_of(const Chunk& chunk, Slice slice) {
  return std::string_view(chunk.bytes).substr(slice.start, slice.size);
}

// Chunks are submitted and taken in the same order by one calling thread;
// up to `max_threads` threads, started as chunks arrive, run the pipeline
// over them in between, only as many at once as make the batch quickest by
// the CPU time a text has cost each side (thread_share.h). The settings'
// policy view must outlive the runner.
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

  // A chunk to fill: a recycled one, its buffers as large as before, or a
  // new one.
  std::unique_ptr<Chunk> empty_chunk();

  // Throws std::system_error when no thread can be started at all.
  void submit(std::unique_ptr<Chunk> chunk);

  // Takes back a chunk whose results are built, for reuse. The calling
  // thread must hold the interpreter lock: the chunk's references are
  // released here.
  void recycle(std::unique_ptr<Chunk> chunk);

  // The oldest chunk once its pipeline has run, or nullptr when none is
  // pending. `WhileWaiting` is made, as a scope, only if the chunk is not
  // done yet: the caller releases the interpreter lock in it.
  template <class WhileWaiting>
  std::unique_ptr<Chunk> take();

 private:
  // A pipeline thread with nothing to do, asleep until it is woken for a
  // chunk or the runner stops.
  struct IdleThread {
    std::condition_variable wake;
    bool woken = false;
  };

  void run();
  // Adds the calling thread's CPU time since it took the last chunk to
  // what that chunk's texts cost it.
  void measure_calling_thread();
  // With the mutex held, once a chunk is taken: how many threads may run.
  void note_taken(const Chunk& chunk);
  // With the mutex held: wakes idle threads for the waiting chunks, as many
  // as may run.
  void wake_threads();

  ChunkSettings settings_;
  std::size_t max_threads_;
  std::size_t cores_;
  // Only the calling thread touches these: its CPU time per text, its clock
  // when it took the last chunk, that chunk's texts, the chunks taken.
  CpuSpent calling_spent_;
  double calling_clock_ = 0;
  std::size_t texts_taken_last_ = 0;
  std::size_t takes_ = 0;
  std::mutex mutex_;
  std::condition_variable chunk_done_;
  // Every chunk not yet taken, in order; `waiting_` those no thread has begun.
  std::deque<std::unique_ptr<Chunk>> order_;
  std::deque<Chunk*> waiting_;
  // Chunks taken and recycled; only the calling thread touches them.
  std::vector<std::unique_ptr<Chunk>> spare_;
  std::atomic<bool> stopping_{false};
  bool behind_ = false;
  // Guarded by the mutex: the pipeline threads' CPU time per text, how many
  // of them run a chunk, and how many may.
  CpuSpent pipeline_spent_;
  std::size_t running_ = 0;
  std::size_t to_run_;
  // Also guarded by the mutex: the threads asleep, the last to fall asleep
  // at the back, and how many were woken and are not running yet. A chunk
  // wakes the last to fall asleep, whose caches are the warmest, so that
  // while one thread is enough, the same one does the work.
  std::vector<IdleThread*> idle_;
  std::size_t starting_ = 0;
  std::vector<std::thread> threads_;
};

template <class WhileWaiting>
std::unique_ptr<Chunk> ChunkRunner::take() {
  if (order_.empty()) return nullptr;
  measure_calling_thread();
  std::unique_ptr<Chunk> chunk = std::move(order_.front());
  order_.pop_front();
  {
    std::lock_guard lock(mutex_);
    behind_ = !chunk->done;
    if (!behind_) {
      note_taken(*chunk);
      return chunk;
    }
  }
  // Declared in this order so that the mutex is released before the scope
  // ends: taking the interpreter lock back may wait, and no thread may wait
  // for it while holding the mutex.
  WhileWaiting waiting;
  std::unique_lock lock(mutex_);
  chunk_done_.wait(lock, [&] { return chunk->done; });
  note_taken(*chunk);
  return chunk;
}

}  // namespace orlenta
