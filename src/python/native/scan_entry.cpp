#include "scan_entry.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "file_read.h"
#include "file_walk.h"
#include "interpreter_states.h"
#include "pipeline/file_scan.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

// The contents of a bytes argument, which the caller keeps alive; false with
// TypeError set for any other type.
bool read_bytes(PyObject* object, std::string_view& bytes) {
  if (!PyBytes_Check(object)) {
    raise_type_mismatch(object, "bytes");
    return false;
  }
  char* data = nullptr;
  Py_ssize_t length = 0;
  if (PyBytes_AsStringAndSize(object, &data, &length) < 0) return false;
  bytes = std::string_view(data, static_cast<std::size_t>(length));
  return true;
}

PyObject* names_tuple(std::span<const std::string_view> names) {
  PyRef tuple{PyTuple_New(static_cast<Py_ssize_t>(names.size()))};
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyObject* name = PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size()));
    if (name == nullptr) return nullptr;
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), name);  // steals the reference
  }
  return tuple.release();
}

PyObject* records_bytes(const std::vector<ScanFinding>& findings) {
  const std::size_t size = findings.size() * sizeof(ScanFinding);
  PyRef records{PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size))};
  if (!records) return nullptr;
  if (size != 0) std::memcpy(PyBytes_AsString(records.get()), findings.data(), size);
  return records.release();
}

// (results, reasons, kinds), taking over the new reference `results`.
PyObject* with_names(PyObject* results) {
  PyRef owned{results};
  if (!owned) return nullptr;
  PyRef reasons{names_tuple(finding_reason_names)};
  if (!reasons) return nullptr;
  PyRef kinds{names_tuple(finding_kind_names)};
  if (!kinds) return nullptr;
  return PyTuple_Pack(3, owned.get(), reasons.get(), kinds.get());
}

std::optional<ResolvedPolicy> read_policy(PyObject* name) {
  std::string_view policy_name;
  if (!convert_text(name, policy_name)) return std::nullopt;
  std::optional<ResolvedPolicy> policy = get_policy(policy_name);
  if (!policy) raise_value_error("unknown policy: " + std::string(policy_name));
  return policy;
}

// One path of _scan_paths and what became of it.
struct PathScan {
  std::string path;
  FileRead file;
  std::vector<ScanFinding> findings;
  // The file's bytes, when they go back to Python.
  std::string bytes;
};

std::vector<PathScan> read_paths(PyObject* list) {
  const Py_ssize_t count = PyList_Size(list);
  std::vector<PathScan> scans(static_cast<std::size_t>(count < 0 ? 0 : count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    std::string_view path;
    if (!read_bytes(PyList_GetItem(list, i), path)) return {};
    scans[static_cast<std::size_t>(i)].path.assign(path);
  }
  return scans;
}

// Reads and scans every path into one buffer; a file's bytes are kept only
// when it has findings or its data is to be kept.
void scan_paths(std::vector<PathScan>& scans, const ResolvedPolicy& policy, const ScanOptions& options,
                bool keep_data) {
  ReleasedGil released;
  std::string buffer;
  for (PathScan& scan : scans) {
    scan.file = read_whole_file(scan.path, buffer);
    if (!scan.file.error.empty() || scan.file.binary) continue;
    const std::string_view bytes(buffer.data(), scan.file.size);
    scan.findings = scan_file(bytes, policy, options);
    if (!scan.findings.empty() || keep_data) scan.bytes = bytes;
  }
}

PyObject* error_text(const std::string& message) {
  return PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
}

PyObject* walk_result(const WalkEntry& entry) {
  PyRef path{PyBytes_FromStringAndSize(entry.path.data(), static_cast<Py_ssize_t>(entry.path.size()))};
  if (!path || entry.error.empty()) return path.release();
  PyRef error{error_text(entry.error)};
  if (!error) return nullptr;
  return PyTuple_Pack(2, path.get(), error.get());
}

PyObject* path_result(const PathScan& scan, bool keep_data) {
  if (!scan.file.error.empty()) {
    PyRef error{error_text(scan.file.error)};
    if (!error) return nullptr;
    return PyTuple_Pack(3, Py_None, Py_None, error.get());
  }
  if (scan.file.binary) return PyTuple_Pack(3, Py_None, Py_None, Py_None);
  PyRef records{records_bytes(scan.findings)};
  if (!records) return nullptr;
  if (scan.findings.empty() && !keep_data) return PyTuple_Pack(3, records.get(), Py_None, Py_None);
  PyRef data{PyBytes_FromStringAndSize(scan.bytes.data(), static_cast<Py_ssize_t>(scan.bytes.size()))};
  if (!data) return nullptr;
  return PyTuple_Pack(3, records.get(), data.get(), Py_None);
}

}  // namespace

PyObject* scan_file_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 4) {
      PyErr_Format(PyExc_TypeError, "_scan_file() takes 4 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    std::string_view data;
    if (!read_bytes(args[0], data)) return nullptr;
    ScanOptions options;
    if (!convert_bool(args[2], options.strict_newlines) || !convert_bool(args[3], options.check_normalization)) {
      return nullptr;
    }
    const std::optional<ResolvedPolicy> policy = read_policy(args[1]);
    if (!policy) return nullptr;
    std::vector<ScanFinding> findings;
    {
      // The bytes object is immutable and the caller holds it for the call.
      ReleasedGil released;
      findings = scan_file(data, *policy, options);
    }
    return with_names(records_bytes(findings));
  });
}

PyObject* walk_folder_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 1) {
      PyErr_Format(PyExc_TypeError, "_walk_folder() takes 1 positional argument but %zd were given", nargs);
      return nullptr;
    }
    std::string_view folder_bytes;
    if (!read_bytes(args[0], folder_bytes)) return nullptr;
    const std::string folder(folder_bytes);
    std::vector<WalkEntry> entries;
    {
      ReleasedGil released;
      entries = walk_folder(folder);
    }
    PyRef results{PyList_New(static_cast<Py_ssize_t>(entries.size()))};
    if (!results) return nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      PyObject* result = walk_result(entries[i]);
      if (result == nullptr) return nullptr;
      PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), result);  // steals the reference
    }
    return results.release();
  });
}

PyObject* scan_paths_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 5) {
      PyErr_Format(PyExc_TypeError, "_scan_paths() takes 5 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    if (!PyList_Check(args[0])) {
      raise_type_mismatch(args[0], "list");
      return nullptr;
    }
    ScanOptions options;
    bool keep_data = false;
    if (!convert_bool(args[2], options.strict_newlines) || !convert_bool(args[3], options.check_normalization) ||
        !convert_bool(args[4], keep_data)) {
      return nullptr;
    }
    const std::optional<ResolvedPolicy> policy = read_policy(args[1]);
    if (!policy) return nullptr;
    std::vector<PathScan> scans = read_paths(args[0]);
    if (PyErr_Occurred()) return nullptr;
    scan_paths(scans, *policy, options, keep_data);
    PyRef results{PyList_New(static_cast<Py_ssize_t>(scans.size()))};
    if (!results) return nullptr;
    for (std::size_t i = 0; i < scans.size(); ++i) {
      PyObject* result = path_result(scans[i], keep_data);
      if (result == nullptr) return nullptr;
      PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), result);  // steals the reference
    }
    return with_names(results.release());
  });
}

}  // namespace orlenta
