#include "interpreter_states.h"

#include <cstddef>
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
std::vector<LiveState>& LIVE_STATES = *new std::vector<LiveState>;

std::int64_t current_interpreter_id() noexcept { return PyInterpreterState_GetID(PyInterpreterState_Get()); }

}  // namespace

void add_live_state(ModuleState* state) { LIVE_STATES.push_back({current_interpreter_id(), state}); }

void remove_live_state(const ModuleState* state) noexcept {
  std::erase_if(LIVE_STATES, [state](const LiveState& live) { return live.state == state; });
}

// Newest first. There is usually one state, often a few, so a plain walk
// is the fastest search.
ModuleState* current_module_state() noexcept {
  const std::int64_t interpreter_id = current_interpreter_id();
  for (std::size_t i = LIVE_STATES.size(); i-- > 0;) {
    if (LIVE_STATES[i].interpreter_id == interpreter_id) return LIVE_STATES[i].state;
  }
  return nullptr;
}

}  // namespace orlenta
