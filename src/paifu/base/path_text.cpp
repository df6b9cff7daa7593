// The two forms in which paths appear in failure messages: quoted (open failure) and plain
// (create failure).
#include <algorithm>
#include <iterator>

#include "paifu/base/path_text.hpp"
#include "paifu/base/utf8.hpp"

namespace paifu {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

#include "paifu/base/unicode_tables.inc"

// Characters that are not printable, or that extend the grapheme before them, are shown by
// their code point.
bool needs_code_point_escape(char32_t c) {
  const auto* end = std::end(kEscapedCodePoints);
  const auto* range = std::upper_bound(std::begin(kEscapedCodePoints), end, c,
                                       [](char32_t value, const CodePointRange& r) { return value < r.first; });
  if (range == std::begin(kEscapedCodePoints)) return false;
  --range;
  return c <= range->last;
}

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

void append_code_point_escape(std::string& out, char32_t c) {
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kLowerHex[c & 0xF];
    c >>= 4;
  } while (c != 0);
  out += "\\u{";
  while (count > 0) out += digits[--count];
  out += '}';
}

}  // namespace

std::string quoted_path(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out += '"';
  std::size_t pos = 0;
  while (pos < path.size()) {
    const utf8::Step step = utf8::decode(path, pos);
    if (!step.valid) {
      // Every byte of an ill-formed sequence is shown by itself.
      for (std::size_t i = 0; i < step.length; ++i) {
        const auto byte = static_cast<unsigned char>(path[pos + i]);
        out += "\\x";
        out += kUpperHex[byte >> 4];
        out += kUpperHex[byte & 0xF];
      }
    } else {
      switch (step.code_point) {
        case U'\\': out += "\\\\"; break;
        case U'"': out += "\\\""; break;
        case U'\'': out += "\\'"; break;
        case U'\t': out += "\\t"; break;
        case U'\r': out += "\\r"; break;
        case U'\n': out += "\\n"; break;
        case U'\0': out += "\\0"; break;
        default:
          if (needs_code_point_escape(step.code_point)) {
            append_code_point_escape(out, step.code_point);
          } else {
            out.append(path, pos, step.length);
          }
      }
    }
    pos += step.length;
  }
  out += '"';
  return out;
}

std::string plain_path(std::string_view path) { return utf8::to_lossy(path); }

}  // namespace paifu
