#include "paifu/conv/kyoku.hpp"

namespace paifu::conv {
namespace {

std::size_t game_event_bound(const GameLog& game) {
  std::size_t bound = 2;
  for (const PreparedKyoku& kyoku : game.kyokus) bound += kyoku_event_bound(kyoku);
  return bound;
}

// start_game, each kyoku's events, end_game, appended to `events` (a list, or a LineWriter).
template <class Out>
expected<void, Error> play_game(GameLog&& game, Out& events) {
  events.emplace_back(mjai::StartGame{mjai::NameList(std::make_move_iterator(game.names.begin()),
                                                     std::make_move_iterator(game.names.end())),
                                      game.kyoku_first, game.aka_flag});
  // Each kyoku appends straight to the game's list; a failing kyoku fails the game, and the
  // list with whatever it holds is dropped.
  KyokuScratch scratch;
  for (const PreparedKyoku& kyoku : game.kyokus) {
    if (auto ok = append_kyoku_events(kyoku, scratch, events); !ok) return unexpected(std::move(ok.error()));
  }
  events.emplace_back(mjai::EndGame{});
  return {};
}

}  // namespace

expected<std::vector<mjai::Event>, Error> run_game_frame(GameLog&& game) {
  std::vector<mjai::Event> events;
  events.reserve(game_event_bound(game));
  if (auto played = play_game(std::move(game), events); !played) return unexpected(std::move(played.error()));
  return events;
}

expected<mjai::Lines, Error> encode_game(GameLog&& game) {
  // Most lines are tsumo and dahai events of 36 to 56 bytes: one growth at most for most games.
  constexpr std::size_t kTypicalLineBytes = 64;
  const std::size_t bound = game_event_bound(game);
  mjai::Lines lines;
  lines.reserve(bound, bound * kTypicalLineBytes);
  mjai::LineWriter writer(lines);
  if (auto played = play_game(std::move(game), writer); !played) return unexpected(std::move(played.error()));
  if (auto encoded = writer.status(); !encoded) return unexpected(std::move(encoded.error()));
  return lines;
}

}  // namespace paifu::conv
