// The whole conversion of one log file: read, decode, parse, prepare, replay, encode, deliver.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/system_calls.hpp"
#include "paifu/mjai/lines.hpp"

namespace paifu::conv {

using Lines = mjai::Lines;

// Converts the text of a log held in memory (no file is read or written).
expected<Lines, Error> convert_log_text(std::string_view text);

// Converts the contents of a log file, as convert_log_file does once the file is read: text
// that is not UTF-8 fails at stage Decode, before any parsing.
expected<Lines, Error> convert_log_bytes(std::string_view bytes);

// Reads and converts the log file at `input_path`; when `output_path` is present, also writes
// the lines there (see deliver_lines). Paths are byte strings. Nothing is written unless the
// whole game converted and encoded.
expected<Lines, Error> convert_log_file(std::string_view input_path, std::optional<std::string_view> output_path,
                                        const SystemCalls& sys = real_system_calls());

}  // namespace paifu::conv
