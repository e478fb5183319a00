// What the benchmark programs share: the tally of their targets and the
// frame of main().
#pragma once

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct TargetTally {
  int met = 0;
  std::vector<std::string> missed;
};

inline void print_tally(const TargetTally& tally) {
  std::printf("targets met: %d of %zu\n", tally.met, tally.met + tally.missed.size());
  for (const std::string& missed : tally.missed) std::printf("  missed: %s\n", missed.c_str());
}

// Parses the command line (usage and exit code 2 when it does not parse),
// runs the benchmark and reports an exception as exit code 1.
template <class Options>
int run_main(const char* program, int argc, char** argv, std::optional<Options> (*parse_options)(int, char**),
             void (*print_usage)(), int (*run)(const Options&)) {
  const std::optional<Options> options = parse_options(argc, argv);
  if (!options) {
    print_usage();
    return 2;
  }
  try {
    return run(*options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", program, error.what());
    return 1;
  }
}

}  // namespace bench
