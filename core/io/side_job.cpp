#include "core/io/side_job.h"

#include <exception>
#include <thread>

namespace tsugihagi {

void run_beside(const std::function<void()>& side, const std::function<void()>& here) {
  std::exception_ptr side_failure;
  {
    // Joined when the block ends, also when `here` throws.
    const std::jthread beside([&] {
      try {
        side();
      } catch (...) {
        side_failure = std::current_exception();
      }
    });
    here();
  }
  if (side_failure) std::rethrow_exception(side_failure);
}

}  // namespace tsugihagi
