#include "stream_checker.hpp"

#include <rapidjson/document.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>

namespace paifu::testing {
namespace {

using Hand = std::map<std::string, int>;

// Red fives complete the same melds as plain fives.
std::string plain(std::string tile) {
  if (tile.size() == 3 && tile[2] == 'r') tile.pop_back();
  return tile;
}

class Checker {
 public:
  std::string check(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      line_ = i;
      rapidjson::Document doc;
      doc.Parse(lines[i].data(), lines[i].size());
      if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("type")) return fail("not a JSON object");
      if (std::string error = step(doc, i == 0, i + 1 == lines.size()); !error.empty()) return fail(error);
    }
    if (lines.empty()) return "empty stream";
    return {};
  }

 private:
  std::string fail(const std::string& what) const { return "line " + std::to_string(line_ + 1) + ": " + what; }

  static std::string text(const rapidjson::Value& v) { return std::string(v.GetString(), v.GetStringLength()); }

  bool take(int seat, const std::string& tile) {
    auto it = hands_[seat].find(tile);
    if (it == hands_[seat].end() || it->second == 0) return false;
    --it->second;
    return true;
  }
  void give(int seat, const std::string& tile) { ++hands_[seat][tile]; }
  int hand_size(int seat) const {
    int n = 0;
    for (const auto& [tile, count] : hands_[seat]) n += count;
    return n;
  }

  std::string step(const rapidjson::Document& e, bool first, bool last) {
    const std::string type = text(e["type"]);
    if (first != (type == "start_game")) return "start_game must open the stream, and only there";
    if (last != (type == "end_game")) return "end_game must close the stream, and only there";
    if (reach_actor_ && type != "dahai") return "reach not followed by a dahai";
    if (type == "start_game" || type == "end_game") {
      if (in_kyoku_) return type + " inside a kyoku";
      return {};
    }
    if (type == "start_kyoku") return start_kyoku(e);
    if (!in_kyoku_) return type + " outside a kyoku";
    const int actor = e.HasMember("actor") ? e["actor"].GetInt() : -1;
    if (type == "tsumo") {
      give(actor, text(e["pai"]));
      drawn_[actor] = text(e["pai"]);
      return {};
    }
    if (type == "dahai") return dahai(e, actor);
    if (type == "chi" || type == "pon" || type == "daiminkan") return call(e, type, actor);
    if (type == "kakan") return kakan(e, actor);
    if (type == "ankan") {
      for (const auto& c : e["consumed"].GetArray()) {
        if (!take(actor, text(c))) return "ankan of a tile not in hand";
      }
      ++melds_[actor];
      drawn_[actor].reset();
      return {};
    }
    if (type == "reach") {
      reach_actor_ = actor;
      return {};
    }
    if (type == "reach_accepted") {
      if (actor != declarer_) return "reach_accepted for a seat that did not just declare";
      declarer_ = -1;
      return {};
    }
    if (type == "end_kyoku") {
      in_kyoku_ = false;
      return {};
    }
    if (type == "dora" || type == "hora" || type == "ryukyoku") return {};
    return "unknown type " + type;
  }

  std::string start_kyoku(const rapidjson::Document& e) {
    if (in_kyoku_) return "start_kyoku inside a kyoku";
    in_kyoku_ = true;
    declarer_ = -1;
    last_discarder_ = -1;
    for (int seat = 0; seat < 4; ++seat) {
      hands_[seat].clear();
      melds_[seat] = 0;
      pons_[seat].clear();
      drawn_[seat].reset();
      const auto& tehai = e["tehais"][seat];
      if (tehai.Size() != 13) return "tehai not of 13 tiles";
      for (const auto& t : tehai.GetArray()) give(seat, text(t));
    }
    return {};
  }

  std::string dahai(const rapidjson::Document& e, int actor) {
    const std::string pai = text(e["pai"]);
    const bool tsumogiri = e["tsumogiri"].GetBool();
    if (tsumogiri && drawn_[actor] != pai) return "tsumogiri of a tile that was not just drawn";
    if (!take(actor, pai)) return "dahai of " + pai + " not in hand of seat " + std::to_string(actor);
    if (reach_actor_) {
      if (*reach_actor_ != actor) return "reach by one seat, dahai by another";
      declarer_ = actor;
      reach_actor_.reset();
    }
    if (hand_size(actor) + 3 * melds_[actor] != 13) return "hand size wrong after dahai";
    drawn_[actor].reset();
    last_discarder_ = actor;
    last_discard_ = pai;
    return {};
  }

  std::string call(const rapidjson::Document& e, const std::string& type, int actor) {
    const std::string pai = text(e["pai"]);
    if (e["target"].GetInt() != last_discarder_ || actor == last_discarder_ || pai != last_discard_) {
      return type + " does not claim the discard just made";
    }
    for (const auto& c : e["consumed"].GetArray()) {
      if (!take(actor, text(c))) return type + " consumes a tile not in hand";
    }
    ++melds_[actor];
    if (type == "pon") pons_[actor].push_back(plain(pai));
    drawn_[actor].reset();
    last_discarder_ = -1;
    return {};
  }

  std::string kakan(const rapidjson::Document& e, int actor) {
    const std::string pai = text(e["pai"]);
    auto& pons = pons_[actor];
    auto it = std::find(pons.begin(), pons.end(), plain(pai));
    if (it == pons.end()) return "kakan without a pon of " + pai;
    pons.erase(it);
    if (!take(actor, pai)) return "kakan of a tile not in hand";
    drawn_[actor].reset();
    return {};
  }

  std::size_t line_ = 0;
  bool in_kyoku_ = false;
  std::array<Hand, 4> hands_;
  std::array<int, 4> melds_{};
  std::array<std::vector<std::string>, 4> pons_;
  std::array<std::optional<std::string>, 4> drawn_;
  std::optional<int> reach_actor_;
  int declarer_ = -1;
  int last_discarder_ = -1;
  std::string last_discard_;
};

}  // namespace

std::string check_mjai_stream(const std::vector<std::string>& lines) { return Checker().check(lines); }

}  // namespace paifu::testing
