// pugixml is fast and never recurses, but it is lenient: it keeps unknown entity references as
// text, takes "<" inside attribute values, keeps the first of two equal attributes, and so on.
// No Debian library offers a strict check at the speed of pugixml (expat is strict but several
// times slower on mjlogs), so this single pass over the bytes adds the checks that pugixml
// leaves out; the two together accept exactly the well-formed documents that declare no DTD.
#include "paifu/mjlog/xml_check.hpp"

#include <cstddef>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "paifu/base/utf8.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace paifu::mjlog {
namespace {

constexpr bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
constexpr bool is_non_ascii(char c) { return static_cast<unsigned char>(c) >= 0x80; }
// Any non-ASCII character counts as a name character: the names this reader looks at are ASCII.
constexpr bool is_name_start(char c) { return is_ascii_letter(c) || c == '_' || c == ':' || is_non_ascii(c); }

constexpr std::array<bool, 256> make_name_chars() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    table[static_cast<std::size_t>(c)] = is_name_start(ch) || is_digit(ch) || ch == '-' || ch == '.';
  }
  return table;
}
constexpr auto kNameChars = make_name_chars();
bool is_name_char(char c) { return kNameChars[static_cast<unsigned char>(c)]; }

// The bytes that end a run of plain characters: in character data "<", "&" and "]" (for
// "]]>"); in attribute values also the quotes.
constexpr std::array<bool, 256> stop_table(std::string_view stops) {
  std::array<bool, 256> table{};
  for (const char c : stops) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr auto kDataStops = stop_table("<&]");
constexpr auto kValueStops = stop_table("<&\"'");

bool is_xml_char(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// True when none of the 8 bytes is a control character or beyond ASCII: the common case, so it
// is tested a word at a time.
bool is_plain_ascii_word(const char* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  constexpr std::uint64_t kSpaces = 0x2020202020202020;
  // A byte below 0x20 borrows into its high bit when 0x20 is taken from it.
  return ((word | (word - kSpaces)) & kHigh) == 0;
}

#if defined(__SSE2__)
// The same test for 16 bytes: as signed bytes, both the control characters and the bytes beyond
// ASCII are less than 0x20.
__m128i not_plain_ascii(const char* bytes) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  return _mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20));
}

// Moves `pos` past the plain ASCII bytes, 64 and then 16 at a time; stops at (or a little
// before) the first byte that is not.
std::size_t skip_plain_ascii(std::string_view text, std::size_t pos) {
  const char* data = text.data();
  while (pos + 64 <= text.size()) {
    const __m128i any = _mm_or_si128(_mm_or_si128(not_plain_ascii(data + pos), not_plain_ascii(data + pos + 16)),
                                     _mm_or_si128(not_plain_ascii(data + pos + 32), not_plain_ascii(data + pos + 48)));
    if (_mm_movemask_epi8(any) != 0) break;
    pos += 64;
  }
  while (pos + 16 <= text.size()) {
    const int mask = _mm_movemask_epi8(not_plain_ascii(data + pos));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
  return pos;
}
#else
std::size_t skip_plain_ascii(std::string_view text, std::size_t pos) {
  while (pos + 8 <= text.size() && is_plain_ascii_word(text.data() + pos)) pos += 8;
  return pos;
}
#endif

#if defined(__SSE2__)
// The bytes of `chunk` within [low, high], as a mask.
__m128i in_range(__m128i chunk, char low, char high) {
  // Shifted so that `low` becomes the least signed byte: then one signed comparison tells.
  const __m128i shifted = _mm_add_epi8(chunk, _mm_set1_epi8(static_cast<char>(-128 - low)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (high - low) + 1)));
}
#endif

// The end of the run of name characters that starts at `pos`.
std::size_t find_name_end(std::string_view text, std::size_t pos) {
  const char* data = text.data();
#if defined(__SSE2__)
  // Names are short, but their lengths vary: a byte loop would mispredict its end at every name.
  while (pos + 16 <= text.size()) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i letter = in_range(_mm_or_si128(chunk, _mm_set1_epi8(0x20)), 'a', 'z');
    const __m128i dash_dot = in_range(chunk, '-', '.');
    const __m128i digit_colon = in_range(chunk, '0', ':');
    const __m128i underscore = _mm_cmpeq_epi8(chunk, _mm_set1_epi8('_'));
    const __m128i non_ascii = _mm_cmplt_epi8(chunk, _mm_setzero_si128());
    const __m128i name = _mm_or_si128(_mm_or_si128(letter, _mm_or_si128(dash_dot, digit_colon)),
                                      _mm_or_si128(underscore, non_ascii));
    const unsigned others = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFF;
    if (others != 0) return pos + static_cast<std::size_t>(__builtin_ctz(others));
    pos += 16;
  }
#endif
  while (pos < text.size() && is_name_char(data[pos])) ++pos;
  return pos;
}

// The position of the first `quote`, "<" or "&" at or after `pos` (or text.size() when none):
// where a plain attribute value ends.
std::size_t find_value_stop(std::string_view text, std::size_t pos, char quote) {
  const char* data = text.data();
#if defined(__SSE2__)
  const __m128i quotes = _mm_set1_epi8(quote);
  const __m128i less = _mm_set1_epi8('<');
  const __m128i amp = _mm_set1_epi8('&');
  while (pos + 16 <= text.size()) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, quotes),
                                      _mm_or_si128(_mm_cmpeq_epi8(chunk, less), _mm_cmpeq_epi8(chunk, amp)));
    const int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
#endif
  while (pos < text.size() && data[pos] != quote && data[pos] != '<' && data[pos] != '&') ++pos;
  return pos;
}

const char* find_character_fault(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    pos = skip_plain_ascii(text, pos);
    if (pos + 8 <= text.size() && is_plain_ascii_word(text.data() + pos)) {
      pos += 8;
      continue;
    }
    if (pos >= text.size()) break;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if (byte < 0x20 && !is_space(static_cast<char>(byte))) return "a control character";
      ++pos;
      continue;
    }
    const utf8::Step step = utf8::decode(text, pos);
    if (!step.valid) return "text that is not UTF-8";
    if (!is_xml_char(step.code_point)) return "a character outside XML's set";
    pos += step.length;
  }
  return nullptr;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  const char* run() {
    if (starts("\xEF\xBB\xBF")) pos_ += 3;
    if (starts("<?xml") && pos_ + 5 < text_.size() && (is_space(text_[pos_ + 5]) || text_[pos_ + 5] == '?')) {
      if (const char* fault = declaration()) return fault;
    }
    if (const char* fault = misc(true)) return fault;
    if (const char* fault = root_element()) return fault;
    return misc(false);
  }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }
  bool starts(std::string_view prefix) const { return text_.substr(pos_).starts_with(prefix); }
  // The loops below keep the position in a local: the text is chars, which may alias the
  // member, so it would otherwise be stored back at every byte.
  void skip_until(const std::array<bool, 256>& stops) {
    const char* data = text_.data();
    const std::size_t size = text_.size();
    std::size_t pos = pos_;
    while (pos < size && !stops[static_cast<unsigned char>(data[pos])]) ++pos;
    pos_ = pos;
  }
  void skip_space() {
    const char* data = text_.data();
    const std::size_t size = text_.size();
    std::size_t pos = pos_;
    while (pos < size && is_space(data[pos])) ++pos;
    pos_ = pos;
  }

  // Moves past the next `end`; false when there is none.
  bool skip_past(std::string_view end) {
    const std::size_t found = text_.find(end, pos_);
    if (found == std::string_view::npos) return false;
    pos_ = found + end.size();
    return true;
  }

  std::string_view name() {
    const std::size_t start = pos_;
    if (!is_name_start(peek())) return {};
    pos_ = find_name_end(text_, start + 1);
    return text_.substr(start, pos_ - start);
  }

  const char* declaration() {
    const std::size_t start = pos_;
    if (!skip_past("?>")) return "an unterminated XML declaration";
    const std::string_view body = text_.substr(start, pos_ - start);
    const std::size_t encoding = body.find("encoding");
    if (encoding == std::string_view::npos) return nullptr;
    std::string_view value = body.substr(encoding + 8);
    while (!value.empty() && (is_space(value.front()) || value.front() == '=')) value.remove_prefix(1);
    if (value.size() < 7 || (value[0] != '"' && value[0] != '\'')) return "an XML declaration of another encoding";
    std::string_view name = value.substr(1, 5);
    const bool utf8 = (name[0] | 0x20) == 'u' && (name[1] | 0x20) == 't' && (name[2] | 0x20) == 'f' &&
                      name[3] == '-' && name[4] == '8' && value[6] == value[0];
    return utf8 ? nullptr : "an XML declaration of another encoding";
  }

  // Comments, processing instructions and white space before (`prolog`) or after the root.
  const char* misc(bool prolog) {
    for (;;) {
      skip_space();
      if (at_end()) return prolog ? "no root element" : nullptr;
      if (starts("<!--")) {
        if (const char* fault = comment()) return fault;
      } else if (starts("<?")) {
        if (const char* fault = processing_instruction()) return fault;
      } else if (prolog && starts("<!DOCTYPE")) {
        return "a DOCTYPE";
      } else if (prolog && peek() == '<') {
        return nullptr;
      } else {
        return prolog ? "text before the root element" : "text after the root element";
      }
    }
  }

  const char* comment() {
    pos_ += 4;
    if (!skip_past("--")) return "an unterminated comment";
    if (peek() != '>') return "\"--\" inside a comment";
    ++pos_;
    return nullptr;
  }

  const char* processing_instruction() {
    pos_ += 2;
    const std::string_view target = name();
    if (target.empty()) return "a processing instruction without a target";
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
      return "a misplaced XML declaration";
    }
    if (!skip_past("?>")) return "an unterminated processing instruction";
    return nullptr;
  }

  // At "&": one of the five predefined entities or a character reference to an XML character.
  const char* reference() {
    ++pos_;
    if (peek() == '#') {
      ++pos_;
      const bool hex = peek() == 'x';
      if (hex) ++pos_;
      std::uint32_t value = 0;
      const std::size_t start = pos_;
      while (!at_end() && (hex ? is_hex_digit(text_[pos_]) : is_digit(text_[pos_]))) {
        const char c = text_[pos_++];
        const std::uint32_t digit = is_digit(c) ? static_cast<std::uint32_t>(c - '0')
                                                : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF) return "a character reference beyond Unicode";
      }
      if (pos_ == start || peek() != ';') return "a malformed character reference";
      ++pos_;
      return is_xml_char(value) ? nullptr : "a character reference to a character outside XML's set";
    }
    const std::string_view entity = name();
    if (peek() != ';') return "a malformed entity reference";
    ++pos_;
    if (entity == "amp" || entity == "lt" || entity == "gt" || entity == "quot" || entity == "apos") return nullptr;
    return "a reference to an undeclared entity";
  }

  const char* attribute_value() {
    const char quote = peek();
    if (quote != '"' && quote != '\'') return "an attribute value without quotes";
    ++pos_;
    // Most values hold neither "<" nor "&": one scan finds their closing quote.
    const std::size_t stop = find_value_stop(text_, pos_, quote);
    if (stop < text_.size() && text_[stop] == quote) {
      pos_ = stop + 1;
      return nullptr;
    }
    // Otherwise the closing quote is found first, then the value is searched for "<" and "&".
    const void* close = std::memchr(text_.data() + pos_, quote, text_.size() - pos_);
    if (!close) return "an unterminated attribute value";
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(close) - text_.data());
    if (std::memchr(text_.data() + pos_, '<', end - pos_)) return "\"<\" in an attribute value";
    if (!std::memchr(text_.data() + pos_, '&', end - pos_)) {
      pos_ = end + 1;
      return nullptr;
    }
    for (;;) {
      skip_until(kValueStops);
      if (at_end()) return "an unterminated attribute value";
      const char c = text_[pos_];
      if (c == quote) {
        ++pos_;
        return nullptr;
      }
      if (c == '<') return "\"<\" in an attribute value";
      if (c == '&') {
        if (const char* fault = reference()) return fault;
      } else {
        ++pos_;
      }
    }
  }

  bool is_new_attribute(std::string_view attribute) {
    // Elements have a handful of attributes; only a hostile one has many.
    constexpr std::size_t kLinearLimit = 16;
    if (attributes_.size() < kLinearLimit) {
      for (const std::string_view seen : attributes_) {
        if (seen == attribute) return false;
      }
      attributes_.push_back(attribute);
      return true;
    }
    if (attributes_.size() == kLinearLimit) {
      many_attributes_.clear();
      many_attributes_.insert(attributes_.begin(), attributes_.end());
      attributes_.push_back({});  // marks the switch
    }
    return many_attributes_.insert(attribute).second;
  }

  // At "<" of a start tag; `empty` tells whether it was an empty-element tag.
  const char* start_tag(bool& empty) {
    ++pos_;
    if (name().empty()) return "a malformed element name";
    attributes_.clear();
    for (;;) {
      const std::size_t before = pos_;
      skip_space();
      if (peek() == '/') {
        if (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '>') return "a malformed start tag";
        pos_ += 2;
        empty = true;
        return nullptr;
      }
      if (peek() == '>') {
        ++pos_;
        empty = false;
        return nullptr;
      }
      if (pos_ == before) return "a malformed start tag";
      const std::string_view attribute = name();
      if (attribute.empty()) return "a malformed attribute name";
      if (!is_new_attribute(attribute)) return "an attribute given twice";
      skip_space();
      if (peek() != '=') return "an attribute without a value";
      ++pos_;
      skip_space();
      if (const char* fault = attribute_value()) return fault;
    }
  }

  // At "<": most tags of a game are a draw or a discard, a letter and a tile number in an empty
  // tag without attributes ("<T46/>"). Those are passed over at once; false for any other.
  bool skip_tile_tag() {
    if (pos_ + 7 > text_.size()) return false;  // the longest: "<" and "T123/>"
    const char* tag = text_.data() + pos_ + 1;
    if (!is_ascii_letter(tag[0]) || !is_digit(tag[1])) return false;
    std::size_t name_size = 2;
    while (name_size < 4 && is_digit(tag[name_size])) ++name_size;
    if (tag[name_size] != '/' || tag[name_size + 1] != '>') return false;
    pos_ += 1 + name_size + 2;
    return true;
  }

  const char* end_tag() {
    pos_ += 2;
    if (name().empty()) return "a malformed end tag";
    skip_space();
    if (peek() != '>') return "a malformed end tag";
    ++pos_;
    return nullptr;
  }

  const char* root_element() {
    std::size_t depth = 0;
    for (;;) {
      // Character data up to the next markup or reference.
      for (skip_until(kDataStops); !at_end() && text_[pos_] == ']'; skip_until(kDataStops)) {
        if (starts("]]>")) return "\"]]>\" in character data";
        ++pos_;
      }
      if (at_end()) return "an unclosed element";
      if (text_[pos_] == '&') {
        if (depth == 0) return "text outside the root element";
        if (const char* fault = reference()) return fault;
        continue;
      }
      const char after = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
      if (depth > 0 && skip_tile_tag()) continue;
      if (after != '/' && after != '!' && after != '?') {  // the usual case first
        bool empty = false;
        if (const char* fault = start_tag(empty)) return fault;
        if (!empty) ++depth;
        if (depth == 0) return nullptr;
      } else if (after == '/') {
        if (depth == 0) return "an end tag without its start";
        if (const char* fault = end_tag()) return fault;
        if (--depth == 0) return nullptr;
      } else if (starts("<!--")) {
        if (const char* fault = comment()) return fault;
      } else if (starts("<![CDATA[")) {
        if (depth == 0) return "a CDATA section outside the root element";
        if (!skip_past("]]>")) return "an unterminated CDATA section";
      } else if (starts("<?")) {
        if (const char* fault = processing_instruction()) return fault;
      } else {
        return "a markup declaration";
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::vector<std::string_view> attributes_;
  std::unordered_set<std::string_view> many_attributes_;
};

}  // namespace

const char* find_xml_fault(std::string_view text) {
  if (const char* fault = find_character_fault(text)) return fault;
  return Scanner(text).run();
}

}  // namespace paifu::mjlog
