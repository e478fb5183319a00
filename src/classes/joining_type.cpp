#include "classes/joining_type.h"

#include <cstdint>

#include "classes/code_point_runs.h"

namespace orlenta {
namespace {

#include "classes/joining_type.inc"

}  // namespace

JoiningType joining_type(char32_t cp) { return static_cast<JoiningType>(run_value(joining_type_runs, cp)); }

std::string_view joining_type_table_version() { return joining_type_unicode_version; }

}  // namespace orlenta
