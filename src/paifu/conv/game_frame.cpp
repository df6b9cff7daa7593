#include "paifu/conv/game_frame.hpp"

#include "paifu/conv/kyoku.hpp"

namespace paifu::conv {

expected<std::vector<mjai::Event>, ConversionError> run_game_frame(GameLog&& game) {
  std::vector<mjai::Event> events;
  events.emplace_back(mjai::StartGame{std::move(game.names), game.kyoku_first, game.aka_flag});
  for (const PreparedKyoku& kyoku : game.kyokus) {
    auto kyoku_events = convert_kyoku(kyoku);
    if (!kyoku_events) return unexpected(std::move(kyoku_events.error()));
    events.insert(events.end(), std::make_move_iterator(kyoku_events->begin()),
                  std::make_move_iterator(kyoku_events->end()));
  }
  events.emplace_back(mjai::EndGame{});
  return events;
}

}  // namespace paifu::conv
