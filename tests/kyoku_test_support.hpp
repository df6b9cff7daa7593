// Compact builders for hand-made kyoku records and the events expected from them.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::kyoku_testing {

using conv::PreparedKyoku;
using mjai::Event;
using mjai::Seat;

// The tile with this mjai name ("5m", "5mr", "E", "?").
inline Tile tile(std::string_view name) {
  for (std::uint8_t i = 0; i < kTileCount; ++i) {
    if (tile_name(Tile{i}) == name) return Tile{i};
  }
  throw std::invalid_argument("no tile named " + std::string(name));
}

inline std::vector<Tile> tiles(std::string_view names) {
  std::vector<Tile> out;
  std::istringstream in{std::string(names)};
  for (std::string name; in >> name;) out.push_back(tile(name));
  return out;
}

inline tenhou::TileList tile_list(std::string_view names) {
  const std::vector<Tile> list = tiles(names);
  return tenhou::TileList(list.begin(), list.end());
}

// A draw or discard list written the way the log writes it, items separated by spaces: a number
// that is a tile code is a Tile, any other number a Marker, anything else a Call string.
inline void append_items(std::string_view text, tenhou::ActionLists& lists, tenhou::ActionLists::Kind kind,
                         std::size_t seat) {
  lists.open(kind, seat, 0);
  std::istringstream in{std::string(text)};
  for (std::string word; in >> word;) {
    const bool number = word.find_first_not_of("0123456789") == std::string::npos && word.size() <= 3;
    if (!number) {
      lists.append_call(word);
    } else if (auto t = tile_from_code(static_cast<std::uint8_t>(std::stoi(word)))) {
      lists.append(tenhou::ActionItem::tile(*t));
    } else {
      lists.append(tenhou::ActionItem::marker(static_cast<std::uint8_t>(std::stoi(word))));
    }
  }
  lists.close();
}

// Seat s starts with thirteen copies of tile s, so hands of different seats never look alike.
inline PreparedKyoku make_kyoku(std::uint8_t k, const std::array<const char*, 4>& draws,
                                const std::array<const char*, 4>& discards, std::string_view dora = "1s 2s 3s 4s 5s") {
  PreparedKyoku kyoku{};
  kyoku.header = {k, 2, 1};
  kyoku.scores = {25000, 24000, 26000, 25000};
  kyoku.dora_indicators = tile_list(dora);
  kyoku.ura_indicators = tile_list("9p");
  for (std::uint8_t s = 0; s < 4; ++s) {
    kyoku.start_hands[s].fill(Tile{s});
    append_items(draws[s], kyoku.lists, tenhou::ActionLists::Kind::Draws, s);
    append_items(discards[s], kyoku.lists, tenhou::ActionLists::Kind::Discards, s);
  }
  kyoku.outcome = conv::NoWin{{0, 0, 0, 0}};
  return kyoku;
}

inline Event tsumo(Seat a, std::string_view t) { return mjai::Tsumo{a, tile(t)}; }
inline Event dahai(Seat a, std::string_view t) { return mjai::Dahai{a, tile(t), false}; }
inline Event tsumogiri(Seat a, std::string_view t) { return mjai::Dahai{a, tile(t), true}; }
inline Event chi(Seat a, Seat from, std::string_view t, std::string_view c1, std::string_view c2) {
  return mjai::Chi{a, from, tile(t), {tile(c1), tile(c2)}};
}
inline Event pon(Seat a, Seat from, std::string_view t, std::string_view c1, std::string_view c2) {
  return mjai::Pon{a, from, tile(t), {tile(c1), tile(c2)}};
}
inline Event daiminkan(Seat a, Seat from, std::string_view t) {
  return mjai::Daiminkan{a, from, tile(t), {tile(t), tile(t), tile(t)}};
}
inline Event kakan(Seat a, std::string_view t) { return mjai::Kakan{a, tile(t), {tile(t), tile(t), tile(t)}}; }
inline Event ankan(Seat a, std::string_view t) { return mjai::Ankan{a, {tile(t), tile(t), tile(t), tile(t)}}; }
inline Event dora(std::string_view t) { return mjai::Dora{tile(t)}; }
inline Event reach(Seat a) { return mjai::Reach{a}; }
inline Event accepted(Seat a) { return mjai::ReachAccepted{a}; }

// The start_kyoku of a make_kyoku record of an east kyoku.
inline Event start_of(const PreparedKyoku& kyoku) {
  const auto k = kyoku.header.kyoku;
  return mjai::StartKyoku{tile("E"), kyoku.dora_indicators.at(0), static_cast<std::uint8_t>(k % 4 + 1),
                          kyoku.header.honba, kyoku.header.kyotaku, static_cast<Seat>(k % 4), kyoku.scores,
                          kyoku.start_hands};
}

// A whole kyoku's events: its start, the given play, and a draw with no score change.
inline std::vector<Event> whole_kyoku(const PreparedKyoku& kyoku, std::vector<Event> play) {
  play.insert(play.begin(), start_of(kyoku));
  play.emplace_back(mjai::Ryukyoku{mjai::ScoreList{0, 0, 0, 0}});
  play.emplace_back(mjai::EndKyoku{});
  return play;
}

// A short readable form of an event, for failure messages.
inline std::string describe(const Event& event) {
  std::string out(type_text(event.kind()));
  const auto add = [&out](std::string_view prefix, std::string_view text) {
    out += prefix;
    out += text;
  };
  std::visit(
      [&](const auto& e) {
        if constexpr (requires { e.actor; }) add(" a", std::to_string(e.actor));
        if constexpr (requires { e.target; }) add(" t", std::to_string(e.target));
        if constexpr (requires { e.pai; }) add(" ", tile_name(e.pai));
        if constexpr (requires { e.dora_marker; }) add(" ", tile_name(e.dora_marker));
        if constexpr (requires { e.tsumogiri; }) add(e.tsumogiri ? "*" : "", "");
        if constexpr (requires { e.consumed; }) {
          for (std::size_t i = 0; i < e.consumed.size(); ++i) add(i == 0 ? " [" : " ", tile_name(e.consumed[i]));
          out += ']';
        }
      },
      event.value);
  return out;
}

inline std::string describe(const std::vector<Event>& events) {
  std::string out;
  for (const Event& event : events) out += describe(event) + "\n";
  return out;
}

#define PAIFU_EXPECT_EVENTS(actual, expected)                                                            \
  EXPECT_TRUE((actual) == (expected)) << "actual:\n"                                                     \
                                      << ::paifu::kyoku_testing::describe(actual) << "expected:\n"       \
                                      << ::paifu::kyoku_testing::describe(expected)

}  // namespace paifu::kyoku_testing
