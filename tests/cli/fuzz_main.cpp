// A libFuzzer entry point for one of the parsers' targets, chosen by ZUMIBO_FUZZ_TARGET:
//   cmake -DZUMIBO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ...; zumibo-fuzz-list tests/cli/fuzz_corpus/list
#include <cstdio>
#include <cstdlib>

#include "tests/cli/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string wrong = ZUMIBO_FUZZ_TARGET(data, size);
  if (!wrong.empty()) {
    std::fprintf(stderr, "%s\n", wrong.c_str());
    std::abort();
  }
  return 0;
}
