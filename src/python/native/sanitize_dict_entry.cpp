#include "sanitize_dict_entry.h"

#include <memory>

#include "interpreter_states.h"
#include "python/cached_object.h"
#include "python/py_ref.h"
#include "report_dict.h"
#include "sanitize_entry.h"

namespace orlenta {
namespace {

constexpr char SHAPES_CAPSULE[] = "orlenta._native.report_shapes";

ReportShapes* shapes_in(PyObject* capsule) {
  return static_cast<ReportShapes*>(PyCapsule_GetPointer(capsule, SHAPES_CAPSULE));
}

void free_shapes(PyObject* capsule) { delete shapes_in(capsule); }

PyObject* make_shapes() {
  auto shapes = std::make_unique<ReportShapes>();
  PyObject* capsule = PyCapsule_New(shapes.get(), SHAPES_CAPSULE, free_shapes);
  if (capsule != nullptr) shapes.release();
  return capsule;
}

PyObject* report_dict(const SanitizeReport& report) {
  const HeldReportShapes held = current_report_shapes();
  if (held.shapes == nullptr) return nullptr;
  return report_to_dict(report, *held.shapes);
}

}  // namespace

HeldReportShapes current_report_shapes() {
  HeldReportShapes held{cached_object(current_state_cell<&ModuleState::report_shapes>, make_shapes), nullptr};
  if (held.capsule) held.shapes = shapes_in(held.capsule.get());
  return held;
}

PyObject* sanitize_dict_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return sanitize_entry_with(args, nargs, kwnames, report_dict);
}

}  // namespace orlenta
