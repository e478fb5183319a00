// The registry document compiled into the module (src/policy/registry.json).
#pragma once

#include <string_view>

namespace orlenta {

std::string_view builtin_registry_document();

}  // namespace orlenta
