// What the benchmark programs share: the tally of their targets and the
// frame of main().
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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

// How many timed repetitions a measurement gets, and how long one timed
// pass lasts at least.
struct Timing {
  int repetitions;
  double min_pass_seconds;
  double quick_pass_seconds;  // for --quick, which also cuts to 2 repetitions
};

// Reads the option at argv[i] if it is --reps N or --quick, moving i past a
// value. False when it is neither, or when N is not at least 1.
inline bool parse_timing_option(int argc, char** argv, int& i, Timing& timing) {
  const std::string_view arg = argv[i];
  if (arg == "--reps" && i + 1 < argc) {
    timing.repetitions = std::atoi(argv[++i]);
    return timing.repetitions >= 1;
  }
  if (arg == "--quick") {
    timing.repetitions = 2;
    timing.min_pass_seconds = timing.quick_pass_seconds;
    return true;
  }
  return false;
}

// Options of the benchmarks that read the UDHR corpus: its folder and the
// timing.
struct CorpusOptions {
  std::filesystem::path corpus_dir;
  Timing timing;
};

// Parses --corpus DIR, --reps N and --quick over `options`, which holds the
// defaults; nullopt for anything else.
inline std::optional<CorpusOptions> parse_corpus_options(int argc, char** argv, CorpusOptions options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--corpus" && i + 1 < argc) {
      options.corpus_dir = argv[++i];
    } else if (!parse_timing_option(argc, argv, i, options.timing)) {
      return std::nullopt;
    }
  }
  return options;
}

inline void print_corpus_usage(const char* program, const CorpusOptions& defaults) {
  std::fprintf(stderr,
               "usage: %s [--corpus DIR] [--reps N] [--quick]\n"
               "  --corpus DIR  folder of UDHR *.txt files (default %s)\n"
               "  --reps N      timed repetitions per measurement, at least 1 (default %d)\n"
               "  --quick       2 short repetitions, for a fast look while developing\n",
               program, defaults.corpus_dir.c_str(), defaults.timing.repetitions);
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
