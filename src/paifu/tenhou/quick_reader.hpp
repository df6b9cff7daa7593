// A fast first reading of a log through a SIMD DOM parser. It accepts only what it can prove the
// exact reader accepts, into the same records; on any doubt it declines and the exact reader
// decides (and gives the reason of a refusal).
#pragma once

#include <optional>
#include <string_view>

#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {

// The log the exact reader would read from `text`, or nothing when this reader declines: a
// refused text, or one whose reading it cannot vouch for ("-0", a surrogate escape, a
// floating-point value outside the normal range, a number beyond 64 bits, deep nesting, a text
// larger than real logs are). A text laid out over many lines is read from a compact copy of it.
std::optional<RawLog> read_log_quickly(std::string_view text);

// Whether the reader may use the processor's widest vectors (AVX-512) where it has them; on by
// default. Off, it takes the paths every x86-64 processor has: tests read through both.
void allow_wide_vectors(bool allowed);

}  // namespace paifu::tenhou
