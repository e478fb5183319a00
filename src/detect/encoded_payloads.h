// Encoded payloads: base64, base64url, hex and percent-encoded runs that
// decode to something worth hiding, MIME-wrapped base64 included.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Appends an encoded_payload finding, with byte offsets, for every run that
// decodes to at least 24 bytes and is written in the mix of character
// classes encoders produce and words and identifiers lack. Digests written
// as such are left alone: runs of 16, 20, 28, 32, 48 or 64 bytes that are
// not text, labelled as a hash by what stands before them or opening a
// checksum line (digest_label.h).
void find_encoded_payloads(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
