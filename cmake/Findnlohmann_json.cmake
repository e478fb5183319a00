# Finds nlohmann/json's headers and provides them as the target
# nlohmann_json::nlohmann_json, for every find_package(nlohmann_json ...) in
# the tree.
#
# A wheel build looks first in the Python environment it builds with, where
# pip installs the PyPI package nlohmann-json as a build requirement: that is
# what lets `pip install` build with nothing from the system but a compiler.
# The package ships the headers but no CMake package, hence this module.
# Every other build (the C++ tests, benchmarks, fuzzing), and a wheel build
# whose environment lacks the package, uses an installed CMake package such
# as Debian's nlohmann-json3-dev.
#
# Sets nlohmann_json_FOUND and nlohmann_json_VERSION. The cache entry
# nlohmann_json_INCLUDE_DIR names the Python package's headers when those
# are used, and is absent otherwise.

include(FindPackageHandleStandardArgs)

# Sets out_var to the folder holding nlohmann/json.hpp in the given
# interpreter's nlohmann-json package, or to nothing; find_spec locates the
# package without importing it.
function(_nlohmann_json_python_headers python out_var)
  execute_process(
    COMMAND "${python}" -c
      "import importlib.util; spec = importlib.util.find_spec('nlohmann_json'); print(next(iter(spec.submodule_search_locations)) if spec else '')"
    OUTPUT_VARIABLE package_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  set(${out_var} "" PARENT_SCOPE)
  if(package_dir AND EXISTS "${package_dir}/include/nlohmann/json.hpp")
    set(${out_var} "${package_dir}/include" PARENT_SCOPE)
  endif()
endfunction()

# The version the headers declare; the macros live in abi_macros.hpp from
# 3.11 on, in json.hpp before.
function(_nlohmann_json_header_version include_dir out_var)
  set(version_lines "")
  foreach(header detail/abi_macros.hpp json.hpp)
    if(NOT version_lines AND EXISTS "${include_dir}/nlohmann/${header}")
      file(STRINGS "${include_dir}/nlohmann/${header}" version_lines
        REGEX "^#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
    endif()
  endforeach()
  set(${out_var} "" PARENT_SCOPE)
  if(version_lines MATCHES "MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+)")
    set(${out_var} "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}" PARENT_SCOPE)
  endif()
endfunction()

# Looked up afresh at every configure: an isolated build environment lives
# in a new temporary folder each time, and a path cached from the last one
# would name headers that are gone, leaving the compiler to take whatever
# copy is on its own search path.
set(_nlohmann_json_include_dir "")
if(Python_EXECUTABLE)
  _nlohmann_json_python_headers("${Python_EXECUTABLE}" _nlohmann_json_include_dir)
endif()

if(_nlohmann_json_include_dir)
  set(nlohmann_json_INCLUDE_DIR "${_nlohmann_json_include_dir}" CACHE PATH
    "nlohmann/json headers from the Python package nlohmann-json" FORCE)
  _nlohmann_json_header_version("${nlohmann_json_INCLUDE_DIR}" nlohmann_json_VERSION)
  set(nlohmann_json_LOCATION "${nlohmann_json_INCLUDE_DIR}")
else()
  unset(nlohmann_json_INCLUDE_DIR CACHE)
  find_package(nlohmann_json ${nlohmann_json_FIND_VERSION} CONFIG QUIET)
  set(nlohmann_json_LOCATION "${nlohmann_json_DIR}")
  if(NOT nlohmann_json_FOUND)
    set(nlohmann_json_LOCATION "")
  endif()
endif()

string(CONCAT _nlohmann_json_how_to_get
  "orlenta needs the headers of nlohmann/json ${nlohmann_json_FIND_VERSION} or later. "
  "`pip install` gets them from PyPI as the build requirement nlohmann-json "
  "(with --no-build-isolation, `pip install nlohmann-json` first). "
  "Other builds take an installed CMake package: on Debian or Ubuntu "
  "`apt install nlohmann-json3-dev`, elsewhere your system's nlohmann-json "
  "package, or -Dnlohmann_json_DIR=<folder holding nlohmann_jsonConfig.cmake>.")
find_package_handle_standard_args(nlohmann_json
  REQUIRED_VARS nlohmann_json_LOCATION
  VERSION_VAR nlohmann_json_VERSION
  REASON_FAILURE_MESSAGE "${_nlohmann_json_how_to_get}")

if(nlohmann_json_FOUND AND nlohmann_json_INCLUDE_DIR AND NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${nlohmann_json_INCLUDE_DIR}")
endif()

unset(_nlohmann_json_include_dir)
unset(nlohmann_json_LOCATION)
unset(_nlohmann_json_how_to_get)
