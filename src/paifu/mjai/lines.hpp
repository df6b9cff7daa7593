// The encoded lines of a game: one text holding every line followed by its line feed, and where
// each line ends. One allocation for the whole game instead of one per line; the text is what a
// file or standard output receives, in one write.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
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
      text_ += line;
      end_line();
    }
  }

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  // Line `i`, without its line feed.
  std::string_view operator[](std::size_t i) const {
    const std::size_t start = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(start, ends_[i] - 1 - start);
  }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }
  // Every line, each followed by "\n".
  std::string_view text() const { return text_; }
  std::vector<std::string> strings() const { return {begin(), end()}; }

  // Building: the caller appends one line's text to `buffer()`, then ends the line.
  std::string& buffer() { return text_; }
  void end_line() {
    text_ += '\n';
    ends_.push_back(text_.size());
  }
  // Appends the first `size` bytes of `text` as a whole line: they end with its line feed.
  // All of `text` is copied, in one fixed-size piece, and the rest cut off again.
  template <std::size_t N>
  void append_line(const std::array<char, N>& text, std::size_t size) {
    const std::size_t start = text_.size();
    text_.resize_and_overwrite(start + N, [&](char* out, std::size_t) {
      std::memcpy(out + start, text.data(), N);
      return start + size;
    });
    ends_.push_back(text_.size());
  }
  // Ends a line whose text and line feed the caller has appended to `buffer()`.
  void line_written() { ends_.push_back(text_.size()); }
  // Drops the partial text after the last whole line.
  void drop_partial_line() { text_.resize(ends_.empty() ? 0 : ends_.back()); }
  // Keeps the first `count` lines only.
  void truncate(std::size_t count) {
    if (count >= ends_.size()) return;
    ends_.resize(count);
    drop_partial_line();
  }
  // Puts a line before all the others (rare: it moves the whole buffer).
  void prepend_line(std::string_view line) {
    const std::size_t size = line.size() + 1;
    text_.insert(0, size, '\n');
    text_.replace(0, line.size(), line);
    for (std::size_t& end : ends_) end += size;
    ends_.insert(ends_.begin(), size);
  }
  void reserve(std::size_t lines, std::size_t bytes) {
    ends_.reserve(lines);
    text_.reserve(bytes);
  }

  friend bool operator==(const Lines& a, const Lines& b) { return a.text_ == b.text_; }
  friend bool operator==(const Lines& lines, const std::vector<std::string>& strings) {
    return lines.size() == strings.size() && std::equal(lines.begin(), lines.end(), strings.begin());
  }

 private:
  std::string text_;
  std::vector<std::size_t> ends_;  // just past each line's line feed
};

}  // namespace paifu::mjai
