#include "interpreter_states.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orlenta {
namespace {

struct LiveState {
  std::int64_t interpreter_id;
  ModuleState* state;
};

// Never destroyed: an embedding application may finalize the interpreter,
// and so free the modules, after the library's static destructors have run.
std::vector<LiveState>& live_states() {
  static auto* const states = new std::vector<LiveState>;
  return *states;
}

std::int64_t current_interpreter_id() noexcept { return PyInterpreterState_GetID(PyInterpreterState_Get()); }

}  // namespace

void add_live_state(ModuleState* state) { live_states().push_back({current_interpreter_id(), state}); }

void remove_live_state(const ModuleState* state) noexcept {
  std::erase_if(live_states(), [state](const LiveState& live) { return live.state == state; });
}

ModuleState* current_module_state() noexcept {
  const std::int64_t interpreter_id = current_interpreter_id();
  const std::vector<LiveState>& states = live_states();
  const auto found = std::find_if(states.rbegin(), states.rend(), [interpreter_id](const LiveState& live) {
    return live.interpreter_id == interpreter_id;
  });
  return found == states.rend() ? nullptr : found->state;
}

}  // namespace orlenta
