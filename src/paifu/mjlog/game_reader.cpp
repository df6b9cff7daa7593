#include "paifu/mjlog/game_reader.hpp"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string_view>
#include <utility>

#include "paifu/base/utf8.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/mjlog/meld.hpp"
#include "paifu/mjlog/xml_check.hpp"
#include "paifu/mjlog/xml_memory.hpp"

namespace paifu::mjlog {
namespace {

using mjai::Event;
using mjai::Seat;
using Status = expected<void, Error>;

constexpr unsigned kTileNumbers = 136;
constexpr unsigned kGoNoRedFives = 0x02;
constexpr unsigned kGoEastSouth = 0x08;
constexpr unsigned kGoThreePlayer = 0x10;
constexpr std::size_t kLineBytes = 56;
constexpr std::size_t kReservedTextLimit = std::size_t{1} << 20;

unexpected<Error> parse_fault(ParseFault fault, std::string detail = {}) {
  return unexpected(Error{Stage::Parse, static_cast<int>(fault), std::move(detail)});
}
unexpected<Error> play_fault(PlayFault fault, std::string detail = {}) {
  return unexpected(Error{Stage::Replay, static_cast<int>(fault), std::move(detail)});
}

// A decimal integer, written plainly (an optional "-", digits), within [low, high].
std::optional<std::int64_t> parse_integer(std::string_view text, std::int64_t low, std::int64_t high) {
  if (text.empty() || text.front() == '+') return std::nullopt;
  if (text.size() <= 4) {  // tile numbers, seats, scores: the most of them, read directly
    const bool negative = text.front() == '-';
    std::int64_t value = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (negative) {
      if (text.size() == 1) return std::nullopt;
      value = -value;
    }
    if (value < low || value > high) return std::nullopt;
    return value;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

// Splits "a,b,c" into exactly N integers within [low, high]; with `more`, further
// comma-separated integers may follow, which are checked and dropped.
template <std::size_t N>
std::optional<std::array<std::int64_t, N>> parse_list(std::string_view text, std::int64_t low, std::int64_t high,
                                                      bool more = false) {
  std::array<std::int64_t, N> values{};
  for (std::size_t i = 0; i < N; ++i) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos && i + 1 < N) return std::nullopt;
    if (comma != std::string_view::npos && i + 1 == N && !more) return std::nullopt;
    const auto value = parse_integer(text.substr(0, comma), low, high);
    if (!value) return std::nullopt;
    values[i] = *value;
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    if (i + 1 == N && comma != std::string_view::npos) {
      // The rest: at least one integer, of any size that fits.
      for (;;) {
        const std::size_t next = text.find(',');
        if (!parse_integer(text.substr(0, next), INT64_MIN, INT64_MAX)) return std::nullopt;
        if (next == std::string_view::npos) break;
        text.remove_prefix(next + 1);
      }
    }
  }
  return values;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Player names are percent-encoded UTF-8.
std::optional<std::string> decode_name(std::string_view text) {
  std::string name;
  name.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hex_value(text[i + 1]);
    const int low = hex_value(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    name.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (!utf8::is_valid(name)) return std::nullopt;
  return name;
}

// The per-kind order of Tenhou's hands and melds: by kind, a red five after the plain ones.
int hand_order(Tile tile) {
  constexpr std::array<int, 3> kRedFiveKinds{4, 13, 22};
  if (tile.index >= 34 && tile.index <= 36) return 2 * kRedFiveKinds[tile.index - 34] + 1;
  return 2 * tile.index;
}

template <typename Range>
void sort_as_tenhou(Range& tiles) {
  std::sort(tiles.begin(), tiles.end(), [](Tile a, Tile b) { return hand_order(a) < hand_order(b); });
}

Seat seat_after(Seat seat) { return static_cast<Seat>((seat + 1) % 4); }

// Where the play of a kyoku stands.
enum class Phase : std::uint8_t {
  Idle,     // before the first kyoku, or between kyokus
  Draw,     // `seat_` draws next (or another seat calls the last discard)
  Discard,  // `seat_` lets a tile go next (or kans, or wins)
  Result,   // the kyoku's results are being given
};

class GameReader {
 public:
  Status run(const pugi::xml_node root, std::size_t text_size) {
    // About one line per element, of some fifty bytes: one line for every fourteen bytes of a
    // real record, written in some three and a half times its size. (Only the first mebibyte
    // counts: an outsized document grows the lines as they come.)
    const std::size_t size = std::min(text_size, kReservedTextLimit);
    lines_.reserve(size / 12 + 16, size * 4 + 16 * kLineBytes);
    for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
      if (node.type() != pugi::node_element) continue;
      if (auto ok = element(node); !ok) return ok;
    }
    return finish();
  }

  mjai::Lines take_lines() { return std::move(lines_); }

 private:
  // ---- attributes ----

  static expected<std::string_view, Error> attribute(pugi::xml_node node, const char* name) {
    const pugi::xml_attribute found = node.attribute(name);
    if (!found) return parse_fault(ParseFault::MissingAttribute, std::string(node.name()) + " " + name);
    return std::string_view(found.value());
  }

  static expected<std::int64_t, Error> integer(pugi::xml_node node, const char* name, std::int64_t low,
                                               std::int64_t high, ParseFault fault = ParseFault::BadAttribute) {
    auto text = attribute(node, name);
    if (!text) return unexpected(std::move(text.error()));
    const auto value = parse_integer(*text, low, high);
    if (!value) return parse_fault(fault, std::string(node.name()) + " " + name);
    return *value;
  }

  static expected<Seat, Error> seat(pugi::xml_node node, const char* name) {
    auto value = integer(node, name, 0, 3, ParseFault::BadSeat);
    if (!value) return unexpected(std::move(value.error()));
    return static_cast<Seat>(*value);
  }

  // Eight values "S0,D0,...": the deltas, in points.
  static expected<mjai::ScoreList, Error> deltas(pugi::xml_node node) {
    auto text = attribute(node, "sc");
    if (!text) return unexpected(std::move(text.error()));
    constexpr std::int64_t kBound = 10'000'000;  // in hundreds; far beyond any game
    // Chip games append the chips of each seat, before and after.
    const auto values = parse_list<8>(*text, -kBound, kBound, true);
    if (!values) return parse_fault(ParseFault::BadAttribute, "sc");
    mjai::ScoreList result{};
    for (std::size_t seat = 0; seat < 4; ++seat) result[seat] = static_cast<std::int32_t>((*values)[2 * seat + 1] * 100);
    return result;
  }

  // A comma-separated list of tile numbers.
  static expected<void, Error> tile_list(std::string_view text, std::vector<TileNumber>& out) {
    out.clear();
    std::size_t start = 0;
    while (true) {
      std::size_t end = start;
      unsigned value = 0;
      // One to three plain digits, the usual form, are read here; anything else below.
      while (end < text.size() && end - start < 4 && text[end] >= '0' && text[end] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[end] - '0');
        ++end;
      }
      if (end == start || end - start > 3 || (end < text.size() && text[end] != ',') || value >= kTileNumbers) {
        end = std::min(text.find(',', start), text.size());
        const auto parsed = parse_integer(text.substr(start, end - start), 0, kTileNumbers - 1);
        if (!parsed) return parse_fault(ParseFault::BadTile, std::string(text.substr(start, end - start)));
        value = static_cast<unsigned>(*parsed);
      }
      out.push_back(static_cast<TileNumber>(value));
      if (end == text.size()) return {};
      start = end + 1;
    }
  }

  Tile tile(TileNumber number) const {
    if (aka_ && (number == 16 || number == 52 || number == 88)) return Tile{static_cast<std::uint8_t>(34 + number / 36)};
    return Tile{static_cast<std::uint8_t>(number / 4)};
  }

  // ---- elements ----

  // The tile number of a T52-style name, when the name is one: the letter, then digits only.
  static expected<std::optional<TileNumber>, Error> tile_of_name(const char* name) {
    unsigned value = 0;
    const char* c = name + 1;
    for (; *c >= '0' && *c <= '9'; ++c) {
      if (value < kTileNumbers) value = value * 10 + static_cast<unsigned>(*c - '0');
    }
    if (*c != '\0' || c == name + 1) return std::optional<TileNumber>();
    if (value >= kTileNumbers) return parse_fault(ParseFault::BadTile, name);
    return std::optional<TileNumber>(static_cast<TileNumber>(value));
  }

  // The seat a draw (T U V W) or discard (D E F G) letter stands for, or -1.
  static int draw_seat(char letter) { return letter >= 'T' && letter <= 'W' ? letter - 'T' : -1; }
  static int discard_seat(char letter) { return letter >= 'D' && letter <= 'G' ? letter - 'D' : -1; }

  Status element(pugi::xml_node node) {
    const char* name = node.name();
    const int drawer = draw_seat(name[0]);
    const int discarder = discard_seat(name[0]);
    if ((drawer >= 0 || discarder >= 0) && name[1] >= '0' && name[1] <= '9') {
      auto number = tile_of_name(name);
      if (!number) return unexpected(std::move(number.error()));
      if (*number) {
        if (drawer >= 0) return draw(static_cast<Seat>(drawer), **number);
        return discard(static_cast<Seat>(discarder), **number);
      }
    }
    const std::string_view tag(name);
    if (tag == "N") return call(node);
    if (tag == "REACH") return reach(node);
    if (tag == "DORA") return dora(node);
    if (tag == "AGARI") return agari(node);
    if (tag == "RYUUKYOKU") return ryuukyoku(node);
    if (tag == "INIT") return init(node);
    if (tag == "GO") return go(node);
    if (tag == "UN") return players(node);
    return {};  // SHUFFLE, TAIKYOKU, BYE and unknown elements tell nothing the events need
  }

  Status go(pugi::xml_node node) {
    if (type_) return {};
    auto type = integer(node, "type", 0, 0xFFFFFFFF);
    if (!type) return unexpected(std::move(type.error()));
    type_ = static_cast<std::uint32_t>(*type);
    if (*type_ & kGoThreePlayer) return unexpected(Error{Stage::Prepare, 0, "a three-player game"});
    aka_ = (*type_ & kGoNoRedFives) == 0;
    return {};
  }

  // The first UN names the players; a later one marks a reconnection.
  Status players(pugi::xml_node node) {
    if (names_) return {};
    mjai::NameList names;
    for (const char* key : {"n0", "n1", "n2", "n3"}) {
      auto text = attribute(node, key);
      if (!text) return unexpected(std::move(text.error()));
      auto name = decode_name(*text);
      if (!name) return parse_fault(ParseFault::BadAttribute, std::string("UN ") + key);
      names.push_back(std::move(*name));
    }
    names_ = std::move(names);
    return {};
  }

  // ---- kyoku boundaries ----

  Status init(pugi::xml_node node) {
    if (auto closed = close_kyoku(); !closed) return closed;
    if (finished_) return play_fault(PlayFault::OutOfTurn, "a kyoku after the game's end");
    if (!type_) return parse_fault(ParseFault::MissingAttribute, "GO before the first INIT");
    auto seed_text = attribute(node, "seed");
    if (!seed_text) return unexpected(std::move(seed_text.error()));
    const auto seed = parse_list<6>(*seed_text, 0, 0xFFFFFFFF);
    if (!seed || (*seed)[0] > 255 || (*seed)[1] > 255 || (*seed)[2] > 255) {
      return parse_fault(ParseFault::BadAttribute, "INIT seed");
    }
    if ((*seed)[5] >= kTileNumbers) return parse_fault(ParseFault::BadTile, "INIT seed");
    auto ten_text = attribute(node, "ten");
    if (!ten_text) return unexpected(std::move(ten_text.error()));
    const auto ten = parse_list<4>(*ten_text, -10'000'000, 10'000'000);
    if (!ten) return parse_fault(ParseFault::BadAttribute, "INIT ten");

    start_kyoku_state();
    const auto k = static_cast<std::uint8_t>((*seed)[0]);
    const auto dora_number = static_cast<TileNumber>((*seed)[5]);
    mjai::StartKyoku start{Tile{static_cast<std::uint8_t>(k < 12 ? 27 + k / 4 : 30)},
                           tile(dora_number),
                           static_cast<std::uint8_t>(k % 4 + 1),
                           static_cast<std::uint8_t>((*seed)[1]),
                           static_cast<std::uint8_t>((*seed)[2]),
                           static_cast<Seat>(k % 4),
                           {},
                           {}};
    for (std::size_t s = 0; s < 4; ++s) start.scores[s] = static_cast<std::int32_t>((*ten)[s] * 100);
    if (auto ok = deal(node, start.tehais); !ok) return ok;
    if (!take_unseen(dora_number)) return play_fault(PlayFault::TileSeenTwice, "dora indicator");
    start_when_named();
    out_.emplace_back(std::move(start));
    phase_ = Phase::Draw;
    seat_ = static_cast<Seat>(k % 4);
    return {};
  }

  Status deal(pugi::xml_node node, mjai::HandList& tehais) {
    static constexpr std::array<const char*, 4> kKeys{"hai0", "hai1", "hai2", "hai3"};
    for (Seat s = 0; s < 4; ++s) {
      auto text = attribute(node, kKeys[s]);
      if (!text) return unexpected(std::move(text.error()));
      if (auto ok = tile_list(*text, numbers_); !ok) return ok;
      if (numbers_.size() != 13) return parse_fault(ParseFault::BadAttribute, kKeys[s]);
      for (std::size_t i = 0; i < 13; ++i) {
        if (!take_unseen(numbers_[i])) return play_fault(PlayFault::TileSeenTwice, "dealt twice");
        hands_[s].set(numbers_[i]);
        tehais[s][i] = tile(numbers_[i]);
      }
      sort_as_tenhou(tehais[s]);
    }
    return {};
  }

  void start_kyoku_state() {
    kyoku_active_ = true;
    seen_.reset();
    for (auto& hand : hands_) hand.reset();
    pon_kinds_.fill(0);
    last_draw_.fill(std::nullopt);
    last_discard_.reset();
    reach_pending_.reset();
    kans_ = 0;
    doras_ = 0;
    ura_.reset();
  }

  // The kyoku's results are complete: every hora gets the kyoku's ura indicators, then end_kyoku.
  Status close_kyoku() {
    if (!kyoku_active_) return {};
    if (phase_ != Phase::Result) return play_fault(PlayFault::Incomplete, "a kyoku without a result");
    // The horas wait for the kyoku's ura indicators, which any of its AGARI may give.
    if (!horas_.empty()) {
      std::vector<Tile> ura;
      if (ura_) {
        for (const TileNumber number : *ura_) ura.push_back(tile(number));
      }
      for (mjai::Hora& hora : horas_) {
        hora.ura_markers = ura;
        out_.emplace_back(std::move(hora));
      }
    }
    horas_.clear();
    out_.emplace_back(mjai::EndKyoku{});
    kyoku_active_ = false;
    phase_ = Phase::Idle;
    return {};
  }

  Status finish() {
    if (auto closed = close_kyoku(); !closed) return closed;
    if (!finished_) return play_fault(PlayFault::Incomplete, "no result carries owari");
    if (!names_) return parse_fault(ParseFault::MissingAttribute, "UN");
    out_.emplace_back(mjai::EndGame{});
    if (auto written = out_.status(); !written) return written;
    if (!started_) {
      // The players were named only after the first kyoku had begun.
      std::string line;
      if (auto encoded = mjai::encode_event(Event{start_game()}, line); !encoded) return encoded;
      lines_.prepend_line(line);
    }
    return {};
  }

  mjai::StartGame start_game() const {
    return mjai::StartGame{*names_, static_cast<std::uint8_t>((*type_ & kGoEastSouth) ? 0 : 4), aka_};
  }

  // start_game before the first kyoku when the players are named by then, as in real records
  // (otherwise it is put in front at the end).
  void start_when_named() {
    if (started_ || !names_ || out_.size() != 0) return;
    out_.emplace_back(start_game());
    started_ = true;
  }

  // ---- the play ----

  bool take_unseen(TileNumber number) {
    if (seen_.test(number)) return false;
    seen_.set(number);
    return true;
  }

  Status expect_turn(Phase phase, Seat seat, const char* what) const {
    if (phase_ != phase || seat_ != seat) return play_fault(PlayFault::OutOfTurn, what);
    return {};
  }

  Status draw(Seat seat, TileNumber number) {
    if (auto ok = expect_turn(Phase::Draw, seat, "a draw out of turn"); !ok) return ok;
    if (!take_unseen(number)) return play_fault(PlayFault::TileSeenTwice, "drawn twice");
    hands_[seat].set(number);
    last_draw_[seat] = number;
    last_discard_.reset();
    phase_ = Phase::Discard;
    out_.tsumo(seat, tile(number));
    return {};
  }

  Status discard(Seat seat, TileNumber number) {
    if (auto ok = expect_turn(Phase::Discard, seat, "a discard out of turn"); !ok) return ok;
    if (!hands_[seat].test(number)) return play_fault(PlayFault::NotInHand, "discard");
    hands_[seat].reset(number);
    // A reach declaration between the draw and the discard does not count as coming between.
    const bool tsumogiri = last_draw_[seat] == number;
    last_draw_[seat].reset();
    last_discard_ = Discarded{seat, number};
    phase_ = Phase::Draw;
    seat_ = seat_after(seat);
    out_.dahai(seat, tile(number), tsumogiri);
    return {};
  }

  Status take_from_hand(Seat seat, const Meld& meld) {
    for (std::uint8_t i = 0; i < meld.own_count; ++i) {
      if (!hands_[seat].test(meld.own[i])) return play_fault(PlayFault::NotInHand, "meld");
      hands_[seat].reset(meld.own[i]);
    }
    return {};
  }

  template <std::size_t N>
  std::array<Tile, N> own_tiles(const Meld& meld) const {
    std::array<Tile, N> tiles{};
    for (std::size_t i = 0; i < N; ++i) tiles[i] = tile(meld.own[i]);
    sort_as_tenhou(tiles);
    return tiles;
  }

  Status call(pugi::xml_node node) {
    auto who = seat(node, "who");
    if (!who) return unexpected(std::move(who.error()));
    auto code = integer(node, "m", 0, 0xFFFF, ParseFault::BadMeld);
    if (!code) return unexpected(std::move(code.error()));
    const auto meld = decode_meld(static_cast<std::uint32_t>(*code));
    if (!meld) return parse_fault(ParseFault::BadMeld, std::to_string(*code));
    if (meld->kind == MeldKind::Ankan || meld->kind == MeldKind::Kakan) return closed_kan(*who, *meld);
    return open_call(*who, *meld);
  }

  // A chi, pon or daiminkan: it takes the discard just made.
  Status open_call(Seat who, const Meld& meld) {
    const auto target = static_cast<Seat>((who + meld.from) % 4);
    if (phase_ != Phase::Draw || !last_discard_ || last_discard_->seat != target ||
        last_discard_->number != meld.called) {
      return play_fault(PlayFault::UnexpectedCall);
    }
    if (auto ok = take_from_hand(who, meld); !ok) return ok;
    last_discard_.reset();
    last_draw_[who].reset();
    seat_ = who;
    const Tile pai = tile(meld.called);
    switch (meld.kind) {
      case MeldKind::Chi:
        out_.emplace_back(mjai::Chi{who, target, pai, own_tiles<2>(meld)});
        phase_ = Phase::Discard;
        break;
      case MeldKind::Pon:
        out_.emplace_back(mjai::Pon{who, target, pai, own_tiles<2>(meld)});
        pon_kinds_[who] |= std::uint64_t{1} << (meld.called / 4);
        phase_ = Phase::Discard;
        break;
      default:
        out_.emplace_back(mjai::Daiminkan{who, target, pai, own_tiles<3>(meld)});
        ++kans_;
        phase_ = Phase::Draw;
        break;
    }
    return {};
  }

  // An ankan or kakan, made in the seat's own turn; a replacement draw follows.
  Status closed_kan(Seat who, const Meld& meld) {
    if (auto ok = expect_turn(Phase::Discard, who, "a kan out of turn"); !ok) return ok;
    if (meld.kind == MeldKind::Ankan) {
      if (auto ok = take_from_hand(who, meld); !ok) return ok;
      out_.emplace_back(mjai::Ankan{who, own_tiles<4>(meld)});
    } else {
      const std::uint64_t kind = std::uint64_t{1} << (meld.called / 4);
      if (!hands_[who].test(meld.called) || !(pon_kinds_[who] & kind)) {
        return play_fault(PlayFault::NotInHand, "kakan");
      }
      hands_[who].reset(meld.called);
      pon_kinds_[who] &= ~kind;
      out_.emplace_back(mjai::Kakan{who, tile(meld.called), kakan_consumed(meld)});
    }
    ++kans_;
    last_draw_[who].reset();
    phase_ = Phase::Draw;
    return {};
  }

  // The pon's three tiles where the pon's written form has them: the called tile stands on the
  // side of the seat it came from.
  std::array<Tile, 3> kakan_consumed(const Meld& meld) const {
    const auto own = own_tiles<2>(meld);
    const Tile called = tile(meld.pon_called);
    switch (meld.from) {
      case 3: return {called, own[0], own[1]};
      case 2: return {own[0], called, own[1]};
      default: return {own[0], own[1], called};
    }
  }

  Status reach(pugi::xml_node node) {
    auto who = seat(node, "who");
    if (!who) return unexpected(std::move(who.error()));
    auto step = integer(node, "step", 1, 2);
    if (!step) return unexpected(std::move(step.error()));
    if (*step == 1) {
      if (auto ok = expect_turn(Phase::Discard, *who, "a reach out of turn"); !ok) return ok;
      reach_pending_ = *who;
      out_.emplace_back(mjai::Reach{*who});
      return {};
    }
    // Accepted once its discard is made and nobody won on it.
    const bool discarded = phase_ == Phase::Draw || (phase_ == Phase::Discard && seat_ != *who);
    if (reach_pending_ != *who || !discarded) return play_fault(PlayFault::OutOfTurn, "a reach accepted out of turn");
    reach_pending_.reset();
    out_.emplace_back(mjai::ReachAccepted{*who});
    return {};
  }

  Status dora(pugi::xml_node node) {
    if (!kyoku_active_ || phase_ == Phase::Result) return play_fault(PlayFault::OutOfTurn, "DORA outside the play");
    auto number = integer(node, "hai", 0, kTileNumbers - 1, ParseFault::BadTile);
    if (!number) return unexpected(std::move(number.error()));
    if (doras_ >= kans_) return play_fault(PlayFault::DoraWithoutKan);
    if (!take_unseen(static_cast<TileNumber>(*number))) return play_fault(PlayFault::TileSeenTwice, "dora");
    ++doras_;
    out_.emplace_back(mjai::Dora{tile(static_cast<TileNumber>(*number))});
    return {};
  }

  // A result may follow any moment of the play; further results of the kyoku only a win.
  Status begin_result(bool win) {
    if (!kyoku_active_) return play_fault(PlayFault::OutOfTurn, "a result outside a kyoku");
    if (phase_ == Phase::Result && !(win && results_are_wins_)) {
      return play_fault(PlayFault::OutOfTurn, "a second result");
    }
    phase_ = Phase::Result;
    results_are_wins_ = win;
    return {};
  }

  Status agari(pugi::xml_node node) {
    auto who = seat(node, "who");
    if (!who) return unexpected(std::move(who.error()));
    auto from = seat(node, "fromWho");
    if (!from) return unexpected(std::move(from.error()));
    auto points = deltas(node);
    if (!points) return unexpected(std::move(points.error()));
    if (const pugi::xml_attribute ura = node.attribute("doraHaiUra")) {
      if (auto ok = tile_list(ura.value(), numbers_); !ok) return ok;
      if (!ura_) ura_ = numbers_;
    }
    if (auto ok = begin_result(true); !ok) return ok;
    horas_.push_back(mjai::Hora{*who, *from, *points, std::vector<Tile>()});
    finished_ = finished_ || node.attribute("owari");
    return {};
  }

  Status ryuukyoku(pugi::xml_node node) {
    auto points = deltas(node);
    if (!points) return unexpected(std::move(points.error()));
    if (auto ok = begin_result(false); !ok) return ok;
    out_.emplace_back(mjai::Ryukyoku{*points});
    finished_ = finished_ || node.attribute("owari");
    return {};
  }

  struct Discarded {
    Seat seat;
    TileNumber number;
  };

  mjai::Lines lines_;
  mjai::LineWriter out_{lines_};
  bool started_ = false;  // start_game is written
  std::vector<mjai::Hora> horas_;  // the kyoku's, until its results are complete
  std::optional<std::uint32_t> type_;
  std::optional<mjai::NameList> names_;
  bool aka_ = true;
  bool finished_ = false;
  std::vector<TileNumber> numbers_;  // scratch, kept from list to list

  bool kyoku_active_ = false;
  Phase phase_ = Phase::Idle;
  Seat seat_ = 0;
  bool results_are_wins_ = false;
  std::bitset<kTileNumbers> seen_;
  std::array<std::bitset<kTileNumbers>, 4> hands_{};
  std::array<std::uint64_t, 4> pon_kinds_{};
  std::array<std::optional<TileNumber>, 4> last_draw_{};
  std::optional<Discarded> last_discard_;
  std::optional<Seat> reach_pending_;
  unsigned kans_ = 0;
  unsigned doras_ = 0;
  std::optional<std::vector<TileNumber>> ura_;
};

}  // namespace

expected<mjai::Lines, Error> read_game(std::string& text) {
  if (const char* fault = find_xml_fault(text)) return parse_fault(ParseFault::NotXml, fault);
  keep_xml_pages();
  pugi::xml_document document;
  // Entities and line ends as XML reads them; no node for comments, declarations or DOCTYPEs.
  constexpr unsigned kOptions = pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
  const pugi::xml_parse_result parsed =
      document.load_buffer_inplace(text.data(), text.size(), kOptions, pugi::encoding_utf8);
  if (!parsed) return parse_fault(ParseFault::NotXml, parsed.description());
  const pugi::xml_node root = document.document_element();
  if (std::string_view(root.name()) != "mjloggm") return parse_fault(ParseFault::NotMjlog, root.name());
  GameReader reader;
  if (auto ok = reader.run(root, text.size()); !ok) return unexpected(std::move(ok.error()));
  return reader.take_lines();
}

}  // namespace paifu::mjlog
