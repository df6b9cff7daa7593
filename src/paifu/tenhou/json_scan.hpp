// A validating JSON scan that turns a whole text into a flat list of tokens. The log reader
// walks these tokens with typed rules; nothing here knows about logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include <memory>
#include <string>
#include <string_view>

namespace paifu::tenhou::json {

enum class TokenKind : std::uint8_t { Null, False, True, Number, String, Array, Object };

// One JSON value, or one object key (a String token that precedes its value). Arrays and objects
// are followed by the tokens of their contents, in document order; members of an object appear
// as key, value, key, value, ...
struct Token {
  // String: the decoded bytes. Number: the number exactly as written. Otherwise unused.
  const char* text;
  // String, Number: the byte length. Array, Object: the index just past the last token inside,
  // so that skipping a whole container is a single jump.
  std::uint32_t size;
  // Low 8 bits: the TokenKind. Array, Object: the upper 24 bits hold the number of elements or
  // members, saturated (a reservation hint only).
  std::uint32_t meta;

  TokenKind kind() const { return static_cast<TokenKind>(meta & 0xFFu); }
  std::uint32_t count_hint() const { return meta >> 8; }
  std::string_view view() const { return {text, size}; }
  bool is_container() const { return kind() == TokenKind::Array || kind() == TokenKind::Object; }
};

// The token list of one text. Token texts point into `storage` or, for a few numbers, into the
// scanned text itself, so the text must outlive the document.
struct Document {
  std::unique_ptr<char[]> storage;
  std::unique_ptr<Token[]> tokens;  // token_count of them; the first is the whole value
  std::size_t token_count = 0;
};

// A refused text fails at stage Parse with one of these as its `number`, and the reason and its
// byte offset as its `detail`.
enum class ScanErrorKind : std::uint8_t { Syntax, TrailingCharacters };


// Checks that `text` is exactly one well-formed JSON value (the four JSON whitespace characters
// around it, strings valid UTF-8 after unescaping) and lists its tokens. Uses no recursion:
// any nesting depth is accepted here; depth limits are the caller's business.
expected<Document, Error> scan(std::string_view text);

}  // namespace paifu::tenhou::json
