#include "core/io/durable_steps.h"

#include <atomic>

namespace tsugihagi {
namespace {

std::atomic<step_watcher> current_watcher{nullptr};

}  // namespace

void watch_durable_steps(step_watcher watcher) {
  current_watcher.store(watcher, std::memory_order_relaxed);
}

void durable_step(const char* step) {
  if (const step_watcher watcher = current_watcher.load(std::memory_order_relaxed)) watcher(step);
}

}  // namespace tsugihagi
