// The strict log reader: a validating scan lists the tokens of the text (json_scan), then a
// typed descent over those tokens fills the records. The descent recurses only into values it
// reads, so its depth is bounded by the nesting budget; skipped values are jumped over.
#include "paifu/tenhou/raw_log.hpp"
#include "paifu/tenhou/tile_codes.hpp"

#include <array>
#include <charconv>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "paifu/tenhou/json_scan.hpp"
#include "paifu/tenhou/quick_reader.hpp"

namespace paifu::tenhou {
namespace {

using json::Token;
using json::TokenKind;

template <class T>
using Result = expected<T, Error>;
using Status = expected<void, Error>;

// At most this many arrays and objects may be open at once while reading into records; opening
// one more fails. The outer record's own bracket counts.
constexpr int kMaxOpenContainers = 127;

unexpected<Error> fail(ParseErrorKind kind, std::string description) {
  return unexpected(Error{Stage::Parse, static_cast<int>(kind), std::move(description)});
}

std::string_view kind_name(TokenKind kind) {
  switch (kind) {
    case TokenKind::Null: return "null";
    case TokenKind::False:
    case TokenKind::True: return "boolean";
    case TokenKind::Number: return "number";
    case TokenKind::String: return "string";
    case TokenKind::Array: return "sequence";
    case TokenKind::Object: return "map";
  }
  return "value";
}

unexpected<Error> wrong_type(const Token& token, std::string_view expected) {
  std::string message = "invalid type: ";
  message += kind_name(token.kind());
  message += ", expected ";
  message += expected;
  return fail(ParseErrorKind::WrongType, std::move(message));
}

unexpected<Error> invalid_length(std::size_t got, std::string_view expected) {
  std::string message = "invalid length " + std::to_string(got) + ", expected ";
  message += expected;
  return fail(ParseErrorKind::InvalidLength, std::move(message));
}

unexpected<Error> trailing_element() {
  return fail(ParseErrorKind::TrailingCharacters, "trailing characters");
}

unexpected<Error> out_of_range(std::string_view number, std::string_view expected) {
  std::string message = "invalid value: ";
  message += number;
  message += ", expected ";
  message += expected;
  return fail(ParseErrorKind::OutOfRange, std::move(message));
}

unexpected<Error> no_matching_form(std::string_view type) {
  std::string message = "data did not match any variant of untagged enum ";
  message += type;
  return fail(ParseErrorKind::NoMatchingForm, std::move(message));
}

// ---- numbers ----------------------------------------------------------------------------------

// How a number was written. "-0", a fraction or an exponent make it floating point.
enum class NumberForm : std::uint8_t { NonNegative, Negative, Float };

struct IntegerText {
  NumberForm form = NumberForm::Float;
  bool beyond_64_bits = false;  // an integer whose value does not fit its 64-bit kind
  std::uint64_t magnitude = 0;  // the absolute value, when it fits
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// `text` is a well-formed JSON number (the scan checked it).
IntegerText classify(std::string_view text) {
  IntegerText result;
  // Most numbers of a log are tile codes and markers: one to three digits.
  if (text.size() <= 3 && is_digit(text.front())) {
    std::uint64_t value = 0;
    for (const char c : text) {
      if (!is_digit(c)) return result;  // "1.5", "1e2"
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    result.form = NumberForm::NonNegative;
    result.magnitude = value;
    return result;
  }
  const bool negative = text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  for (const char c : digits) {
    if (!is_digit(c)) return result;  // '.', 'e' or 'E'
  }
  if (negative && digits == "0") return result;
  result.form = negative ? NumberForm::Negative : NumberForm::NonNegative;
  if (digits.size() <= 19) {
    std::uint64_t value = 0;
    for (const char c : digits) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    result.magnitude = value;
  } else {
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result.magnitude);
    (void)ptr;
    if (ec != std::errc{}) result.beyond_64_bits = true;
  }
  if (negative && !result.beyond_64_bits &&
      result.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1) {
    result.beyond_64_bits = true;
  }
  return result;
}

// The value of a number token written as one to three plain digits ("0", "60", "255"), or -1.
// Most numbers of a log are such tile codes and markers.
inline int short_unsigned(const Token& token) {
  if (token.kind() != TokenKind::Number || token.size > 3) return -1;
  int value = 0;
  for (std::uint32_t k = 0; k < token.size; ++k) {
    const char c = token.text[k];
    if (!is_digit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}


std::int64_t negate(std::uint64_t magnitude) {
  // magnitude <= 2^63 here; two's complement gives the exact value also for 2^63.
  return static_cast<std::int64_t>(~magnitude + 1);
}

// Whether the decimal value of a number that from_chars found out of range is large (true) or
// tiny (false). Only the position of the first significant digit and the exponent matter.
bool magnitude_overflows(std::string_view text) {
  std::size_t i = text.front() == '-' ? 1 : 0;
  long long position = 0;  // decimal exponent of the first significant digit, plus one
  bool seen_point = false;
  bool found = false;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    const char c = text[i];
    if (c == '.') {
      seen_point = true;
    } else if (!found) {
      if (c != '0') {
        found = true;
        if (!seen_point) ++position;
      } else if (seen_point) {
        --position;
      }
    } else if (!seen_point) {
      ++position;
    }
  }
  long long exponent = 0;
  if (i < text.size()) {
    ++i;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      if (exponent < 1'000'000'000'000LL) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return position + exponent > 0;
}

// The nearest double to a JSON number. A number too large for any finite double is refused;
// one too small for the smallest subnormal becomes zero of its sign.
Result<double> to_double(std::string_view text) {
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)ptr;
  if (ec == std::errc{}) return value;
  if (magnitude_overflows(text)) return out_of_range(text, "a number within the range of a double");
  return text.front() == '-' ? -0.0 : 0.0;
}

// ---- the typed descent ------------------------------------------------------------------------

enum class LogField : int { Log, Name, Rule, Ratingc, Lobby, Dan, Rate, Sx, Unknown };
constexpr std::array<std::string_view, 8> kLogFieldNames = {"log", "name", "rule", "ratingc",
                                                             "lobby", "dan", "rate", "sx"};
enum class RuleField : int { Disp, Aka, Aka51, Aka52, Aka53, Unknown };
constexpr std::array<std::string_view, 5> kRuleFieldNames = {"disp", "aka", "aka51", "aka52",
                                                              "aka53"};

template <class Field, std::size_t N>
Field field_of(std::string_view key, const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i) {
    if (key == names[i]) return static_cast<Field>(i);
  }
  return Field::Unknown;
}

class LogReader {
 public:
  explicit LogReader(const Token* tokens) : tokens_(tokens) {}

  Result<RawLog> document() {
    RawLog log;
    const Token& root = tokens_[0];
    Status status;
    if (root.kind() == TokenKind::Object) {
      status = log_object(0, log);
    } else if (root.kind() == TokenKind::Array) {
      status = log_array(0, log);
    } else {
      return wrong_type(root, "struct RawLog");
    }
    if (!status) return unexpected(std::move(status.error()));
    return log;
  }

 private:
  // The token after the whole value that starts at `i`.
  std::uint32_t after(std::uint32_t i) const {
    const Token& token = tokens_[i];
    return token.is_container() ? token.size : i + 1;
  }

  Status open() {
    if (open_ >= kMaxOpenContainers) {
      return fail(ParseErrorKind::NestingLimit, "recursion limit exceeded");
    }
    ++open_;
    return {};
  }
  void close() { --open_; }

  // Calls elem(i) for each element of the array at `a`, whatever their number.
  template <class F>
  Status each_element(std::uint32_t a, std::string_view expected, F&& elem) {
    const Token& token = tokens_[a];
    if (token.kind() != TokenKind::Array) return wrong_type(token, expected);
    if (auto s = open(); !s) return s;
    for (std::uint32_t i = a + 1; i < token.size; i = after(i)) {
      if (auto s = elem(i); !s) return s;
    }
    close();
    return {};
  }

  // Calls elem(k, i) for positions k = 0..n-1 of the array at `a`, which must have exactly n
  // elements.
  template <class F>
  Status fixed_elements(std::uint32_t a, std::size_t n, std::string_view type_expected,
                        std::string_view length_expected, F&& elem) {
    const Token& token = tokens_[a];
    if (token.kind() != TokenKind::Array) return wrong_type(token, type_expected);
    if (auto s = open(); !s) return s;
    std::uint32_t i = a + 1;
    for (std::size_t k = 0; k < n; ++k, i = after(i)) {
      if (i >= token.size) return invalid_length(k, length_expected);
      if (auto s = elem(k, i); !s) return s;
    }
    if (i < token.size) return trailing_element();
    close();
    return {};
  }

  // Calls member(key, value_index) for each member of the object at `o`.
  template <class F>
  Status each_member(std::uint32_t o, F&& member) {
    const Token& token = tokens_[o];
    if (auto s = open(); !s) return s;
    for (std::uint32_t k = o + 1; k < token.size; k = after(k + 1)) {
      if (auto s = member(tokens_[k].view(), k + 1); !s) return s;
    }
    close();
    return {};
  }

  // ---- scalars ----

  Status read_string(std::uint32_t i, std::string& out) {
    const Token& token = tokens_[i];
    if (token.kind() != TokenKind::String) return wrong_type(token, "a string");
    out.assign(token.text, token.size);
    return {};
  }

  // An integer field: a number written without fraction or exponent, within [min, max].
  template <class Int>
  Status read_integer(std::uint32_t i, Int& out, std::string_view expected) {
    const Token& token = tokens_[i];
    if (token.kind() != TokenKind::Number) return wrong_type(token, expected);
    const IntegerText number = classify(token.view());
    if (number.form == NumberForm::Float) return wrong_type(token, expected);
    if (number.beyond_64_bits) return out_of_range(token.view(), expected);
    if (number.form == NumberForm::NonNegative) {
      if (number.magnitude > static_cast<std::uint64_t>(std::numeric_limits<Int>::max())) {
        return out_of_range(token.view(), expected);
      }
      out = static_cast<Int>(number.magnitude);
      return {};
    }
    const std::int64_t value = negate(number.magnitude);
    if (value < static_cast<std::int64_t>(std::numeric_limits<Int>::min())) {
      return out_of_range(token.view(), expected);
    }
    out = static_cast<Int>(value);
    return {};
  }

  Status read_u8(std::uint32_t i, std::uint8_t& out) { return read_integer(i, out, "u8"); }
  Status read_i32(std::uint32_t i, std::int32_t& out) { return read_integer(i, out, "i32"); }

  Status read_tile(std::uint32_t i, Tile& out) {
    if (const int value = short_unsigned(tokens_[i]); value >= 0 && value <= 255) {
      if (const std::optional<Tile> tile = kTileCodes.tiles[static_cast<std::size_t>(value)]) {
        out = *tile;
        return {};
      }
    }
    std::uint8_t code = 0;
    if (auto s = read_u8(i, code); !s) return s;
    const std::optional<Tile> tile = kTileCodes.tiles[code];
    if (!tile) return fail(ParseErrorKind::InvalidTile, invalid_tile_code_message(code));
    out = *tile;
    return {};
  }

  Status read_double(std::uint32_t i, double& out) {
    const Token& token = tokens_[i];
    if (token.kind() != TokenKind::Number) return wrong_type(token, "f64");
    Result<double> value = to_double(token.view());
    if (!value) return unexpected(std::move(value.error()));
    out = *value;
    return {};
  }

  // ---- generic values ----

  Result<JsonValue> number_value(const Token& token) {
    const IntegerText number = classify(token.view());
    if (number.form == NumberForm::NonNegative && !number.beyond_64_bits) {
      return JsonValue{number.magnitude};
    }
    if (number.form == NumberForm::Negative && !number.beyond_64_bits) {
      return JsonValue{negate(number.magnitude)};
    }
    Result<double> value = to_double(token.view());
    if (!value) return unexpected(std::move(value.error()));
    return JsonValue{*value};
  }

  // Recursion is bounded by the nesting budget: every level opens one container.
  Result<JsonValue> generic(std::uint32_t i) {
    const Token& token = tokens_[i];
    switch (token.kind()) {
      case TokenKind::Null: return JsonValue{nullptr};
      case TokenKind::False: return JsonValue{false};
      case TokenKind::True: return JsonValue{true};
      case TokenKind::Number: return number_value(token);
      case TokenKind::String: return JsonValue{std::string(token.view())};
      case TokenKind::Array: {
        JsonArray elements;
        if (auto s = generic_elements(i, elements); !s) return unexpected(std::move(s.error()));
        return JsonValue{std::move(elements)};
      }
      case TokenKind::Object: {
        JsonObject members;
        members.reserve(token.count_hint());
        Status s = each_member(i, [&](std::string_view key, std::uint32_t v) -> Status {
          Result<JsonValue> value = generic(v);
          if (!value) return unexpected(std::move(value.error()));
          members.push_back(JsonMember{std::string(key), std::move(*value)});
          return {};
        });
        if (!s) return unexpected(std::move(s.error()));
        return JsonValue{std::move(members)};
      }
    }
    return JsonValue{nullptr};
  }

  Status generic_elements(std::uint32_t a, JsonArray& out) {
    out.reserve(tokens_[a].count_hint());
    return each_element(a, "a sequence", [&](std::uint32_t i) -> Status {
      Result<JsonValue> value = generic(i);
      if (!value) return unexpected(std::move(value.error()));
      out.push_back(std::move(*value));
      return {};
    });
  }

  // Every element read as a generic value, with its refusals; the first ones kept.
  Status detail_elements(std::uint32_t a, Details& out) {
    return each_element(a, "a sequence", [&](std::uint32_t i) -> Status {
      Result<JsonValue> value = generic(i);
      if (!value) return unexpected(std::move(value.error()));
      out.append(std::move(*value));
      return {};
    });
  }

  // ---- draw, discard and result elements ----

  // The forms are tried in order on the element as a generic value: Tile, Marker, Call. The
  // decision is taken from the token; a generic value is built only on the failing path, so
  // that its own refusals (nesting, number range) take precedence as they would when reading
  // it whole.
  // A tile or marker, or a call string, appended to `lists`.
  Status action_item(std::uint32_t i, ActionLists& lists) {
    const Token& token = tokens_[i];
    if (token.kind() == TokenKind::Number) {
      const IntegerText number = classify(token.view());
      if (number.form == NumberForm::NonNegative && !number.beyond_64_bits && number.magnitude <= 255) {
        lists.append(kTileCodes.items[number.magnitude]);
        return {};
      }
    } else if (token.kind() == TokenKind::String) {
      lists.append_call(token.view());
      return {};
    }
    if (Result<JsonValue> value = generic(i); !value) return unexpected(std::move(value.error()));
    return no_matching_form("ActionItem");
  }

  Status action_list(std::uint32_t a, ActionLists& lists, ActionLists::Kind kind, std::size_t seat) {
    lists.open(kind, seat, tokens_[a].count_hint());
    auto read = each_element(a, "a sequence", [&](std::uint32_t i) -> Status {
      if (const int value = short_unsigned(tokens_[i]); value >= 0 && value <= 255) {
        lists.append(kTileCodes.items[static_cast<std::size_t>(value)]);
        return {};
      }
      return action_item(i, lists);
    });
    lists.close();
    return read;
  }

  // Whether the array at `a` is exactly four integers within the signed 32-bit range.
  bool is_deltas(std::uint32_t a, Deltas& out) const {
    const Token& token = tokens_[a];
    if (token.size - a - 1 != 4) return false;  // four scalar elements are exactly four tokens
    for (std::uint32_t k = 0; k < 4; ++k) {
      const Token& element = tokens_[a + 1 + k];
      if (element.kind() != TokenKind::Number) return false;
      const IntegerText number = classify(element.view());
      if (number.beyond_64_bits || number.form == NumberForm::Float) return false;
      if (number.form == NumberForm::NonNegative) {
        if (number.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
          return false;
        }
        out.values[k] = static_cast<std::int32_t>(number.magnitude);
      } else {
        const std::int64_t value = negate(number.magnitude);
        if (value < std::numeric_limits<std::int32_t>::min()) return false;
        out.values[k] = static_cast<std::int32_t>(value);
      }
    }
    return true;
  }

  // The forms in order: Label, Deltas, Details.
  Result<ResultItem> result_item(std::uint32_t i) {
    const Token& token = tokens_[i];
    if (token.kind() == TokenKind::String) return ResultItem{Label{std::string(token.view())}};
    if (token.kind() == TokenKind::Array) {
      Deltas deltas;
      if (is_deltas(i, deltas)) {
        if (auto s = open(); !s) return unexpected(std::move(s.error()));
        close();
        return ResultItem{deltas};
      }
      Details details;
      if (auto s = detail_elements(i, details); !s) return unexpected(std::move(s.error()));
      return ResultItem{std::move(details)};
    }
    if (Result<JsonValue> value = generic(i); !value) return unexpected(std::move(value.error()));
    return no_matching_form("ResultItem");
  }

  // ---- the kyoku record ----

  Status tile_list(std::uint32_t a, TileList& out) {
    out.reserve(tokens_[a].count_hint());
    return each_element(a, "a sequence", [&](std::uint32_t i) -> Status {
      Tile tile;
      if (auto s = read_tile(i, tile); !s) return s;
      out.push_back(tile);
      return {};
    });
  }

  Status kyoku(std::uint32_t a, Inner& out) {
    constexpr std::string_view kInner = "tuple struct Inner";
    return fixed_elements(a, 17, kInner, "tuple struct Inner with 17 elements",
                          [&](std::size_t k, std::uint32_t i) -> Status {
      switch (k) {
        case 0:
          return fixed_elements(i, 3, kInner, "tuple struct Inner with 3 elements",
                                [&](std::size_t h, std::uint32_t e) -> Status {
            std::uint8_t& field = h == 0 ? out.header.kyoku : h == 1 ? out.header.honba : out.header.kyotaku;
            return read_u8(e, field);
          });
        case 1:
          return fixed_elements(i, 4, "an array of length 4", "an array of length 4",
                                [&](std::size_t s, std::uint32_t e) { return read_i32(e, out.scores[s]); });
        case 2: return tile_list(i, out.dora_indicators);
        case 3: return tile_list(i, out.ura_indicators);
        case 16: {
          out.results.reserve(tokens_[i].count_hint());
          return each_element(i, "a sequence", [&](std::uint32_t e) -> Status {
            Result<ResultItem> item = result_item(e);
            if (!item) return unexpected(std::move(item.error()));
            out.results.push_back(std::move(*item));
            return {};
          });
        }
        default: {
          const std::size_t seat = (k - 4) / 3;
          switch ((k - 4) % 3) {
            case 0:
              return fixed_elements(i, 13, "an array of length 13", "an array of length 13",
                                    [&](std::size_t t, std::uint32_t e) {
                return read_tile(e, out.start_hands[seat][t]);
              });
            case 1: return action_list(i, out.lists, ActionLists::Kind::Draws, seat);
            default: return action_list(i, out.lists, ActionLists::Kind::Discards, seat);
          }
        }
      }
    });
  }

  // ---- RawLog and Rule ----

  Status string_list(std::uint32_t a, std::vector<std::string>& out) {
    out.reserve(tokens_[a].count_hint());
    return each_element(a, "a sequence", [&](std::uint32_t i) -> Status {
      out.emplace_back();
      return read_string(i, out.back());
    });
  }

  Status rule_field(RuleField field, std::uint32_t i, Rule& rule) {
    switch (field) {
      case RuleField::Disp: return read_string(i, rule.disp);
      case RuleField::Aka: return read_u8(i, rule.aka);
      case RuleField::Aka51: return read_u8(i, rule.aka51);
      case RuleField::Aka52: return read_u8(i, rule.aka52);
      case RuleField::Aka53: return read_u8(i, rule.aka53);
      case RuleField::Unknown: break;
    }
    return {};
  }

  Status rule(std::uint32_t r, Rule& out) {
    const Token& token = tokens_[r];
    if (token.kind() == TokenKind::Object) {
      std::array<bool, 5> seen{};
      return each_member(r, [&](std::string_view key, std::uint32_t v) -> Status {
        const auto field = field_of<RuleField>(key, kRuleFieldNames);
        if (field == RuleField::Unknown) return {};
        bool& was_seen = seen[static_cast<std::size_t>(field)];
        if (was_seen) return fail(ParseErrorKind::DuplicateField, "duplicate field `" + std::string(key) + "`");
        was_seen = true;
        return rule_field(field, v, out);
      });
    }
    if (token.kind() != TokenKind::Array) return wrong_type(token, "struct Rule");
    // The array form may stop early; missing positions keep their defaults.
    if (auto s = open(); !s) return s;
    std::uint32_t i = r + 1;
    for (int k = 0; k < 5 && i < token.size; ++k, i = after(i)) {
      if (auto s = rule_field(static_cast<RuleField>(k), i, out); !s) return s;
    }
    if (i < token.size) return trailing_element();
    close();
    return {};
  }

  Status names(std::uint32_t a, std::array<std::string, 4>& out) {
    return fixed_elements(a, 4, "an array of length 4", "an array of length 4",
                          [&](std::size_t k, std::uint32_t i) { return read_string(i, out[k]); });
  }

  // Optional fields: null holds no value.
  template <class T, class F>
  Status optional_field(std::uint32_t i, std::optional<T>& out, F&& read) {
    if (tokens_[i].kind() == TokenKind::Null) {
      out.reset();
      return {};
    }
    out.emplace();
    return read(i, *out);
  }

  Status log_field(LogField field, std::uint32_t i, RawLog& log) {
    switch (field) {
      case LogField::Log: {
        log.log.reserve(tokens_[i].count_hint());
        return each_element(i, "a sequence", [&](std::uint32_t k) -> Status {
          log.log.emplace_back(log.memory);
          return kyoku(k, log.log.back());
        });
      }
      case LogField::Name: return names(i, log.name);
      case LogField::Rule: return rule(i, log.rule);
      case LogField::Ratingc:
        return optional_field(i, log.ratingc, [&](std::uint32_t v, std::string& s) { return read_string(v, s); });
      case LogField::Lobby:
        return optional_field(i, log.lobby, [&](std::uint32_t v, std::int32_t& n) { return read_i32(v, n); });
      case LogField::Dan:
        return optional_field(i, log.dan, [&](std::uint32_t v, std::vector<std::string>& l) {
          return string_list(v, l);
        });
      case LogField::Rate:
        return optional_field(i, log.rate, [&](std::uint32_t v, std::vector<double>& l) -> Status {
          l.reserve(tokens_[v].count_hint());
          return each_element(v, "a sequence", [&](std::uint32_t e) -> Status {
            l.emplace_back();
            return read_double(e, l.back());
          });
        });
      case LogField::Sx:
        return optional_field(i, log.sx, [&](std::uint32_t v, std::vector<std::string>& l) {
          return string_list(v, l);
        });
      case LogField::Unknown: break;
    }
    return {};
  }

  Status log_object(std::uint32_t o, RawLog& log) {
    std::array<bool, 8> seen{};
    Status s = each_member(o, [&](std::string_view key, std::uint32_t v) -> Status {
      const auto field = field_of<LogField>(key, kLogFieldNames);
      if (field == LogField::Unknown) return {};  // skipped whole, whatever it holds
      bool& was_seen = seen[static_cast<std::size_t>(field)];
      if (was_seen) return fail(ParseErrorKind::DuplicateField, "duplicate field `" + std::string(key) + "`");
      was_seen = true;
      return log_field(field, v, log);
    });
    if (!s) return s;
    for (std::size_t k = 0; k < 3; ++k) {
      if (!seen[k]) {
        return fail(ParseErrorKind::MissingField, "missing field `" + std::string(kLogFieldNames[k]) + "`");
      }
    }
    return {};
  }

  Status log_array(std::uint32_t a, RawLog& log) {
    return fixed_elements(a, 8, "struct RawLog", "struct RawLog with 8 elements",
                          [&](std::size_t k, std::uint32_t i) {
      return log_field(static_cast<LogField>(k), i, log);
    });
  }

  const Token* tokens_;
  int open_ = 0;
};

}  // namespace

expected<RawLog, Error> read_log_exactly(std::string_view text) {
  auto scanned = json::scan(text);
  if (!scanned) {
    const auto kind = static_cast<json::ScanErrorKind>(scanned.error().number) == json::ScanErrorKind::TrailingCharacters
                          ? ParseErrorKind::TrailingCharacters
                          : ParseErrorKind::Syntax;
    return fail(kind, std::move(scanned.error().detail));
  }
  return LogReader(scanned->tokens.get()).document();
}

expected<RawLog, Error> parse_raw_log(std::string_view text) {
  if (std::optional<RawLog> quick = read_log_quickly(text)) return std::move(*quick);
  return read_log_exactly(text);
}

}  // namespace paifu::tenhou
