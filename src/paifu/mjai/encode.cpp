// The compact JSON writer for mjai events.
//
// The text is written by hand, straight into the caller's buffer. The JSON library on this
// machine would write control characters as upper-case "\u001F"; our lines use lower-case hex
// digits, so the few forms we need (objects, arrays, strings, integers, booleans) are written
// here. Every key, together with the separator before it and the ":" after it, is one constant
// fragment, and so is every quoted tile name and every quoted "type" value.
#include "paifu/mjai/encode.hpp"
#include "paifu/base/internal_fault.hpp"

#include <array>
#include <charconv>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace paifu::mjai {
namespace {

using namespace std::string_view_literals;

// `{"type":"<kind>"` for every kind, in EventKind order.
constexpr std::array<std::string_view, std::variant_size_v<EventVariant>> kOpenings = {
    R"({"type":"none")"sv,      R"({"type":"start_game")"sv, R"({"type":"start_kyoku")"sv,
    R"({"type":"tsumo")"sv,     R"({"type":"dahai")"sv,      R"({"type":"chi")"sv,
    R"({"type":"pon")"sv,       R"({"type":"daiminkan")"sv,  R"({"type":"kakan")"sv,
    R"({"type":"ankan")"sv,     R"({"type":"dora")"sv,       R"({"type":"reach")"sv,
    R"({"type":"reach_accepted")"sv, R"({"type":"hora")"sv,  R"({"type":"ryukyoku")"sv,
    R"({"type":"end_kyoku")"sv, R"({"type":"end_game")"sv};

// Each tile's mjai name as a JSON string, in tile-index order.
constexpr std::array<std::string_view, kTileCount> kQuotedTiles = {
    R"("1m")"sv, R"("2m")"sv, R"("3m")"sv, R"("4m")"sv, R"("5m")"sv, R"("6m")"sv, R"("7m")"sv, R"("8m")"sv,
    R"("9m")"sv, R"("1p")"sv, R"("2p")"sv, R"("3p")"sv, R"("4p")"sv, R"("5p")"sv, R"("6p")"sv, R"("7p")"sv,
    R"("8p")"sv, R"("9p")"sv, R"("1s")"sv, R"("2s")"sv, R"("3s")"sv, R"("4s")"sv, R"("5s")"sv, R"("6s")"sv,
    R"("7s")"sv, R"("8s")"sv, R"("9s")"sv, R"("E")"sv,  R"("S")"sv,  R"("W")"sv,  R"("N")"sv,  R"("P")"sv,
    R"("F")"sv,  R"("C")"sv,  R"("5mr")"sv, R"("5pr")"sv, R"("5sr")"sv, R"("?")"sv};

// The same names in slots of eight bytes, so that each is copied in one fixed-size piece (the
// writer leaves room for the bytes copied past the name).
struct QuotedTile {
  std::array<char, 8> text{};
  std::uint8_t size = 0;
};
constexpr std::array<QuotedTile, kTileCount> make_tile_slots() {
  std::array<QuotedTile, kTileCount> slots{};
  for (std::size_t i = 0; i < kTileCount; ++i) {
    for (std::size_t j = 0; j < kQuotedTiles[i].size(); ++j) slots[i].text[j] = kQuotedTiles[i][j];
    slots[i].size = static_cast<std::uint8_t>(kQuotedTiles[i].size());
  }
  return slots;
}
constexpr auto kTileSlots = make_tile_slots();
// What the writer may store past the end of its text.
constexpr std::size_t kOverhang = 8;

constexpr std::string_view kActor = R"(,"actor":)";
constexpr std::string_view kTarget = R"(,"target":)";
constexpr std::string_view kPai = R"(,"pai":)";
constexpr std::string_view kConsumed = R"(,"consumed":)";
constexpr std::string_view kTsumogiri = R"(,"tsumogiri":)";
constexpr std::string_view kDoraMarker = R"(,"dora_marker":)";
constexpr std::string_view kDeltas = R"(,"deltas":)";
constexpr std::string_view kUraMarkers = R"(,"ura_markers":)";
constexpr std::string_view kNames = R"(,"names":)";
constexpr std::string_view kKyokuFirst = R"(,"kyoku_first":)";
constexpr std::string_view kAkaFlag = R"(,"aka_flag":)";
constexpr std::string_view kBakaze = R"(,"bakaze":)";
constexpr std::string_view kKyoku = R"(,"kyoku":)";
constexpr std::string_view kHonba = R"(,"honba":)";
constexpr std::string_view kKyotaku = R"(,"kyotaku":)";
constexpr std::string_view kOya = R"(,"oya":)";
constexpr std::string_view kScores = R"(,"scores":)";
constexpr std::string_view kTehais = R"(,"tehais":)";

// For each byte of a string value: 0 when it is copied as it is, otherwise the character that
// follows the backslash of its escape ('u' for the "\u00xx" form).
constexpr std::array<char, 256> make_escape_table() {
  std::array<char, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}
constexpr auto kEscapes = make_escape_table();

// Writes into room the caller has made: every event has a known upper bound on its length
// (max_encoded_size), so the text is written with plain stores and the line is sized once.
class Writer {
 public:
  explicit Writer(char* out) : p_(out) {}
  char* position() const { return p_; }

  void raw(std::string_view text) {
    std::memcpy(p_, text.data(), text.size());
    p_ += text.size();
  }
  void raw(char c) { *p_++ = c; }

  void number(std::uint8_t value) { p_ = std::to_chars(p_, p_ + 3, value).ptr; }
  void number(std::int32_t value) { p_ = std::to_chars(p_, p_ + 11, value).ptr; }  // "-2147483648"

  void boolean(bool value) { raw(value ? std::string_view("true") : std::string_view("false")); }

  // False for a value outside the tile table: such a tile has no text.
  [[nodiscard]] bool tile(Tile tile) {
    if (tile.index >= kTileSlots.size()) return false;
    const QuotedTile& slot = kTileSlots[tile.index];
    std::memcpy(p_, slot.text.data(), slot.text.size());
    p_ += slot.size;
    return true;
  }

  // Through a local position: each byte stored through the member would make the next step
  // reload it (a char store may alias anything), a chain of stores and loads across the list.
  template <typename Tiles>
  [[nodiscard]] bool tiles(const Tiles& list) {
    char* p = p_;
    *p++ = '[';
    bool first = true;
    for (const Tile t : list) {
      if (t.index >= kTileSlots.size()) return false;
      if (!first) *p++ = ',';
      first = false;
      const QuotedTile& slot = kTileSlots[t.index];
      std::memcpy(p, slot.text.data(), slot.text.size());
      p += slot.size;
    }
    *p++ = ']';
    p_ = p;
    return true;
  }

  void scores(const ScoreList& values) {
    raw('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i != 0) raw(',');
      number(values[i]);
    }
    raw(']');
  }

  // Copies runs of bytes that need no escape in one piece each; at most 6 bytes per byte.
  void string(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    raw('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      const char escape = kEscapes[byte];
      if (escape == 0) continue;
      raw(text.substr(run, i - run));
      run = i + 1;
      raw('\\');
      raw(escape);
      if (escape == 'u') {
        const char digits[4] = {'0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
        raw(std::string_view(digits, sizeof digits));
      }
    }
    raw(text.substr(run));
    raw('"');
  }

 private:
  char* p_;
};

// Room enough for any event of the kind: 128 bytes hold every fixed-size kind (the longest,
// a daiminkan with three-digit seats and red fives, takes under 100); a name may grow six-fold
// by escapes; a tile in a list takes at most 6 bytes ("5mr" quoted, and a comma).
struct MaxSize {
  static constexpr std::size_t kFixed = 128;
  std::size_t operator()(const StartGame& e) const {
    std::size_t size = kFixed;
    for (const std::string& name : e.names) size += 6 * name.size() + 3;
    return size;
  }
  std::size_t operator()(const StartKyoku&) const { return 640; }
  std::size_t operator()(const Hora& e) const { return kFixed + (e.ura_markers ? 6 * e.ura_markers->size() : 0); }
  template <typename Kind>
  std::size_t operator()(const Kind&) const {
    return kFixed;
  }
};

// Writes the members after "type" for one kind; false when a tile has no text.
struct FieldWriter {
  Writer& w;

  bool operator()(const None&) const { return true; }
  bool operator()(const EndKyoku&) const { return true; }
  bool operator()(const EndGame&) const { return true; }

  bool operator()(const StartGame& e) const {
    w.raw(kNames);
    w.raw('[');
    for (std::size_t i = 0; i < e.names.size(); ++i) {
      if (i != 0) w.raw(',');
      w.string(e.names[i]);
    }
    w.raw(']');
    w.raw(kKyokuFirst);
    w.number(e.kyoku_first);
    w.raw(kAkaFlag);
    w.boolean(e.aka_flag);
    return true;
  }

  bool operator()(const StartKyoku& e) const {
    w.raw(kBakaze);
    if (!w.tile(e.bakaze)) return false;
    w.raw(kDoraMarker);
    if (!w.tile(e.dora_marker)) return false;
    w.raw(kKyoku);
    w.number(e.kyoku);
    w.raw(kHonba);
    w.number(e.honba);
    w.raw(kKyotaku);
    w.number(e.kyotaku);
    w.raw(kOya);
    w.number(e.oya);
    w.raw(kScores);
    w.scores(e.scores);
    w.raw(kTehais);
    w.raw('[');
    for (std::size_t i = 0; i < e.tehais.size(); ++i) {
      if (i != 0) w.raw(',');
      if (!w.tiles(e.tehais[i])) return false;
    }
    w.raw(']');
    return true;
  }

  bool operator()(const Tsumo& e) const {
    w.raw(kActor);
    w.number(e.actor);
    w.raw(kPai);
    return w.tile(e.pai);
  }

  bool operator()(const Dahai& e) const {
    w.raw(kActor);
    w.number(e.actor);
    w.raw(kPai);
    if (!w.tile(e.pai)) return false;
    w.raw(kTsumogiri);
    w.boolean(e.tsumogiri);
    return true;
  }

  // The tail that calls and added kans share: "pai", then "consumed".
  template <typename Meld>
  bool pai_and_consumed(const Meld& e) const {
    w.raw(kPai);
    if (!w.tile(e.pai)) return false;
    w.raw(kConsumed);
    return w.tiles(e.consumed);
  }

  // chi, pon and daiminkan share their shape.
  template <typename Call>
  bool called(const Call& e) const {
    w.raw(kActor);
    w.number(e.actor);
    w.raw(kTarget);
    w.number(e.target);
    return pai_and_consumed(e);
  }
  bool operator()(const Chi& e) const { return called(e); }
  bool operator()(const Pon& e) const { return called(e); }
  bool operator()(const Daiminkan& e) const { return called(e); }

  bool operator()(const Kakan& e) const {
    w.raw(kActor);
    w.number(e.actor);
    return pai_and_consumed(e);
  }

  bool operator()(const Ankan& e) const {
    w.raw(kActor);
    w.number(e.actor);
    w.raw(kConsumed);
    return w.tiles(e.consumed);
  }

  bool operator()(const Dora& e) const {
    w.raw(kDoraMarker);
    return w.tile(e.dora_marker);
  }

  bool operator()(const Reach& e) const {
    w.raw(kActor);
    w.number(e.actor);
    return true;
  }

  bool operator()(const ReachAccepted& e) const {
    w.raw(kActor);
    w.number(e.actor);
    return true;
  }

  bool operator()(const Hora& e) const {
    const std::span<const Tile> ura = e.ura_markers ? std::span<const Tile>(*e.ura_markers) : std::span<const Tile>();
    return hora(e.actor, e.target, e.deltas ? &*e.deltas : nullptr, e.ura_markers ? &ura : nullptr);
  }
  // Either optional member may be absent (null).
  bool hora(Seat actor, Seat target, const ScoreList* deltas, const std::span<const Tile>* ura) const {
    w.raw(kActor);
    w.number(actor);
    w.raw(kTarget);
    w.number(target);
    if (deltas != nullptr) {
      w.raw(kDeltas);
      w.scores(*deltas);
    }
    if (ura != nullptr) {
      w.raw(kUraMarkers);
      if (!w.tiles(*ura)) return false;
    }
    return true;
  }

  bool operator()(const Ryukyoku& e) const {
    if (e.deltas) {
      w.raw(kDeltas);
      w.scores(*e.deltas);
    }
    return true;
  }
};

// The variant position of a kind, which is also its EventKind.
template <typename Kind, std::size_t I = 0>
constexpr std::size_t kind_index() {
  if constexpr (std::is_same_v<std::variant_alternative_t<I, EventVariant>, Kind>) {
    return I;
  } else {
    return kind_index<Kind, I + 1>();
  }
}

// Writes `{"type":...}` of one event, and the line feed when `line_feed` is set, at `text`,
// which has room for the event's bound, the line feed and the writer's overhang. Its size, or
// nothing when a tile has no text.
template <typename Kind, typename Fields>
std::optional<std::size_t> write_event_at(char* text, bool line_feed, Fields fields) {
  Writer writer(text);
  writer.raw(kOpenings[kind_index<Kind>()]);
  if (!fields(FieldWriter{writer})) return std::nullopt;
  writer.raw('}');
  if (line_feed) writer.raw('\n');
  return static_cast<std::size_t>(writer.position() - text);
}

bool outgrew(std::size_t size, std::size_t room, bool line_feed) { return size > room + (line_feed ? 1 : 0); }
[[noreturn]] void outgrown_fault() { internal_fault("an event outgrew the room reserved for its kind"); }

constexpr std::size_t room_with_overhang(std::size_t room) { return room + 1 + kOverhang; }

// The same at the end of `out`; false, with `out` as it was, when a tile has no text.
template <typename Kind, typename Fields>
bool write_event(std::string& out, std::size_t room, bool line_feed, Fields fields) {
  const std::size_t start = out.size();
  std::optional<std::size_t> written;
  // A fault is raised outside the resize: an exception may not leave its callback.
  bool outgrown = false;
  out.resize_and_overwrite(start + room_with_overhang(room), [&](char* text, std::size_t) {
    written = write_event_at<Kind>(text + start, line_feed, fields);
    outgrown = written && outgrew(*written, room, line_feed);
    return outgrown ? start : start + written.value_or(0);
  });
  if (outgrown) outgrown_fault();
  return written.has_value();
}

// The same as a line of `lines`.
template <typename Kind, typename Fields>
bool write_line(Lines& lines, std::size_t room, Fields fields) {
  const std::optional<std::size_t> written =
      write_event_at<Kind>(lines.room(room_with_overhang(room)), true, fields);
  if (!written) return false;
  if (outgrew(*written, room, true)) outgrown_fault();
  lines.line_written(*written);
  return true;
}

template <typename Kind>
std::string compose(const Kind& event) {
  std::string text;
  (void)write_event<Kind>(text, MaxSize::kFixed, true, [&](FieldWriter fields) { return fields(event); });
  return text;
}

// A piece of a composed line, checked against the one kept where one is: every line of an actor
// shares its head, and every line of a tile its tail, whichever the actor.
template <std::size_t N>
void keep_piece(std::string_view piece, std::array<char, N>& kept, bool kept_already) {
  if (kept_already && piece != std::string_view(kept.data(), piece.size())) {
    internal_fault("composed lines differ where they should share a piece");
  }
  std::memcpy(kept.data(), piece.data(), piece.size());
}

void split(const std::string& line, LinePieces::Head& head, bool head_kept, LinePieces::Tail& tail, bool tail_kept) {
  constexpr std::size_t kHead = LinePieces::kHeadSize;
  if (line.size() <= kHead || line.size() - kHead >= tail.size()) internal_fault("a composed line outgrew its pieces");
  const std::string_view text(line);
  keep_piece(text.substr(0, kHead), head, head_kept);
  keep_piece(text.substr(kHead), tail, tail_kept);
  tail.back() = static_cast<char>(line.size() - kHead);
}

}  // namespace

FixedLines::FixedLines() : tsumo_heads_{}, dahai_heads_{}, tsumo_tails_{}, dahai_tails_{} {
  for (Seat seat = 0; seat < 4; ++seat) {
    for (std::uint8_t index = 0; index < kTileCount; ++index) {
      const bool head_kept = index != 0;
      const bool tail_kept = seat != 0;
      split(compose(Tsumo{seat, Tile{index}}), tsumo_heads_[seat], head_kept, tsumo_tails_[index], tail_kept);
      split(compose(Dahai{seat, Tile{index}, false}), dahai_heads_[seat], head_kept, dahai_tails_[index][0],
            tail_kept);
      split(compose(Dahai{seat, Tile{index}, true}), dahai_heads_[seat], true, dahai_tails_[index][1], tail_kept);
    }
  }
}

const FixedLines kFixedLines;

namespace {

template <typename Kind>
bool write_kind(const Kind& event, std::string& out, bool line_feed) {
  return write_event<Kind>(out, MaxSize{}(event), line_feed, [&](FieldWriter fields) { return fields(event); });
}

Error no_text() { return Error{Stage::Encode, 0, "an event without a text"}; }

}  // namespace

expected<void, Error> encode_event(const Event& event, std::string& out) {
  if (event.value.valueless_by_exception()) return unexpected(no_text());
  const bool written = std::visit([&](const auto& kind) { return write_kind(kind, out, false); }, event.value);
  if (!written) return unexpected(no_text());
  return {};
}

template <typename Kind>
bool append_line(const Kind& event, Lines& lines) {
  return write_line<Kind>(lines, MaxSize{}(event), [&](FieldWriter fields) { return fields(event); });
}

bool append_line(const Event& event, Lines& lines) {
  if (event.value.valueless_by_exception()) return false;
  return std::visit([&](const auto& kind) { return append_line(kind, lines); }, event.value);
}

bool append_hora_line(Seat actor, Seat target, const ScoreList& deltas, std::span<const Tile> ura_markers,
                      Lines& lines) {
  const std::size_t room = MaxSize::kFixed + 6 * ura_markers.size();
  return write_line<Hora>(lines, room,
                          [&](FieldWriter fields) { return fields.hora(actor, target, &deltas, &ura_markers); });
}

// Every kind a line may be made of.
template bool append_line(const None&, Lines&);
template bool append_line(const StartGame&, Lines&);
template bool append_line(const StartKyoku&, Lines&);
template bool append_line(const Tsumo&, Lines&);
template bool append_line(const Dahai&, Lines&);
template bool append_line(const Chi&, Lines&);
template bool append_line(const Pon&, Lines&);
template bool append_line(const Daiminkan&, Lines&);
template bool append_line(const Kakan&, Lines&);
template bool append_line(const Ankan&, Lines&);
template bool append_line(const Dora&, Lines&);
template bool append_line(const Reach&, Lines&);
template bool append_line(const ReachAccepted&, Lines&);
template bool append_line(const Hora&, Lines&);
template bool append_line(const Ryukyoku&, Lines&);
template bool append_line(const EndKyoku&, Lines&);
template bool append_line(const EndGame&, Lines&);

expected<Lines, Error> encode_all(const std::vector<Event>& events) {
  // Most lines are tsumo and dahai events of 36 to 56 bytes: one growth at most for most games.
  constexpr std::size_t kTypicalLineBytes = 64;
  Lines lines;
  lines.reserve(events.size(), events.size() * kTypicalLineBytes);
  for (const Event& event : events) {
    if (!append_line(event, lines)) return unexpected(no_text());
  }
  return lines;
}

}  // namespace paifu::mjai
