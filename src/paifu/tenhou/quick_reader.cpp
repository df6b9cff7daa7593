// The quick reader: the SIMD DOM parser validates the text and builds its tape in one fast pass,
// then a typed walk mirrors the exact reader's rules over it. Every rule of the exact reader
// that the DOM cannot see (how a number was written, a lone surrogate escape, the nesting
// budget) is either checked here the same way or makes this reader decline.
#define SIMDJSON_EXCEPTIONS 0
#include <simdjson.h>

#include "paifu/tenhou/quick_reader.hpp"
#include "paifu/tenhou/tile_codes.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#include <tmmintrin.h>
#endif

namespace paifu::tenhou {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// Real logs are tens of kilobytes. Larger texts go to the exact reader, which keeps the memory of
// a huge text within what it has always needed.
constexpr std::size_t kMaxQuickBytes = std::size_t{1} << 20;
// The parser of each thread is kept for the next log up to this size; a larger one is made for
// the text and freed with it, so no thread holds on to more than a small parser.
constexpr std::size_t kMaxRetainedBytes = std::size_t{64} << 10;
// Room made ahead for the elements of one array, at most: a text of many tiny elements (refused
// later, say) then claims no more memory than growth would.
constexpr std::size_t kMaxReservedElements = 4096;
// The DOM's own nesting limit (its parser keeps a slot per level): deeper texts are left to the
// exact reader.
constexpr std::size_t kMaxDomDepth = 256;
// The exact reader's nesting budget: at most this many containers open while reading records.
constexpr int kMaxOpenContainers = 127;

// ---- what the DOM cannot tell ----------------------------------------------------------------

bool is_json_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
bool is_separator(char c) { return c == '[' || c == ',' || c == ':' || is_json_space(c); }

// Whether the "-" at `i` begins the number "-0", which the DOM reads as the integer 0 but the
// exact reader as a floating-point number. Any "-0" after a separator counts (also inside a
// string: declining costs only time); "-0.5" and "-0e1" are floating point either way.
bool is_negative_zero_at(const char* data, std::size_t size, std::size_t i) {
  if (i + 1 >= size || data[i + 1] != '0' || (i > 0 && !is_separator(data[i - 1]))) return false;
  const char next = i + 2 < size ? data[i + 2] : ' ';
  return next != '.' && next != 'e' && next != 'E';
}

bool is_surrogate_lead(char first, char second) {
  const bool d = first == 'd' || first == 'D';
  return d && ((second >= '8' && second <= '9') || (second >= 'a' && second <= 'f') || (second >= 'A' && second <= 'F'));
}

// Whether the "\" at `i` begins a "\uD800".."\uDFFF" escape: the two readers need not agree on
// lone surrogates, so such texts are left to the exact reader.
bool is_surrogate_escape_at(const char* data, std::size_t size, std::size_t i) {
  return i + 3 < size && data[i + 1] == 'u' && is_surrogate_lead(data[i + 2], data[i + 3]);
}

bool is_doubt_at(const char* data, std::size_t size, std::size_t i) {
  if (data[i] == '-') return is_negative_zero_at(data, size, i);
  return data[i] == '\\' && is_surrogate_escape_at(data, size, i);
}

#if defined(__SSE2__)
// The processor's AVX-512, where it has it, reads 64 bytes at a time.
#define PAIFU_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt")))
PAIFU_AVX512 inline std::uint64_t equal(__m512i bytes, char c) {
  return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(c));
}

// The search below, 64 positions at a time; returns where it stopped, `found` set when it found a
// doubt.
PAIFU_AVX512 std::size_t search_doubt_wide(const char* data, std::size_t size, bool& found) {
  std::size_t i = 0;
  for (; i + 65 <= size; i += 64) {
    const __m512i here = _mm512_loadu_si512(data + i);
    const __m512i next = _mm512_loadu_si512(data + i + 1);
    std::uint64_t pairs = (equal(here, '-') & equal(next, '0')) | (equal(here, '\\') & equal(next, 'u'));
    for (; pairs != 0; pairs &= pairs - 1) {
      if (is_doubt_at(data, size, i + static_cast<std::size_t>(__builtin_ctzll(pairs)))) {
        found = true;
        return i;
      }
    }
  }
  return i;
}

std::atomic<bool> g_wide_vectors_allowed{true};

bool has_avx512() {
  static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
  return supported && g_wide_vectors_allowed.load(std::memory_order_relaxed);
}
#endif

// Whether the text may hold "-0" or a surrogate escape. One pass looks for the pairs "-0" and
// "\u", sixteen positions at a time, and tests each one it finds (they are rare in logs, where
// "-" alone is common).
bool may_hold_doubt(std::string_view text) {
  const char* data = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  if (has_avx512()) {
    bool found = false;
    i = search_doubt_wide(data, size, found);
    if (found) return true;
  }
  for (; i + 17 <= size; i += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    const __m128i minus_zero = _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('-')), _mm_cmpeq_epi8(next, _mm_set1_epi8('0')));
    const __m128i escape_u = _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(next, _mm_set1_epi8('u')));
    for (auto pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(minus_zero, escape_u))); pairs != 0;
         pairs &= pairs - 1) {
      if (is_doubt_at(data, size, i + static_cast<std::size_t>(__builtin_ctz(pairs)))) return true;
    }
  }
#endif
  for (; i < size; ++i) {
    if (is_doubt_at(data, size, i)) return true;
  }
  return false;
}

// Whether the text is laid out over many lines (pretty-printed). The DOM needs about fifteen bytes
// for every byte of text, whitespace included, and such a text is mostly whitespace (three bytes in
// four in real logs): it is read from a compact copy instead. A sample of the start tells:
// compact logs hold no line feeds at all.
bool is_laid_out_in_lines(std::string_view text) {
  constexpr std::size_t kSampleBytes = 4096;
  constexpr int kMaxLineFeeds = 64;
  const std::string_view sample = text.substr(0, kSampleBytes);
  // From line feed to line feed: a compact log is one search that finds none.
  const char* at = sample.data();
  const char* const end = at + sample.size();
  for (int seen = 0; (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at))));
       ++at) {
    if (++seen > kMaxLineFeeds) return true;
  }
  return false;
}

bool is_structural(char c) { return c == '[' || c == ']' || c == '{' || c == '}' || c == ',' || c == ':'; }

// Where a copy without whitespace stands between two bytes of the text: inside a string or not,
// and what the whitespace removed last stood after.
struct CompactState {
  bool in_string = false;
  bool escaped = false;        // the last byte was a backslash inside a string
  bool last_was_atom = false;  // the last byte belongs to a token: not whitespace, not structural
  bool space_after_atom = false;  // in a run of whitespace that follows a token
  bool joined = false;  // a run of whitespace stood between two tokens, which the copy would join
};

// One byte, as the copy takes it.
void compact_byte(char c, CompactState& state, char*& out) {
  if (state.in_string) {
    *out++ = c;
    if (state.escaped) {
      state.escaped = false;
    } else if (c == '\\') {
      state.escaped = true;
    } else if (c == '"') {
      state.in_string = false;
    }
    state.last_was_atom = true;
    return;
  }
  if (is_json_space(c)) {
    state.space_after_atom |= state.last_was_atom;
    state.last_was_atom = false;
    return;
  }
  const bool atom = !is_structural(c);
  state.joined |= state.space_after_atom && atom;
  state.space_after_atom = false;
  state.last_was_atom = atom;
  state.in_string = c == '"';
  *out++ = c;
}

// A run of bytes, one at a time (around escapes, and at the end of the text).
void compact_bytes(std::string_view bytes, CompactState& state, char*& out) {
  for (const char c : bytes) compact_byte(c, state, out);
}

#if defined(__SSE2__)
// The bytes of 64 that a copy tells apart, one bit each.
struct BlockMasks {
  std::uint64_t quotes = 0;
  std::uint64_t backslashes = 0;
  std::uint64_t spaces = 0;
  std::uint64_t structurals = 0;
};

BlockMasks block_masks(const char* data) {
  BlockMasks masks;
  const auto bits = [](__m128i hits, int part) {
    return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))} << (16 * part);
  };
  const auto equal = [](__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * part));
    // "[" and "{", "]" and "}" differ only in the bit 0x20.
    const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    masks.quotes |= bits(equal(bytes, '"'), part);
    masks.backslashes |= bits(equal(bytes, '\\'), part);
    masks.spaces |= bits(_mm_or_si128(_mm_or_si128(equal(bytes, ' '), equal(bytes, '\n')),
                                      _mm_or_si128(equal(bytes, '\r'), equal(bytes, '\t'))),
                         part);
    masks.structurals |= bits(_mm_or_si128(_mm_or_si128(equal(folded, '{'), equal(folded, '}')),
                                           _mm_or_si128(equal(bytes, ','), equal(bytes, ':'))),
                              part);
  }
  return masks;
}

// Each bit the exclusive or of itself and all bits below it: set from an opening quote up to,
// not including, its closing one.
std::uint64_t prefix_xor(std::uint64_t bits) {
  for (int shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
  return bits;
}

// For each set of kept bytes among 8, where each comes from: the shuffle that packs them.
struct PackShuffles {
  alignas(16) std::array<std::array<std::uint8_t, 8>, 256> indices{};
  std::array<std::uint8_t, 256> counts{};  // a table: not every processor with shuffles counts bits
  PackShuffles() {
    for (unsigned kept = 0; kept < 256; ++kept) {
      std::uint8_t next = 0;
      for (std::uint8_t i = 0; i < 8; ++i) {
        if (kept & (1u << i)) indices[kept][next++] = i;
      }
      counts[kept] = next;
    }
  }
};
const PackShuffles kPackShuffles;

// Copies the bytes of the 64 at `data` whose bit is set in `kept`, in order. Eight at a time
// with a byte shuffle where the processor has one (each store may write up to eight bytes past
// what it keeps: the copy's buffer has room), else one at a time.
__attribute__((target("ssse3"))) void copy_kept_shuffled(const char* data, std::uint64_t kept, char*& out) {
  for (int part = 0; part < 8; ++part) {
    const auto bits = static_cast<std::uint8_t>(kept >> (8 * part));
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + 8 * part));
    const __m128i shuffle = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPackShuffles.indices[bits].data()));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(bytes, shuffle));
    out += kPackShuffles.counts[bits];
  }
}

void copy_kept(const char* data, std::uint64_t kept, char*& out) {
  static const bool shuffles = __builtin_cpu_supports("ssse3");
  if (shuffles) {
    copy_kept_shuffled(data, kept, out);
    return;
  }
  for (; kept != 0; kept &= kept - 1) *out++ = data[__builtin_ctzll(kept)];
}

// Which bytes of a block without a backslash a copy keeps (escapes are left to the byte-wise
// copy). Runs of whitespace outside strings are dropped; a run that stands after a token is
// followed through by an addition, whose carry lands on the byte after the run: the copy would
// join the two tokens when that byte begins one.
[[gnu::always_inline]] inline std::uint64_t kept_bytes(const BlockMasks& masks, CompactState& state) {
  const std::uint64_t strings = prefix_xor(masks.quotes) ^ (state.in_string ? ~std::uint64_t{0} : 0);
  const std::uint64_t spaces = masks.spaces & ~strings;
  const std::uint64_t atoms = ~spaces & ~(masks.structurals & ~strings);
  const std::uint64_t run_starts = ((atoms & (spaces >> 1)) << 1) |
                                   std::uint64_t{state.space_after_atom || (state.last_was_atom && (spaces & 1))};
  std::uint64_t followed = 0;
  const bool carried = __builtin_add_overflow(spaces, run_starts, &followed);
  state.joined |= (followed & ~spaces & atoms) != 0;
  state.space_after_atom = carried;
  state.last_was_atom = (atoms >> 63) != 0;
  state.in_string = (strings >> 63) != 0;
  return ~spaces;
}

// The blocks of 64 bytes that fit in `text`, with AVX-512: one compare per kind of byte, and the
// kept bytes packed by one compress. Each store writes 64 bytes, past what it keeps: the copy's
// buffer has room. Returns where the blocks end.
PAIFU_AVX512 std::size_t compact_blocks_compressed(std::string_view text, CompactState& state, char*& out) {
  // Locals, which the stores through the copy's pointer cannot alias.
  CompactState here = state;
  char* to = out;
  std::size_t at = 0;
  for (; at + 64 <= text.size(); at += 64) {
    const char* block = text.data() + at;
    const __m512i bytes = _mm512_loadu_si512(block);
    if (here.escaped || equal(bytes, '\\') != 0) {
      // Through copies, so that `here` and `to` stay in registers.
      CompactState bytewise = here;
      char* bytewise_to = to;
      compact_bytes(std::string_view(block, 64), bytewise, bytewise_to);
      here = bytewise;
      to = bytewise_to;
      continue;
    }
    // "[" and "{", "]" and "}" differ only in the bit 0x20.
    const __m512i folded = _mm512_or_si512(bytes, _mm512_set1_epi8(0x20));
    BlockMasks masks;
    masks.quotes = equal(bytes, '"');
    masks.spaces = equal(bytes, ' ') | equal(bytes, '\n') | equal(bytes, '\r') | equal(bytes, '\t');
    masks.structurals = equal(folded, '{') | equal(folded, '}') | equal(bytes, ',') | equal(bytes, ':');
    const std::uint64_t kept = kept_bytes(masks, here);
    _mm512_storeu_si512(to, _mm512_maskz_compress_epi8(kept, bytes));
    to += __builtin_popcountll(kept);
  }
  state = here;
  out = to;
  return at;
}
#undef PAIFU_AVX512
#endif

// A copy of a text without the whitespace between its tokens, with the padding the parser reads past
// the end, kept by each thread for the next log.
class CompactCopy {
 public:
  // Copies `text` without its whitespace outside strings. False when a removed run stood between
  // two tokens ("1 2", "tr ue"): the copy would read them as one, so the text is left to the exact
  // reader. Strings are copied as they stand (a control character in one is refused by the
  // parser as it would be in place).
  bool copy(std::string_view text) {
    reserve(text.size());
    char* out = buffer_.get();
    CompactState state;
    std::size_t at = 0;
#if defined(__SSE2__)
    constexpr std::size_t kBlock = 64;
    if (has_avx512()) at = compact_blocks_compressed(text, state, out);
    for (; at + kBlock <= text.size(); at += kBlock) {
      const char* block = text.data() + at;
      const BlockMasks masks = block_masks(block);
      if (state.escaped || masks.backslashes != 0) {
        compact_bytes(std::string_view(block, kBlock), state, out);
      } else {
        copy_kept(block, kept_bytes(masks, state), out);
      }
    }
#endif
    compact_bytes(text.substr(at), state, out);
    size_ = static_cast<std::size_t>(out - buffer_.get());
    std::memset(out, 0, simdjson::SIMDJSON_PADDING);
    return !state.joined;
  }

  std::string_view text() const { return {buffer_.get(), size_}; }

  // Large copies are not kept, as the parser of each thread is not.
  void release_if_large() {
    if (capacity_ > kMaxRetainedBytes) *this = CompactCopy();
  }

 private:
  void reserve(std::size_t size) {
    if (capacity_ >= size) return;
    buffer_ = std::make_unique_for_overwrite<char[]>(size + simdjson::SIMDJSON_PADDING);
    capacity_ = size;
  }

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// ---- the typed walk ----------------------------------------------------------------------------

// The reader's vocabulary, as in the exact reader.
enum class LogField : int { Log, Name, Rule, Ratingc, Lobby, Dan, Rate, Sx, Unknown };
constexpr std::array<std::string_view, 8> kLogFieldNames = {"log", "name", "rule", "ratingc",
                                                             "lobby", "dan", "rate", "sx"};
enum class RuleField : int { Disp, Aka, Aka51, Aka52, Aka53, Unknown };
constexpr std::array<std::string_view, 5> kRuleFieldNames = {"disp", "aka", "aka51", "aka52", "aka53"};

template <class Field, std::size_t N>
Field field_of(std::string_view key, const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i) {
    if (key == names[i]) return static_cast<Field>(i);
  }
  return Field::Unknown;
}

// Every step returns false to decline: either the exact reader refuses the text, or this reader
// cannot vouch for the value. No reason is kept; the exact reader gives it.
class QuickWalk {
 public:
  bool document(element root, RawLog& log) {
    if (root.type() == element_type::OBJECT) return log_object(root, log);
    if (root.type() == element_type::ARRAY) return log_array(root, log);
    return false;
  }

 private:
  bool open() {
    if (open_ >= kMaxOpenContainers) return false;
    ++open_;
    return true;
  }
  void close() { --open_; }

  // Calls elem(e) for each element of an array, after making room in `out` for them all.
  template <class Vector, class F>
  bool each_element(element a, Vector& out, F&& elem) {
    simdjson::dom::array array;
    if (a.get_array().get(array) || !open()) return false;
    out.reserve(std::min<std::size_t>(array.size(), kMaxReservedElements));
    for (element e : array) {
      if (!elem(e)) return false;
    }
    close();
    return true;
  }

  // Calls elem(k, e) for positions k = 0..n-1 of an array of exactly n elements.
  template <class F>
  bool fixed_elements(element a, std::size_t n, F&& elem) {
    simdjson::dom::array array;
    if (a.get_array().get(array) || !open()) return false;
    std::size_t k = 0;
    for (element e : array) {
      if (k == n || !elem(k, e)) return false;
      ++k;
    }
    if (k != n) return false;
    close();
    return true;
  }

  // ---- scalars ----

  static bool read_string(element e, std::string& out) {
    std::string_view text;
    if (e.get_string().get(text)) return false;
    out.assign(text);
    return true;
  }

  // An integer within [min, max] of Int; a floating-point value is refused as it is exactly.
  template <class Int>
  static bool read_integer(element e, Int& out) {
    std::int64_t value = 0;
    if (e.type() != element_type::INT64 || e.get_int64().get(value)) return false;  // UINT64 is beyond every Int
    if (value < static_cast<std::int64_t>(std::numeric_limits<Int>::min()) ||
        value > static_cast<std::int64_t>(std::numeric_limits<Int>::max())) {
      return false;
    }
    out = static_cast<Int>(value);
    return true;
  }

  static bool read_tile(element e, Tile& out) {
    std::uint8_t code = 0;
    if (!read_integer(e, code)) return false;
    const std::optional<Tile> tile = kTileCodes.tiles[code];
    if (!tile) return false;
    out = *tile;
    return true;
  }

  // A double the exact reader reads to the same value: both round correctly, so only zero,
  // subnormal values (where the exact reader may flush an underflow) are left to it.
  static bool read_double_value(element e, double& out) {
    switch (e.type()) {
      case element_type::INT64: {
        std::int64_t value = 0;
        if (e.get_int64().get(value)) return false;
        out = static_cast<double>(value);  // an integer rounds to its nearest double either way
        return true;
      }
      case element_type::UINT64: {
        std::uint64_t value = 0;
        if (e.get_uint64().get(value)) return false;
        out = static_cast<double>(value);
        return true;
      }
      case element_type::DOUBLE: {
        double value = 0;
        if (e.get_double().get(value) || !std::isnormal(value)) return false;
        out = value;
        return true;
      }
      default: return false;
    }
  }

  // ---- generic values ----

  bool generic(element e, JsonValue& out) {
    switch (e.type()) {
      case element_type::NULL_VALUE: out.value = nullptr; return true;
      case element_type::BOOL: {
        bool value = false;
        if (e.get_bool().get(value)) return false;
        out.value = value;
        return true;
      }
      case element_type::INT64: {
        std::int64_t value = 0;
        if (e.get_int64().get(value)) return false;
        if (value >= 0) {
          out.value = static_cast<std::uint64_t>(value);
        } else {
          out.value = value;
        }
        return true;
      }
      case element_type::UINT64: {
        std::uint64_t value = 0;
        if (e.get_uint64().get(value)) return false;
        out.value = value;
        return true;
      }
      case element_type::DOUBLE: {
        double value = 0;
        if (!read_double_value(e, value)) return false;
        out.value = value;
        return true;
      }
      case element_type::STRING: {
        std::string text;
        if (!read_string(e, text)) return false;
        out.value = std::move(text);
        return true;
      }
      case element_type::ARRAY: {
        JsonArray elements;
        if (!generic_elements(e, elements)) return false;
        out.value = std::move(elements);
        return true;
      }
      case element_type::OBJECT: {
        simdjson::dom::object object;
        if (e.get_object().get(object) || !open()) return false;
        JsonObject members;
        members.reserve(object.size());
        for (simdjson::dom::key_value_pair member : object) {
          members.push_back(JsonMember{std::string(member.key), {}});
          if (!generic(member.value, members.back().value)) return false;
        }
        close();
        out.value = std::move(members);
        return true;
      }
    }
    return false;
  }

  bool generic_elements(element a, JsonArray& out) {
    return each_element(a, out, [&](element e) {
      out.emplace_back();
      return generic(e, out.back());
    });
  }

  // Whether the exact reader, reading `e` as a generic value, stays within its nesting budget:
  // the DOM has checked the rest (a number it accepts, the exact reader accepts too).
  bool within_budget(element e) {
    simdjson::dom::array array;
    simdjson::dom::object object;
    if (!e.get_array().get(array)) {
      if (!open()) return false;
      for (element x : array) {
        if (!within_budget(x)) return false;
      }
      close();
    } else if (!e.get_object().get(object)) {
      if (!open()) return false;
      for (simdjson::dom::key_value_pair member : object) {
        if (!within_budget(member.value)) return false;
      }
      close();
    }
    return true;
  }

  // The first elements read as generic values, the rest only checked.
  bool detail_elements(simdjson::dom::array array, Details& out) {
    if (!open()) return false;
    for (element e : array) {
      if (out.size < Details::kKept ? !generic(e, out.leading[out.size]) : !within_budget(e)) return false;
      ++out.size;
    }
    close();
    return true;
  }

  // ---- draw, discard and result elements ----

  // A tile code or marker (a number 0..255 written as an integer), or a call string; any other
  // element is refused by the exact reader.
  // Written through a pointer into room made for the whole list: stores into a growing vector
  // would reload its ends after every element. A list longer than any game's is left to the
  // exact reader.
  bool action_list(element a, ActionLists& lists, ActionLists::Kind kind, std::size_t seat) {
    simdjson::dom::array array;
    if (a.get_array().get(array) || !open()) return false;
    const std::size_t count = array.size();
    if (count > kMaxReservedElements) return false;
    ActionItem* out = lists.open_room(kind, seat, count);
    std::size_t written = 0;
    for (element e : array) {
      if (written == count) return false;
      if (e.type() == element_type::STRING) {
        std::string_view text;
        if (e.get_string().get(text)) return false;
        out[written++] = lists.keep_call(text);
        continue;
      }
      std::uint8_t code = 0;
      if (!read_integer(e, code)) return false;
      out[written++] = kTileCodes.items[code];
    }
    lists.close_room(written);
    close();
    return true;
  }

  // Exactly four integers within the signed 32-bit range.
  static bool is_deltas(simdjson::dom::array array, Deltas& out) {
    std::size_t k = 0;
    for (element e : array) {
      if (k == 4 || !read_integer(e, out.values[k])) return false;
      ++k;
    }
    return k == 4;
  }

  // The forms in order: Label, Deltas, Details.
  bool result_item(element e, ResultList& out) {
    if (e.type() == element_type::STRING) {
      std::string text;
      if (!read_string(e, text)) return false;
      out.emplace_back(Label{std::move(text)});
      return true;
    }
    simdjson::dom::array array;
    if (e.get_array().get(array)) return false;
    Deltas deltas;
    if (is_deltas(array, deltas)) {
      if (!open()) return false;
      close();
      out.emplace_back(deltas);
      return true;
    }
    Details details;
    if (!detail_elements(array, details)) return false;
    out.emplace_back(std::move(details));
    return true;
  }

  // ---- the kyoku record ----

  bool tile_list(element a, TileList& out) {
    return each_element(a, out, [&](element e) {
      Tile tile;
      if (!read_tile(e, tile)) return false;
      out.push_back(tile);
      return true;
    });
  }

  bool kyoku_field(std::size_t k, element e, Inner& out) {
    switch (k) {
      case 0:
        return fixed_elements(e, 3, [&](std::size_t h, element v) {
          return read_integer(v, h == 0 ? out.header.kyoku : h == 1 ? out.header.honba : out.header.kyotaku);
        });
      case 1: return fixed_elements(e, 4, [&](std::size_t s, element v) { return read_integer(v, out.scores[s]); });
      case 2: return tile_list(e, out.dora_indicators);
      case 3: return tile_list(e, out.ura_indicators);
      case 16: return each_element(e, out.results, [&](element v) { return result_item(v, out.results); });
      default: {
        const std::size_t seat = (k - 4) / 3;
        switch ((k - 4) % 3) {
          case 0:
            return fixed_elements(e, 13, [&](std::size_t t, element v) { return read_tile(v, out.start_hands[seat][t]); });
          case 1: return action_list(e, out.lists, ActionLists::Kind::Draws, seat);
          default: return action_list(e, out.lists, ActionLists::Kind::Discards, seat);
        }
      }
    }
  }

  bool kyoku(element a, Inner& out) {
    return fixed_elements(a, 17, [&](std::size_t k, element e) { return kyoku_field(k, e, out); });
  }

  // ---- RawLog and Rule ----

  bool string_list(element a, std::vector<std::string>& out) {
    return each_element(a, out, [&](element e) {
      out.emplace_back();
      return read_string(e, out.back());
    });
  }

  static bool rule_field(RuleField field, element e, Rule& rule) {
    switch (field) {
      case RuleField::Disp: return read_string(e, rule.disp);
      case RuleField::Aka: return read_integer(e, rule.aka);
      case RuleField::Aka51: return read_integer(e, rule.aka51);
      case RuleField::Aka52: return read_integer(e, rule.aka52);
      case RuleField::Aka53: return read_integer(e, rule.aka53);
      case RuleField::Unknown: break;
    }
    return true;
  }

  bool rule(element r, Rule& out) {
    if (r.type() == element_type::OBJECT) {
      simdjson::dom::object object;
      if (r.get_object().get(object) || !open()) return false;
      std::array<bool, 5> seen{};
      for (simdjson::dom::key_value_pair member : object) {
        const auto field = field_of<RuleField>(member.key, kRuleFieldNames);
        if (field == RuleField::Unknown) continue;
        if (std::exchange(seen[static_cast<std::size_t>(field)], true)) return false;  // a duplicate
        if (!rule_field(field, member.value, out)) return false;
      }
      close();
      return true;
    }
    // The array form may stop early; missing positions keep their defaults.
    simdjson::dom::array array;
    if (r.get_array().get(array) || !open()) return false;
    int k = 0;
    for (element e : array) {
      if (k == 5 || !rule_field(static_cast<RuleField>(k), e, out)) return false;
      ++k;
    }
    close();
    return true;
  }

  // Optional fields: null holds no value.
  template <class T, class F>
  static bool optional_field(element e, std::optional<T>& out, F&& read) {
    if (e.is_null()) {
      out.reset();
      return true;
    }
    out.emplace();
    return read(e, *out);
  }

  bool log_field(LogField field, element e, RawLog& log) {
    switch (field) {
      case LogField::Log:
        return each_element(e, log.log, [&](element k) {
          log.log.emplace_back(log.memory);
          return kyoku(k, log.log.back());
        });
      case LogField::Name:
        return fixed_elements(e, 4, [&](std::size_t k, element v) { return read_string(v, log.name[k]); });
      case LogField::Rule: return rule(e, log.rule);
      case LogField::Ratingc: return optional_field(e, log.ratingc, [](element v, std::string& s) { return read_string(v, s); });
      case LogField::Lobby: return optional_field(e, log.lobby, [](element v, std::int32_t& n) { return read_integer(v, n); });
      case LogField::Dan:
        return optional_field(e, log.dan, [&](element v, std::vector<std::string>& l) { return string_list(v, l); });
      case LogField::Rate:
        return optional_field(e, log.rate, [&](element v, std::vector<double>& l) {
          return each_element(v, l, [&](element x) {
            l.emplace_back();
            return read_double_value(x, l.back());
          });
        });
      case LogField::Sx:
        return optional_field(e, log.sx, [&](element v, std::vector<std::string>& l) { return string_list(v, l); });
      case LogField::Unknown: break;
    }
    return true;
  }

  bool log_object(element o, RawLog& log) {
    simdjson::dom::object object;
    if (o.get_object().get(object) || !open()) return false;
    std::array<bool, 8> seen{};
    for (simdjson::dom::key_value_pair member : object) {
      const auto field = field_of<LogField>(member.key, kLogFieldNames);
      if (field == LogField::Unknown) continue;  // skipped whole, whatever it holds
      if (std::exchange(seen[static_cast<std::size_t>(field)], true)) return false;  // a duplicate
      if (!log_field(field, member.value, log)) return false;
    }
    close();
    return seen[0] && seen[1] && seen[2];
  }

  bool log_array(element a, RawLog& log) {
    return fixed_elements(a, 8, [&](std::size_t k, element e) { return log_field(static_cast<LogField>(k), e, log); });
  }

  int open_ = 0;
};

// The parser of this thread, kept between logs (its buffers are reused, which is most of its speed).
simdjson::dom::parser& thread_parser() {
  thread_local simdjson::dom::parser parser(kMaxRetainedBytes);
  return parser;
}

// `padded` says whether the parser may read past the end of `text` (a compact copy's padding).
std::optional<RawLog> walk(simdjson::dom::parser& parser, std::string_view text, bool padded) {
  // A new parser is sized here, with the small depth limit it then keeps as it grows.
  if (parser.capacity() == 0 && parser.allocate(text.size(), kMaxDomDepth)) return std::nullopt;
  element root;
  if (parser.parse(text.data(), text.size(), !padded).get(root)) return std::nullopt;
  RawLog log;
  if (!QuickWalk().document(root, log)) return std::nullopt;
  return log;
}

std::optional<RawLog> read_compact(std::string_view text, bool padded) {
  if (may_hold_doubt(text)) return std::nullopt;
  if (text.size() <= kMaxRetainedBytes) return walk(thread_parser(), text, padded);
  simdjson::dom::parser parser(kMaxQuickBytes);
  return walk(parser, text, padded);
}

std::optional<RawLog> read_laid_out(std::string_view text) {
  thread_local CompactCopy compact;
  std::optional<RawLog> log;
  if (compact.copy(text)) log = read_compact(compact.text(), true);
  compact.release_if_large();
  return log;
}

}  // namespace

void allow_wide_vectors(bool allowed) {
#if defined(__SSE2__)
  g_wide_vectors_allowed.store(allowed, std::memory_order_relaxed);
#else
  static_cast<void>(allowed);
#endif
}

std::optional<RawLog> read_log_quickly(std::string_view text) {
  if (text.empty() || text.size() > kMaxQuickBytes) return std::nullopt;
  // A byte order mark is refused by the exact reader; the parser is not asked about it.
  if (text.front() == '\xEF') return std::nullopt;
  if (is_laid_out_in_lines(text)) return read_laid_out(text);
  return read_compact(text, false);
}

}  // namespace paifu::tenhou
