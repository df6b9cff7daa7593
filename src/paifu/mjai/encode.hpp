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

// The lines of every tsumo and dahai of the four seats, composed once by the encoder: they are
// nine lines in ten, and fixed-size copies are cheaper than composing each. Each line is two
// pieces: what precedes the tile, the same 32 bytes for every line of a kind and actor, and the
// tile with what follows it. Kept apart, the pieces fit in 3 KB, which stays in the nearest
// cache; whole lines took 29 KB, and their loads missed it.
struct LinePieces {
  static constexpr std::size_t kHeadSize = 32;
  using Head = std::array<char, kHeadSize>;
  // A tail: its text, and its length in the last byte, which no tail reaches (the longest, a
  // red five with "false" and its line feed, takes 25).
  using Tail = std::array<char, 32>;
  const Head* head;
  const Tail* tail;
  std::size_t tail_size() const { return static_cast<std::uint8_t>(tail->back()); }
};
class FixedLines {
 public:
  FixedLines();
  // The pieces, or nothing for an actor or tile that has none here.
  std::optional<LinePieces> tsumo(Seat actor, Tile pai) const {
    if (actor >= 4 || pai.index >= kTileCount) return std::nullopt;
    return LinePieces{&tsumo_heads_[actor], &tsumo_tails_[pai.index]};
  }
  std::optional<LinePieces> dahai(Seat actor, Tile pai, bool tsumogiri) const {
    if (actor >= 4 || pai.index >= kTileCount) return std::nullopt;
    return LinePieces{&dahai_heads_[actor], &dahai_tails_[pai.index][tsumogiri ? 1 : 0]};
  }

 private:
  alignas(64) std::array<LinePieces::Head, 4> tsumo_heads_;
  alignas(64) std::array<LinePieces::Head, 4> dahai_heads_;
  alignas(64) std::array<LinePieces::Tail, kTileCount> tsumo_tails_;
  alignas(64) std::array<std::array<LinePieces::Tail, 2>, kTileCount> dahai_tails_;
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
    if (const auto line = kFixedLines.tsumo(actor, pai)) return append(*line);
    emplace_back(Tsumo{actor, pai});
  }
  void dahai(Seat actor, Tile pai, bool tsumogiri) {
    if (const auto line = kFixedLines.dahai(actor, pai, tsumogiri)) return append(*line);
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
  void append(const LinePieces& line) { lines_.append_line(*line.head, *line.tail, line.tail_size()); }
  void check(bool appended) {
    if (!appended && !failure_) failure_ = Error{Stage::Encode, 0, "an event without a text"};
  }

  Lines& lines_;
  std::optional<Error> failure_;
};

}  // namespace paifu::mjai
