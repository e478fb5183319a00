#include "analyze.h"

#include "code_point_offsets.h"
#include "combining_abuse.h"
#include "encoded_payloads.h"
#include "joiners_out_of_context.h"
#include "mixed_script_words.h"
#include "unusual_entropy.h"
#include "zero_width_runs.h"

namespace orlenta::detect {

std::vector<Finding> analyze(std::string_view utf8_text) {
  std::vector<Finding> found;
  find_encoded_payloads(utf8_text, found);
  // After the payloads, whose spans it leaves out.
  find_unusual_entropy(utf8_text, found);
  find_combining_abuse(utf8_text, found);
  find_joiners_out_of_context(utf8_text, found);
  find_zero_width_runs(utf8_text, found);
  find_mixed_script_words(utf8_text, found);
  sort_findings(found);
  to_code_point_offsets(utf8_text, found);
  return found;
}

}  // namespace orlenta::detect
