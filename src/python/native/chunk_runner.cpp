#include "chunk_runner.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "report/report.h"
#include "text/utf8_convert.h"
#include "utf8_from_code_points.h"

namespace orlenta {

void encode_sources(Chunk& chunk) {
  // Room for four bytes per code point, made once: the sources' views of
  // the buffer must not move.
  chunk.encoded.resize(4 * chunk.code_points.size());
  std::size_t used = 0;
  for (TextSource& source : chunk.sources) {
    if (source.form != TextForm::code_points) continue;
    char* const out = chunk.encoded.data() + used;
    const std::optional<std::size_t> size =
        utf8_from_code_points(chunk.code_points.data() + source.place.start, source.place.size, out);
    if (!size) continue;
    source.form = TextForm::utf8;
    source.utf8 = out;
    source.place = {0, *size};
    used += *size;
  }
}

namespace {

// A recycled chunk keeps buffers up to this size: a full chunk of chat
// messages needs far less, and an unusually long text should not keep
// memory in every chunk.
constexpr std::size_t KEPT_BUFFER_BYTES = std::size_t{4} << 20;

// Chunks taken before either side's CPU time counts: the first chunks are
// cut small, the calling thread reads several before it takes one, and the
// pipeline threads start cold. Then texts measured on each side before the
// measures decide how many threads run.
constexpr std::size_t WARM_UP_TAKES = 4;
constexpr std::size_t MEASURED_TEXTS = 256;

template <class Buffer>
void release_if_large(Buffer& buffer) {
  if (buffer.capacity() * sizeof(buffer[0]) > KEPT_BUFFER_BYTES) Buffer().swap(buffer);
}

// Appends `text` to the chunk's bytes, where its slice finds it.
Slice append_bytes(std::string& bytes, std::string_view text) {
  const Slice slice{bytes.size(), text.size()};
  bytes.append(text);
  return slice;
}

// Where a wchar_t holds a code point, PyUnicode_FromWideChar builds a str
// from code points.
constexpr bool wide_holds_code_points = sizeof(wchar_t) == 4;

// Longer texts keep to UTF-8: the wide copy takes four bytes per byte, and
// what it saves matters for the many short texts of a chunk, not for a few
// long ones.
constexpr std::size_t WIDE_TEXT_BYTES = std::size_t{1} << 16;

// Appends the code points of a text beyond Latin-1 to the wide buffer; an
// empty slice for any other text.
Slice append_wide(std::vector<wchar_t>& wide, std::string_view text) {
  if (!wide_holds_code_points || text.size() > WIDE_TEXT_BYTES ||
      highest_byte(text) < first_wide_lead_byte) {
    return {};
  }
  const std::size_t start = wide.size();
  wide.resize(start + text.size());
  wide.resize(start + utf8_to_code_points(text, wide.data() + start));
  return Slice{start, wide.size() - start};
}

// Appends the report's JSON text to the chunk's bytes, written there
// without a string of its own.
Slice append_json(std::string& bytes, const SanitizeReport& report) {
  const std::size_t start = bytes.size();
  append_report_json(bytes, report);
  return Slice{start, bytes.size() - start};
}

template <class Entry>
Slice append_entries(std::vector<Entry>& to, const std::vector<Entry>& from) {
  const Slice slice{to.size(), from.size()};
  to.insert(to.end(), from.begin(), from.end());
  return slice;
}

KeptReport keep_report(const SanitizeReport& report, KeptReports& kept) {
  KeptReport copy;
  copy.report_version = report.report_version;
  copy.policy = report.policy;
  copy.normalization = report.normalization;
  copy.removed_counts = append_entries(kept.counts, report.removed_counts.entries);
  copy.flagged_counts = append_entries(kept.counts, report.flagged_counts.entries);
  copy.spans = append_entries(kept.spans, report.spans);
  copy.stats = append_entries(kept.stats, report.stats.entries);
  copy.literal_stat_names = report.stats.literal_names;
  return copy;
}

// The text's UTF-8 form, encoded into `scratch` when it came as code points;
// nullopt when it cannot be encoded. The scratch buffer only grows, so that
// it is neither allocated nor cleared again for the next text.
std::optional<std::string_view> source_text(const Chunk& chunk, const TextSource& source, std::string& scratch) {
  if (source.form == TextForm::utf8) return std::string_view(source.utf8, source.place.size);
  const std::size_t room = 4 * source.place.size;
  if (scratch.size() < room) scratch.resize(room);
  const std::optional<std::size_t> size =
      utf8_from_code_points(chunk.code_points.data() + source.place.start, source.place.size, scratch.data());
  if (!size) return std::nullopt;
  return std::string_view(scratch.data(), *size);
}

}  // namespace

void sanitize_chunk_texts(Chunk& chunk, const ChunkSettings& settings, const std::atomic<bool>& stop,
                          std::string& scratch) {
  const bool write_json = settings.report == ReportForm::json || settings.report == ReportForm::changed_and_json;
  const bool keep_reports = settings.report == ReportForm::dict;
  chunk.results.clear();
  chunk.bytes.clear();
  chunk.wide.clear();
  chunk.kept.reports.clear();
  chunk.kept.counts.clear();
  chunk.kept.spans.clear();
  chunk.kept.stats.clear();
  chunk.results.reserve(chunk.sources.size());
  if (keep_reports) chunk.kept.reports.reserve(chunk.sources.size());
  for (const TextSource& source : chunk.sources) {
    if (stop.load(std::memory_order_relaxed)) return;
    TextResult& result = chunk.results.emplace_back();
    if (keep_reports) chunk.kept.reports.emplace_back();
    if (source.form == TextForm::unreadable) continue;
    const std::optional<std::string_view> text = source_text(chunk, source, scratch);
    if (!text) {
      result.fate = TextFate::unencodable;
      continue;
    }
    // Dropped on this thread at the end of the iteration, which allocated it.
    const Outcome<SanitizeResult> outcome = sanitize_inner_with_overrides(
        *text, settings.policy, settings.normalization, settings.tidy_whitespace, settings.return_spans);
    if (const Error* error = std::get_if<Error>(&outcome)) {
      result.fate = TextFate::refused;
      result.text = append_bytes(chunk.bytes, error->message);
      continue;
    }
    const SanitizeResult& sanitized = std::get<SanitizeResult>(outcome);
    result.fate = TextFate::sanitized;
    result.changed = sanitized.report.changed;
    if (result.changed || !source.exact) {
      result.text = append_bytes(chunk.bytes, sanitized.text);
      result.wide = append_wide(chunk.wide, sanitized.text);
    }
    if (write_json) result.json = append_json(chunk.bytes, sanitized.report);
    if (keep_reports) chunk.kept.reports.back() = keep_report(sanitized.report, chunk.kept);
  }
}

ChunkRunner::ChunkRunner(const ChunkSettings& settings, std::size_t max_threads)
    : settings_(settings),
      max_threads_(max_threads == 0 ? 1 : max_threads),
      cores_(std::max(1u, std::thread::hardware_concurrency())),
      to_run_(max_threads_) {}

void ChunkRunner::measure_calling_thread() {
  if (takes_ < WARM_UP_TAKES) return;
  calling_spent_.seconds += thread_cpu_seconds() - calling_clock_;
  calling_spent_.texts += texts_taken_last_;
}

void ChunkRunner::note_taken(const Chunk& chunk) {
  texts_taken_last_ = chunk.sources.size();
  calling_clock_ = thread_cpu_seconds();
  if (++takes_ == WARM_UP_TAKES) pipeline_spent_ = {};
  if (calling_spent_.texts < MEASURED_TEXTS || pipeline_spent_.texts < MEASURED_TEXTS) return;
  to_run_ = pipeline_threads_to_run(cores_, max_threads_, calling_spent_, pipeline_spent_);
  wake_threads();
}

void ChunkRunner::wake_threads() {
  while (!idle_.empty() && running_ + starting_ < to_run_ && starting_ < waiting_.size()) {
    IdleThread* const idle = idle_.back();
    idle_.pop_back();
    idle->woken = true;
    ++starting_;
    idle->wake.notify_one();
  }
}

ChunkRunner::~ChunkRunner() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (IdleThread* idle : idle_) {
      idle->woken = true;
      idle->wake.notify_one();
    }
    idle_.clear();
  }
  for (std::thread& thread : threads_) thread.join();
}

std::unique_ptr<Chunk> ChunkRunner::empty_chunk() {
  if (spare_.empty()) return std::make_unique<Chunk>();
  std::unique_ptr<Chunk> chunk = std::move(spare_.back());
  spare_.pop_back();
  return chunk;
}

void ChunkRunner::submit(std::unique_ptr<Chunk> chunk) {
  // One thread more per chunk, up to the limit: a call with a few chunks
  // starts no more threads than it can use.
  if (threads_.size() < max_threads_) {
    {
      // Room for every thread in the idle list, so that falling asleep
      // never allocates.
      std::lock_guard lock(mutex_);
      idle_.reserve(threads_.size() + 1);
    }
    try {
      threads_.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
      // The threads already running serve; without any, nothing would.
      if (threads_.empty()) throw;
    }
  }
  chunk->done = false;
  Chunk* const queued = chunk.get();
  order_.push_back(std::move(chunk));
  try {
    std::lock_guard lock(mutex_);
    waiting_.push_back(queued);
    wake_threads();
  } catch (...) {
    // A chunk no thread will run must not be waited for.
    order_.pop_back();
    throw;
  }
}

void ChunkRunner::recycle(std::unique_ptr<Chunk> chunk) {
  chunk->sources.clear();
  chunk->code_points.clear();
  chunk->encoded.clear();
  chunk->fault = nullptr;
  // A chunk keeps its buffers for the next one, unless an unusually long
  // text made one of them large: that memory goes back now, so that a few
  // long texts do not keep every spare chunk large.
  release_if_large(chunk->sources);
  release_if_large(chunk->code_points);
  release_if_large(chunk->encoded);
  release_if_large(chunk->results);
  release_if_large(chunk->bytes);
  release_if_large(chunk->wide);
  release_if_large(chunk->kept.reports);
  release_if_large(chunk->kept.counts);
  release_if_large(chunk->kept.spans);
  release_if_large(chunk->kept.stats);
  spare_.push_back(std::move(chunk));
}

void ChunkRunner::run() {
  std::string scratch;
  IdleThread self;
  std::unique_lock lock(mutex_);
  while (true) {
    if (stopping_) return;
    // A thread that has just finished a chunk goes on to the next one
    // itself, even when a thread woken for it is starting.
    if (waiting_.empty() || running_ >= to_run_) {
      self.woken = false;
      idle_.push_back(&self);
      self.wake.wait(lock, [&self] { return self.woken; });
      if (!stopping_) --starting_;
      continue;
    }
    Chunk* const chunk = waiting_.front();
    waiting_.pop_front();
    ++running_;
    lock.unlock();
    const double start = thread_cpu_seconds();
    try {
      sanitize_chunk_texts(*chunk, settings_, stopping_, scratch);
    } catch (...) {
      chunk->fault = std::current_exception();
    }
    const double spent = thread_cpu_seconds() - start;
    lock.lock();
    --running_;
    pipeline_spent_.seconds += spent;
    pipeline_spent_.texts += chunk->sources.size();
    chunk->done = true;
    chunk_done_.notify_all();
  }
}

}  // namespace orlenta
