// The parsers' fuzz targets over their short corpus (tests/cli/fuzz_corpus) and a few thousand
// mutations of it, the same every run.
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "tests/cli/fuzz_targets.h"
#include "tests/temp_dir.h"

namespace {

using Target = std::string (*)(const std::uint8_t*, std::size_t);

// Bytes that matter to these parsers, for the mutations to put in.
const char kTouchy[] = {',', '\t', '\n', '\r', '\0', '=', '\\', '.', '/', '0', '9', 'G', 'i', 'B', '-'};

void Check(const char* corpus, Target target) {
  std::vector<std::string> inputs;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(ZUMIBO_SOURCE_DIR) + "/tests/cli/fuzz_corpus/" + corpus))
    inputs.push_back(ReadFileBytes(entry.path().string()));
  ASSERT_FALSE(inputs.empty()) << corpus;
  std::mt19937 rng(20261207);
  const std::size_t seeds = inputs.size();
  for (int i = 0; i < 4000; ++i) {
    std::string input = inputs[rng() % seeds];
    for (int edits = 1 + static_cast<int>(rng() % 4); edits > 0; --edits) {
      const std::size_t at = input.empty() ? 0 : rng() % (input.size() + 1);
      const char c = rng() % 3 ? kTouchy[rng() % sizeof kTouchy] : static_cast<char>(rng());
      switch (rng() % 3) {
        case 0:
          input.insert(at, 1, c);
          break;
        case 1:
          if (at < input.size()) input.erase(at, 1);
          break;
        default:
          if (at < input.size()) input[at] = c;
      }
    }
    inputs.push_back(std::move(input));
  }
  for (const std::string& input : inputs) {
    const std::string wrong = target(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    EXPECT_EQ(wrong, "") << corpus << " input of " << input.size() << " bytes: " << input;
  }
}

}  // namespace

TEST(Fuzz, QuantitiesListsAndGraftLinesKeepTheirPromises) {
  Check("quantity", FuzzQuantityText);
  Check("list", FuzzListInput);
  Check("graft", FuzzGraftLine);
}
