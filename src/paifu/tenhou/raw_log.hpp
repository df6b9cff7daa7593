// The typed records a Tenhou version-6 log is read into, and the strict reader that fills them.
#pragma once

#include <array>
#include <cstdint>
#include "paifu/base/expected.hpp"
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/tile.hpp"

namespace paifu::tenhou {

// A generic JSON value. Numbers keep how they were written: a non-negative integer, a negative
// integer, or a floating-point number (fraction, exponent, "-0", or an integer beyond 64 bits).
struct JsonValue;
struct JsonMember;
using JsonArray = std::vector<JsonValue>;
// Members in document order; duplicate names are all kept. (A named member type rather than a
// pair: the variant below may not look into an incomplete pair.)
using JsonObject = std::vector<JsonMember>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, JsonArray, JsonObject> value;
  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

struct JsonMember {
  std::string name;
  JsonValue value;
  friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

// An element of a draw or discard list: a tile code, a marker (a number 0..255 that is no tile
// code), or a call string, whose text is kept in its kyoku's `calls`. A few bytes with no text
// of its own, since these are most of a log's elements.
class ActionItem {
 public:
  enum class Form : std::uint8_t { Tile, Marker, Call };

  ActionItem() = default;
  static ActionItem tile(Tile tile) { return {Form::Tile, tile.index}; }
  static ActionItem marker(std::uint8_t value) { return {Form::Marker, value}; }
  // The call whose text is `calls[index]` of the kyoku.
  static ActionItem call(std::uint32_t index) { return {Form::Call, index}; }

  Form form() const { return form_; }
  Tile tile() const { return Tile{static_cast<std::uint8_t>(value_)}; }
  std::uint8_t marker() const { return static_cast<std::uint8_t>(value_); }
  std::uint32_t call() const { return value_; }
  friend bool operator==(const ActionItem&, const ActionItem&) = default;

 private:
  ActionItem(Form form, std::uint32_t value) : value_(value), form_(form) {}
  std::uint32_t value_ = 0;
  Form form_ = Form::Tile;
};

// An element of a kyoku's result list.
struct Label {
  std::string text;
  friend bool operator==(const Label&, const Label&) = default;
};
struct Deltas {
  std::array<std::int32_t, 4> values{};
  friend bool operator==(const Deltas&, const Deltas&) = default;
};
struct Details {
  std::vector<JsonValue> elements;
  friend bool operator==(const Details&, const Details&) = default;
};
using ResultItem = std::variant<Label, Deltas, Details>;

using Scores = std::array<std::int32_t, 4>;
using Hand = std::array<Tile, 13>;

struct KyokuHeader {
  std::uint8_t kyoku = 0;
  std::uint8_t honba = 0;
  std::uint8_t kyotaku = 0;
  friend bool operator==(const KyokuHeader&, const KyokuHeader&) = default;
};

// One kyoku record: a 17-element array whose meaning is given by position.
struct Inner {
  KyokuHeader header;
  Scores scores{};
  std::vector<Tile> dora_indicators;
  std::vector<Tile> ura_indicators;
  std::array<Hand, 4> start_hands{};
  std::array<std::vector<ActionItem>, 4> draws;
  std::array<std::vector<ActionItem>, 4> discards;
  std::vector<std::string> calls;  // the texts of the call strings of the lists, as read
  std::vector<ResultItem> results;
  friend bool operator==(const Inner&, const Inner&) = default;
};

struct Rule {
  std::string disp;
  std::uint8_t aka = 0;
  std::uint8_t aka51 = 0;
  std::uint8_t aka52 = 0;
  std::uint8_t aka53 = 0;
  friend bool operator==(const Rule&, const Rule&) = default;
};

struct RawLog {
  std::vector<Inner> log;
  std::array<std::string, 4> name;
  Rule rule;
  std::optional<std::string> ratingc;
  std::optional<std::int32_t> lobby;
  std::optional<std::vector<std::string>> dan;
  std::optional<std::vector<double>> rate;
  std::optional<std::vector<std::string>> sx;
  friend bool operator==(const RawLog&, const RawLog&) = default;
};

enum class ParseErrorKind {
  Syntax,
  TrailingCharacters,
  NestingLimit,
  WrongType,
  OutOfRange,
  InvalidLength,
  DuplicateField,
  MissingField,
  NoMatchingForm,
  InvalidTile,
};

// The kind of a refusal, as the `number` of the reader's failure (stage Parse); its `detail`
// says why, for diagnostics only: callers report every parse failure alike.
inline ParseErrorKind parse_error_kind(const Error& error) { return static_cast<ParseErrorKind>(error.number); }

// Reads the whole text as one log document, strictly and all-or-nothing: through the quick
// reader when it vouches for the text, otherwise through the exact reader.
expected<RawLog, Error> parse_raw_log(std::string_view text);

// The exact reader alone: a validating token scan, then a typed descent over the tokens. It
// decides every text and gives the reason of each refusal.
expected<RawLog, Error> read_log_exactly(std::string_view text);

}  // namespace paifu::tenhou
