#include "file_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orlenta {
namespace {

enum class EntryType : unsigned char { file, folder, other };

struct FolderEntry {
  std::string name;
  EntryType type;
};

// A folder's listing and how far the walk has come through it.
struct OpenFolder {
  std::string path;
  std::vector<FolderEntry> entries;
  std::size_t next = 0;
};

EntryType type_of(const std::string& path, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return EntryType::file;
    case DT_DIR:
      return EntryType::folder;
    case DT_UNKNOWN:
      break;
    default:
      return EntryType::other;
  }
  // Some file systems leave the type to a stat of the entry itself.
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return EntryType::other;
  if (S_ISREG(status.st_mode)) return EntryType::file;
  return S_ISDIR(status.st_mode) ? EntryType::folder : EntryType::other;
}

std::string joined(const std::string& folder, const std::string& name) {
  if (folder == ".") return name;
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The folder's entries in name order; false with errno set when it cannot
// be listed.
bool list_folder(const std::string& path, std::vector<FolderEntry>& entries) {
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) return false;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") entries.push_back({name, type_of(joined(path, name), *entry)});
    errno = 0;
  }
  const int error = errno;
  ::closedir(folder);
  if (error != 0) {
    errno = error;
    return false;
  }
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

}  // namespace

std::vector<WalkEntry> walk_folder(const std::string& folder) {
  std::vector<WalkEntry> found;
  std::vector<OpenFolder> stack;
  const auto enter = [&](const std::string& path) {
    OpenFolder opened{path, {}, 0};
    if (list_folder(path, opened.entries)) {
      stack.push_back(std::move(opened));
    } else {
      found.push_back({path, std::generic_category().message(errno)});
    }
  };
  enter(folder);
  while (!stack.empty()) {
    OpenFolder& top = stack.back();
    if (top.next == top.entries.size()) {
      stack.pop_back();
      continue;
    }
    const FolderEntry& entry = top.entries[top.next++];
    std::string path = joined(top.path, entry.name);
    if (entry.type == EntryType::file) {
      found.push_back({std::move(path), {}});
    } else if (entry.type == EntryType::folder && entry.name != ".git") {
      enter(path);  // may move the stack, and `top` with it
    }
  }
  return found;
}

}  // namespace orlenta
