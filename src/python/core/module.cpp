// The orlenta._core extension module: multi-phase initialization whose exec
// step starts the module's state, creates the functions and lists them in
// __all__. Each interpreter that imports the module gets a module object, and
// so a state, of its own.
#include <Python.h>

#include "module_functions.h"
#include "query_entries.h"
#include "sanitize_entry.h"

namespace orlenta {
namespace {

// Added to the module in this order, which is also the order of __all__.
PyMethodDef FUNCTION_DEFINITIONS[] = {
    {"sanitize", as_method(sanitize_entry), FUNCTION_FLAGS, SANITIZE_DOC},
    {"normalize_for_skeleton", as_method(normalize_for_skeleton_entry), FUNCTION_FLAGS, NORMALIZE_FOR_SKELETON_DOC},
    {"is_identifier_decoration", as_method(is_identifier_decoration_entry), FUNCTION_FLAGS,
     IS_IDENTIFIER_DECORATION_DOC},
    {"encoded_codepoint_risk", as_method(encoded_codepoint_risk_entry), FUNCTION_FLAGS, ENCODED_CODEPOINT_RISK_DOC},
};

constexpr char MODULE_NAME[] = "_core";
constexpr char MODULE_DOC[] = "";

}  // namespace
}  // namespace orlenta

PyMODINIT_FUNC PyInit__core() {
  using Module = orlenta::PackageModule<orlenta::FUNCTION_DEFINITIONS, orlenta::MODULE_NAME, orlenta::MODULE_DOC>;
  return PyModuleDef_Init(&Module::definition);
}
