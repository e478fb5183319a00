#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "policy/builtin_registry.h"
#include "policy/policy.h"

namespace orlenta {
namespace {

using OrderedJson = nlohmann::ordered_json;

std::vector<std::string> keys_of(const OrderedJson& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

TEST(BuiltinRegistry, DocumentLayout) {
  const OrderedJson parsed = OrderedJson::parse(builtin_registry_document());
  // Two-space indentation, one key per line, a final line feed.
  EXPECT_EQ(parsed.dump(2) + "\n", builtin_registry_document());
  EXPECT_EQ(keys_of(parsed), (std::vector<std::string>{"signals", "aliases", "presets"}));
  // Keys in this order, the five that are not SignalSpec fields included.
  const OrderedJson signals = OrderedJson::parse(
      R"({"entropy_prefix_chars":2000,"entropy_prefix_threshold":5.0,"entropy_prefix_min_chars":200,)"
      R"("entropy_window_chars":256,"entropy_window_stride":64,"entropy_window_threshold":4.8,)"
      R"("entropy_window_min_chars":256,"base64_min_chars":64,"hex_min_bytes":32,)"
      R"("combining_ratio_threshold":0.2,"combining_min_chars":40})");
  EXPECT_EQ(parsed["signals"].dump(), signals.dump());
}

TEST(BuiltinRegistry, Records) {
  const PolicyRegistry& built = registry();
  EXPECT_EQ(built.signals, (SignalSpec{2000, 5.0, 200, 64, 0.2, 40}));
  EXPECT_EQ(built.aliases,
            (StringMap<std::string>{{"balanced", "balanced_chat"}, {"strict", "strict_exec"}, {"code", "code_mode"}}));
  // Fields in declaration order, as the columns of the preset table.
  const StringMap<PolicySpec> presets = {
      {"preserve", {"NFC", true, false, true, true, true, true, true, false, false, true, false, true}},
      {"balanced_chat", {"NFC", true, false, true, true, true, true, true, false, true, true, true, true}},
      {"strict_exec", {"NFKC", true, true, true, true, false, true, true, true, true, true, true, true}},
      {"code_mode", {"NFC", true, true, true, true, false, true, true, true, false, true, true, true}},
  };
  EXPECT_EQ(built.presets, presets);
}

TEST(BuiltinRegistry, BuiltOnceAcrossRacingThreads) {
  constexpr int thread_count = 8;
  std::latch start(thread_count);
  std::vector<const PolicyRegistry*> seen(thread_count);
  std::vector<std::thread> threads;
  for (int i = 0; i < thread_count; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      seen[i] = &registry();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const PolicyRegistry* each : seen) EXPECT_EQ(each, &registry());
}

}  // namespace
}  // namespace orlenta
