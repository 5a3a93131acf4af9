#include "core/io/list_extras_table.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tsugihagi {
namespace {

// `generation` counts the changes to the table: every entry made, dropped or moved.
struct extras_table {
  std::mutex lock;
  std::unordered_map<const packed_list*, std::unique_ptr<list_extras>> by_list;
  std::atomic<std::uint64_t> generation{0};
};

// The last entry this thread found, and the table's generation then: still the list's while
// the generation is the same. Another thread changes only the entries of lists it holds,
// which are not this thread's at the time, but any change makes every thread look again.
struct last_found {
  const packed_list* list = nullptr;
  list_extras* extras = nullptr;
  std::uint64_t generation = 0;
};
thread_local last_found last;

// Counts a change to the table. REQUIRES: its lock held.
void changed(extras_table& t) {
  t.generation.store(t.generation.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

extras_table& table() {
  static extras_table* const the_table = new extras_table;  // outlives every static list
  return *the_table;
}

// Moves the entry of `from` to `to`. Taking a node out and putting it back under another key
// allocates nothing and never rehashes: the table holds as many entries as before.
void move_entry(const packed_list& from, const packed_list& to) {
  extras_table& t = table();
  const std::lock_guard hold(t.lock);
  auto node = t.by_list.extract(&from);
  node.key() = &to;
  t.by_list.insert(std::move(node));
  changed(t);
}

}  // namespace

list_extras* extras_of(const packed_list& list) {
  if (!list.has_extras) return nullptr;
  extras_table& t = table();
  if (last.list == &list && last.generation == t.generation.load(std::memory_order_acquire))
    return last.extras;
  const std::lock_guard hold(t.lock);
  last = {&list, t.by_list.find(&list)->second.get(), t.generation.load(std::memory_order_relaxed)};
  return last.extras;
}

list_extras& make_extras(const packed_list& list) {
  if (list_extras* extras = extras_of(list)) return *extras;
  auto made = std::make_unique<list_extras>();
  list_extras& extras = *made;
  extras_table& t = table();
  const std::lock_guard hold(t.lock);
  t.by_list.emplace(&list, std::move(made));
  list.has_extras = true;
  changed(t);
  return extras;
}

void drop_extras(const packed_list& list) {
  if (!list.has_extras) return;
  std::unique_ptr<list_extras> dropped;  // freed outside the lock
  extras_table& t = table();
  const std::lock_guard hold(t.lock);
  const auto it = t.by_list.find(&list);
  dropped = std::move(it->second);
  t.by_list.erase(it);
  list.has_extras = false;
  changed(t);
}

std::size_t lists_with_extras() {
  extras_table& t = table();
  const std::lock_guard hold(t.lock);
  return t.by_list.size();
}

packed_list::packed_list(packed_list&& other) noexcept
    : size(other.size),
      capacity(other.capacity),
      data(std::move(other.data)),
      count_bound(other.count_bound),
      form(other.form) {
  if (other.has_extras) {
    move_entry(other, *this);
    has_extras = true;
    other.has_extras = false;
  }
}

packed_list& packed_list::operator=(packed_list&& other) noexcept {
  if (this == &other) return *this;
  drop_extras(*this);
  size = other.size;
  capacity = other.capacity;
  data = std::move(other.data);
  count_bound = other.count_bound;
  form = other.form;
  if (other.has_extras) {
    move_entry(other, *this);
    has_extras = true;
    other.has_extras = false;
  }
  return *this;
}

packed_list::~packed_list() {
  drop_extras(*this);
}

}  // namespace tsugihagi
static_assert(sizeof(void*) != 8 || sizeof(tsugihagi::packed_list) == 24,
              "a packed list is 24 bytes");
