// Digests written as digests: the labels, key names and checksum lines that
// tell a hash in a lock file from a payload of the same size.
#pragma once

#include <cstddef>
#include <string_view>

namespace orlenta::detect {

// Whether `name` (in any case) names a digest algorithm or a field that
// holds one: sha256, MD5, blake2b, go.sum's h1, integrity, checksum,
// SNOWBALL_SHA256, gitSha, ETag, commit.
bool names_a_digest(std::string_view name);

// Whether the run [start, end) of `text` is written the way digests are:
// right after a digest label or key on its own line (`sha256:`,
// `--hash=sha256:`, `h1:`, `checksum = "`, `"integrity": "`,
// `SHA256 (file) = `), or at the start of a checksum line as sha256sum
// writes it (`<digest>  <file>` or `<digest> *<file>`).
bool is_written_as_digest(std::string_view text, std::size_t start, std::size_t end);

// Length of a digest label joined to a base64 digest by a hyphen, as
// integrity attributes and npm and yarn lock files write it
// (`sha512-<base64>`): "sha512-" there, 0 when `piece` has none.
std::size_t digest_prefix_length(std::string_view piece);

}  // namespace orlenta::detect
