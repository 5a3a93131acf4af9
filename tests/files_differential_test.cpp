// The dictionary files' block writers and direct list reads against the field-by-field
// readers and writers kept in tests/support/reference_files.h: the same bytes for seeded
// dictionaries (with lists and idioms longer than a write block), the same records and drop
// counts for every prefix of a file and for seeded damage (dic.data also read on two
// threads), and the same bytes kept when a write fails part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "core/dict/dictionary.h"
#include "core/dict/dictionary_files.h"
#include "core/io/packed_list.h"
#include "core/io/pair_counting.h"
#include "core/io/primitives.h"
#include "tests/support/reference.h"
#include "tests/support/reference_files.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::memory_reader;
using testing::memory_writer;
using testing::written_by;

// The count_bound a list loaded from pair bytes holds, by the walk over all its values: -1
// for no pairs, the largest count of any pair, or unknown_count_bound when one is negative.
std::int32_t largest_count(std::span<const std::uint8_t> b) {
  const std::vector<std::int32_t> values = unpack_ids(packed_from_bytes(b));
  std::int32_t largest = -1;
  for (std::size_t k = 1; k < values.size(); k += 2) {
    if (values[k] < 0 || values[k] == unknown_count_bound) return unknown_count_bound;
    largest = std::max(largest, values[k]);
  }
  return largest;
}

// Words of one to six letters from a four-letter alphabet, with random lists; idioms over
// the word ids. `long_entries` adds a list and an idiom `long_scale` times 30,000 pairs and
// 70,000 ids long: at 16, longer than a write block (1 MiB).
std::unique_ptr<strmorph::dic_t> random_dictionary(std::uint32_t seed, bool long_entries,
                                                   std::size_t long_scale = 1) {
  std::mt19937 rng(seed);
  auto d = std::make_unique<strmorph::dic_t>();
  const std::u16string letters = u"aあ𠀋z";
  const std::size_t words = 1 + rng() % 40;
  for (std::size_t w = 0; w < words; ++w) {
    std::u16string text;
    for (std::size_t k = 1 + rng() % 6; k > 0; --k)
      text += letters[rng() % letters.size()];
    strmorph::add_word(*d, text.data(), static_cast<std::int32_t>(text.size()));
  }
  const auto value = [&] {
    const std::uint32_t bits[] = {0, 8, 16, 24, 32};
    const std::uint32_t b = bits[rng() % 5];
    return static_cast<std::int32_t>(b == 32 ? rng() : rng() & ((1u << b) - 1));
  };
  std::int32_t longest = 0;
  for (auto& [key, info] : d->wordmap) {
    std::vector<id_count> next(rng() % 5);
    std::vector<id_count> cooc(rng() % 5);
    std::vector<std::int32_t> prev(rng() % 5);
    std::vector<std::int32_t> idioms(rng() % 3);
    if (long_entries && longest++ == 0) next.resize(30000 * long_scale);
    for (auto& p : next)
      p = {value(), value()};
    for (auto& p : cooc)
      p = {value(), value()};
    for (auto& x : prev)
      x = value();
    for (auto& x : idioms)
      x = value();
    info.count = value();
    info.next = pack_pairs(next);
    info.prev = pack_ids(prev);
    info.cooc = pack_pairs(cooc);
    info.idioms = pack_ids(idioms);
  }
  const std::size_t idioms = rng() % 20 + (long_entries ? 1 : 0);
  for (std::size_t i = 0; i < idioms; ++i) {
    strmorph::idiom_t idiom;
    idiom.ids.resize(long_entries && i == 0 ? 70000 * long_scale : 1 + rng() % 12);
    idiom.flags.resize(idiom.ids.size());
    for (std::size_t k = 0; k < idiom.ids.size(); ++k) {
      idiom.ids[k] = static_cast<std::int32_t>(rng() % words);
      idiom.flags[k] = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : 1 + rng() % 200);
    }
    strmorph::add_idiom(*d, std::move(idiom));
  }
  return d;
}

TEST(dictionary_file_writers, write_the_same_bytes_as_the_field_by_field_writers) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const auto d = random_dictionary(seed, seed % 10 == 0, 16);
    const bytes dic = written_by([&](data_stream& s) { strmorph::write_dic(*d, s); });
    ASSERT_EQ(dic, written_by([&](data_stream& s) { reference::write_dic(*d, s); })) << seed;
    const bytes idiomdic = written_by([&](data_stream& s) { strmorph::write_idiomdic(*d, s); });
    ASSERT_EQ(idiomdic, written_by([&](data_stream& s) { reference::write_idiomdic(*d, s); }))
        << seed;
    if (seed % 10 == 0) {
      ASSERT_GT(dic.size(), 2u << 20);  // more than one write block
      ASSERT_GT(idiomdic.size(), 2u << 20);
    }
    // A write failing part way keeps the same bytes up to the failure and is not committed.
    for (const std::size_t cut : {std::size_t{0}, dic.size() / 3, dic.size() - 1}) {
      bytes sink;
      data_stream s = memory_writer(sink, cut);
      strmorph::write_dic(*d, s);
      EXPECT_FALSE(s.close()) << seed << " " << cut;
      EXPECT_EQ(sink, bytes(dic.begin(), dic.begin() + static_cast<std::ptrdiff_t>(cut)))
          << seed << " " << cut;
    }
  }
}

// What a reader made of `file`: the drop count, then the dictionary as the reference writes it.
template <typename Read, typename Write>
std::pair<std::int64_t, bytes> read_back(const bytes& file, Read read, Write write) {
  strmorph::dic_t d;
  std::int64_t dropped = 0;
  data_stream s = memory_reader(file);
  read(d, s, &dropped);
  return {dropped, written_by([&](data_stream& out) { write(d, out); })};
}

TEST(dictionary_file_readers, read_every_prefix_and_seeded_damage_as_the_field_by_field_readers) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    const auto d = random_dictionary(seed, seed == 12);
    const bytes dic = written_by([&](data_stream& s) { strmorph::write_dic(*d, s); });
    const bytes idiomdic = written_by([&](data_stream& s) { strmorph::write_idiomdic(*d, s); });
    std::mt19937 rng(seed);
    // dic.data read on one thread and with its records read beside their inserts, which
    // also gathers what indexing needs: the same idiom holders (each word's holders of each
    // idiom its list names) and the same hash index.
    const auto read_alone = [](strmorph::dic_t& d, data_stream& s, std::int64_t* dropped) {
      strmorph::read_dic_beside(d, s, dropped, UINT64_MAX);
    };
    const auto read_beside = [](strmorph::dic_t& d, data_stream& s, std::int64_t* dropped) {
      strmorph::read_dic_beside(d, s, dropped, 0);
    };
    const auto index_of = [](const bytes& file, const auto& read) {
      strmorph::dic_t d;
      data_stream s = memory_reader(file);
      read(d, s, nullptr);
      std::vector<std::vector<std::int32_t>> held;
      for (const auto& [key, info] : d.wordmap)
        for_each_id(info.idioms, [&](std::int32_t y) { held.push_back(d.holders.holders(y)); });
      std::vector<std::int32_t> slots;  // each slot's word id, -1 when empty
      for (const auto* entry : d.word_slots)
        slots.push_back(entry != nullptr ? entry->second.id : -1);
      return std::make_tuple(held, slots, d.word_tags, d.word_filter, d.words_of_length,
                             d.word_starts, d.word_slots_used);
    };
    // Two threads cost a start and some hand-offs each: on one prefix in 16.
    const auto compare = [&](const bytes& file, const bytes& idioms_file, const char* what,
                             bool beside = true) {
      const auto expected = read_back(file, reference::read_dic, reference::write_dic);
      ASSERT_EQ(read_back(file, strmorph::read_dic, reference::write_dic), expected)
          << seed << " " << what;
      if (beside) {
        ASSERT_EQ(read_back(file, read_beside, reference::write_dic), expected)
            << seed << " " << what << " beside";
        ASSERT_EQ(index_of(file, read_beside), index_of(file, read_alone))
            << seed << " " << what << " index";
      }
      ASSERT_EQ(read_back(idioms_file, strmorph::read_idiomdic, reference::write_idiomdic),
                read_back(idioms_file, reference::read_idiomdic, reference::write_idiomdic))
          << seed << " " << what;
    };
    compare(dic, idiomdic, "whole");
    const std::size_t step = seed == 12 ? 997 : 1;  // every prefix of the small files
    for (std::size_t n = 0; n < std::max(dic.size(), idiomdic.size()); n += step) {
      compare(
          bytes(dic.begin(), dic.begin() + static_cast<std::ptrdiff_t>(std::min(n, dic.size()))),
          bytes(idiomdic.begin(),
                idiomdic.begin() + static_cast<std::ptrdiff_t>(std::min(n, idiomdic.size()))),
          "prefix", n % (16 * step) == 0);
    }
    for (int round = 0; round < 100; ++round) {
      bytes damaged = dic;
      bytes damaged_idioms = idiomdic;
      for (int k = 0; k < 3; ++k) {
        if (!damaged.empty()) damaged[rng() % damaged.size()] = static_cast<std::uint8_t>(rng());
        if (!damaged_idioms.empty())
          damaged_idioms[rng() % damaged_idioms.size()] = static_cast<std::uint8_t>(rng());
      }
      compare(damaged, damaged_idioms, "damaged");
    }
  }
}

// Idiom files where many idioms are equal or share their length and first elements (ids of
// both signs, both flags): the same idioms kept and refused as the field-by-field reader,
// which inserts them one by one, whatever the sort that groups equal ones does with ties.
TEST(dictionary_file_readers, keep_the_first_of_equal_idioms_as_the_field_by_field_reader) {
  const std::uint32_t word_ids[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 rng(seed);
    bytes file;
    for (int r = 0; r < 400; ++r) {
      const std::size_t n = 1 + rng() % (seed % 3 + 2);
      std::vector<std::uint8_t> flags(n);
      append_compact_int(file, rng() % 500);
      append_compact_int(file, static_cast<std::uint32_t>(n));
      for (std::size_t k = 0; k < n; ++k) {
        append_compact_int(file, word_ids[rng() % (k < 2 ? 2 + seed % 4 : 2)]);
        flags[k] = static_cast<std::uint8_t>(rng() % 2);
      }
      append_bit_vector(file, flags.data(), n);
    }
    ASSERT_EQ(read_back(file, strmorph::read_idiomdic, reference::write_idiomdic),
              read_back(file, reference::read_idiomdic, reference::write_idiomdic))
        << seed;
  }
}

// Lists loaded into shared chunks edit as lists of their own do: the same learning-like
// edits on both readers' dictionaries (growing, shrinking and emptying lists), the same bytes
// written; and each dictionary outlives the other's.
TEST(dictionary_file_readers, leave_lists_that_edit_as_the_field_by_field_readers_lists) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    const auto original = random_dictionary(seed, seed == 20);
    const bytes dic = written_by([&](data_stream& s) { strmorph::write_dic(*original, s); });
    auto fast = std::make_unique<strmorph::dic_t>();
    auto literal = std::make_unique<strmorph::dic_t>();
    data_stream a = memory_reader(dic);
    strmorph::read_dic(*fast, a);
    data_stream b = memory_reader(dic);
    reference::read_dic(*literal, b, nullptr);
    // The loaded co-occurrence lists hold their bound from the reader's check.
    for (const auto& [key, info] : fast->wordmap)
      ASSERT_EQ(info.cooc.count_bound, largest_count(info.cooc.bytes())) << seed;
    std::mt19937 rng(seed);
    for (int round = 0; round < 3; ++round) {
      for (auto [f, l] = std::pair{fast->wordmap.begin(), literal->wordmap.begin()};
           f != fast->wordmap.end(); ++f, ++l) {
        const auto x = static_cast<std::int32_t>(rng() % 50);
        const std::vector<std::int32_t> xs{x, x + 1, static_cast<std::int32_t>(rng() % 400)};
        count_in_pairs(f->second.next, xs);
        count_in_pairs(l->second.next, xs);
        count_in_pair(f->second.cooc, x);
        count_in_pair(l->second.cooc, x);
        add_once_id(f->second.idioms, x);
        add_once_id(l->second.idioms, x);
        const std::vector<std::int32_t> prev = unpack_ids(l->second.prev);
        const std::int32_t gone = prev.empty() ? x : prev[rng() % prev.size()];
        ASSERT_EQ(erase_first_id(f->second.prev, gone), erase_first_id(l->second.prev, gone));
        ASSERT_EQ(erase_first_pair(f->second.cooc, gone), erase_first_pair(l->second.cooc, gone));
      }
      ASSERT_EQ(written_by([&](data_stream& s) { reference::write_dic(*fast, s); }),
                written_by([&](data_stream& s) { reference::write_dic(*literal, s); }))
          << seed << " " << round;
    }
    if (seed % 2 == 0) std::swap(fast, literal);
    const bytes kept = written_by([&](data_stream& s) { reference::write_dic(*literal, s); });
    fast.reset();
    EXPECT_EQ(written_by([&](data_stream& s) { reference::write_dic(*literal, s); }), kept);
  }
}

// count_compact_ints and is_pair_list with a bound, which check loaded lists, against the
// byte by byte walk as designed, for id lists and pair lists (and the bound against the walk
// over the values): every byte string up to nine bytes over two alphabets of length
// bytes (whole, cut short, too long), then seeded lists with damage.
TEST(count_compact_ints, agrees_with_the_list_checks_on_every_short_string_and_damaged_lists) {
  const auto agree = [](const bytes& b) {
    const std::ptrdiff_t n = count_compact_ints(b);
    const std::ptrdiff_t literal = reference::count_values(b);
    ASSERT_EQ(n, literal) << ::testing::PrintToString(b);
    ASSERT_EQ(n >= 0, is_id_list(b)) << ::testing::PrintToString(b);
    ASSERT_EQ(n >= 0 && n % 2 == 0, is_pair_list(b)) << ::testing::PrintToString(b);
    std::int32_t bound = 0;
    ASSERT_EQ(n >= 0 && n % 2 == 0, is_pair_list(b, bound)) << ::testing::PrintToString(b);
    if (n >= 0 && n % 2 == 0) {
      ASSERT_EQ(bound, largest_count(b)) << ::testing::PrintToString(b);
    }
    if (n >= 0) {
      packed_list list = packed_from_bytes(b);
      ASSERT_EQ(static_cast<std::size_t>(n), unpack_ids(list).size());
    }
  };
  for (const bytes& alphabet : {bytes{0, 1, 2, 4, 5}, bytes{0, 3, 4, 7, 0xFF}}) {
    bytes b;
    const std::function<void(std::size_t)> all = [&](std::size_t left) {
      agree(b);
      if (left == 0 || ::testing::Test::HasFatalFailure()) return;
      for (const std::uint8_t x : alphabet) {
        b.push_back(x);
        all(left - 1);
        b.pop_back();
      }
    };
    all(9);
  }
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::int32_t> ids(rng() % 200);
    for (auto& x : ids)
      x = static_cast<std::int32_t>(rng() >> (rng() % 33 == 32 ? 0 : rng() % 32));
    const packed_list list = pack_ids(ids);
    bytes b(list.bytes().begin(), list.bytes().end());
    if (round % 3 == 1 && !b.empty()) b[rng() % b.size()] = static_cast<std::uint8_t>(rng() % 8);
    if (round % 3 == 2 && !b.empty()) b.resize(rng() % b.size());
    agree(b);
  }
}

}  // namespace
}  // namespace tsugihagi
