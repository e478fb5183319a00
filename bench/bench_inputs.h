// Inputs of the normalization benchmark: real multilingual text, its
// decomposed form, and plain ASCII prose.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace bench {

struct LoadedCorpus {
  std::string text;
  std::size_t file_count = 0;
};

// Every *.txt file of the folder, concatenated as-is in file-name order so
// that every run measures the same bytes.
LoadedCorpus load_text_folder(const std::filesystem::path& folder);

// Deterministic English-like ASCII prose of exactly `size` bytes: words,
// sentences and paragraphs, the common case of a chat pipeline.
std::string make_ascii_prose(std::size_t size);

}  // namespace bench
