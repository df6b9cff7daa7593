// A queue from one thread to another that wakes either side rarely. Waking a sleeping thread
// costs about as much as converting a small log, so the taker, once it has emptied the queue,
// sleeps until a whole batch is waiting (or the queue closes), and a giver that finds the queue
// full sleeps until a batch's room is free. Batches and room are counted in items and in bytes,
// so a few huge items cannot pile up; an item is always let in when the queue is empty. A giver
// that will give nothing for a while flushes: the taker then takes what is queued at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace paifu::cli {

struct HandoffLimits {
  std::size_t batch_items;
  std::size_t batch_bytes;
  std::size_t max_items;
  std::size_t max_bytes;
};

template <class T>
class Handoff {
 public:
  explicit Handoff(HandoffLimits limits) : limits_(limits) {}

  // Queues `item`, of `bytes` bytes, once there is room.
  void give(T item, std::size_t bytes) {
    std::unique_lock lock(mutex_);
    if (full()) {
      giver_waits_ = true;
      room_.wait(lock, [this] { return has_room_for_a_batch(); });
      giver_waits_ = false;
    }
    queue_.push_back({std::move(item), bytes});
    bytes_ += bytes;
    const bool wake = taker_sleeps_ && batch_waiting();
    lock.unlock();
    if (wake) waiting_.notify_one();
  }

  // Lets the taker take what is queued, however little, without waiting for a batch.
  void flush() {
    std::unique_lock lock(mutex_);
    flushing_ = true;
    const bool wake = taker_sleeps_ && !queue_.empty();
    lock.unlock();
    if (wake) waiting_.notify_one();
  }

  // No more items will be given: the taker takes what is left, then nothing.
  void close() {
    {
      const std::lock_guard lock(mutex_);
      closed_ = true;
    }
    waiting_.notify_one();
  }

  // The next item; nothing once the queue is closed and empty. Before sleeping on an empty queue
  // the taker calls `before_sleeping` (without the lock): to flush what it gives on, say.
  template <class BeforeSleeping>
  std::optional<T> take(BeforeSleeping before_sleeping) {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) {
      lock.unlock();
      before_sleeping();
      lock.lock();
      taker_sleeps_ = true;
      waiting_.wait(lock, [this] { return closed_ || batch_waiting() || (flushing_ && !queue_.empty()); });
      taker_sleeps_ = false;
      if (queue_.empty()) return std::nullopt;
    }
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    bytes_ -= entry.bytes;
    if (queue_.empty()) flushing_ = false;
    const bool wake = giver_waits_ && has_room_for_a_batch();
    lock.unlock();
    if (wake) room_.notify_one();
    return std::move(entry.item);
  }

 private:
  struct Entry {
    T item;
    std::size_t bytes;
  };

  bool batch_waiting() const { return queue_.size() >= limits_.batch_items || bytes_ >= limits_.batch_bytes; }
  bool full() const {
    return !queue_.empty() && (queue_.size() >= limits_.max_items || bytes_ >= limits_.max_bytes);
  }
  bool has_room_for_a_batch() const {
    return queue_.empty() ||
           (queue_.size() + limits_.batch_items <= limits_.max_items && bytes_ + limits_.batch_bytes <= limits_.max_bytes);
  }

  const HandoffLimits limits_;
  std::mutex mutex_;
  std::condition_variable waiting_;  // the taker's: a batch is waiting, or the queue closed
  std::condition_variable room_;     // the giver's: a batch has room
  std::deque<Entry> queue_;
  std::size_t bytes_ = 0;
  bool taker_sleeps_ = false;
  bool giver_waits_ = false;
  bool flushing_ = false;
  bool closed_ = false;
};

// Things sent back to the thread that made them, to be reused or freed there: freeing memory
// that another thread allocated takes that thread's allocator lock, and at a log's pace the two
// threads keep waiting on each other for it.
template <class T>
class ReturnBin {
 public:
  void put(T item) noexcept {
    try {
      const std::lock_guard lock(mutex_);
      items_.push_back(std::move(item));
    } catch (...) {
      // No memory to keep it: it is freed here instead.
    }
  }

  // Replaces `into` with everything put since the last call (what `into` held is destroyed here).
  void take_all(std::vector<T>& into) {
    into.clear();
    const std::lock_guard lock(mutex_);
    std::swap(into, items_);
  }

 private:
  std::mutex mutex_;
  std::vector<T> items_;
};

}  // namespace paifu::cli
