// The typed records a Tenhou version-6 log is read into, and the strict reader that fills them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/tile.hpp"

namespace paifu::tenhou {

// The memory that the records of one log share. A kyoku's lists, indicators and results are
// many small allocations, all made while the log is read and all freed with it: taken from one
// arena they cost a few large allocations instead, and freeing them costs nothing. The arena
// lives as long as the last copy of its RecordMemory, and each kyoku record holds one: a record
// may be moved out of its log and outlive it, but its lists go with it. Like the records, an
// arena is for one thread at a time. Copies of records take their memory from the heap.
class RecordMemory {
 public:
  RecordMemory() : arena_(std::make_shared<std::pmr::monotonic_buffer_resource>(kFirstBlockBytes)) {}
  // The heap once this memory has been moved away.
  std::pmr::memory_resource* resource() const {
    return arena_ ? arena_.get() : std::pmr::get_default_resource();
  }
  // Records compare by their contents alone.
  friend bool operator==(const RecordMemory&, const RecordMemory&) { return true; }

 private:
  // About what the records of a real log take; later blocks grow from it.
  static constexpr std::size_t kFirstBlockBytes = std::size_t{8} << 10;
  std::shared_ptr<std::pmr::monotonic_buffer_resource> arena_;
};

using TileList = std::pmr::vector<Tile>;

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
// code), or a call string, whose text its kyoku's lists keep. Four bytes with no text of their
// own, since these are most of a log's elements.
class ActionItem {
 public:
  enum class Form : std::uint8_t { Tile, Marker, Call };

  ActionItem() = default;
  static ActionItem tile(Tile tile) { return {Form::Tile, tile.index}; }
  static ActionItem marker(std::uint8_t value) { return {Form::Marker, value}; }
  // The call whose text its kyoku's lists keep at `index`.
  static ActionItem call(std::uint32_t index) { return {Form::Call, index}; }

  Form form() const { return static_cast<Form>(bits_ & 3); }
  Tile tile() const { return Tile{static_cast<std::uint8_t>(bits_ >> 2)}; }
  std::uint8_t marker() const { return static_cast<std::uint8_t>(bits_ >> 2); }
  std::uint32_t call() const { return bits_ >> 2; }
  // For a tile or a marker, without a branch: whether it is a marker, and its tile, the hidden
  // tile for a marker.
  bool is_marker() const { return (bits_ & 1) != 0; }
  Tile tile_or_hidden() const {
    const std::uint32_t value = bits_ >> 2;
    const std::uint32_t marker_mask = 0u - (bits_ & 1);
    return Tile{static_cast<std::uint8_t>(value ^ ((value ^ kHiddenTile.index) & marker_mask))};
  }
  friend bool operator==(const ActionItem&, const ActionItem&) = default;

 private:
  // The form in the low two bits, the value above them: one word, written with one store.
  ActionItem(Form form, std::uint32_t value) : bits_(value << 2 | static_cast<std::uint32_t>(form)) {}
  std::uint32_t bits_ = 0;
};

// The draw and discard lists of a kyoku's four seats in one array, list after list, with where
// each list lies, and the texts of their call strings: one allocation for a kyoku's lists
// rather than one per list.
class ActionLists {
 public:
  enum class Kind : std::uint8_t { Draws, Discards };

  ActionLists() = default;
  explicit ActionLists(std::pmr::memory_resource* memory) : items_(memory), calls_(memory) {}

  std::span<const ActionItem> list(Kind kind, std::size_t seat) const {
    const Range range = ranges_.at(slot(kind, seat));
    return std::span<const ActionItem>(items_).subspan(range.begin, range.size);
  }
  std::span<const ActionItem> draws(std::size_t seat) const { return list(Kind::Draws, seat); }
  std::span<const ActionItem> discards(std::size_t seat) const { return list(Kind::Discards, seat); }
  std::string_view call_text(ActionItem call) const { return calls_.at(call.call()); }
  std::size_t call_count() const { return calls_.size(); }

  // Building, one list at a time: open it with room for `count` elements, append them, close
  // it. A list opened again is replaced. The first list makes room for eight lists like it, as a
  // kyoku's lists are much of a length, unless it is longer than a real one (a huge text would
  // then claim eight times its own size); later lists grow the array as a vector grows.
  void open(Kind kind, std::size_t seat, std::size_t count) {
    if (items_.capacity() == 0) items_.reserve(count <= kLongestTypicalList ? 8 * count : count);
    open_ = slot(kind, seat);
    ranges_.at(open_) = {static_cast<std::uint32_t>(items_.size()), 0};
  }
  void append(ActionItem item) { items_.push_back(item); }
  void append_call(std::string_view text) {
    const ActionItem call = keep_call(text);
    items_.push_back(call);
  }
  void close() {
    Range& range = ranges_.at(open_);
    range.size = static_cast<std::uint32_t>(items_.size()) - range.begin;
  }

  // Or, for a list of a known length: open it and write its `count` elements at the pointer
  // returned (a call's element comes from keep_call), then close it with how many were written.
  ActionItem* open_room(Kind kind, std::size_t seat, std::size_t count) {
    open(kind, seat, count);
    items_.resize(items_.size() + count);
    return items_.data() + ranges_[open_].begin;
  }
  // Keeps the text of a call and gives its element; the room of an open list stays where it is.
  ActionItem keep_call(std::string_view text) {
    if (calls_.empty()) calls_.reserve(kTypicalCalls);
    calls_.emplace_back(text);
    return ActionItem::call(static_cast<std::uint32_t>(calls_.size() - 1));
  }
  void close_room(std::size_t written) {
    items_.resize(ranges_[open_].begin + written);
    close();
  }

  // Equal when their lists hold the same elements, calls by their texts.
  friend bool operator==(const ActionLists& a, const ActionLists& b) {
    const auto same = [&](ActionItem x, ActionItem y) {
      if (x.form() == ActionItem::Form::Call) return y.form() == x.form() && a.call_text(x) == b.call_text(y);
      return x == y;
    };
    for (const Kind kind : {Kind::Draws, Kind::Discards}) {
      for (std::size_t seat = 0; seat < 4; ++seat) {
        if (!std::ranges::equal(a.list(kind, seat), b.list(kind, seat), same)) return false;
      }
    }
    return true;
  }

 private:
  struct Range {
    std::uint32_t begin = 0;
    std::uint32_t size = 0;
  };
  static constexpr std::size_t kTypicalCalls = 8;
  static constexpr std::size_t kLongestTypicalList = 64;
  static std::size_t slot(Kind kind, std::size_t seat) { return seat * 2 + static_cast<std::size_t>(kind); }

  std::pmr::vector<ActionItem> items_;
  std::array<Range, 8> ranges_{};
  std::pmr::vector<std::string> calls_;
  std::size_t open_ = 0;
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
// Any other list, such as a win's details: its seats, then the texts of its points and yaku.
// Every element is read and checked, but only the first two are kept, with the length: nothing
// reads the rest, and keeping each text cost an allocation.
struct Details {
  static constexpr std::size_t kKept = 2;
  std::array<JsonValue, kKept> leading{};  // elements past `size` stay null
  std::size_t size = 0;
  // Counts the next element, and keeps it while fewer than kKept are.
  void append(JsonValue&& element) {
    if (size < kKept) leading[size] = std::move(element);
    ++size;
  }
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

using ResultList = std::pmr::vector<ResultItem>;

// One kyoku record: a 17-element array whose meaning is given by position.
struct Inner {
  RecordMemory memory;  // first, so that it goes last
  KyokuHeader header;
  Scores scores{};
  TileList dora_indicators;
  TileList ura_indicators;
  std::array<Hand, 4> start_hands{};
  ActionLists lists;
  ResultList results;

  Inner() = default;
  // An empty record whose lists take their room from `memory`, made where it stays.
  explicit Inner(const RecordMemory& shared)
      : memory(shared),
        dora_indicators(shared.resource()),
        ura_indicators(shared.resource()),
        lists(shared.resource()),
        results(shared.resource()) {}
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
  RecordMemory memory;  // what its kyoku records are made in
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
