// pugixml builds a document in pages of some 32 KiB, from malloc, and frees them all with the
// document. A game's document takes a few of them: once freed, glibc gives them back to the
// system (they lie at the top of the heap), and the next game's document faults them in
// again, which costs nearly as much as parsing it. So a few freed pages are kept for the next
// document.
//
// pugixml's memory functions are global to the process, and another user of the library in
// the same process may hold blocks allocated before they were set: a block this pool did not
// allocate is passed on to the functions that were in place before.
#include "paifu/mjlog/xml_memory.hpp"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <pugixml.hpp>
#include <unordered_map>

namespace paifu::mjlog {
namespace {

class PagePool {
 public:
  PagePool() : previous_allocate_(pugi::get_memory_allocation_function()),
               previous_deallocate_(pugi::get_memory_deallocation_function()) {}

  void* allocate(std::size_t size) {
    {
      const std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < kept_count_; ++i) {
        if (kept_[i].size == size) {
          void* block = kept_[i].block;
          kept_[i] = kept_[--kept_count_];
          return block;
        }
      }
    }
    void* block = std::malloc(size);
    if (!block) return nullptr;
    try {
      const std::lock_guard lock(mutex_);
      sizes_.emplace(block, size);
    } catch (...) {  // out of memory: pugixml reports the parse as such
      std::free(block);
      return nullptr;
    }
    return block;
  }

  void deallocate(void* block) {
    if (!block) return;
    {
      const std::lock_guard lock(mutex_);
      const auto found = sizes_.find(block);
      if (found != sizes_.end()) {
        if (found->second <= kMaxKeptSize && kept_count_ < kept_.size()) {
          kept_[kept_count_++] = Kept{block, found->second};
          return;
        }
        sizes_.erase(found);
        std::free(block);
        return;
      }
    }
    previous_deallocate_(block);
  }

 private:
  // Enough pages for the documents of a few threads at once; anything larger than a page (a
  // long text) is not kept.
  static constexpr std::size_t kMaxKeptSize = 64 * 1024;
  struct Kept {
    void* block;
    std::size_t size;
  };

  pugi::allocation_function previous_allocate_;
  pugi::deallocation_function previous_deallocate_;
  std::mutex mutex_;
  std::unordered_map<void*, std::size_t> sizes_;  // every block allocated here and not freed
  std::array<Kept, 16> kept_{};
  std::size_t kept_count_ = 0;
};

// Never destroyed: documents may be freed during the process's exit.
PagePool& pool() {
  static PagePool* const instance = new PagePool;
  return *instance;
}

void* allocate(std::size_t size) { return pool().allocate(size); }
void deallocate(void* block) { pool().deallocate(block); }

}  // namespace

void keep_xml_pages() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    pool();  // takes the functions in place before
    pugi::set_memory_management_functions(allocate, deallocate);
  });
}

}  // namespace paifu::mjlog
