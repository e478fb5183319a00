#include "file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orlenta {
namespace {

std::string error_text(int error) { return std::generic_category().message(error); }

// Reads until `bytes` holds `limit` bytes or the file ends, growing the
// buffer as needed; false with errno set on a failed read.
bool read_into(int descriptor, std::string& bytes, std::size_t& filled, std::size_t limit) {
  while (filled < limit) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2 + binary_probe_bytes);
    const std::size_t room = std::min(bytes.size(), limit) - filled;
    const ssize_t got = ::read(descriptor, bytes.data() + filled, room);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

FileRead read_whole_file(const std::string& path, std::string& buffer) {
  FileRead result;
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    result.error = error_text(errno);
    return result;
  }
  struct stat status {};
  // One byte past the size that fstat gives lets the first full read see
  // the end of the file; a file that grows is read on to its new end.
  const std::size_t expected =
      ::fstat(descriptor, &status) == 0 && status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
  const std::size_t wanted = std::max(expected + 1, binary_probe_bytes);
  if (buffer.size() < wanted) buffer.resize(wanted);
  std::size_t filled = 0;
  bool read = read_into(descriptor, buffer, filled, binary_probe_bytes);
  if (read && std::memchr(buffer.data(), 0, filled) != nullptr) {
    result.binary = true;
  } else if (read && filled == binary_probe_bytes) {
    read = read_into(descriptor, buffer, filled, static_cast<std::size_t>(-1));
  }
  if (!read) result.error = error_text(errno);
  ::close(descriptor);
  if (!result.binary && read) result.size = filled;
  return result;
}

}  // namespace orlenta
