#include "paifu/conv/kyoku.hpp"


namespace paifu::conv {

expected<std::vector<mjai::Event>, Error> run_game_frame(GameLog&& game) {
  std::size_t bound = 2;
  for (const PreparedKyoku& kyoku : game.kyokus) bound += kyoku_event_bound(kyoku);
  std::vector<mjai::Event> events;
  events.reserve(bound);
  events.emplace_back(mjai::StartGame{mjai::NameList(std::make_move_iterator(game.names.begin()),
                                                     std::make_move_iterator(game.names.end())),
                                      game.kyoku_first, game.aka_flag});
  // Each kyoku appends straight to the game's list; a failing kyoku fails the game, and the
  // list with whatever it holds is dropped.
  for (const PreparedKyoku& kyoku : game.kyokus) {
    if (auto ok = append_kyoku_events(kyoku, events); !ok) return unexpected(std::move(ok.error()));
  }
  events.emplace_back(mjai::EndGame{});
  return events;
}

}  // namespace paifu::conv
