#include "analyze.h"

#include "code_point_offsets.h"

namespace orlenta::detect {

std::vector<Finding> analyze(std::string_view utf8_text) {
  std::vector<Finding> found;
  sort_findings(found);
  to_code_point_offsets(utf8_text, found);
  return found;
}

}  // namespace orlenta::detect
