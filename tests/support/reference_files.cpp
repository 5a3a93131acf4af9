#include "tests/support/reference_files.h"

#include <string>
#include <vector>

#include "core/io/packed_list.h"
#include "core/io/primitives.h"
#include "tests/support/reference.h"

namespace tsugihagi::reference {
namespace {

bool possible_id(std::uint32_t id) {
  return id < static_cast<std::uint32_t>(strmorph::id_ceiling);
}

void count_drop(std::int64_t* dropped) {
  if (dropped != nullptr) ++*dropped;
}

packed_list read_list(data_stream& s, std::vector<std::uint8_t>& buffer) {
  read_byte_blob(s, buffer);
  return packed_from_bytes(buffer);
}

void write_list(data_stream& s, const packed_list& list) {
  write_byte_blob(s, list.data.get(), static_cast<std::size_t>(list.size));
}

}  // namespace

void write_dic(const strmorph::dic_t& d, data_stream& s) {
  for (const auto& [key, info] : d.wordmap) {
    write_wide_z(s, key.text());
    write_compact_int(s, static_cast<std::uint32_t>(info.id));
    write_compact_int(s, static_cast<std::uint32_t>(info.count));
    write_list(s, info.next);
    write_list(s, info.prev);
    write_list(s, info.cooc);
    write_list(s, info.idioms);
  }
}

void write_idiomdic(const strmorph::dic_t& d, data_stream& s) {
  for (std::int32_t i = 0; i < d.idiomidmap.size(); ++i) {
    const strmorph::idiom_t* idiom = d.idiomidmap[i].idiom;
    if (idiom == nullptr) continue;
    write_compact_int(s, static_cast<std::uint32_t>(i));
    write_compact_int(s, static_cast<std::uint32_t>(idiom->length()));
    for (const std::int32_t w : idiom->ids)
      write_compact_int(s, static_cast<std::uint32_t>(w));
    write_bit_vector(s, idiom->flags.data(), idiom->flags.size());
  }
}

void read_dic(strmorph::dic_t& d, data_stream& s, std::int64_t* dropped) {
  std::u16string text;
  std::vector<std::uint8_t> buffer;
  for (;;) {
    const bool at_end = s.remaining() == 0;
    read_wide_z(s, text);
    if (s.failed()) {
      if (!at_end) count_drop(dropped);
      return;
    }
    strmorph::wordinfo_t info;
    const std::uint32_t id = read_compact_int(s);
    info.id = static_cast<std::int32_t>(id);
    info.count = static_cast<std::int32_t>(read_compact_int(s));
    info.next = read_list(s, buffer);
    info.prev = read_list(s, buffer);
    info.cooc = read_list(s, buffer);
    info.idioms = read_list(s, buffer);
    if (s.failed()) {
      count_drop(dropped);
      return;
    }
    const auto id_list = [](const packed_list& list) { return count_values(list.bytes()) >= 0; };
    const auto pair_list = [](const packed_list& list) {
      const std::ptrdiff_t values = count_values(list.bytes());
      return values >= 0 && values % 2 == 0;
    };
    const bool well_formed =
        pair_list(info.next) && id_list(info.prev) && pair_list(info.cooc) && id_list(info.idioms);
    if (well_formed) {
      for (auto* list : {&info.next, &info.cooc})
        list->form = reference::is_canonical(list->bytes(), list_kind::pairs)
                         ? list_form::canonical
                         : list_form::noncanonical;
      for (auto* list : {&info.prev, &info.idioms})
        list->form = reference::is_canonical(list->bytes(), list_kind::ids)
                         ? list_form::canonical
                         : list_form::noncanonical;
    }
    if (!well_formed || !possible_id(id) || text.empty() ||
        !strmorph::insert_loaded_word(d, text, std::move(info))) {
      count_drop(dropped);
    }
  }
}

void read_idiomdic(strmorph::dic_t& d, data_stream& s, std::int64_t* dropped) {
  for (;;) {
    const bool at_end = s.remaining() == 0;
    const std::uint32_t id = read_compact_int(s);
    if (s.failed()) {
      if (!at_end) count_drop(dropped);
      return;
    }
    const std::uint32_t n = read_compact_int(s);
    if (s.failed() || n > s.remaining()) {
      count_drop(dropped);
      return;
    }
    strmorph::idiom_t idiom;
    idiom.ids.resize(n);
    for (std::int32_t& w : idiom.ids)
      w = static_cast<std::int32_t>(read_compact_int(s));
    read_bit_vector(s, n, idiom.flags);
    if (s.failed()) {
      count_drop(dropped);
      return;
    }
    if (n == 0 || !possible_id(id) ||
        !strmorph::insert_loaded_idiom(d, static_cast<std::int32_t>(id), std::move(idiom))) {
      count_drop(dropped);
    }
  }
}

}  // namespace tsugihagi::reference
