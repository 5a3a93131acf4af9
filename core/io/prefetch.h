// A hint to start bringing a cache line in without waiting for it, for loops that know the
// addresses they will read a few steps ahead. Costs one instruction; nothing where the
// compiler cannot ask for it.
#pragma once

namespace tsugihagi {

inline void prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

}  // namespace tsugihagi
