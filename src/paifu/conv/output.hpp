// Turning the event list into lines, and delivering the lines to a file or standard output.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "paifu/mjai/encode.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// One line per event, each encoded into its own buffer.
std::expected<std::vector<std::string>, mjai::EncodeError> encode_all(const std::vector<mjai::Event>& events);

enum class OutputError { CreateFailed, WriteFailed };

// The system calls the sink makes; tests replace them to provoke EINTR, partial writes and
// create failures.
struct SystemCalls {
  int (*open)(const char* path, int flags, unsigned mode);
  long (*write)(int fd, const void* data, unsigned long size);
  int (*close)(int fd);
};
const SystemCalls& real_system_calls();

// True when the path names standard output: "-" compared component by component.
bool is_stdout_path(std::string_view path);

// Writes every line followed by "\n" to standard output or to a created file at `path`.
std::expected<void, OutputError> deliver_lines(const std::vector<std::string>& lines, std::string_view path,
                                               const SystemCalls& sys = real_system_calls());

}  // namespace paifu::conv
