// libFuzzer target: arbitrary bytes as one data file, read into a fresh bot by the reader
// that TSUGIHAGI_FUZZ_READER names (one executable per file, see CMakeLists.txt), then
// exercised. Reading "data/log.data" beside an empty dictionary makes every stored word id
// name no word.
#include "fuzz/fuzz_support.h"

#ifndef TSUGIHAGI_FUZZ_READER
#error "TSUGIHAGI_FUZZ_READER names the reader, e.g. read_dic"
#endif

namespace {

// The readers of the dictionary files take the dictionary; the log's takes the log. (A
// template, so that only the branch that fits the reader is compiled.)
template <typename Bot>
void read_into(Bot& b, tsugihagi::data_stream& s) {
  using namespace strmorph;
  using namespace tsugihagi;
  if constexpr (requires { TSUGIHAGI_FUZZ_READER(b.dic, s); }) {
    TSUGIHAGI_FUZZ_READER(b.dic, s);
  } else {
    TSUGIHAGI_FUZZ_READER(b.log, s);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tsugihagi::bot b([] { return std::int64_t{0}; });
  tsugihagi::data_stream s = tsugihagi::fuzz::reader(data, size);
  read_into(b, s);
  tsugihagi::fuzz::exercise(b);
  return 0;
}
