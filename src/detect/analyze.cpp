#include "analyze.h"

#include "code_point_offsets.h"
#include "encoded_payloads.h"

namespace orlenta::detect {

std::vector<Finding> analyze(std::string_view utf8_text) {
  std::vector<Finding> found;
  find_encoded_payloads(utf8_text, found);
  sort_findings(found);
  to_code_point_offsets(utf8_text, found);
  return found;
}

}  // namespace orlenta::detect
