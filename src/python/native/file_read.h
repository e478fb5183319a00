// Reading a file whole for the scan, without the interpreter lock.
#pragma once

#include <cstddef>
#include <string>

namespace orlenta {

// A file with a NUL byte among its first bytes is binary and not read on.
inline constexpr std::size_t binary_probe_bytes = 8192;

struct FileRead {
  // How many bytes of the buffer the file filled.
  std::size_t size = 0;
  bool binary = false;
  // Why the file could not be read, as strerror words it; empty when read.
  std::string error;
};

// Reads the file at `path` to its end into the front of `buffer`, which
// grows as needed and is never shrunk: the files of a tree are read one
// after the other into the same memory, which then needs no fresh pages and
// no clearing per file. A binary file stops after the probe, with a size of
// 0.
FileRead read_whole_file(const std::string& path, std::string& buffer);

}  // namespace orlenta
