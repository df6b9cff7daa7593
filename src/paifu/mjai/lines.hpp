// The encoded lines of a game: one text holding every line followed by its line feed, and where
// each line ends. One allocation for the whole game instead of one per line; the text is what a
// file or standard output receives, in one write.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace paifu::mjai {

class Lines {
 public:
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;
    iterator() = default;
    iterator(const Lines* lines, std::size_t index) : lines_(lines), index_(index) {}
    std::string_view operator*() const { return (*lines_)[index_]; }
    iterator& operator++() {
      ++index_;
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++index_;
      return before;
    }
    friend bool operator==(const iterator&, const iterator&) = default;

   private:
    const Lines* lines_ = nullptr;
    std::size_t index_ = 0;
  };

  Lines() = default;
  // From separate strings, none holding a line feed.
  explicit Lines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      char* out = room(line.size() + 1);
      std::memcpy(out, line.data(), line.size());
      out[line.size()] = '\n';
      line_written(line.size() + 1);
    }
  }
  Lines(Lines&&) noexcept = default;
  Lines& operator=(Lines&&) noexcept = default;
  Lines(const Lines& other) : ends_(other.ends_) {
    std::memcpy(room(other.size_), other.data_.get(), other.size_);
    size_ = other.size_;
  }
  Lines& operator=(const Lines& other) {
    if (this != &other) *this = Lines(other);
    return *this;
  }

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  // Line `i`, without its line feed.
  std::string_view operator[](std::size_t i) const {
    const std::size_t start = i == 0 ? 0 : ends_[i - 1];
    return text().substr(start, ends_[i] - 1 - start);
  }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }
  // Every line, each followed by "\n".
  std::string_view text() const { return {data_.get(), size_}; }
  std::vector<std::string> strings() const { return {begin(), end()}; }

  // Building: the caller writes one line's text and its line feed into `room`, then says how
  // many bytes it wrote. A plain buffer rather than a string: a string keeps a terminating null
  // and its own size, one more store and one more reload for every line.
  char* room(std::size_t bytes) {
    if (capacity_ - size_ < bytes) grow(bytes);
    return data_.get() + size_;
  }
  void line_written(std::size_t bytes) {
    size_ += bytes;
    ends_.push_back(size_);
  }
  // Appends a whole line made of `head` and the first `tail_size` bytes of `tail`, which end with
  // its line feed. Both are copied whole, in fixed-size pieces, and the rest cut off again.
  template <std::size_t N, std::size_t M>
  void append_line(const std::array<char, N>& head, const std::array<char, M>& tail, std::size_t tail_size) {
    char* out = room(N + M);
    std::memcpy(out, head.data(), N);
    std::memcpy(out + N, tail.data(), M);
    line_written(N + tail_size);
  }
  // Keeps the first `count` lines only.
  void truncate(std::size_t count) {
    if (count >= ends_.size()) return;
    ends_.resize(count);
    size_ = ends_.empty() ? 0 : ends_.back();
  }
  // Puts a line before all the others (rare: it moves the whole buffer).
  void prepend_line(std::string_view line) {
    const std::size_t size = line.size() + 1;
    room(size);
    std::memmove(data_.get() + size, data_.get(), size_);
    std::memcpy(data_.get(), line.data(), line.size());
    data_[line.size()] = '\n';
    size_ += size;
    for (std::size_t& end : ends_) end += size;
    ends_.insert(ends_.begin(), size);
  }
  void reserve(std::size_t lines, std::size_t bytes) {
    ends_.reserve(lines);
    if (capacity_ < bytes) grow(bytes - size_);
  }

  friend bool operator==(const Lines& a, const Lines& b) { return a.text() == b.text(); }
  friend bool operator==(const Lines& lines, const std::vector<std::string>& strings) {
    return lines.size() == strings.size() && std::equal(lines.begin(), lines.end(), strings.begin());
  }

 private:
  // Room for `bytes` more, at least doubling, so that appending stays linear.
  void grow(std::size_t bytes) {
    const std::size_t capacity = std::max(size_ + bytes, 2 * capacity_);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::vector<std::size_t> ends_;  // just past each line's line feed
};

}  // namespace paifu::mjai
