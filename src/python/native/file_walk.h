// Listing the files below a folder for `orlenta check`, without the
// interpreter lock.
#pragma once

#include <string>
#include <vector>

namespace orlenta {

// One file found, or one folder that could not be listed.
struct WalkEntry {
  std::string path;
  // Why the folder could not be listed, as strerror words it; empty for a
  // file.
  std::string error;
};

// Every regular file below `folder`, depth first, each folder's entries in
// the byte order of their names (the order git lists files in), but none
// under a folder named .git; symbolic links are not followed. Paths are
// `folder` joined to the names by "/", and a folder of "." gives the names
// alone. A folder that cannot be listed is an entry with its error, in its
// place, and the walk goes on. Holds one folder open at a time and no stack
// frame per level, however deep the tree.
std::vector<WalkEntry> walk_folder(const std::string& folder);

}  // namespace orlenta
