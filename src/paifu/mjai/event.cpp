#include "paifu/mjai/event.hpp"

#include <array>

namespace paifu::mjai {

std::string_view type_text(EventKind kind) {
  static constexpr std::array<std::string_view, std::variant_size_v<EventVariant>> kTypeTexts = {
      "none",      "start_game", "start_kyoku", "tsumo", "dahai",          "chi",  "pon",      "daiminkan", "kakan",
      "ankan",     "dora",       "reach",       "reach_accepted",        "hora", "ryukyoku", "end_kyoku", "end_game"};
  return kTypeTexts.at(static_cast<std::size_t>(kind));
}

}  // namespace paifu::mjai
