#include "chunk_runner.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>
#include <variant>

#include "normkit/utf8.h"
#include "report/report.h"

namespace orlenta {

bool encode_code_points(const Py_UCS4* code_points, std::size_t count, std::string& out) {
  // Measured first, so that the text takes only the memory it needs while
  // its chunk waits for its results to be built. Both loops are written
  // without early exits or branches on the text, which lets the compiler
  // handle several code points per instruction.
  // The sums are as wide as the code points, which fits more of them in a
  // vector register, and taken in blocks short enough not to overflow.
  constexpr std::size_t block = std::size_t{1} << 20;
  std::size_t size = count;
  std::uint32_t surrogates = 0;
  for (std::size_t start = 0; start < count; start += block) {
    const std::size_t stop = std::min(count, start + block);
    std::uint32_t extra = 0;
    for (std::size_t i = start; i < stop; ++i) {
      const std::uint32_t cp = code_points[i];
      extra += static_cast<std::uint32_t>(cp >= 0x80) + static_cast<std::uint32_t>(cp >= 0x800) +
               static_cast<std::uint32_t>(cp >= 0x10000);
      surrogates |= static_cast<std::uint32_t>(cp - 0xD800 < 0x800);
    }
    size += extra;
  }
  if (surrogates != 0) return false;
  out.resize(size);
  char* end = out.data();
  if (size == count) {
    for (std::size_t i = 0; i < count; ++i) end[i] = static_cast<char>(code_points[i]);
    return true;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t cp = static_cast<char32_t>(code_points[i]);
    if (cp < 0x80) {
      *end++ = static_cast<char>(cp);
    } else {
      end += normkit::utf8::encode(cp, end);
    }
  }
  return true;
}

void sanitize_elements(std::vector<Element>& elements, const ChunkSettings& settings,
                       const std::atomic<bool>& stop) {
  const bool write_json = settings.report == ReportForm::json || settings.report == ReportForm::changed_and_json;
  for (Element& element : elements) {
    if (stop.load(std::memory_order_relaxed)) return;
    if (element.conversion_error) continue;
    if (element.code_points) {
      element.unencodable = !encode_code_points(element.code_points.get(), element.code_point_count, element.encoded);
      element.code_points.reset();
      if (element.unencodable) continue;
      element.text = element.encoded;
    }
    element.outcome = sanitize_inner_with_overrides(element.text, settings.policy, settings.normalization,
                                                    settings.tidy_whitespace, settings.return_spans);
    if (SanitizeResult* result = std::get_if<SanitizeResult>(&*element.outcome); result != nullptr && write_json) {
      element.report_json = report_to_json(result->report);
    }
  }
}

ChunkRunner::ChunkRunner(const ChunkSettings& settings, std::size_t max_threads)
    : settings_(settings), max_threads_(max_threads == 0 ? 1 : max_threads) {}

ChunkRunner::~ChunkRunner() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ChunkRunner::submit(std::vector<Element> elements) {
  // One thread more per chunk, up to the limit: a call with a few chunks
  // starts no more threads than it can use.
  if (threads_.size() < max_threads_) {
    try {
      threads_.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
      // The threads already running serve; without any, nothing would.
      if (threads_.empty()) throw;
    }
  }
  auto chunk = std::make_unique<Chunk>();
  chunk->elements = std::move(elements);
  Chunk* const queued = chunk.get();
  order_.push_back(std::move(chunk));
  try {
    std::lock_guard lock(mutex_);
    waiting_.push_back(queued);
  } catch (...) {
    // A chunk no thread will run must not be waited for.
    order_.pop_back();
    throw;
  }
  work_ready_.notify_one();
}

void ChunkRunner::recycle(std::unique_ptr<Chunk> chunk) {
  std::lock_guard lock(mutex_);
  spent_.push_back(std::move(chunk));
}

void ChunkRunner::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    work_ready_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) return;
    Chunk* const chunk = waiting_.front();
    waiting_.pop_front();
    std::vector<std::unique_ptr<Chunk>> spent;
    spent.swap(spent_);
    lock.unlock();
    spent.clear();
    try {
      sanitize_elements(chunk->elements, settings_, stopping_);
    } catch (...) {
      chunk->fault = std::current_exception();
    }
    lock.lock();
    chunk->done = true;
    chunk_done_.notify_all();
  }
}

}  // namespace orlenta
