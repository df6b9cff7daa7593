// Byte-exact compact JSON for one mjai event.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/mjai/event.hpp"
#include "paifu/mjai/lines.hpp"

namespace paifu::mjai {

// Appends the event's JSON text to `out`. An event that has no text (a tile outside the tile
// table, or an empty variant) fails at stage Encode and leaves `out` as it was.
expected<void, Error> encode_event(const Event& event, std::string& out);

// One line per event, all in one buffer; the first failure discards them all.
expected<Lines, Error> encode_all(const std::vector<Event>& events);

// Appends the event's line (its text and a line feed) to `lines`. False, with `lines` as they
// were, for an event that has no text. The kinds are written without going through the variant:
// `Kind` is any of the event kinds, or Event itself.
template <typename Kind>
[[nodiscard]] bool append_line(const Kind& event, Lines& lines);
[[nodiscard]] bool append_line(const Event& event, Lines& lines);

// The line of a hora whose deltas and ura markers are both present, written from a view of
// the markers (no event is built, so the markers are not copied).
[[nodiscard]] bool append_hora_line(Seat actor, Seat target, const ScoreList& deltas,
                                    std::span<const Tile> ura_markers, Lines& lines);

// The whole line of every tsumo and dahai of the four seats, line feed included, composed once
// by the encoder: they are nine lines in ten, and one fixed-size copy is cheaper than composing
// each. One cache line each: the text, and its length in the last byte, which no text reaches
// (the longest, a red-five dahai with "false" and its line feed, takes 57).
struct alignas(64) FixedLine {
  std::array<char, 64> text;
  std::uint8_t size() const { return static_cast<std::uint8_t>(text.back()); }
};
class FixedLines {
 public:
  FixedLines();
  // The line, or null for an actor or tile that has none here.
  const FixedLine* tsumo(Seat actor, Tile pai) const {
    return actor < 4 && pai.index < kTileCount ? &tsumo_[actor][pai.index] : nullptr;
  }
  const FixedLine* dahai(Seat actor, Tile pai, bool tsumogiri) const {
    return actor < 4 && pai.index < kTileCount ? &dahai_[actor][pai.index][tsumogiri ? 1 : 0] : nullptr;
  }

 private:
  std::array<std::array<FixedLine, kTileCount>, 4> tsumo_;
  std::array<std::array<std::array<FixedLine, 2>, kTileCount>, 4> dahai_;
};
extern const FixedLines kFixedLines;

// Stands where an event list would, but keeps only the lines: each event is encoded as it is
// appended, so no list of events is ever built. The first encoding failure is kept for status().
class LineWriter {
 public:
  explicit LineWriter(Lines& lines) : lines_(lines) {}

  void push_back(const Event& event) { check(append_line(event, lines_)); }
  template <class Kind>
  void emplace_back(const Kind& kind) {
    check(append_line(kind, lines_));
  }
  // A tsumo or dahai, copied whole from its composed line.
  void tsumo(Seat actor, Tile pai) {
    if (const FixedLine* line = kFixedLines.tsumo(actor, pai)) return lines_.append_line(line->text, line->size());
    emplace_back(Tsumo{actor, pai});
  }
  void dahai(Seat actor, Tile pai, bool tsumogiri) {
    if (const FixedLine* line = kFixedLines.dahai(actor, pai, tsumogiri)) {
      return lines_.append_line(line->text, line->size());
    }
    emplace_back(Dahai{actor, pai, tsumogiri});
  }
  void hora(Seat actor, Seat target, const ScoreList& deltas, std::span<const Tile> ura_markers) {
    check(append_hora_line(actor, target, deltas, ura_markers, lines_));
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
  void check(bool appended) {
    if (!appended && !failure_) failure_ = Error{Stage::Encode, 0, "an event without a text"};
  }

  Lines& lines_;
  std::optional<Error> failure_;
};

}  // namespace paifu::mjai
