#include "core/dict/dictionary_files.h"

#include <string>
#include <vector>

#include "core/io/primitives.h"

namespace strmorph {
namespace {

using tsugihagi::data_stream;

bool possible_id(std::uint32_t id) {
  return id < static_cast<std::uint32_t>(id_ceiling);
}

void read_free_ids(std::set<std::int32_t>& ids, data_stream& s) {
  for (;;) {
    const std::int32_t id = tsugihagi::read_i32(s);
    if (s.failed()) return;
    if (possible_id(static_cast<std::uint32_t>(id))) ids.insert(id);
  }
}

void write_free_ids(const std::set<std::int32_t>& ids, data_stream& s) {
  for (const std::int32_t id : ids)
    tsugihagi::write_i32(s, id);
}

template <typename Reader>
bool load(dic_t& d, const std::filesystem::path& path, Reader read) {
  data_stream s = tsugihagi::open_read(path);
  if (s.failed()) return false;
  read(d, s);
  return true;
}

template <typename Writer>
bool save(const dic_t& d, const std::filesystem::path& path, Writer write) {
  data_stream s = tsugihagi::open_write(path);
  write(d, s);
  return s.close();
}

packed_list read_list(data_stream& s, std::vector<std::uint8_t>& buffer) {
  tsugihagi::read_byte_blob(s, buffer);
  return tsugihagi::packed_from_bytes(buffer);
}

void write_list(data_stream& s, const packed_list& list) {
  tsugihagi::write_byte_blob(s, list.data.get(), static_cast<std::size_t>(list.size));
}

}  // namespace

void read_idiom_hdid(dic_t& d, data_stream& s) {
  read_free_ids(d.idiom_hdid, s);
}

void read_hdid(dic_t& d, data_stream& s) {
  read_free_ids(d.hdid, s);
  // idmap reaches past every free id, whose elements stay empty.
  if (!d.hdid.empty() && *d.hdid.rbegin() >= d.idmap.size()) {
    d.idmap.resize(*d.hdid.rbegin() + 1, idmap_value_t{nullptr, nullptr});
  }
}

void read_idiomdic(dic_t& d, data_stream& s) {
  for (;;) {
    const std::uint32_t id = tsugihagi::read_compact_int(s);
    if (s.failed()) return;
    const std::uint32_t n = tsugihagi::read_compact_int(s);
    if (s.failed()) return;
    if (n > s.remaining()) return;  // every word id takes at least one byte
    idiom_t idiom;
    idiom.ids.resize(n);
    for (std::int32_t& w : idiom.ids)
      w = static_cast<std::int32_t>(tsugihagi::read_compact_int(s));
    tsugihagi::read_bit_vector(s, n, idiom.flags);
    if (s.failed()) return;
    if (n == 0 || !possible_id(id)) continue;
    insert_loaded_idiom(d, static_cast<std::int32_t>(id), std::move(idiom));
  }
}

void read_dic(dic_t& d, data_stream& s) {
  std::u16string text;
  std::vector<std::uint8_t> buffer;
  for (;;) {
    tsugihagi::read_wide_z(s, text);
    if (s.failed()) return;
    wordinfo_t info;
    const std::uint32_t id = tsugihagi::read_compact_int(s);
    info.id = static_cast<std::int32_t>(id);
    info.count = static_cast<std::int32_t>(tsugihagi::read_compact_int(s));
    info.next = read_list(s, buffer);
    info.prev = read_list(s, buffer);
    info.cooc = read_list(s, buffer);
    info.idioms = read_list(s, buffer);
    if (s.failed()) return;
    const bool well_formed =
        tsugihagi::is_pair_list(info.next.bytes()) && tsugihagi::is_id_list(info.prev.bytes()) &&
        tsugihagi::is_pair_list(info.cooc.bytes()) && tsugihagi::is_id_list(info.idioms.bytes());
    if (!well_formed || !possible_id(id) || text.empty()) continue;
    insert_loaded_word(d, text, std::move(info));
  }
}

void write_idiom_hdid(const dic_t& d, data_stream& s) {
  write_free_ids(d.idiom_hdid, s);
}
void write_hdid(const dic_t& d, data_stream& s) {
  write_free_ids(d.hdid, s);
}

void write_idiomdic(const dic_t& d, data_stream& s) {
  for (std::int32_t i = 0; i < d.idiomidmap.size(); ++i) {
    const idiom_t* idiom = d.idiomidmap[i].idiom;
    if (idiom == nullptr) continue;
    tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(i));
    tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(idiom->length()));
    for (const std::int32_t w : idiom->ids) {
      tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(w));
    }
    tsugihagi::write_bit_vector(s, idiom->flags.data(), idiom->flags.size());
  }
}

void write_dic(const dic_t& d, data_stream& s) {
  for (const auto& [key, info] : d.wordmap) {
    tsugihagi::write_wide_z(s, key.text());
    tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(info.id));
    tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(info.count));
    write_list(s, info.next);
    write_list(s, info.prev);
    write_list(s, info.cooc);
    write_list(s, info.idioms);
  }
}

bool load_idiom_hdid(dic_t& d, const std::filesystem::path& p) {
  return load(d, p, read_idiom_hdid);
}
bool load_idiomdic(dic_t& d, const std::filesystem::path& p) {
  return load(d, p, read_idiomdic);
}
bool load_hdid(dic_t& d, const std::filesystem::path& p) {
  return load(d, p, read_hdid);
}
bool load_dic(dic_t& d, const std::filesystem::path& p) {
  return load(d, p, read_dic);
}
bool save_idiom_hdid(const dic_t& d, const std::filesystem::path& p) {
  return save(d, p, write_idiom_hdid);
}
bool save_idiomdic(const dic_t& d, const std::filesystem::path& p) {
  return save(d, p, write_idiomdic);
}
bool save_hdid(const dic_t& d, const std::filesystem::path& p) {
  return save(d, p, write_hdid);
}
bool save_dic(const dic_t& d, const std::filesystem::path& p) {
  return save(d, p, write_dic);
}

}  // namespace strmorph
