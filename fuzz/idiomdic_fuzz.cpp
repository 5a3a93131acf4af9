// libFuzzer target: arbitrary bytes as "data/idiomdic.data", loaded into a fresh dictionary.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tsugihagi::bot b([] { return std::int64_t{0}; });
  tsugihagi::data_stream s = tsugihagi::fuzz::reader(data, size);
  strmorph::read_idiomdic(b.dic, s);
  tsugihagi::fuzz::exercise(b);
  return 0;
}
