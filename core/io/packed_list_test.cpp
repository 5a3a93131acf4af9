#include "core/io/packed_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "core/io/list_extras_table.h"
#include "core/io/pair_counting.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;

bytes bytes_of(const packed_list& list) {
  return {list.bytes().begin(), list.bytes().end()};
}

// Every sequence of `length` values drawn from `alphabet`.
std::vector<std::vector<std::int32_t>> all_sequences(const std::vector<std::int32_t>& alphabet,
                                                     std::size_t length) {
  std::vector<std::vector<std::int32_t>> out{{}};
  for (std::size_t i = 0; i < length; ++i) {
    std::vector<std::vector<std::int32_t>> longer;
    for (const auto& prefix : out) {
      for (const std::int32_t v : alphabet) {
        longer.push_back(prefix);
        longer.back().push_back(v);
      }
    }
    out = std::move(longer);
  }
  return out;
}

TEST(packed_id_list, of_1_300_0_is_six_bytes_and_decodes_back) {
  const std::vector<std::int32_t> ids{1, 300, 0};
  const packed_list list = pack_ids(ids);
  EXPECT_EQ(list.size, 6);
  EXPECT_EQ(bytes_of(list), (bytes{0x01, 0x01, 0x02, 0x2C, 0x01, 0x00}));
  EXPECT_EQ(unpack_ids(list), ids);
  EXPECT_EQ(bytes_of(pack_ids(std::vector<std::int32_t>{-1})),
            (bytes{0x04, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(packed_id_list, when_empty_has_size_zero_and_no_block) {
  const packed_list list = pack_ids({});
  EXPECT_EQ(list.size, 0);
  EXPECT_EQ(list.data, nullptr);
  EXPECT_TRUE(unpack_ids(list).empty());
  EXPECT_TRUE(unpack_ids(packed_list{}).empty());
  EXPECT_EQ(packed_from_bytes({}).data, nullptr);
}

TEST(packed_pair_list, of_the_pair_0_5_is_three_bytes) {
  const std::vector<id_count> pairs{{0, 5}};
  const packed_list list = pack_pairs(pairs);
  EXPECT_EQ(bytes_of(list), (bytes{0x00, 0x01, 0x05}));
  EXPECT_EQ(unpack_pairs(list), pairs);
}

TEST(list_walkers, pair_list_has_id_compares_ids_never_counts) {
  const packed_list list = pack_pairs(std::vector<id_count>{{7, 0}, {-1, 2}});
  EXPECT_TRUE(pair_list_has_id(list, 7));
  EXPECT_TRUE(pair_list_has_id(list, -1));
  EXPECT_FALSE(pair_list_has_id(list, 0));
  EXPECT_FALSE(pair_list_has_id(list, 2));
  EXPECT_FALSE(pair_list_has_id(packed_list{}, 0));
}

TEST(list_walkers, never_read_past_damaged_bytes) {
  // A value cut short, and an impossible length byte: nothing past them is matched.
  EXPECT_FALSE(id_list_contains(packed_from_bytes(bytes{0x02, 0x2C}), 300));
  EXPECT_FALSE(id_list_contains(packed_from_bytes(bytes{0x09, 0x00, 0x00}), 0));
  EXPECT_TRUE(id_list_contains(packed_from_bytes(bytes{0x01, 0x07, 0x02, 0x2C}), 7));
  EXPECT_FALSE(pair_list_has_id(packed_from_bytes(bytes{0x01, 0x07}), 7))
      << "an id without its count is not a pair";
}

TEST(list_validation, a_list_is_whole_values_ending_exactly_at_the_end) {
  EXPECT_TRUE(is_id_list(bytes{}));
  EXPECT_TRUE(is_id_list(bytes{0x01, 0x01, 0x02, 0x2C, 0x01, 0x00}));
  EXPECT_TRUE(is_id_list(bytes{0x04, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_FALSE(is_id_list(bytes{0x01}));
  EXPECT_FALSE(is_id_list(bytes{0x01, 0x07, 0x02, 0x2C}));
  EXPECT_FALSE(is_id_list(bytes{0x05, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_FALSE(is_id_list(bytes{0xFF}));
  EXPECT_TRUE(is_pair_list(bytes{0x00, 0x01, 0x05}));
  EXPECT_FALSE(is_pair_list(bytes{0x00, 0x01, 0x05, 0x00})) << "an odd number of values";
}

TEST(list_validation, a_cut_list_is_valid_only_when_cut_between_values) {
  const bytes whole = bytes_of(pack_ids(std::vector<std::int32_t>{1, -1, 300, 0, 0x10000}));
  const std::set<std::size_t> value_ends{0, 2, 7, 10, 11, 15};
  ASSERT_EQ(whole.size(), 15u);
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    const bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(is_id_list(prefix), value_ends.count(cut) == 1) << "cut at " << cut;
  }
}

// The walkers scan the bytes directly; unpacking and searching must give the same answers.
TEST(list_walkers, agree_with_unpacking_on_every_small_id_list) {
  const std::vector<std::int32_t> alphabet{-1, 0, 300};
  for (std::size_t length = 0; length <= 4; ++length) {
    for (const auto& ids : all_sequences(alphabet, length)) {
      const packed_list list = pack_ids(ids);
      ASSERT_EQ(unpack_ids(list), ids);
      EXPECT_TRUE(is_id_list(list.bytes()));
      EXPECT_EQ(is_pair_list(list.bytes()), ids.size() % 2 == 0);
      for (const std::int32_t probe : {-1, 0, 1, 44, 300, 256}) {
        const bool expected = std::find(ids.begin(), ids.end(), probe) != ids.end();
        EXPECT_EQ(id_list_contains(list, probe), expected)
            << "probe " << probe << " in a list of " << ids.size();
      }
    }
  }
}

TEST(list_walkers, agree_with_unpacking_on_every_small_pair_list) {
  const std::vector<std::int32_t> alphabet{-1, 0, 300};
  for (std::size_t length = 0; length <= 4; length += 2) {
    for (const auto& values : all_sequences(alphabet, length)) {
      std::vector<id_count> pairs;
      for (std::size_t i = 0; i < values.size(); i += 2)
        pairs.push_back({values[i], values[i + 1]});
      const packed_list list = pack_pairs(pairs);
      ASSERT_EQ(unpack_pairs(list), pairs);
      EXPECT_TRUE(is_pair_list(list.bytes()));
      for (const std::int32_t probe : {-1, 0, 1, 300}) {
        const bool expected = std::any_of(pairs.begin(), pairs.end(),
                                          [probe](const id_count& p) { return p.id == probe; });
        EXPECT_EQ(pair_list_has_id(list, probe), expected) << "probe " << probe;
      }
    }
  }
}

TEST(list_walkers, for_each_pair_visits_what_decoding_value_by_value_visits) {
  // Every list of up to five pairs whose values have lengths 0..4, whole and cut at every
  // byte, and with one length byte made impossible: the four-byte reads used away from the
  // end must visit exactly the pairs that the byte-by-byte decoding reaches.
  std::mt19937 rng(11);
  const std::uint32_t values[] = {0, 7, 300, 0x10000, 0xFFFFFFFF};
  for (int round = 0; round < 3000; ++round) {
    std::vector<id_count> pairs(rng() % 6);
    for (id_count& p : pairs)
      p = {static_cast<std::int32_t>(values[rng() % 5]),
           static_cast<std::int32_t>(values[rng() % 5])};
    bytes whole = bytes_of(pack_pairs(pairs));
    if (!whole.empty() && rng() % 4 == 0)
      whole[rng() % whole.size()] = rng() % 2 == 0 ? 5 : 6 + rng() % 250;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      const packed_list list = packed_from_bytes(std::span<const std::uint8_t>(whole.data(), cut));
      std::vector<id_count> literal;
      std::size_t pos = 0;
      std::uint32_t id;
      std::uint32_t count;
      while (packed_detail::next_value(list.bytes(), pos, id) &&
             packed_detail::next_value(list.bytes(), pos, count))
        literal.push_back({static_cast<std::int32_t>(id), static_cast<std::int32_t>(count)});
      std::vector<id_count> walked;
      for_each_pair(list, [&](std::int32_t i, std::int32_t c) { walked.push_back({i, c}); });
      ASSERT_EQ(walked, literal) << round << " cut at " << cut;
    }
  }
}

TEST(list_walkers, for_each_id_and_the_searches_see_what_decoding_value_by_value_sees) {
  // As above, for id lists: every value reached byte by byte is visited, in order, and the
  // searches find exactly the ids (of pairs, for a pair list) that decoding reaches.
  std::mt19937 rng(12);
  // 0x012C02 holds the encoding of 300 inside its own, a copy that starts no value.
  const std::uint32_t values[] = {0, 7, 300, 0x10000, 0xFFFFFFFF, 0x012C02};
  for (int round = 0; round < 3000; ++round) {
    // Long enough, every other round, for the sixteen-byte search and its tail.
    std::vector<std::int32_t> ids(rng() % (round % 2 == 0 ? 11 : 40));
    for (std::int32_t& id : ids)
      id = static_cast<std::int32_t>(values[rng() % 6]);
    bytes whole = bytes_of(pack_ids(ids));
    if (!whole.empty() && rng() % 4 == 0)
      whole[rng() % whole.size()] = rng() % 2 == 0 ? 5 : 6 + rng() % 250;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      const packed_list list = packed_from_bytes(std::span<const std::uint8_t>(whole.data(), cut));
      std::vector<std::int32_t> literal;
      std::size_t pos = 0;
      std::uint32_t value;
      while (packed_detail::next_value(list.bytes(), pos, value))
        literal.push_back(static_cast<std::int32_t>(value));
      std::vector<std::int32_t> walked;
      for_each_id(list, [&](std::int32_t v) { walked.push_back(v); });
      ASSERT_EQ(walked, literal) << round << " cut at " << cut;
      for (const std::uint32_t probe : values) {
        const auto id = static_cast<std::int32_t>(probe);
        bool in_pair = false;
        for (std::size_t i = 0; i + 1 < literal.size(); i += 2)
          in_pair = in_pair || literal[i] == id;
        ASSERT_EQ(id_list_contains(list, id), std::ranges::count(literal, id) > 0) << round;
        ASSERT_EQ(pair_list_has_id(list, id), in_pair) << round << " cut at " << cut;
      }
    }
  }
}

TEST(count_bound, becomes_unknown_when_a_count_reaches_the_signed_limit_and_wraps) {
  for (const bool batched : {false, true}) {
    packed_list list = pack_pairs(std::vector<id_count>{{1, 2147483646}, {2, 3}});
    ASSERT_EQ(count_bound(list), 2147483646);
    const std::int32_t one[] = {1};
    const std::int32_t twice[] = {1, 1};
    if (batched) {
      count_in_pairs(list, twice);  // to 2^31, stored as a negative count
    } else {
      count_in_pair(list, 1);
      EXPECT_EQ(count_bound(list), unknown_count_bound);  // 2^31 - 1 is no bound
      count_in_pair(list, 1);
    }
    EXPECT_EQ(count_bound(list), unknown_count_bound);
    EXPECT_EQ(count_bound(packed_from_bytes(list.bytes())), unknown_count_bound);
    count_in_pairs(list, one);
    EXPECT_EQ(count_bound(list), unknown_count_bound);
  }
}

TEST(count_bound, stays_an_upper_bound_when_pairs_go_and_is_minus_one_for_no_pairs) {
  packed_list list = pack_pairs(std::vector<id_count>{{1, 7}, {2, 3}});
  EXPECT_TRUE(erase_first_pair(list, 1));
  EXPECT_EQ(count_bound(list), 7);
  EXPECT_EQ(count_bound(packed_from_bytes(list.bytes())), 3);
  EXPECT_EQ(count_bound(packed_list{}), -1);
  packed_list grown;
  count_in_pair(grown, 4);
  EXPECT_EQ(count_bound(grown), 0);
}

TEST(list_extras_table, extras_follow_a_list_through_every_move_and_go_with_it) {
  // A long list (indexed at its first edit) and a short one with a summary asked for: each
  // moved by construction, by assignment over a list with extras and over one without, onto
  // itself, and by a vector that grows; its extras must stay its own and hold, and the table
  // must be back to where it was once every list is gone.
  const std::size_t before = lists_with_extras();
  std::vector<id_count> long_pairs;
  for (std::int32_t id = 0; id < 4000; ++id)
    long_pairs.push_back({id, id % 300});
  const auto with_extras = [&](bool indexed) {
    packed_list list = pack_pairs(indexed ? long_pairs : std::vector<id_count>{{1, 2}, {3, 4}});
    if (indexed) count_in_pair(list, 17);
    first_pair_of_each_count(list);
    EXPECT_TRUE(list.has_extras);
    return list;
  };
  const auto expect_own_extras = [](const packed_list& list) {
    EXPECT_TRUE(list.has_extras);
    EXPECT_NE(extras_of(list), nullptr);
    EXPECT_TRUE(extras_hold(list));
    EXPECT_TRUE(std::ranges::equal(first_pair_of_each_count(list),
                                   first_pair_of_each_count(pack_pairs(unpack_pairs(list)))));
  };
  for (const bool indexed : {true, false}) {
    {
      packed_list moved{with_extras(indexed)};
      expect_own_extras(moved);
      packed_list over_extras = with_extras(!indexed);
      over_extras = std::move(moved);
      EXPECT_FALSE(moved.has_extras);
      EXPECT_EQ(extras_of(moved), nullptr);
      expect_own_extras(over_extras);
      packed_list over_none = pack_ids(std::vector<std::int32_t>{5});
      over_none = std::move(over_extras);
      expect_own_extras(over_none);
      packed_list& same = over_none;
      over_none = std::move(same);
      expect_own_extras(over_none);
      std::vector<packed_list> grown;
      for (int k = 0; k < 20; ++k)
        grown.push_back(with_extras(k % 2 == 0));
      for (const packed_list& list : grown)
        expect_own_extras(list);
      EXPECT_EQ(lists_with_extras(), before + 21);
    }
    EXPECT_EQ(lists_with_extras(), before);
  }
}

}  // namespace
}  // namespace tsugihagi
