#include "paifu/tenhou/json_scan.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

namespace paifu::tenhou::json {
namespace {

// Iterative: the open-container stack lives on the heap, so nesting depth cannot exhaust the
// C++ stack. Insitu: strings are unescaped inside our private copy, so tokens can point at them.
// Numbers are handed over as written; we classify them ourselves. Never add full precision
// number parsing: that mode crashes on some long valid numbers.
constexpr unsigned kScanFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag |
                                rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseValidateEncodingFlag;

constexpr std::uint32_t kMaxCountHint = (1u << 24) - 1;

// A number whose text the scanner was shown in a neutralised form (see scan below).
struct NumberPatch {
  std::size_t offset;
  std::size_t length;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `s` is exactly one JSON number. On success reports the digit counts that decide
// whether the scanner would call it "too big".
bool json_number_shape(std::string_view s, std::size_t& int_digits, std::size_t& exp_digits,
                       bool& exp_negative) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  if (i < n && s[i] == '-') ++i;
  if (i >= n || !is_digit(s[i])) return false;
  const std::size_t int_start = i;
  if (s[i] == '0') {
    ++i;
  } else {
    while (i < n && is_digit(s[i])) ++i;
  }
  int_digits = i - int_start;
  if (i < n && s[i] == '.') {
    ++i;
    if (i >= n || !is_digit(s[i])) return false;
    while (i < n && is_digit(s[i])) ++i;
  }
  exp_digits = 0;
  exp_negative = false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
      exp_negative = s[i] == '-';
      ++i;
    }
    const std::size_t exp_start = i;
    while (i < n && is_digit(s[i])) ++i;
    exp_digits = i - exp_start;
    if (exp_digits == 0) return false;
  }
  return i == n;
}

// The scanner refuses well-formed numbers it deems too large for a double (a positive exponent
// above about 308, even on "0e400", or more than about 308 integer digits). Such numbers are
// valid JSON: under a skipped key they must pass, and elsewhere the reader decides. Finds every
// number that might trip that check, by a light lexical pass that is exact for well-formed text.
std::vector<NumberPatch> find_large_numbers(std::string_view text) {
  std::vector<NumberPatch> patches;
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '"') {
      ++i;
      while (i < n && text[i] != '"') i += (text[i] == '\\') ? 2 : 1;
      ++i;
    } else if (c == '-' || is_digit(c)) {
      std::size_t j = i;
      while (j < n && (is_digit(text[j]) || text[j] == '-' || text[j] == '+' || text[j] == '.' ||
                       text[j] == 'e' || text[j] == 'E')) {
        ++j;
      }
      std::size_t int_digits = 0;
      std::size_t exp_digits = 0;
      bool exp_negative = false;
      if (json_number_shape(text.substr(i, j - i), int_digits, exp_digits, exp_negative) &&
          (int_digits >= 300 || (!exp_negative && exp_digits >= 3))) {
        patches.push_back({i, j - i});
      }
      i = j;
    } else {
      ++i;
    }
  }
  return patches;
}

// Whether decoded string bytes hold a UTF-16 surrogate. Raw input bytes are checked by the
// scanner, which refuses encoded surrogates (ED A0..BF), but it turns a lone low-surrogate
// escape such as "\udc00" into exactly those bytes instead of refusing it. A high surrogate
// escape must be followed by a low one, so ED followed by A0..BF is the only way a decoded
// string can be invalid UTF-8.
bool has_surrogate(const char* s, std::size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  const auto* end = p + n;
  while (p < end) {
    const void* hit = std::memchr(p, 0xED, static_cast<std::size_t>(end - p));
    if (hit == nullptr) return false;
    p = static_cast<const unsigned char*>(hit) + 1;
    if (p < end && *p >= 0xA0) return true;
  }
  return false;
}

class TokenSink : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TokenSink> {
 public:
  TokenSink(Token* tokens, std::size_t capacity, const char* storage, std::string_view text,
            const std::vector<NumberPatch>& patches, bool check_surrogates)
      : tokens_(tokens),
        next_(tokens),
        limit_(tokens + capacity),
        storage_(storage),
        text_(text),
        patches_(patches),
        check_surrogates_(check_surrogates) {}

  bool Null() { return push(nullptr, 0, TokenKind::Null); }
  bool Bool(bool b) { return push(nullptr, 0, b ? TokenKind::True : TokenKind::False); }
  // Only RawNumber is ever called for numbers, given the flags.
  bool Default() { return false; }

  bool RawNumber(const char* s, rapidjson::SizeType length, bool) {
    if (!patches_.empty()) {
      const auto offset = static_cast<std::size_t>(s - storage_);
      while (next_patch_ < patches_.size() && patches_[next_patch_].offset < offset) ++next_patch_;
      if (next_patch_ < patches_.size() && patches_[next_patch_].offset == offset) {
        const NumberPatch& patch = patches_[next_patch_++];
        return push(text_.data() + patch.offset, static_cast<std::uint32_t>(patch.length),
                    TokenKind::Number);
      }
    }
    return push(s, length, TokenKind::Number);
  }

  bool String(const char* s, rapidjson::SizeType length, bool) {
    if (check_surrogates_ && has_surrogate(s, length)) {
      bad_string_ = true;
      return false;
    }
    return push(s, length, TokenKind::String);
  }
  bool Key(const char* s, rapidjson::SizeType length, bool copy) { return String(s, length, copy); }

  bool StartObject() { return open(TokenKind::Object); }
  bool EndObject(rapidjson::SizeType members) { return close(members); }
  bool StartArray() { return open(TokenKind::Array); }
  bool EndArray(rapidjson::SizeType elements) { return close(elements); }

  bool bad_string() const { return bad_string_; }
  std::size_t token_count() const { return static_cast<std::size_t>(next_ - tokens_); }

 private:
  bool push(const char* text, std::uint32_t size, TokenKind kind) {
    if (next_ == limit_) return false;  // cannot happen: the capacity is an upper bound
    *next_++ = Token{text, size, static_cast<std::uint32_t>(kind)};
    return true;
  }
  bool open(TokenKind kind) {
    open_.push_back(static_cast<std::uint32_t>(token_count()));
    return push(nullptr, 0, kind);
  }
  bool close(rapidjson::SizeType count) {
    Token& start = tokens_[open_.back()];
    open_.pop_back();
    start.size = static_cast<std::uint32_t>(token_count());
    start.meta |= std::min<std::uint32_t>(count, kMaxCountHint) << 8;
    return true;
  }

  Token* tokens_;
  Token* next_;
  Token* limit_;
  std::vector<std::uint32_t> open_;
  const char* storage_;
  std::string_view text_;
  const std::vector<NumberPatch>& patches_;
  std::size_t next_patch_ = 0;
  bool check_surrogates_;
  bool bad_string_ = false;
};

struct Attempt {
  rapidjson::ParseResult result;
  bool bad_string = false;
  std::size_t consumed = 0;
};

// The scanner's UTF-8 check reads all bytes of a multi-byte sequence before judging it, so a
// lead byte at the very end reads up to three bytes past the terminating NUL: the copy carries
// a terminator of four NULs.
constexpr std::size_t kTerminatorBytes = 4;

Attempt run_scan(std::string_view text, Document& doc, std::size_t capacity,
                 const std::vector<NumberPatch>& patches, bool check_surrogates) {
  char* storage = doc.storage.get();
  if (!text.empty()) std::memcpy(storage, text.data(), text.size());  // data() may be null
  std::memset(storage + text.size(), '\0', kTerminatorBytes);
  for (const NumberPatch& patch : patches) {
    // "0" followed by spaces keeps the text well-formed exactly when it was before.
    storage[patch.offset] = '0';
    std::memset(storage + patch.offset + 1, ' ', patch.length - 1);
  }
  TokenSink sink(doc.tokens.get(), capacity, storage, text, patches, check_surrogates);
  rapidjson::InsituStringStream stream(storage);
  rapidjson::Reader reader;
  Attempt attempt;
  attempt.result = reader.Parse<kScanFlags>(stream, sink);
  attempt.bad_string = sink.bad_string();
  attempt.consumed = stream.Tell();
  doc.token_count = sink.token_count();
  return attempt;
}

unexpected<Error> refuse(ScanErrorKind kind, std::size_t offset, std::string_view reason) {
  std::string detail(reason);
  detail += " at offset ";
  detail += std::to_string(offset);
  return unexpected(Error{Stage::Parse, static_cast<int>(kind), std::move(detail)});
}

}  // namespace

expected<Document, Error> scan(std::string_view text) {
  // Token indices and string lengths are 32-bit.
  if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
    return refuse(ScanErrorKind::Syntax, 0, "document too large");
  }
  Document doc;
  doc.storage = std::make_unique_for_overwrite<char[]>(text.size() + kTerminatorBytes);
  // Every token but the last is followed by at least one byte of its own (a separator or a
  // closing bracket), so this bounds the token count. Untouched capacity costs no memory.
  const std::size_t capacity = text.size() / 2 + 2;
  doc.tokens = std::make_unique_for_overwrite<Token[]>(capacity);
  // Only an escape can produce a surrogate, and escapes need a backslash.
  const bool check_surrogates = !text.empty() && std::memchr(text.data(), '\\', text.size()) != nullptr;

  std::vector<NumberPatch> patches;
  Attempt attempt = run_scan(text, doc, capacity, patches, check_surrogates);
  if (attempt.result.Code() == rapidjson::kParseErrorNumberTooBig) {
    patches = find_large_numbers(text);
    attempt = run_scan(text, doc, capacity, patches, check_surrogates);
  }

  if (attempt.bad_string) {
    return refuse(ScanErrorKind::Syntax, attempt.result.Offset(), "string is not valid UTF-8 (lone surrogate escape)");
  }
  if (attempt.result.IsError()) {
    const auto kind = attempt.result.Code() == rapidjson::kParseErrorDocumentRootNotSingular
                          ? ScanErrorKind::TrailingCharacters
                          : ScanErrorKind::Syntax;
    return refuse(kind, attempt.result.Offset(), rapidjson::GetParseError_En(attempt.result.Code()));
  }
  // The scanner takes a NUL byte for the end of the text and stops there with success.
  if (attempt.consumed != text.size()) {
    return refuse(ScanErrorKind::TrailingCharacters, attempt.consumed, "unexpected NUL byte after the value");
  }
  return doc;
}

}  // namespace paifu::tenhou::json
