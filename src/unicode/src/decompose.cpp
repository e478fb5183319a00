#include <algorithm>
#include <string>
#include <string_view>

#include "normkit/normalize.h"
#include "unicode_data.h"

namespace normkit {

using namespace detail;

void decompose_canonical(std::u32string_view cps, std::u32string& out) {
  const std::size_t start = out.size();
  char32_t buffer[kMaxDecomposition];
  for (const char32_t cp : cps) {
    if ((props(cp) & kCanonDecomp) == 0) {
      out.push_back(cp);
      continue;
    }
    const unsigned length = decompose(cp, false, buffer);
    out.append(buffer, length);
  }
  // Canonical ordering: each run of non-starters sorted by combining class,
  // keeping the order of equal classes. A stable sort keeps a hostile run of
  // thousands of marks at n log n.
  const auto ccc = [](char32_t cp) { return props(cp) & kCccMask; };
  const auto by_class = [&](char32_t a, char32_t b) { return ccc(a) < ccc(b); };
  auto run = out.begin() + static_cast<std::ptrdiff_t>(start);
  while (run != out.end()) {
    run = std::find_if(run, out.end(), [&](char32_t cp) { return ccc(cp) != 0; });
    const auto run_end = std::find_if(run, out.end(), [&](char32_t cp) { return ccc(cp) == 0; });
    if (run_end - run > 1) std::stable_sort(run, run_end, by_class);
    run = run_end;
  }
}

}  // namespace normkit
