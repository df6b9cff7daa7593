#include "paifu/base/utf8.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace paifu::utf8 {
namespace {

// The allowed range of the byte after each lead byte; the bytes after that are always
// 0x80-0xBF. This excludes overlong forms, surrogates and code points past U+10FFFF.
struct Lead {
  std::uint8_t length;  // 0: not a lead byte
  std::uint8_t second_min;
  std::uint8_t second_max;
};

constexpr Lead lead_of(unsigned char b) {
  if (b < 0x80) return {1, 0, 0};
  if (b < 0xC2) return {0, 0, 0};
  if (b < 0xE0) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b < 0xF0) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b < 0xF4) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Moves `pos` past ASCII bytes, many at a time: logs are almost all ASCII.
std::size_t skip_ascii(const unsigned char* bytes, std::size_t size, std::size_t pos) {
#if defined(__SSE2__)
  while (pos + 64 <= size) {
    const auto* block = reinterpret_cast<const __m128i*>(bytes + pos);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                                     _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
    if (_mm_movemask_epi8(any) != 0) break;
    pos += 64;
  }
#endif
  while (pos + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, bytes + pos, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) break;
    pos += 8;
  }
  return pos;
}

}  // namespace

Step decode(std::string_view text, std::size_t pos) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  const unsigned char b0 = bytes[pos];
  const Lead lead = lead_of(b0);
  if (lead.length == 1) return {b0, 1, true};
  if (lead.length == 0) return {0, 1, false};
  if (pos + 1 >= size || bytes[pos + 1] < lead.second_min || bytes[pos + 1] > lead.second_max) {
    return {0, 1, false};
  }
  // The lead byte's payload bits: 5 for two bytes, 4 for three, 3 for four.
  char32_t code_point = b0 & (0x7Fu >> lead.length);
  std::uint8_t taken = 1;
  for (; taken < lead.length; ++taken) {
    if (pos + taken >= size) return {0, taken, false};
    const unsigned char b = bytes[pos + taken];
    if (taken > 1 && !is_continuation(b)) return {0, taken, false};
    code_point = (code_point << 6) | (b & 0x3Fu);
  }
  return {code_point, taken, true};
}

std::string to_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Step step = decode(text, pos);
    if (step.valid) {
      out.append(text, pos, step.length);
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
    }
    pos += step.length;
  }
  return out;
}

bool is_valid(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t pos = 0;
  while (pos < size) {
    pos = skip_ascii(bytes, size, pos);
    if (pos >= size) break;
    if (bytes[pos] < 0x80) {
      ++pos;
      continue;
    }
    const Step step = decode(text, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

}  // namespace paifu::utf8
