#include "core/dict/rope_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/dict/dictionary.h"

namespace tsugihagi {
namespace {

using strmorph::idiom_t;
using strmorph::idiomidmap_value_t;
using strmorph::idmap_value_t;
using strmorph::wordinfo_t;
using strmorph::wordkey_t;

using word_array = rope_array<idmap_value_t, 255>;
using idiom_array = rope_array<idiomidmap_value_t, 127>;

// Distinct targets for the stored pointers.
struct targets {
  std::vector<wordkey_t> keys = std::vector<wordkey_t>(3000);
  std::vector<wordinfo_t> infos = std::vector<wordinfo_t>(3000);
  std::vector<idiom_t> idioms = std::vector<idiom_t>(3000);

  idmap_value_t word(std::size_t i) { return {&keys[i], &infos[i]}; }
  idiomidmap_value_t idiom(std::size_t i) { return {&idioms[i]}; }
};

TEST(rope_array, for_words_opens_the_second_chunk_at_element_255) {
  targets t;
  word_array a;
  for (std::size_t i = 0; i < 255; ++i)
    a.push_back(t.word(i));
  EXPECT_EQ(a.chunk_count(), 1u);
  EXPECT_EQ(&a[254], &a[0] + 254) << "element 254 is the last slot of chunk 0";
  a.push_back(t.word(255));
  EXPECT_EQ(a.chunk_count(), 2u);
  a.push_back(t.word(256));
  EXPECT_EQ(&a[256], &a[255] + 1) << "element 255 is slot 0 of chunk 1";
  EXPECT_EQ(a.size(), 257);
  for (std::int32_t i = 0; i < a.size(); ++i)
    EXPECT_EQ(a[i].info, &t.infos[static_cast<std::size_t>(i)]) << i;
}

TEST(rope_array, for_idioms_opens_the_second_chunk_at_element_127) {
  targets t;
  idiom_array a;
  for (std::size_t i = 0; i < 127; ++i)
    a.push_back(t.idiom(i));
  EXPECT_EQ(a.chunk_count(), 1u);
  a.push_back(t.idiom(127));
  EXPECT_EQ(a.chunk_count(), 2u);
  EXPECT_EQ(a[126].idiom, &t.idioms[126]);
  EXPECT_EQ(a[127].idiom, &t.idioms[127]);
}

TEST(rope_array, resize_to_128_on_an_empty_idiom_array_gives_two_chunks_of_nulls) {
  idiom_array a;
  a.resize(128, {nullptr});
  EXPECT_EQ(a.size(), 128);
  EXPECT_EQ(a.chunk_count(), 2u);
  for (std::int32_t i = 0; i < 128; ++i)
    EXPECT_EQ(a[i].idiom, nullptr) << i;
  a.resize(254, {nullptr});
  EXPECT_EQ(a.chunk_count(), 2u) << "two full chunks need no third";
  a.resize(255, {nullptr});
  EXPECT_EQ(a.chunk_count(), 3u);
}

TEST(rope_array, element_addresses_survive_appends_and_growth) {
  targets t;
  word_array a;
  std::vector<const idmap_value_t*> addresses;
  for (std::size_t i = 0; i < 300; ++i) {
    a.push_back(t.word(i));
    addresses.push_back(&a[static_cast<std::int32_t>(i)]);
  }
  for (std::size_t i = 300; i < 1000; ++i)
    a.push_back(t.word(i));
  a.resize(2600, {nullptr, nullptr});
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(&a[static_cast<std::int32_t>(i)], addresses[i]) << i;
    EXPECT_EQ(addresses[i]->key, &t.keys[i]) << i;
  }
  EXPECT_EQ(a[999].key, &t.keys[999]);
  EXPECT_EQ(a[2599].key, nullptr);
}

TEST(rope_array, shrinking_keeps_the_survivors_and_appending_continues_after_them) {
  targets t;
  idiom_array a;
  for (std::size_t i = 0; i < 300; ++i)
    a.push_back(t.idiom(i));
  a.resize(300, {nullptr});
  EXPECT_EQ(a[299].idiom, &t.idioms[299]) << "resizing to the same size changes nothing";
  a.resize(127, {nullptr});
  EXPECT_EQ(a.chunk_count(), 1u);
  EXPECT_EQ(a[126].idiom, &t.idioms[126]);
  a.push_back(t.idiom(1000));
  EXPECT_EQ(a.chunk_count(), 2u);
  EXPECT_EQ(a[127].idiom, &t.idioms[1000]);
  a.resize(0, {nullptr});
  EXPECT_EQ(a.chunk_count(), 0u);
  a.push_back(t.idiom(5));
  EXPECT_EQ(a.size(), 1);
  EXPECT_EQ(a[0].idiom, &t.idioms[5]);
}

// for_each_stored skips chunks never set; it must make the calls of a loop over every index
// that skips only empty elements.
TEST(rope_array, for_each_stored_visits_what_a_loop_over_every_index_visits) {
  targets t;
  struct visit_case {
    std::int32_t size;
    std::vector<std::int32_t> set;
    std::int32_t shrink_to;  // then grown back to size
  };
  const std::vector<visit_case> cases{
      {0, {}, 0},
      {1, {0}, 1},
      {254, {253}, 254},
      {255, {254}, 255},
      {256, {255}, 256},
      {3000, {7, 700, 2999}, 3000},
      {3000, {7, 700, 2999}, 701},
      {100000, {99999}, 100000},
  };
  for (const visit_case& c : cases) {
    word_array a;
    a.resize(c.size, {nullptr, nullptr});
    for (std::size_t k = 0; k < c.set.size(); ++k)
      a.set(c.set[k], t.word(k));
    a.resize(c.shrink_to, {nullptr, nullptr});
    a.resize(c.size, {nullptr, nullptr});
    std::vector<std::pair<std::int32_t, const wordinfo_t*>> plain, stored;
    for (std::int32_t i = 0; i < a.size(); ++i) {
      if (a[i].info != nullptr) plain.emplace_back(i, a[i].info);
    }
    a.for_each_stored([&](std::int32_t i, const idmap_value_t& v) {
      if (v.info != nullptr) stored.emplace_back(i, v.info);
    });
    EXPECT_EQ(stored, plain) << "size " << c.size << ", shrunk to " << c.shrink_to;
  }
}

}  // namespace
}  // namespace tsugihagi
