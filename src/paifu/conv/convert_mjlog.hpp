// The whole conversion of one mjlog file: read, gunzip when compressed, read the XML, encode,
// deliver.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/gzip.hpp"
#include "paifu/base/system_calls.hpp"
#include "paifu/conv/convert.hpp"

namespace paifu::conv {

// True for the names the dataset command reads as mjlogs: *.mjlog, *.xml, and either with ".gz".
bool is_mjlog_name(std::string_view path);

// Converts the contents of an mjlog file: gzip when they begin as gzip does (whatever the file's
// name), decompressed into `scratch` with `codec`, else the XML itself. `bytes` is parsed in
// place, so it is changed.
expected<Lines, Error> convert_mjlog_bytes(std::string& bytes, GzipCodec& codec, std::string& scratch);

// Reads and converts the mjlog file at `input_path`; when `output_path` is present, also writes
// the lines there (see deliver_lines). Nothing is written unless the whole game converted.
expected<Lines, Error> convert_mjlog_file(std::string_view input_path, std::optional<std::string_view> output_path,
                                          const SystemCalls& sys = real_system_calls());

}  // namespace paifu::conv
