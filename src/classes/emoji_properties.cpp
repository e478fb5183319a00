#include "classes/emoji_properties.h"

#include "classes/code_point_runs.h"

namespace orlenta {
namespace {

#include "classes/emoji_properties.inc"

}  // namespace

std::uint8_t emoji_properties(char32_t cp) { return run_value(emoji_property_runs, cp); }

std::string_view emoji_properties_table_version() { return emoji_properties_version; }

}  // namespace orlenta
