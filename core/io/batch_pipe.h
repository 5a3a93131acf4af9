// Batches handed from one producing thread to one consuming thread, in the order they were
// put: a reader that decodes and checks records ahead while another thread inserts them.
// Each put and take costs a lock, and a wake-up when the other side waits: batches of many
// records keep that small. The producer always ends with finish (also after an exception, so
// that the consumer never waits for a batch that will not come); the consumer may cancel, and
// the producer then stops at its next look at cancelled(). Batches not taken are destroyed
// with the pipe, on the thread that destroys it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace tsugihagi {

template <typename Batch>
class batch_pipe {
 public:
  batch_pipe() = default;
  batch_pipe(const batch_pipe&) = delete;
  batch_pipe& operator=(const batch_pipe&) = delete;
  ~batch_pipe() = default;

  // Producer: hands on a batch. REQUIRES: finish not called yet.
  void put(Batch batch) {
    {
      const std::lock_guard hold(lock_);
      batches_.push_back(std::move(batch));
    }
    ready_.notify_one();
  }
  // Producer: no batch follows; `failure`, when set, is what stopped the producer.
  void finish(std::exception_ptr failure = nullptr) {
    {
      const std::lock_guard hold(lock_);
      finished_ = true;
      failure_ = std::move(failure);
    }
    ready_.notify_one();
  }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

  // Consumer: moves the next batch into `out` and returns true, or returns false once the
  // producer finished and every batch was taken. Waits while neither holds.
  bool take(Batch& out) {
    std::unique_lock hold(lock_);
    ready_.wait(hold, [this] { return !batches_.empty() || finished_; });
    if (batches_.empty()) return false;
    out = std::move(batches_.front());
    batches_.pop_front();
    return true;
  }
  // Consumer: asks the producer to stop early.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  // What stopped the producer, once take returned false.
  std::exception_ptr failure() const {
    const std::lock_guard hold(lock_);
    return failure_;
  }

 private:
  mutable std::mutex lock_;
  std::condition_variable ready_;
  std::deque<Batch> batches_;
  bool finished_ = false;
  std::exception_ptr failure_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace tsugihagi
