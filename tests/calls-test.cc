#include "paifu/conv/calls.hpp"

#include <gtest/gtest.h>

#include <type_traits>

#include "kyoku_test_support.hpp"

namespace paifu::conv {
namespace {

using namespace kyoku_testing;

enum class List { Draw, Discard };

// The events a string decodes to, in the order the replay would emit them.
expected<std::vector<Event>, Error> decode(List list, Seat seat, std::string_view text) {
  if (list == List::Draw) {
    auto event = decode_draw_string(seat, text);
    if (!event) return unexpected(event.error());
    return std::vector<Event>{*event};
  }
  auto call = decode_discard_string(seat, text);
  if (!call) return unexpected(call.error());
  return std::visit(
      [](const auto& decoded) {
        if constexpr (std::is_same_v<std::decay_t<decltype(decoded)>, ReachDiscard>) {
          return std::vector<Event>{decoded.reach, decoded.dahai};
        } else {
          return std::vector<Event>{decoded};
        }
      },
      *call);
}

TEST(CallsDecode, ReadsEveryForm) {
  struct Case {
    List list;
    Seat seat;
    std::string_view text;
    std::vector<Event> events;
  };
  const Case cases[] = {
      {List::Draw, 2, "c141315", {chi(2, 1, "4m", "3m", "5m")}},
      {List::Draw, 2, "c525153", {chi(2, 1, "5pr", "5mr", "5sr")}},  // no meld check
      {List::Draw, 2, "p363636", {pon(2, 1, "6s", "6s", "6s")}},
      {List::Draw, 2, "36p3536", {pon(2, 0, "5s", "6s", "6s")}},
      {List::Draw, 2, "3536p36", {pon(2, 3, "6s", "5s", "6s")}},
      {List::Draw, 3, "3536p36", {pon(3, 0, "6s", "5s", "6s")}},
      {List::Draw, 2, "p155115", {pon(2, 1, "5m", "5mr", "5m")}},
      {List::Draw, 2, "m41414141", {daiminkan(2, 1, "E")}},
      {List::Draw, 2, "41m414141", {daiminkan(2, 0, "E")}},
      {List::Draw, 2, "414141m41", {daiminkan(2, 3, "E")}},
      {List::Draw, 1, "m51151515", {mjai::Daiminkan{1, 0, tile("5mr"), {tile("5m"), tile("5m"), tile("5m")}}}},
      {List::Draw, 2, "13m515253", {mjai::Daiminkan{2, 0, tile("5mr"), {tile("3m"), tile("5pr"), tile("5sr")}}}},
      {List::Discard, 2, "k45454545", {kakan(2, "P")}},
      {List::Discard, 2, "45k454545", {kakan(2, "P")}},
      {List::Discard, 2, "4545k4545", {kakan(2, "P")}},
      {List::Discard, 2, "51k151515", {mjai::Kakan{2, tile("5m"), {tile("5mr"), tile("5m"), tile("5m")}}}},
      {List::Discard, 2, "1515k5115", {mjai::Kakan{2, tile("5mr"), {tile("5m"), tile("5m"), tile("5m")}}}},
      {List::Discard, 2, "111111a11", {ankan(2, "1m")}},
      {List::Discard, 1, "151551a15", {mjai::Ankan{1, {tile("5m"), tile("5m"), tile("5mr"), tile("5m")}}}},
      {List::Discard, 2, "r23", {reach(2), dahai(2, "3p")}},
      {List::Discard, 2, "r53", {reach(2), dahai(2, "5sr")}},
      {List::Discard, 2, "r60", {reach(2), tsumogiri(2, "?")}},
      {List::Discard, 2, "r00", {reach(2), tsumogiri(2, "?")}},
      {List::Discard, 2, "r+0", {reach(2), tsumogiri(2, "?")}},
      {List::Discard, 0, "x15", {reach(0), dahai(0, "5m")}},  // the first character is not examined
  };
  for (const Case& c : cases) {
    const auto decoded = decode(c.list, c.seat, c.text);
    ASSERT_TRUE(decoded.has_value()) << c.text;
    PAIFU_EXPECT_EVENTS(*decoded, c.events) << c.text;
  }
}

TEST(CallsDecode, RefusesMalformedStrings) {
  using enum ConversionErrorKind;
  struct Case {
    List list;
    std::string_view text;
    ConversionErrorKind kind;
    std::string_view carried;  // the whole string, or the unreadable pair
  };
  const Case cases[] = {
      {List::Draw, "p3636", InvalidCallString, "p3636"},
      {List::Draw, "363636p", InvalidCallString, "363636p"},
      {List::Draw, "3p13636", InvalidCallString, "3p13636"},
      {List::Draw, "p3x3636", InvalidTile, "3x"},
      {List::Draw, "p131360", InvalidTile, "60"},
      {List::Draw, "p\xff" "13636", InvalidTile, "\xEF\xBF\xBD" "1"},
      {List::Draw, "1111m1111", InvalidCallString, "1111m1111"},
      {List::Draw, "m4141414", InvalidCallString, "m4141414"},
      {List::Draw, "c1413150", InvalidCallString, "c1413150"},
      {List::Draw, "1c13141", InvalidTile, "c1"},
      // A "c" anywhere means the chi layout, even with a "p" present.
      {List::Draw, "cp12131", InvalidTile, "p1"},
      {List::Draw, "m4141c41", InvalidCallString, "m4141c41"},
      {List::Draw, "", InvalidCallString, ""},
      {List::Draw, "r23", InvalidCallString, "r23"},
      {List::Draw, "k45454545", InvalidCallString, "k45454545"},
      {List::Discard, "k15", InvalidCallString, "k15"},
      {List::Discard, "454545k45", InvalidCallString, "454545k45"},
      {List::Discard, "k454545x5", InvalidTile, "x5"},
      {List::Discard, "a11", InvalidCallString, "a11"},
      {List::Discard, "1111111a1", InvalidTile, "a1"},
      {List::Discard, "r6x", InvalidTile, "6x"},
      {List::Discard, "r61", InvalidTile, "61"},
      {List::Discard, "r2", InvalidCallString, "r2"},
      {List::Discard, "r234", InvalidCallString, "r234"},
      {List::Discard, "", InvalidCallString, ""},
      {List::Discard, "c141315", InvalidCallString, "c141315"},
  };
  for (const Case& c : cases) {
    const auto decoded = decode(c.list, 2, c.text);
    ASSERT_FALSE(decoded.has_value()) << c.text;
    EXPECT_EQ(replay_error_kind(decoded.error()), c.kind) << c.text;
    EXPECT_EQ(decoded.error().detail, c.carried) << c.text;
  }
}

}  // namespace
}  // namespace paifu::conv
