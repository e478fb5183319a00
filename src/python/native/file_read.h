// Reading a file whole for the scan, without the interpreter lock.
#pragma once

#include <cstddef>
#include <string>

namespace orlenta {

// A file with a NUL byte among its first bytes is binary and not read on.
inline constexpr std::size_t binary_probe_bytes = 8192;

struct FileRead {
  std::string bytes;
  bool binary = false;
  // Why the file could not be read, as strerror words it; empty when read.
  std::string error;
};

// The bytes of the file at `path`, read to its end. A binary file stops
// after the probe, with its bytes dropped.
FileRead read_whole_file(const std::string& path);

}  // namespace orlenta
