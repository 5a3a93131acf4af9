#include "tests/support/invariants.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "core/io/packed_list.h"

namespace tsugihagi::testing {
namespace {

std::string describe(const char* what, std::int32_t a, std::int32_t b = -2) {
  std::ostringstream out;
  out << what << " (" << a;
  if (b != -2) out << ", " << b;
  out << ")";
  return out.str();
}

bool equal_bytes(const packed_list& a, const packed_list& b) {
  return a.size == b.size && std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin());
}

}  // namespace

std::string dictionary_violation(const strmorph::dic_t& d) {
  using strmorph::boundary_id;
  for (const auto& [key, info] : d.wordmap) {
    if (info.id < 0 || info.id >= d.idmap.size()) return describe("word id outside idmap", info.id);
    if (d.idmap[info.id].info != &info || d.idmap[info.id].key != &key) {
      return describe("idmap does not point at word", info.id);
    }
  }
  std::size_t live_slots = 0;
  for (std::int32_t i = 0; i < d.idmap.size(); ++i)
    live_slots += d.idmap[i].info != nullptr;
  if (live_slots != d.wordmap.size()) return "idmap holds entries that are not in the word map";
  for (const std::int32_t id : d.hdid) {
    if (strmorph::word_at(d, id) != nullptr) return describe("free word id in use", id);
  }
  std::size_t live_idioms = 0;
  for (std::int32_t i = 0; i < d.idiomidmap.size(); ++i) {
    const strmorph::idiom_t* idiom = d.idiomidmap[i].idiom;
    if (idiom == nullptr) continue;
    ++live_idioms;
    if (d.idiomset.find(*idiom) == d.idiomset.end()) return describe("idiom not in set", i);
    if (d.idiom_hdid.count(i) != 0) return describe("free idiom id in use", i);
    for (const std::int32_t w : idiom->ids) {
      const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
      if (info == nullptr) return describe("idiom names a dead word", i, w);
      if (!id_list_contains(info->idioms, i)) return describe("word does not link idiom", w, i);
    }
  }
  if (live_idioms != d.idiomset.size()) return "idiom set holds idioms without an id";

  for (const auto& [key, info] : d.wordmap) {
    const std::int32_t w = info.id;
    for (const id_count& p : unpack_pairs(info.next)) {
      if (p.id == boundary_id) continue;
      const strmorph::wordinfo_t* b = strmorph::word_at(d, p.id);
      if (b == nullptr) return describe("next names a dead word", w, p.id);
      if (!id_list_contains(b->prev, w)) return describe("next without matching prev", w, p.id);
    }
    for (const std::int32_t a : unpack_ids(info.prev)) {
      if (a == boundary_id) continue;
      const strmorph::wordinfo_t* b = strmorph::word_at(d, a);
      if (b == nullptr) return describe("prev names a dead word", w, a);
      if (!pair_list_has_id(b->next, w)) return describe("prev without matching next", w, a);
    }
    for (const id_count& p : unpack_pairs(info.cooc)) {
      if (strmorph::word_at(d, p.id) == nullptr) return describe("cooc names a dead word", w, p.id);
    }
    std::set<std::int32_t> seen;
    for (const std::int32_t i : unpack_ids(info.idioms)) {
      if (!seen.insert(i).second) return describe("idiom listed twice", w, i);
      const strmorph::idiom_t* idiom = strmorph::idiom_at(d, i);
      if (idiom == nullptr) return describe("idioms names a dead idiom", w, i);
      if (std::find(idiom->ids.begin(), idiom->ids.end(), w) == idiom->ids.end()) {
        return describe("word links an idiom without it", w, i);
      }
    }
  }
  return {};
}

std::string log_violation(const bot& b) {
  if (b.log.line_texts.size() != b.log.line_words.size()) return "log sequences differ in length";
  for (std::size_t i = 0; i < b.log.line_count(); ++i) {
    std::u16string joined;
    bool all_live = true;
    for (const std::int32_t id : b.log.line_words[i].ids) {
      if (strmorph::word_at(b.dic, id) == nullptr) {
        all_live = false;
        break;
      }
      joined += strmorph::word_text(b.dic, id);
    }
    if (all_live && joined != b.log.line_texts[i].text) {
      return describe("words do not tile log line", static_cast<std::int32_t>(i));
    }
  }
  return {};
}

std::string state_difference(const bot& a, const bot& b) {
  const strmorph::dic_t& x = a.dic;
  const strmorph::dic_t& y = b.dic;
  if (x.wordmap.size() != y.wordmap.size()) return "word counts differ";
  for (auto i = x.wordmap.begin(), j = y.wordmap.begin(); i != x.wordmap.end(); ++i, ++j) {
    const strmorph::wordinfo_t& p = i->second;
    const strmorph::wordinfo_t& q = j->second;
    if (i->first.text() != j->first.text() || p.id != q.id || p.count != q.count ||
        !equal_bytes(p.next, q.next) || !equal_bytes(p.prev, q.prev) ||
        !equal_bytes(p.cooc, q.cooc) || !equal_bytes(p.idioms, q.idioms)) {
      return describe("words differ", p.id, q.id);
    }
  }
  if (x.idmap.size() != y.idmap.size()) return "idmap sizes differ";
  if (x.hdid != y.hdid || x.idiom_hdid != y.idiom_hdid) return "free ids differ";
  if (x.idiomidmap.size() != y.idiomidmap.size()) return "idiomidmap sizes differ";
  for (std::int32_t i = 0; i < x.idiomidmap.size(); ++i) {
    const strmorph::idiom_t* p = x.idiomidmap[i].idiom;
    const strmorph::idiom_t* q = y.idiomidmap[i].idiom;
    if ((p == nullptr) != (q == nullptr)) return describe("idiom presence differs", i);
    if (p != nullptr && (p->ids != q->ids || p->flags != q->flags)) {
      return describe("idioms differ", i);
    }
  }
  if (a.log.line_count() != b.log.line_count()) return "log lengths differ";
  for (std::size_t i = 0; i < a.log.line_count(); ++i) {
    if (a.log.line_texts[i].text != b.log.line_texts[i].text ||
        a.log.line_words[i].ids != b.log.line_words[i].ids) {
      return describe("log lines differ", static_cast<std::int32_t>(i));
    }
  }
  return {};
}

}  // namespace tsugihagi::testing
