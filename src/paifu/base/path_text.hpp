// How paths appear in failure messages.
#pragma once

#include <string>
#include <string_view>

namespace paifu {

// Open failure: between double quotes; backslash, quotes, tab, CR, LF and NUL escaped with a
// backslash, characters that are not printable or extend a grapheme as \u{hex}, and each byte
// of ill-formed UTF-8 as \xHH.
std::string quoted_path(std::string_view path);
// Create failure: read as UTF-8, each maximal ill-formed subsequence replaced by U+FFFD.
std::string plain_path(std::string_view path);

}  // namespace paifu
