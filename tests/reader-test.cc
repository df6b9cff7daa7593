// The strict log reader: what it accepts, what it refuses and why, and the forms it gives to
// draw, discard and result elements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "test_files.hpp"
#include "paifu/tenhou/quick_reader.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {
namespace {

namespace fs = std::filesystem;
using Kind = ParseErrorKind;
using namespace std::string_literals;

const std::string kNames = R"("name":["a","b","c","d"])";
const std::string kHand = "[11,12,13,14,15,16,17,18,19,21,22,23,24]";

std::string minimal(const std::string& extra = "") {
  return R"({"log":[],"name":["","","",""],"rule":{})" + extra + "}";
}

// A 17-element kyoku with position `pos` replaced by `value` (pos < 0 replaces nothing).
std::string kyoku(int pos = -1, const std::string& value = "") {
  std::string parts[17] = {"[0,0,0]", "[25000,25000,25000,25000]", "[33]", "[]"};
  for (int k = 4; k < 16; ++k) parts[k] = (k - 4) % 3 == 0 ? kHand : "[]";
  parts[16] = R"(["x",[0,0,0,0]])";
  if (pos >= 0) parts[pos] = value;
  std::string out = "[";
  for (int k = 0; k < 17; ++k) out += (k ? "," : "") + parts[k];
  return out + "]";
}

// A 16-element kyoku: the result list left out.
std::string without_results() {
  std::string k = kyoku();
  return k.erase(k.rfind(R"(,["x")"), 16);
}

std::string with_log(const std::string& log) {
  return R"({"log":[)" + log + "]," + kNames + R"(,"rule":{}})";
}
std::string discard(const std::string& element) { return with_log(kyoku(6, "[" + element + "]")); }
std::string result(const std::string& element) { return with_log(kyoku(16, "[" + element + "]")); }

// The text laid out over many lines: line feeds before its first token, and within its tokens.
std::string laid_out(std::string text) {
  for (std::size_t at = text.find(','); at != std::string::npos; at = text.find(',', at + 3)) text.insert(at + 1, "\n ");
  return std::string(80, '\n') + text;
}

// `depth` arrays, or objects when `open` is an object's start, one inside the other.
std::string nested(std::size_t depth, const std::string& open = "[", const std::string& close = "]") {
  std::string out;
  out.reserve(depth * (open.size() + close.size()) + 1);
  for (std::size_t i = 0; i < depth; ++i) out += open;
  if (open != "[") out += "0";
  for (std::size_t i = 0; i < depth; ++i) out += close;
  return out;
}

TEST(ReaderRefuses, EachMalformedOrMistypedDocumentWithItsKind) {
  struct Case {
    std::string text;
    Kind kind;
  };
  const Case cases[] = {
      {"", Kind::Syntax},
      {" \n\t", Kind::Syntax},
      {"\xEF\xBB\xBF" + minimal(), Kind::Syntax},
      {"\f" + minimal(), Kind::Syntax},
      {R"({"log":[],})", Kind::Syntax},
      {R"({"log" []})", Kind::Syntax},
      {R"({1:2})", Kind::Syntax},
      {R"({"log":"abc)", Kind::Syntax},
      {minimal(R"(,"zz":"\udc00")"), Kind::Syntax},  // a lone low surrogate decodes to no text
      {minimal(R"(,"\udfff":1)"), Kind::Syntax},
      {minimal(R"(,"zz":"\ud800")"), Kind::Syntax},
      {minimal(",\"zz\":\"\xED\xA0\x80\""), Kind::Syntax},
      {minimal(R"(,"zz":[1,])"), Kind::Syntax},
      {minimal(",\"zz\":\"a\0b\""s), Kind::Syntax},
      {minimal() + " {}", Kind::TrailingCharacters},
      {minimal() + std::string(1, '\0'), Kind::TrailingCharacters},
      {minimal() + std::string("\0{", 2), Kind::TrailingCharacters},
      {R"([[],["","","",""],{},null,null,null,null,null,null])", Kind::TrailingCharacters},
      {R"([[],["","","",""],{},null,null,null,null,null,])", Kind::Syntax},
      {R"({"log":[],"name":["","","","",""],"rule":{}})", Kind::TrailingCharacters},
      {R"({"log":[],"name":["","","",""],"rule":["",0,0,0,0,0]})", Kind::TrailingCharacters},
      {with_log(kyoku().insert(kyoku().size() - 1, ",[]")), Kind::TrailingCharacters},
      {with_log(kyoku(0, "[0,0,0,0]")), Kind::TrailingCharacters},
      {with_log(kyoku(1, "[0,0,0,0,0]")), Kind::TrailingCharacters},
      {with_log(kyoku(4, "[11,12,13,14,15,16,17,18,19,21,22,23,24,25]")), Kind::TrailingCharacters},
      {"5", Kind::WrongType},
      {R"("log")", Kind::WrongType},
      {"null", Kind::WrongType},
      {R"({"log":null,"name":["","","",""],"rule":{}})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":null})", Kind::WrongType},
      {R"({"log":[],"name":["","",null,""],"rule":{}})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":{"disp":null}})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":[null]})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":{"aka":true}})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":{"aka":1.0}})", Kind::WrongType},
      {R"({"log":[],"name":["","","",""],"rule":{"aka":-0}})", Kind::WrongType},
      {minimal(R"(,"lobby":1.0)"), Kind::WrongType},
      {minimal(R"(,"lobby":1e2)"), Kind::WrongType},
      {minimal(R"(,"lobby":"1")"), Kind::WrongType},
      {minimal(R"(,"dan":["a",1])"), Kind::WrongType},
      {minimal(R"(,"rate":["1"])"), Kind::WrongType},
      {minimal(R"(,"sx":"C")"), Kind::WrongType},
      {with_log(R"({"0":1})"), Kind::WrongType},
      {with_log(kyoku(0, "{}")), Kind::WrongType},
      {with_log(kyoku(2, "null")), Kind::WrongType},
      {with_log(kyoku(5, "null")), Kind::WrongType},
      {with_log(kyoku(16, "null")), Kind::WrongType},
      {with_log(kyoku(2, "[33.0]")), Kind::WrongType},
      {minimal(R"(,"lobby":2147483648)"), Kind::OutOfRange},
      {minimal(R"(,"lobby":-2147483649)"), Kind::OutOfRange},
      {minimal(R"(,"lobby":123456789012345678901234567890)"), Kind::OutOfRange},
      {minimal(R"(,"rate":[1e400])"), Kind::OutOfRange},
      {R"({"log":[],"name":["","","",""],"rule":{"aka":256}})", Kind::OutOfRange},
      {R"({"log":[],"name":["","","",""],"rule":["",-1]})", Kind::OutOfRange},
      {with_log(kyoku(0, "[256,0,0]")), Kind::OutOfRange},
      {with_log(kyoku(1, "[2147483648,0,0,0]")), Kind::OutOfRange},
      {with_log(kyoku(2, "[-1]")), Kind::OutOfRange},
      {R"([[],["","","",""],{},null,null,null,null])", Kind::InvalidLength},
      {"[]", Kind::InvalidLength},
      {R"({"log":[],"name":["","",""],"rule":{}})", Kind::InvalidLength},
      {with_log("[]"), Kind::InvalidLength},
      {with_log(without_results()), Kind::InvalidLength},
      {with_log(kyoku(0, "[0,0]")), Kind::InvalidLength},
      {with_log(kyoku(1, "[0,0,0]")), Kind::InvalidLength},
      {with_log(kyoku(4, "[11,12,13,14,15,16,17,18,19,21,22,23]")), Kind::InvalidLength},
      {minimal(R"(,"log":[])"), Kind::DuplicateField},
      {R"({"lobby":null,"log":[],"name":["","","",""],"rule":{},"lobby":null})", Kind::DuplicateField},
      {minimal(R"(,"\u006cog":[])"), Kind::DuplicateField},
      {R"({"log":[],"name":["","","",""],"rule":{"aka":1,"aka":1}})", Kind::DuplicateField},
      {R"({"name":["","","",""],"rule":{}})", Kind::MissingField},
      {R"({"Log":[],"name":["","","",""],"rule":{}})", Kind::MissingField},
      {R"({"log":[],"rule":{}})", Kind::MissingField},
      {R"({"log":[],"name":["","","",""]})", Kind::MissingField},
      {discard("256"), Kind::NoMatchingForm},
      {discard("-1"), Kind::NoMatchingForm},
      {discard("60.0"), Kind::NoMatchingForm},
      {discard("-0"), Kind::NoMatchingForm},
      {discard("null"), Kind::NoMatchingForm},
      {discard("true"), Kind::NoMatchingForm},
      {discard("[60]"), Kind::NoMatchingForm},
      {discard("{}"), Kind::NoMatchingForm},
      {result("5"), Kind::NoMatchingForm},
      {result("null"), Kind::NoMatchingForm},
      {result(R"({"a":1})"), Kind::NoMatchingForm},
      {with_log(kyoku(4, "[11,12,13,14,15,16,17,18,19,21,22,23,60]")), Kind::InvalidTile},
      {with_log(kyoku(3, "[54]")), Kind::InvalidTile},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_raw_log(c.text);
    ASSERT_FALSE(parsed.has_value()) << c.text;
    EXPECT_EQ(parse_error_kind(parsed.error()), c.kind) << c.text << "\n" << parsed.error().detail;
  }
}

TEST(ReaderRefuses, EmptyViewWithoutData) {
  const auto parsed = parse_raw_log(std::string_view{});
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parse_error_kind(parsed.error()), Kind::Syntax);
}

// A text that ends inside a multi-byte sequence must be refused without reading past its end
// (the sanitizer builds catch any overread).
TEST(ReaderRefuses, TextEndingInsideAMultiByteSequence) {
  for (const char* tail : {"\xF0", "\xF0\x9F", "\xE3", "\xC3", "\xF4\x8F\xBF"}) {
    const std::string text = std::string(R"({"log":[],"name":["","","",""],"rule":{},"zz":")") + tail;
    const std::string exact(text);  // no spare bytes behind the view
    EXPECT_FALSE(parse_raw_log(std::string_view(exact.data(), exact.size())).has_value());
  }
}

TEST(ReaderRefuses, InvalidTileWithTheFixedMessage) {
  for (int code : {10, 20, 40, 48, 50, 54, 60, 255}) {
    const auto parsed = parse_raw_log(with_log(kyoku(2, "[" + std::to_string(code) + "]")));
    ASSERT_FALSE(parsed.has_value()) << code;
    EXPECT_EQ(parse_error_kind(parsed.error()), Kind::InvalidTile);
    EXPECT_EQ(parsed.error().detail, invalid_tile_code_message(static_cast<std::uint8_t>(code)));
  }
}

TEST(ReaderAccepts, MinimalObjectAndArrayFormsAlike) {
  for (const std::string& text : {minimal(), std::string(R"([[],["","","",""],{},null,null,null,null,null])"),
                                 minimal(R"(,"ratingc":null,"lobby":null,"dan":null,"rate":null,"sx":null)") +
                                     " \r\n\t"}) {
    const auto parsed = parse_raw_log(text);
    ASSERT_TRUE(parsed.has_value()) << text << ": " << parsed.error().detail;
    EXPECT_TRUE(parsed->log.empty());
    EXPECT_EQ(parsed->rule.disp, "");
    EXPECT_EQ(parsed->rule.aka + parsed->rule.aka51 + parsed->rule.aka52 + parsed->rule.aka53, 0);
    EXPECT_FALSE(parsed->ratingc || parsed->lobby || parsed->dan || parsed->rate || parsed->sx);
  }
}

TEST(ReaderAccepts, FieldsInAnyOrderEscapedKeysAndSkippedValues) {
  const std::string text =
      R"({"rule":["4\u9ebb",1],"zz":{"log":5,"a":[1e400,0e400,-0,{}]},"sx":[],"na\u006De":["A","B","C","D"],)"
      R"("lobby":-2147483648,"rate":[1500,1.5,1e-400],"LOG":null,"dan":["x"],"log":[]})";
  const auto parsed = parse_raw_log(text);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().detail;
  EXPECT_EQ(parsed->rule.disp, "4\xE9\xBA\xBB");
  EXPECT_EQ(parsed->rule.aka, 1);
  EXPECT_EQ(parsed->rule.aka51, 0);
  EXPECT_EQ(parsed->name[3], "D");
  EXPECT_EQ(parsed->lobby, -2147483648);
  EXPECT_EQ(parsed->rate, (std::vector<double>{1500.0, 1.5, 0.0}));
  EXPECT_EQ(parsed->sx, std::vector<std::string>{});
  EXPECT_EQ(parsed->dan, std::vector<std::string>{"x"});
}

// Numbers too large for a double make the scan retry with them set aside; text that merely
// looks like such a number (inside strings) must come through untouched.
TEST(ReaderAccepts, HugeNumbersUnderSkippedKeysWithoutTouchingStrings) {
  const std::string text = R"({"zz":[1e999,"x"],"log":[],"name":["1e999","-1E+400","\"1e999",""],"rule":{}})";
  const auto parsed = parse_raw_log(text);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().detail;
  EXPECT_EQ(parsed->name[0], "1e999");
  EXPECT_EQ(parsed->name[1], "-1E+400");
  EXPECT_EQ(parsed->name[2], "\"1e999");
  EXPECT_FALSE(parse_raw_log(minimal(R"(,"zz":[1e999 1])")).has_value());
}

TEST(ReaderKyoku, ReadsEveryPositionAndGivesActionForms) {
  const auto parsed = parse_raw_log(with_log(kyoku(6, R"([60,0,"",10,48,255,11,"r60",53])")));
  ASSERT_TRUE(parsed.has_value()) << parsed.error().detail;
  const Inner& k = parsed->log.at(0);
  EXPECT_EQ(k.scores[3], 25000);
  EXPECT_EQ(k.dora_indicators.size(), 1u);
  EXPECT_TRUE(k.ura_indicators.empty());
  EXPECT_EQ(k.start_hands[3][12], tile_from_code(24));
  const std::vector<ActionItem> expected = {
      ActionItem::marker(60), ActionItem::tile(kHiddenTile),       ActionItem::call(0),
      ActionItem::marker(10), ActionItem::marker(48),              ActionItem::marker(255),
      ActionItem::tile(*tile_from_code(11)), ActionItem::call(1), ActionItem::tile(*tile_from_code(53))};
  EXPECT_TRUE(std::ranges::equal(k.lists.discards(0), expected));
  EXPECT_EQ(k.lists.call_text(expected[2]), "");
  EXPECT_EQ(k.lists.call_text(expected[7]), "r60");
}

// The records of a log share one arena; a kyoku record taken out of its log keeps it alive
// (the sanitizers catch a read of freed memory), and a copy owns its own lists.
TEST(ReaderKyoku, ARecordTakenOutOfItsLogOutlivesIt) {
  std::optional<Inner> moved;
  std::optional<Inner> copied;
  {
    auto parsed = parse_raw_log(with_log(kyoku(5, R"([11,"c121314",12])")));
    ASSERT_TRUE(parsed.has_value()) << parsed.error().detail;
    copied = parsed->log.at(0);
    moved = std::move(parsed->log.at(0));
  }
  for (const Inner* k : {&*moved, &*copied}) {
    ASSERT_EQ(k->lists.draws(0).size(), 3u);
    EXPECT_EQ(k->lists.call_text(k->lists.draws(0)[1]), "c121314");
    EXPECT_EQ(k->dora_indicators.size(), 1u);
  }
  EXPECT_EQ(*moved, *copied);
  for (int i = 0; i < 100; ++i) moved->lists.append_call("p111111");  // grows in the arena
  EXPECT_EQ(moved->lists.call_count(), 101u);
}

TEST(ReaderKyoku, ResultFormsAndGenericNumberKinds) {
  const auto parsed = parse_raw_log(with_log(kyoku(
      16, R"(["和了",[-1000,0,-2147483648,2147483647],[1,2,3],[1,2,3,4,5],[1,2,3,4.5],[1,2,3,2147483648],[],)"
          R"([0,18446744073709551615],[18446744073709551616,-9223372036854775808],[-9223372036854775809,-0],)"
          R"([1e2,"s"],[null,true],[{"a":[1],"a":2},1e-400,"more",[[{}]]]])")));
  ASSERT_TRUE(parsed.has_value()) << parsed.error().detail;
  const auto& results = parsed->log.at(0).results;
  ASSERT_EQ(results.size(), 13u);
  EXPECT_EQ(std::get<Label>(results[0]).text, "和了");
  EXPECT_EQ(std::get<Deltas>(results[1]).values, (std::array<std::int32_t, 4>{-1000, 0, -2147483648, 2147483647}));
  for (int i = 2; i <= 12; ++i) EXPECT_TRUE(std::holds_alternative<Details>(results[i])) << i;
  EXPECT_EQ(std::get<Details>(results[6]).size, 0u);
  const auto leading = [&](int i, std::size_t k) { return std::get<Details>(results[i]).leading[k].value; };
  EXPECT_EQ(std::get<std::uint64_t>(leading(7, 0)), 0u);
  EXPECT_EQ(std::get<std::uint64_t>(leading(7, 1)), 18446744073709551615u);
  EXPECT_EQ(std::get<double>(leading(8, 0)), 18446744073709551616.0);
  EXPECT_EQ(std::get<std::int64_t>(leading(8, 1)), INT64_MIN);
  EXPECT_TRUE(std::holds_alternative<double>(leading(9, 0)));
  EXPECT_TRUE(std::signbit(std::get<double>(leading(9, 1))));
  EXPECT_EQ(std::get<double>(leading(10, 0)), 100.0);
  EXPECT_EQ(std::get<std::string>(leading(10, 1)), "s");
  EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(leading(11, 0)));
  EXPECT_EQ(std::get<bool>(leading(11, 1)), true);
  EXPECT_EQ(std::get<JsonObject>(leading(12, 0)).size(), 2u);  // both members kept
  EXPECT_EQ(std::get<double>(leading(12, 1)), 0.0);
  EXPECT_EQ(std::get<Details>(results[12]).size, 4u);  // the rest read, not kept
  EXPECT_FALSE(parse_raw_log(result("[1e400]")).has_value());
  EXPECT_FALSE(parse_raw_log(result(R"([0,1,"x",1e400])")).has_value());
}

// Open while reading a Details element: the record's object, "log", the kyoku, the result list,
// the Details array itself (5), then the arrays or objects nested inside it.
TEST(ReaderNesting, TheHundredTwentyEighthOpenContainerFails) {
  struct Case {
    std::string text;
    bool ok;
    Kind kind;
  };
  const Case cases[] = {
      {result("[" + nested(122) + "]"), true, {}},
      {result("[" + nested(123) + "]"), false, Kind::NestingLimit},
      {result("[0,1," + nested(122) + "]"), true, {}},  // elements past the kept ones count too
      {result("[0,1," + nested(123, R"({"a":)", "}") + "]"), false, Kind::NestingLimit},
      {result("[" + nested(122, R"({"a":)", "}") + "]"), true, {}},
      {result("[" + nested(123, R"({"a":)", "}") + "]"), false, Kind::NestingLimit},
      {discard(nested(123)), false, Kind::NoMatchingForm},  // discards + 123 = 127 open
      {discard(nested(124)), false, Kind::NestingLimit},
      {result(nested(123, R"({"a":)", "}")), false, Kind::NoMatchingForm},
      {result(nested(124, R"({"a":)", "}")), false, Kind::NestingLimit},
      {result("[" + nested(1'000'000) + "]"), false, Kind::NestingLimit},
      {minimal(R"(,"zz":)" + nested(1'000'000)), true, {}},
      {minimal(R"(,"zz":)" + nested(1'000'000, R"({"":)", "}")), true, {}},
      {minimal(R"(,"zz":)" + nested(1'000'000).erase(999'999, 1)), false, Kind::Syntax},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_raw_log(c.text);
    EXPECT_EQ(parsed.has_value(), c.ok) << c.text.substr(0, 200);
    if (!c.ok && !parsed) {
      EXPECT_EQ(parse_error_kind(parsed.error()), c.kind) << parsed.error().detail;
    }
  }
}

TEST(ReaderCorpus, EveryRealLogParses) {
  const auto logs = testing::real_logs();
  ASSERT_GE(logs.size(), 17u);
  for (const auto& path : logs) {
    const auto parsed = parse_raw_log(testing::read_file(path));
    ASSERT_TRUE(parsed.has_value()) << path << ": " << parsed.error().detail;
    EXPECT_FALSE(parsed->log.empty()) << path;
    for (const Inner& k : parsed->log) EXPECT_FALSE(k.results.empty()) << path;
  }
}

// The quick reader must read every real log itself (else it only costs time), compact or
// pretty-printed, into exactly what the exact reader reads.
TEST(QuickReader, ReadsEveryRealLogAsTheExactReaderDoes) {
  for (const bool wide : {true, false}) {
    allow_wide_vectors(wide);
    for (const auto& path : testing::real_logs()) {
      const std::string text = testing::read_file(path);
      const auto quick = read_log_quickly(text);
      ASSERT_TRUE(quick.has_value()) << path;
      const auto exact = read_log_exactly(text);
      ASSERT_TRUE(exact.has_value()) << path;
      EXPECT_TRUE(*quick == *exact) << path << ", wide " << wide;
    }
  }
  allow_wide_vectors(true);
}

// Where the DOM cannot tell what the exact reader sees, the quick reader declines; whatever it
// accepts, the exact reader accepts identically.
TEST(QuickReader, DeclinesWhatItCannotVouchFor) {
  struct Case {
    std::string text;
    bool declined;
  };
  const std::vector<Case> cases = {
      {minimal(), false},
      {result("[-0,0,0,0]"), true},            // a floating-point -0 for the exact reader: Details
      {result("[-0.5,0,0,0]"), false},
      {minimal(R"(,"rate":[1e-400])"), true},  // underflows to zero
      {minimal(R"(,"rate":[0.0])"), true},
      {minimal(R"(,"rate":[1500.5,12])"), false},
      {minimal(R"(,"zz":"\udc00")"), true},     // a lone surrogate escape
      {minimal(R"(,"zz":"\ud83d\ude00")"), true},
      {minimal(R"(,"zz":18446744073709551616)"), true},  // beyond 64 bits, under an unknown key
      {minimal(R"(,"zz":1e400)"), true},
      {"\xEF\xBB\xBF" + minimal(), true},
      {result("[" + nested(123, R"({"a":)", "}") + "]"), true},  // past the nesting budget
      {minimal(R"(,"zz":)" + nested(2000)), true},
      {minimal(R"(,"zz":[1,{"log":1,"log":2}],"ref":"2019-0000")"), false},
      {R"({"log":[],"name":["","","",""],"rule":{},"rule":{}})", true},
      {R"([[],["","","",""],{"disp":"x","aka":1},null,null,null,null,null])", false},
      // Laid out over many lines, read from a copy without the whitespace between tokens.
      {laid_out(minimal(R"(,"zz":[ 1 , 2 ],"ratingc":"a \" b\t c")")), false},
      {laid_out(result("[ -0 ,0,0,0]")), true},
      {laid_out(minimal(R"(,"zz":[1 2])")), true},  // two tokens the copy would join
      {laid_out(minimal(R"(,"zz":tr ue)")), true},
      {laid_out(minimal(R"(,"zz":"a" "b")")), true},
      {laid_out(minimal(",\"ratingc\":\"a\tb\"")), true},  // a raw tab in a string
  };
  for (const Case& c : cases) {
    const auto quick = read_log_quickly(c.text);
    EXPECT_EQ(!quick.has_value(), c.declined) << c.text.substr(0, 120);
    const auto exact = read_log_exactly(c.text);
    if (quick) {
      ASSERT_TRUE(exact.has_value()) << c.text.substr(0, 120);
      EXPECT_TRUE(*quick == *exact) << c.text.substr(0, 120);
    }
  }
}

// The compact copy goes 64 bytes at a time and byte by byte around escapes and at the end: each
// case is shifted across those blocks, and must read as the exact reader reads it in place.
TEST(QuickReader, ReadsLaidOutTextsAsTheExactReaderDoesAtEveryOffset) {
  struct Case {
    std::string value;
    bool valid;     // the exact reader accepts it
    bool declined;  // the quick reader leaves it to the exact one
  };
  const std::vector<Case> cases = {
      {"[1, 2]", true, false},         {"[1 2]", false, true},          {"tr ue", false, true},
      {R"("a" "b")", false, true},     {R"("a \" b")", true, false},    {R"(["a\\" ])", true, false},
      {R"(["\"" 1])", false, true},    {"[ null ,\t\r\n{ } ]", true, false}, {R"("a\\" "b")", false, true},
      {"[1,-0]", true, true},          {"[-0.5,-1]", true, false},      {R"("\udc00")", false, true},
      {R"("\ud83d\ude00")", true, true},
  };
  for (const bool wide : {true, false}) {  // the widest vectors where the processor has them, and without
    allow_wide_vectors(wide);
    for (const Case& c : cases) {
      for (std::size_t shift = 0; shift < 130; ++shift) {
        const std::string text = std::string(80, '\n') + std::string(shift, ' ') + minimal(R"(,"zz":)" + c.value);
        const auto quick = read_log_quickly(text);
        EXPECT_EQ(!quick.has_value(), c.declined) << c.value << " shifted by " << shift << ", wide " << wide;
        const auto exact = read_log_exactly(text);
        ASSERT_EQ(exact.has_value(), c.valid) << c.value;
        if (quick) {
          EXPECT_TRUE(*quick == *exact) << c.value << " shifted by " << shift << ", wide " << wide;
        }
      }
    }
  }
  allow_wide_vectors(true);
}

}  // namespace
}  // namespace paifu::tenhou
