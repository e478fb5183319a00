#include "bench_inputs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace bench {

LoadedCorpus load_text_folder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == ".txt") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    throw std::runtime_error("no .txt files in " + folder.string());
  }

  LoadedCorpus corpus;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      throw std::runtime_error("cannot read " + file.string());
    }
    corpus.text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  corpus.file_count = files.size();
  return corpus;
}

std::string make_ascii_prose(std::size_t size) {
  static constexpr std::array<std::string_view, 32> words = {
      "the",     "of",        "and",    "to",       "a",        "in",       "that",   "is",
      "for",     "it",        "with",   "as",       "was",      "on",       "be",     "by",
      "right",   "everyone",  "free",   "shall",    "equal",    "dignity",  "person", "law",
      "freedom", "education", "work",   "protection", "country", "nations", "family", "society"};

  // A fixed linear congruential generator keeps the text identical across
  // runs and standard libraries.
  std::uint64_t state = 0x2545F4914F6CDD1DULL;
  auto next_index = [&state](std::size_t bound) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>((state >> 33) % bound);
  };

  std::string text;
  text.reserve(size + 64);
  while (text.size() < size) {
    const std::size_t sentences = 3 + next_index(4);
    for (std::size_t s = 0; s < sentences; ++s) {
      const std::size_t length = 6 + next_index(14);
      for (std::size_t w = 0; w < length; ++w) {
        std::string word(words[next_index(words.size())]);
        if (w == 0) {
          word[0] = static_cast<char>(word[0] - 'a' + 'A');
        }
        text += word;
        text += (w + 1 == length) ? ". " : (next_index(9) == 0 ? ", " : " ");
      }
    }
    text.back() = '\n';
  }
  text.resize(size);
  return text;
}

}  // namespace bench
