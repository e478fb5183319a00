#include "classes/indic_syllabic_category.h"

#include <cstdint>

#include "classes/code_point_runs.h"

namespace orlenta {
namespace {

#include "classes/indic_syllabic_category.inc"

}  // namespace

IndicSyllabicCategory indic_syllabic_category(char32_t cp) {
  return static_cast<IndicSyllabicCategory>(run_value(indic_syllabic_category_runs, cp));
}

std::string_view indic_syllabic_category_table_version() { return indic_syllabic_category_unicode_version; }

}  // namespace orlenta
