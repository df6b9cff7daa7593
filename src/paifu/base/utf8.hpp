// UTF-8 checks for the file text and for paths shown in messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace paifu::utf8 {

// True when the whole text is well-formed UTF-8.
bool is_valid(std::string_view text);

// One step of decoding at a position: a whole character, or the maximal ill-formed
// subsequence that starts there (the longest prefix of a well-formed sequence, at least one
// byte), which lossy decoding turns into one U+FFFD.
struct Step {
  char32_t code_point;  // meaningful when valid
  std::uint8_t length;  // bytes consumed, 1 to 4
  bool valid;
};

// Requires pos < text.size().
Step decode(std::string_view text, std::size_t pos);

// The text with each maximal ill-formed subsequence replaced by one U+FFFD.
std::string to_lossy(std::string_view text);

}  // namespace paifu::utf8
