// Byte-exact compact JSON for one mjai event.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/mjai/event.hpp"
#include "paifu/mjai/lines.hpp"

namespace paifu::mjai {

// Appends the event's JSON text to `out`. An event that has no text (a tile outside the tile
// table, or an empty variant) fails at stage Encode; `out` then holds a partial text, which the
// caller discards.
expected<void, Error> encode_event(const Event& event, std::string& out);

// One line per event, all in one buffer; the first failure discards them all.
expected<Lines, Error> encode_all(const std::vector<Event>& events);

// Stands where an event list would, but keeps only the lines: each event is encoded as it is
// appended, so no list of events is ever built. The first encoding failure is kept for status().
class LineWriter {
 public:
  explicit LineWriter(Lines& lines) : lines_(lines) {}

  void push_back(const Event& event) {
    if (encode_event(event, lines_.buffer())) {
      lines_.end_line();
    } else if (!failure_) {
      failure_ = Error{Stage::Encode, 0, "an event without a text"};
      lines_.drop_partial_line();
    } else {
      lines_.drop_partial_line();
    }
  }
  template <class Kind>
  void emplace_back(Kind&& kind) {
    push_back(Event{std::forward<Kind>(kind)});
  }
  std::size_t size() const { return lines_.size(); }
  // Keeps the first `count` lines only.
  void truncate(std::size_t count) { lines_.truncate(count); }
  // Success, or the first failure of any event appended.
  expected<void, Error> status() const {
    if (failure_) return unexpected(*failure_);
    return {};
  }

 private:
  Lines& lines_;
  std::optional<Error> failure_;
};

}  // namespace paifu::mjai
