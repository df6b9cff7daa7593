#include "paifu/conv/game_log.hpp"

#include <string_view>

namespace paifu::conv {
namespace {

constexpr std::string_view kWinLabel = "\xE5\x92\x8C\xE4\xBA\x86";  // 和了
constexpr std::string_view kThree = "\xE4\xB8\x89";                 // 三
constexpr std::string_view kEast = "\xE6\x9D\xB1";                  // 東

bool contains(std::string_view text, std::string_view needle) { return text.find(needle) != std::string_view::npos; }

bool is_three_player(std::string_view disp) { return contains(disp, kThree) || contains(disp, "3-Player"); }

std::uint8_t kyoku_first_of(std::string_view disp) {
  return contains(disp, kEast) || contains(disp, "East") ? 4 : 0;
}

// A seat number of a win's details: non-negative integers keep their low 8 bits; negative
// integers and floating-point numbers count as 0. Nothing for a value that is not a number.
std::optional<std::uint8_t> seat_of(const tenhou::JsonValue& element) {
  if (const auto* n = std::get_if<std::uint64_t>(&element.value)) return static_cast<std::uint8_t>(*n & 0xFF);
  if (std::holds_alternative<std::int64_t>(element.value) || std::holds_alternative<double>(element.value)) {
    return std::uint8_t{0};
  }
  return std::nullopt;
}

expected<KyokuOutcome, Error> outcome_of(const tenhou::ResultList& results, std::pmr::memory_resource* memory) {
  const auto* first = results.empty() ? nullptr : std::get_if<tenhou::Label>(&results.front());
  if (first != nullptr && first->text == kWinLabel) {
    Win win{std::pmr::vector<HoraEntry>(memory)};
    // Items after the label come in (deltas, details) pairs; a last unpaired item is ignored.
    for (std::size_t i = 1; i + 1 < results.size(); i += 2) {
      const auto* deltas = std::get_if<tenhou::Deltas>(&results[i]);
      const auto* details = std::get_if<tenhou::Details>(&results[i + 1]);
      if (deltas == nullptr || details == nullptr) continue;
      if (details->size < 2) return unexpected(Error{Stage::Prepare, 0, "a win without its seats"});
      const auto actor = seat_of(details->leading[0]);
      const auto target = seat_of(details->leading[1]);
      if (!actor || !target) return unexpected(Error{Stage::Prepare, 0, "a win whose seats are not seats"});
      win.entries.push_back(HoraEntry{deltas->values, *actor, *target});
    }
    return win;
  }
  NoWin no_win;
  if (first != nullptr && results.size() >= 2) {
    if (const auto* deltas = std::get_if<tenhou::Deltas>(&results[1])) no_win.deltas = deltas->values;
  }
  return no_win;
}

}  // namespace

expected<GameLog, Error> prepare_game_log(tenhou::RawLog&& raw) {
  const std::string_view disp = raw.rule.disp;
  if (is_three_player(disp)) return unexpected(Error{Stage::Prepare, 0, "a three-player game"});

  GameLog game;
  game.kyoku_first = kyoku_first_of(disp);
  const unsigned red_fives = unsigned{raw.rule.aka} + raw.rule.aka51 + raw.rule.aka52 + raw.rule.aka53;
  game.aka_flag = red_fives != 0;
  game.names = std::move(raw.name);
  game.kyokus.reserve(raw.log.size());
  for (tenhou::Inner& inner : raw.log) {
    auto outcome = outcome_of(inner.results, inner.memory.resource());
    if (!outcome) return unexpected(outcome.error());
    game.kyokus.push_back(PreparedKyoku{std::move(inner.memory), inner.header, inner.scores,
                                        std::move(inner.dora_indicators), std::move(inner.ura_indicators),
                                        inner.start_hands, std::move(inner.lists), std::move(*outcome)});
  }
  return game;
}

}  // namespace paifu::conv
