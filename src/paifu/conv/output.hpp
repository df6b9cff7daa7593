// Delivering the lines to a file or standard output.
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

// True when the path names standard output: "-" compared component by component, so "-/",
// "-//" and "-/." do as well, while "./-", "/-", "--" and "" name files.
bool is_stdout_path(std::string_view path);

// Writes every line followed by "\n" to standard output (file descriptor 1, each line whole,
// never closed) or to the file at `path`. A regular file (a new one, or one reached through a
// symbolic link) is written as a temporary beside it and renamed into place once complete, so
// that a failure leaves the old file as it was; devices and FIFOs are written directly.
// The lines go out in as few writes as the system allows; on standard output all of them under
// the process's lock for it, so that no other writer of this process splits a line. Fails at
// stage Create or Write, with the errno.
expected<void, Error> deliver_lines(const mjai::Lines& lines, std::string_view path,
                                    const SystemCalls& sys = real_system_calls());

// The converted lines, delivered first to `output_path` when there is one: a conversion that
// failed, or a delivery that failed, is the result.
expected<mjai::Lines, Error> deliver_if_asked(expected<mjai::Lines, Error> lines,
                                              std::optional<std::string_view> output_path, const SystemCalls& sys);

}  // namespace paifu::conv
