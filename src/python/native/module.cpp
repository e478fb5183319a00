// orlenta._native: the package's own extension module beside orlenta._core.
// It holds the native code the package adds, and registers the four entry
// points of orlenta._core again, with the docstrings that help() and IDEs
// show for the package's names: _core keeps its bare signatures, and a
// Python wrapper would cost every call. Three are the very same C functions;
// sanitize is _core's with the report dict built natively, which makes the
// same dict without the JSON round trip.
#include <Python.h>

#include "analyze_entry.h"
#include "batch_entry.h"
#include "module_functions.h"
#include "query_entries.h"
#include "reveal_entry.h"
#include "sanitize_dict_entry.h"
#include "scan_entry.h"
#include "skeleton_entry.h"

namespace orlenta {
namespace {

constexpr char SANITIZE_HELP[] =
    "sanitize(text, policy=\"balanced_chat\", normalization=None, tidy_whitespace=None, return_spans=False)\n"
    "--\n"
    "\n"
    "Sanitize untrusted text and report what was changed.\n"
    "\n"
    "Removes or flags the code points that hide or reorder what a reader sees\n"
    "(bidi controls, tag characters, surplus variation selectors, zero-width\n"
    "and other invisible code points, stray controls), normalizes the text to\n"
    "NFC or NFKC under a bound on how far it may grow, optionally tidies\n"
    "whitespace, and measures the result for encoded payloads.\n"
    "\n"
    "policy: \"preserve\", \"balanced_chat\", \"strict_exec\" or \"code_mode\", or\n"
    "    the aliases \"balanced\", \"strict\" and \"code\".\n"
    "normalization: \"NFC\" or \"NFKC\" (any letter case) overrides the policy's form.\n"
    "tidy_whitespace: True or False overrides the policy's whitespace tidying.\n"
    "return_spans: also list every removal and flag as a span event, with UTF-8\n"
    "    byte offsets into the normalized text (at most 10000 events).\n"
    "\n"
    "Returns (text, report): the sanitized str and a dict with report_version,\n"
    "policy, normalization, changed, removed_counts, flagged_counts, spans and\n"
    "stats (see orlenta.types.SanitizeReport).\n"
    "\n"
    "Raises ValueError for an unknown policy or normalization and when the\n"
    "span events would exceed the limit; TypeError for arguments of the wrong\n"
    "type; UnicodeEncodeError for a str with lone surrogates.";

constexpr char NORMALIZE_FOR_SKELETON_HELP[] =
    "normalize_for_skeleton(text, max_chars=1000000)\n"
    "--\n"
    "\n"
    "Return the NFKC form of text, refusing work beyond a bound.\n"
    "\n"
    "Raises ValueError when the text, or its NFKC form, would have more than\n"
    "max_chars code points; a text already in NFKC comes back as it is.";

constexpr char IS_IDENTIFIER_DECORATION_HELP[] =
    "is_identifier_decoration(ch)\n"
    "--\n"
    "\n"
    "Whether the one character ch is a combining mark or a default-ignorable\n"
    "code point: something that can decorate an identifier without being seen.";

constexpr char ENCODED_CODEPOINT_RISK_HELP[] =
    "encoded_codepoint_risk(ch, policy)\n"
    "--\n"
    "\n"
    "The reason under which the policy would remove the one character ch, or\n"
    "None when it would keep it: \"bidi_control\", \"bidi_mark\",\n"
    "\"line_separator\", \"tag_char\", \"junk_invisible\", \"default_ignorable\" or\n"
    "\"control_or_format\".";

// Added in this order, which is also the order of __all__.
PyMethodDef FUNCTION_DEFINITIONS[] = {
    {"sanitize", as_method(sanitize_dict_entry), FUNCTION_FLAGS, SANITIZE_HELP},
    {"normalize_for_skeleton", as_method(normalize_for_skeleton_entry), FUNCTION_FLAGS, NORMALIZE_FOR_SKELETON_HELP},
    {"is_identifier_decoration", as_method(is_identifier_decoration_entry), FUNCTION_FLAGS,
     IS_IDENTIFIER_DECORATION_HELP},
    {"encoded_codepoint_risk", as_method(encoded_codepoint_risk_entry), FUNCTION_FLAGS, ENCODED_CODEPOINT_RISK_HELP},
    {"_sanitize_chunk", as_method(sanitize_chunk_entry), METH_FASTCALL | METH_STATIC, SANITIZE_CHUNK_DOC},
    {"_next_chunk", as_method(next_chunk_entry), METH_FASTCALL | METH_STATIC, NEXT_CHUNK_DOC},
    {"_chunk_runner", as_method(chunk_runner_entry), METH_FASTCALL | METH_STATIC, CHUNK_RUNNER_DOC},
    {"_submit_chunk", as_method(submit_chunk_entry), METH_FASTCALL | METH_STATIC, SUBMIT_CHUNK_DOC},
    {"_take_chunk", as_method(take_chunk_entry), METH_FASTCALL | METH_STATIC, TAKE_CHUNK_DOC},
    {"_first_refusal", as_method(first_refusal_entry), METH_FASTCALL | METH_STATIC, FIRST_REFUSAL_DOC},
    {"_scan_file", as_method(scan_file_entry), METH_FASTCALL | METH_STATIC, SCAN_FILE_DOC},
    {"_scan_paths", as_method(scan_paths_entry), METH_FASTCALL | METH_STATIC, SCAN_PATHS_DOC},
    {"_walk_folder", as_method(walk_folder_entry), METH_FASTCALL | METH_STATIC, WALK_FOLDER_DOC},
    {"_analyze", as_method(analyze_entry), METH_FASTCALL | METH_STATIC, ANALYZE_DOC},
    {"confusable_skeleton", as_method(confusable_skeleton_entry), FUNCTION_FLAGS, CONFUSABLE_SKELETON_HELP},
    {"_payloads_and_joiners", as_method(payloads_and_joiners_entry), METH_FASTCALL | METH_STATIC,
     PAYLOADS_AND_JOINERS_DOC},
    {"_hidden_runs", as_method(hidden_runs_entry), METH_FASTCALL | METH_STATIC, HIDDEN_RUNS_DOC},
};

constexpr char MODULE_NAME[] = "_native";
constexpr char MODULE_DOC[] = "The native code of orlenta beside orlenta._core.";

}  // namespace
}  // namespace orlenta

PyMODINIT_FUNC PyInit__native() {
  using Module = orlenta::PackageModule<orlenta::FUNCTION_DEFINITIONS, orlenta::MODULE_NAME, orlenta::MODULE_DOC>;
  return PyModuleDef_Init(&Module::definition);
}
