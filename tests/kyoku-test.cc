#include "paifu/conv/kyoku.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "kyoku_test_support.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/base/internal_fault.hpp"

namespace paifu::conv {
namespace {

using namespace kyoku_testing;

// Each row is one east-1 kyoku (seat 0 deals): the four draw lists, the four discard lists, and
// the play expected between start_kyoku and the closing ryukyoku. Dora indicators: 1s 2s 3s 4s 5s.
struct PlayCase {
  const char* name;
  std::array<const char*, 4> draws;
  std::array<const char*, 4> discards;
  std::vector<Event> play;
};

void expect_play(const PlayCase& c) {
  SCOPED_TRACE(c.name);
  const PreparedKyoku kyoku = make_kyoku(0, c.draws, c.discards);
  const auto events = convert_kyoku(kyoku);
  ASSERT_TRUE(events.has_value()) << events.error().number;
  PAIFU_EXPECT_EVENTS(*events, whole_kyoku(kyoku, c.play));
  // Encoded as it is replayed, the kyoku gives the lines of its event list, replays included.
  mjai::Lines lines;
  mjai::LineWriter writer(lines);
  KyokuScratch scratch;
  ASSERT_TRUE(append_kyoku_events(kyoku, scratch, writer).has_value());
  EXPECT_EQ(lines, mjai::encode_all(*events).value());
}

TEST(KyokuReplay, PlainTurnsAndEndings) {
  const PlayCase cases[] = {
      {"tsumogiri markers take the drawn tile, any marker number; exhaustive draw",
       {"11", "25", "31", "41"},
       {"60", "60", "61", "41"},
       {tsumo(0, "1m"), tsumogiri(0, "1m"), tsumo(1, "5p"), tsumogiri(1, "5p"), tsumo(2, "1s"), tsumogiri(2, "1s"),
        tsumo(3, "E"), dahai(3, "E")}},
      {"win on the drawn tile",
       {"11 12", "21", "31", "41"},
       {"11", "21", "31", "41"},
       {tsumo(0, "1m"), dahai(0, "1m"), tsumo(1, "1p"), dahai(1, "1p"), tsumo(2, "1s"), dahai(2, "1s"),
        tsumo(3, "E"), dahai(3, "E"), tsumo(0, "2m")}},
      {"win on a discard", {"11", "", "", ""}, {"11", "", "", ""}, {tsumo(0, "1m"), dahai(0, "1m")}},
      {"tsumogiri opposite a call stays hidden",
       {"11", "p111111", "", ""},
       {"11", "60", "", ""},
       {tsumo(0, "1m"), dahai(0, "1m"), pon(1, 0, "1m", "1m", "1m"), tsumogiri(1, "?")}},
      {"dealer's first draw may call the hidden tile",
       {"c001213", "", "", ""},
       {"11", "", "", ""},
       {chi(0, 3, "?", "2m", "3m"), dahai(0, "1m")}},
  };
  for (const PlayCase& c : cases) expect_play(c);
}

TEST(KyokuReplay, Reach) {
  const PlayCase cases[] = {
      {"accepted when the next seat draws; the reach takes no draw of its own",
       {"11 12", "21", "31", "41"},
       {"r60 12", "21", "31", "41"},
       {tsumo(0, "1m"), reach(0), tsumogiri(0, "1m"), accepted(0), tsumo(1, "1p"), dahai(1, "1p"), tsumo(2, "1s"),
        dahai(2, "1s"), tsumo(3, "E"), dahai(3, "E"), tsumo(0, "2m"), dahai(0, "2m")}},
      {"won on the reach discard", {"11", "", "", ""}, {"r60", "", "", ""},
       {tsumo(0, "1m"), reach(0), tsumogiri(0, "1m")}},
      {"reach discard called",
       {"11", "c111213", "", ""},
       {"r11", "14", "", ""},
       {tsumo(0, "1m"), reach(0), dahai(0, "1m"), accepted(0), chi(1, 0, "1m", "2m", "3m"), dahai(1, "4m")}},
  };
  for (const PlayCase& c : cases) expect_play(c);
}

TEST(KyokuReplay, KansAndTheirDora) {
  const PlayCase cases[] = {
      {"daiminkan: replacement draw, dora, discard; the filler 0 gives no event",
       {"11", "", "45m454545 22", ""},
       {"45", "", "0 60", ""},
       {tsumo(0, "1m"), dahai(0, "P"), daiminkan(2, 0, "P"), tsumo(2, "2p"), dora("2s"), tsumogiri(2, "2p")}},
      {"daiminkan drawn right after a daiminkan",
       {"11", "", "45m454545 45m454545 22", ""},
       {"45", "", "0 0 60", ""},
       {tsumo(0, "1m"), dahai(0, "P"), daiminkan(2, 0, "P"), dora("2s"), daiminkan(2, 0, "P"), tsumo(2, "2p"),
        dora("3s"), tsumogiri(2, "2p")}},
      {"kakan", {"11 22", "", "", ""}, {"k11111111 60", "", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), dora("2s"), tsumogiri(0, "2p")}},
      {"win on a kakan: no dora", {"11", "", "", ""}, {"k11111111", "", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m")}},
      {"ankan", {"11 22", "", "", ""}, {"111111a11 60", "", "", ""},
       {tsumo(0, "1m"), ankan(0, "1m"), dora("2s"), tsumo(0, "2p"), tsumogiri(0, "2p")}},
      {"ankan while a kan dora is owed",
       {"11 22 23", "", "", ""},
       {"k11111111 222222a22 60", "", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), dora("2s"), ankan(0, "2p"), dora("3s"), tsumo(0, "3p"),
        tsumogiri(0, "3p")}},
      {"kakan while a kan dora is owed",
       {"11 22 23", "", "", ""},
       {"k11111111 k22222222 60", "", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), kakan(0, "2p"), dora("2s"), tsumo(0, "3p"), dora("3s"),
        tsumogiri(0, "3p")}},
      {"reach right after a replacement draw: the dora waits for the next dahai",
       {"11 22", "21", "", ""},
       {"k11111111 r22", "21", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), reach(0), dahai(0, "2p"), accepted(0), tsumo(1, "1p"),
        dora("2s"), dahai(1, "1p")}},
      {"reach right after a replacement draw: the dora comes before a daiminkan",
       {"11 22", "m22222222 23", "", ""},
       {"k11111111 r22", "0 23", "", ""},
       {tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), reach(0), dahai(0, "2p"), accepted(0), dora("2s"),
        daiminkan(1, 0, "2p"), tsumo(1, "3p"), dora("3s"), dahai(1, "3p")}},
  };
  for (const PlayCase& c : cases) expect_play(c);
}

TEST(KyokuReplay, CallPriority) {
  // Seat 0 discards 3m once; the winning caller has no discard, so the kyoku ends on its call.
  const PlayCase cases[] = {
      {"pon beats chi", {"11", "c131112", "13p1313", ""}, {"13", "", "", ""},
       {tsumo(0, "1m"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m")}},
      {"chi beats daiminkan", {"11", "c131112", "13m131313", ""}, {"13", "", "", ""},
       {tsumo(0, "1m"), dahai(0, "3m"), chi(1, 0, "3m", "1m", "2m")}},
      {"pon beats a later daiminkan", {"11", "p131313", "", "131313m13"}, {"13", "", "", ""},
       {tsumo(0, "1m"), dahai(0, "3m"), pon(1, 0, "3m", "3m", "3m")}},
      {"two pons: the higher seat", {"11", "p131313", "", "1313p13"}, {"13", "", "", ""},
       {tsumo(0, "1m"), dahai(0, "3m"), pon(3, 0, "3m", "3m", "3m")}},
  };
  for (const PlayCase& c : cases) expect_play(c);
}

TEST(KyokuReplay, CallsOnATileTheDiscarderLetsGoAgain) {
  const PlayCase cases[] = {
      // Seat 0 lets 3m go five times; seat 2's two pons of it are taken, passed over twice, taken.
      {"accept, pass, pass, accept",
       {"21 22 23 24 25", "35 36", "13p1313 13p1313", "41 35p3535 36p3636 44"},
       {"13 13 13 13 13", "35 36", "31 32", "41 42 43 44"},
       {tsumo(0, "1p"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m"), dahai(2, "1s"), tsumo(3, "E"), dahai(3, "E"),
        tsumo(0, "2p"), dahai(0, "3m"), tsumo(1, "5s"), dahai(1, "5s"), pon(3, 1, "5s", "5s", "5s"), dahai(3, "S"),
        tsumo(0, "3p"), dahai(0, "3m"), tsumo(1, "6s"), dahai(1, "6s"), pon(3, 1, "6s", "6s", "6s"), dahai(3, "W"),
        tsumo(0, "4p"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m"), dahai(2, "2s"), tsumo(3, "N"), dahai(3, "N"),
        tsumo(0, "5p"), dahai(0, "3m")}},
      // Seat 0 still has a discard, but no 3m among them: its last 3m is simply claimed.
      {"a call on the discarder's last copy is taken",
       {"21 22 23", "", "13p1313 13p1313", "41 42"},
       {"13 13 14", "", "31 32", "41 42"},
       {tsumo(0, "1p"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m"), dahai(2, "1s"), tsumo(3, "E"), dahai(3, "E"),
        tsumo(0, "2p"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m"), dahai(2, "2s"), tsumo(3, "S"), dahai(3, "S"),
        tsumo(0, "3p"), dahai(0, "4m")}},
      // The state is kept per tile, whoever calls: seat 1's chi is passed over the second time,
      // but seat 1 moves next anyway and its chi claims the discard.
      {"passed over onto the next seat",
       {"21 22", "c131112", "13p1313", "41"},
       {"13 13 13", "14", "31", "41"},
       {tsumo(0, "1p"), dahai(0, "3m"), pon(2, 0, "3m", "3m", "3m"), dahai(2, "1s"), tsumo(3, "E"), dahai(3, "E"),
        tsumo(0, "2p"), dahai(0, "3m"), chi(1, 0, "3m", "1m", "2m"), dahai(1, "4m")}},
  };
  for (const PlayCase& c : cases) expect_play(c);
}

TEST(KyokuReplay, CallsTheRulePlacesOnTheWrongDiscardAreReplayedElsewhere) {
  // Seat 0 lets 4m go twice, and the rule gives the call on it to the first throw; the only
  // play that reaches an end gives it to the second.
  const PlayCase cases[] = {
      {"pon two places on, after a pon that skips it",
       {"41 42", "31", "14p1414", "21p2121 36"},
       {"14 14", "21", "11", "35 60"},
       {tsumo(0, "E"), dahai(0, "4m"), tsumo(1, "1s"), dahai(1, "1p"), pon(3, 1, "1p", "1p", "1p"), dahai(3, "5s"),
        tsumo(0, "S"), dahai(0, "4m"), pon(2, 0, "4m", "4m", "4m"), dahai(2, "1m"), tsumo(3, "6s"),
        tsumogiri(3, "6s")}},
      {"daiminkan of the second throw",
       {"41 42", "31", "14m141414 33", "21p2121 36"},
       {"14 14", "21", "0 11", "35 60"},
       {tsumo(0, "E"), dahai(0, "4m"), tsumo(1, "1s"), dahai(1, "1p"), pon(3, 1, "1p", "1p", "1p"), dahai(3, "5s"),
        tsumo(0, "S"), dahai(0, "4m"), daiminkan(2, 0, "4m"), tsumo(2, "3s"), dora("2s"), dahai(2, "1m"),
        tsumo(3, "6s"), tsumogiri(3, "6s")}},
      {"pon three places on, after the discarder's own pon",
       {"41 22p2222", "31", "32", "1414p14"},
       {"14 14", "21", "22", "11"},
       {tsumo(0, "E"), dahai(0, "4m"), tsumo(1, "1s"), dahai(1, "1p"), tsumo(2, "2s"), dahai(2, "2p"),
        pon(0, 2, "2p", "2p", "2p"), dahai(0, "4m"), pon(3, 0, "4m", "4m", "4m"), dahai(3, "1m")}},
  };
  for (const PlayCase& c : cases) expect_play(c);

  // No choice works: the first try's failure stands, not the last one's.
  const auto events = convert_kyoku(make_kyoku(0, {"41 42", "", "14p1414", "21p2121 36"}, {"14 14", "", "11", "35 60"}));
  ASSERT_FALSE(events.has_value());
  EXPECT_EQ(replay_error_kind(events.error()), ConversionErrorKind::UnexpectedCall);
}

TEST(KyokuReplay, FourthReachOfAFourReachAbortIsAccepted) {
  const std::array<const char*, 4> draws = {"11", "21", "31", "41"};
  const std::array<const char*, 4> discards = {"r11", "r21", "r31", "r41"};
  const std::vector<Event> three_reaches = {tsumo(0, "1m"), reach(0), dahai(0, "1m"), accepted(0),
                                            tsumo(1, "1p"), reach(1), dahai(1, "1p"), accepted(1),
                                            tsumo(2, "1s"), reach(2), dahai(2, "1s"), accepted(2),
                                            tsumo(3, "E"),  reach(3), dahai(3, "E")};
  std::vector<Event> four_reaches = three_reaches;
  four_reaches.push_back(accepted(3));
  expect_play({"abort after the fourth reach", draws, discards, four_reaches});
  expect_play({"three reaches: the last reach discard ends the kyoku", draws, {"r11", "21", "r31", "r41"},
               {tsumo(0, "1m"), reach(0), dahai(0, "1m"), accepted(0), tsumo(1, "1p"), dahai(1, "1p"),
                tsumo(2, "1s"), reach(2), dahai(2, "1s"), accepted(2), tsumo(3, "E"), reach(3), dahai(3, "E")}});

  PreparedKyoku won = make_kyoku(0, draws, discards);  // won on the fourth reach discard
  won.outcome = Win{{HoraEntry{{0, 0, 0, 0}, 0, 3}}};
  const auto events = convert_kyoku(won);
  ASSERT_TRUE(events.has_value());
  EXPECT_EQ(events->at(events->size() - 3), dahai(3, "E"));
}

TEST(KyokuStart, WindNumberAndDealerFromTheKyokuCount) {
  struct Case {
    std::uint8_t k;
    const char* bakaze;
    std::uint8_t kyoku;
    Seat oya;
  };
  const Case cases[] = {{3, "E", 4, 3},   {5, "S", 2, 1},   {11, "W", 4, 3},
                        {12, "N", 1, 0},  {13, "N", 2, 1},  {15, "N", 4, 3},  {16, "N", 1, 0}};
  for (const Case& c : cases) {
    std::array<const char*, 4> draws = {"", "", "", ""};
    draws[c.oya] = "11";  // the dealer draws and the kyoku ends on that draw
    const PreparedKyoku kyoku = make_kyoku(c.k, draws, {"", "", "", ""}, "4p");
    const auto events = convert_kyoku(kyoku);
    ASSERT_TRUE(events.has_value()) << int{c.k};
    const std::vector<Event> expected = {
        mjai::StartKyoku{tile(c.bakaze), tile("4p"), c.kyoku, 2, 1, c.oya, {25000, 24000, 26000, 25000},
                         kyoku.start_hands},
        tsumo(c.oya, "1m"), mjai::Ryukyoku{mjai::ScoreList{0, 0, 0, 0}}, mjai::EndKyoku{}};
    PAIFU_EXPECT_EVENTS(*events, expected) << int{c.k};
  }
}

TEST(KyokuErrors, EveryKind) {
  using enum ConversionErrorKind;
  struct Case {
    const char* name;
    std::array<const char*, 4> draws;
    std::array<const char*, 4> discards;
    const char* dora;
    ConversionErrorKind kind;
    const char* text = "";
    std::optional<Event> call = std::nullopt;
  };
  const Case cases[] = {
      {"marker in a draw list", {"11", "", "60", ""}, {"11", "", "", ""}, "1s", MarkerInDrawList},
      {"a seat's draws are decoded before its discards", {"c1413", "", "", ""}, {"k15", "", "", ""}, "1s",
       InvalidCallString, "c1413"},
      {"seat 0's discards are decoded before seat 1's draws", {"11", "p3636", "", ""}, {"r6x", "", "", ""}, "1s",
       InvalidTile, "6x"},
      {"dealer's first draw calls a tile", {"c111213", "", "", ""}, {"11", "", "", ""}, "1s", UnexpectedCall, "",
       chi(0, 3, "1m", "2m", "3m")},
      {"call on another seat than the discarder", {"11", "11p1111", "", ""}, {"11", "", "", ""}, "1s",
       UnexpectedCall, "", pon(1, 3, "1m", "1m", "1m")},
      {"call on another tile than the discard", {"11", "p121212", "", ""}, {"11", "", "", ""}, "1s",
       UnexpectedCall, "", pon(1, 0, "2m", "2m", "2m")},
      {"replacement draw that is a stray call", {"11", "", "45m454545 c454546", ""}, {"45", "", "", ""}, "1s",
       UnexpectedCall, "", chi(2, 1, "P", "P", "F")},
      {"no dora indicator for start_kyoku", {"11", "", "", ""}, {"11", "", "", ""}, "", DoraMarkersExhausted},
      {"more kans than dora indicators", {"11 22", "", "", ""}, {"111111a11 60", "", "", ""}, "1s",
       DoraMarkersExhausted},
      {"dealer without draws", {"", "21", "", ""}, {"", "21", "", ""}, "1s", MissingDraw},
      {"turn passes to a seat without draws", {"11", "", "31", ""}, {"11", "", "31", ""}, "1s", MissingDraw},
      {"no draw after an own kan", {"11", "21", "", ""}, {"k11111111", "21", "", ""}, "1s", MissingDraw},
      {"no replacement draw after a daiminkan", {"11", "", "45m454545", ""}, {"45", "", "", ""}, "1s",
       MissingDraw},
  };
  for (const Case& c : cases) {
    const auto events = convert_kyoku(make_kyoku(0, c.draws, c.discards, c.dora));
    ASSERT_FALSE(events.has_value()) << c.name;
    EXPECT_EQ(replay_error_kind(events.error()), c.kind) << c.name;
    std::string detail = c.text;  // a call is named by its mjai text
    if (c.call) (void)mjai::encode_event(*c.call, detail);
    EXPECT_EQ(events.error().detail, detail) << c.name;
  }
}

TEST(KyokuErrors, ReachEndingTheDiscardList) {
  // The decoder always places a dahai after a reach, so only hand-made lists reach this case.
  const PreparedKyoku kyoku = make_kyoku(0, {"", "", "", ""}, {"", "", "", ""});
  SeatActions seats;
  seats.draws[0] = {action_of(tsumo(0, "1m"))};
  seats.discards[0] = {action_of(reach(0))};
  std::vector<mjai::Event> events;
  ReplayChoices choices;
  const auto replayed = replay_kyoku(kyoku, seats, events, choices);
  ASSERT_FALSE(replayed.has_value());
  EXPECT_EQ(replay_error_kind(replayed.error()), ConversionErrorKind::MissingDiscardAfterReach);

  seats.discards[0] = {action_of(tsumo(0, "1m"))};  // lists that break their layout are an internal fault
  EXPECT_THROW((void)replay_kyoku(kyoku, seats, events, choices), InternalFault);
}

TEST(KyokuResult, OutcomeBecomesHoraOrRyukyoku) {
  struct Case {
    const char* name;
    KyokuOutcome outcome;
    const char* ura;
    std::vector<Event> expected;
  };
  const mjai::ScoreList none{0, 0, 0, 0};
  const mjai::ScoreList ron{0, -8000, 8000, 0};
  const mjai::ScoreList other{0, 0, 12000, -12000};
  const Case cases[] = {
      {"draw without deltas", NoWin{}, "9p", {mjai::Ryukyoku{none}, mjai::EndKyoku{}}},
      {"draw with deltas", NoWin{{-1000, 3000, -1000, -1000}}, "9p",
       {mjai::Ryukyoku{mjai::ScoreList{-1000, 3000, -1000, -1000}}, mjai::EndKyoku{}}},
      {"win without ura indicators", Win{{HoraEntry{ron, 2, 1}}}, "",
       {mjai::Hora{2, 1, ron, std::vector<Tile>{}}, mjai::EndKyoku{}}},
      {"two wins share the ura indicators", Win{{HoraEntry{ron, 2, 1}, HoraEntry{other, 2, 3}}}, "9p 5mr",
       {mjai::Hora{2, 1, ron, tiles("9p 5mr")}, mjai::Hora{2, 3, other, tiles("9p 5mr")}, mjai::EndKyoku{}}},
      {"win without entries", Win{}, "9p", {mjai::EndKyoku{}}},
  };
  for (const Case& c : cases) {
    PreparedKyoku kyoku = make_kyoku(0, {"", "", "", ""}, {"", "", "", ""});
    kyoku.ura_indicators = tile_list(c.ura);
    kyoku.outcome = c.outcome;
    std::vector<Event> events;
    append_kyoku_result(events, kyoku);
    PAIFU_EXPECT_EVENTS(events, c.expected) << c.name;
  }
}

TEST(KyokuResult, FollowsTheLastPlayEvent) {
  PreparedKyoku kyoku = make_kyoku(0, {"11", "", "", ""}, {"11", "", "", ""});
  kyoku.outcome = Win{{HoraEntry{{-1000, 1000, 0, 0}, 1, 0}}};
  const auto events = convert_kyoku(kyoku);
  ASSERT_TRUE(events.has_value());
  const std::vector<Event> expected = {start_of(kyoku), tsumo(0, "1m"), dahai(0, "1m"),
                                       mjai::Hora{1, 0, mjai::ScoreList{-1000, 1000, 0, 0}, tiles("9p")},
                                       mjai::EndKyoku{}};
  PAIFU_EXPECT_EVENTS(*events, expected);
}

}  // namespace
}  // namespace paifu::conv
