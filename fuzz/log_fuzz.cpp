// libFuzzer target: arbitrary bytes as "data/log.data", loaded into a fresh log beside an
// empty dictionary, so every stored word id names no word.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tsugihagi::bot b([] { return std::int64_t{0}; });
  tsugihagi::data_stream s = tsugihagi::fuzz::reader(data, size);
  tsugihagi::read_log(b.log, s);
  tsugihagi::fuzz::exercise(b);
  return 0;
}
