#include <string>
#include <utility>
#include <variant>

#include "policy/builtin_registry.h"
#include "policy/policy.h"

namespace orlenta {
namespace {

PolicyRegistry read_builtin_registry() {
  Outcome<PolicyRegistry> read = read_registry(builtin_registry_document());
  if (const Error* error = std::get_if<Error>(&read)) {
    throw InternalFault("policy registry must be valid JSON: " + error->message);
  }
  return std::move(std::get<PolicyRegistry>(read));
}

}  // namespace

const PolicyRegistry& registry() {
  // A function-local static is built once even when threads race on the
  // first call; the others wait. If building throws, the static stays
  // unbuilt and the next call tries again.
  static const PolicyRegistry REGISTRY = read_builtin_registry();
  return REGISTRY;
}

}  // namespace orlenta
