// libFuzzer target: arbitrary bytes as one data file, read into a fresh dictionary or log by
// the reader TSUGIHAGI_FUZZ_READER names, saved by TSUGIHAGI_FUZZ_WRITER, read back and saved
// again (one executable per file, see CMakeLists.txt). No conversation runs, so a run costs
// about as much as the load itself: thousands a second, where the conversation targets of
// loader_fuzz.cpp reach some 45. Aborts when:
//   - the second save differs from the first (what the program writes is a fixed point of its
//     readers, whatever the damaged file held);
//   - the first save is longer than the file read (records are dropped or written minimal,
//     never grown; a log always gets its four-byte count);
//   - a loaded word is not found by its text or its id, or the id arrays hold more allocated
//     chunks than entries were loaded (memory follows the file, not the ids it names).
#include <algorithm>
#include <type_traits>

#include "fuzz/fuzz_support.h"

#if !defined(TSUGIHAGI_FUZZ_READER) || !defined(TSUGIHAGI_FUZZ_WRITER)
#error "TSUGIHAGI_FUZZ_READER and TSUGIHAGI_FUZZ_WRITER name one file's reader and writer"
#endif

namespace {

using namespace strmorph;
using namespace tsugihagi;
using tsugihagi::fuzz::bytes;
using tsugihagi::fuzz::fail;
using tsugihagi::fuzz::written;

// The dictionary's readers take the dictionary; the log's takes the log. (A template, so
// that a reader that does not fit is no error.)
template <typename Dictionary>
constexpr bool takes_the_dictionary = requires(Dictionary& d, data_stream& s) {
  TSUGIHAGI_FUZZ_READER(d, s);
};
constexpr bool reads_the_log = !takes_the_dictionary<dic_t>;
using target = std::conditional_t<reads_the_log, conversation_log, dic_t>;

[[maybe_unused]] void check_loaded(dic_t& d) {
  for (auto& entry : d.wordmap) {
    const std::u16string_view text = entry.first.text();
    if (find_word(d, text.data(), entry.first.length) != &entry)
      fail("a loaded word is not found by its text");
    if (word_at(d, entry.second.id) != &entry.second) fail("a loaded word is not found by its id");
  }
  if (d.idmap.allocated_chunks() > d.wordmap.size() ||
      d.idiomidmap.allocated_chunks() > d.idiomset.size())
    fail("the id arrays hold more chunks than entries were loaded");
}

[[maybe_unused]] void check_loaded(const conversation_log&) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bytes file(data, data + size);
  target first;
  data_stream s = fuzz::reader(file);
  TSUGIHAGI_FUZZ_READER(first, s);
  check_loaded(first);
  const bytes saved = written([&](data_stream& out) { TSUGIHAGI_FUZZ_WRITER(first, out); });
  const std::size_t floor = reads_the_log ? 4 : 0;  // an empty log is saved as its count
  if (saved.size() > std::max(file.size(), floor)) fail("the save is longer than the file");
  target second;
  data_stream again = fuzz::reader(saved);
  TSUGIHAGI_FUZZ_READER(second, again);
  if (written([&](data_stream& out) { TSUGIHAGI_FUZZ_WRITER(second, out); }) != saved)
    fail("the file changes after save and load");
  return 0;
}
