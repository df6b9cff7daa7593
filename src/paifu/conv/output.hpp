// Turning the event list into lines, and delivering the lines to a file or standard output.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include "paifu/base/expected.hpp"
#include <string>
#include <string_view>
#include <vector>

#include "paifu/mjai/encode.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// One line per event, each encoded into its own buffer; the first failure discards them all.
expected<std::vector<std::string>, mjai::EncodeError> encode_all(const std::vector<mjai::Event>& events);

enum class OutputError { CreateFailed, WriteFailed };

// The system calls the conversion makes, with the system's own signatures and errno
// convention; tests replace them to provoke EINTR, partial writes, full disks and create or
// read failures.
struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* data, size_t size);
  ssize_t (*writev)(int fd, const iovec* parts, int count);
  int (*fstat)(int fd, struct stat* status);
};
const SystemCalls& real_system_calls();

// True when the path names standard output: "-" compared component by component, so "-/",
// "-//" and "-/." do as well, while "./-", "/-", "--" and "" name files.
bool is_stdout_path(std::string_view path);

// Writes every line followed by "\n" to standard output (file descriptor 1, one locked write
// per line, never closed) or to a file created or truncated at `path` (closed on every path).
// The first failing write ends delivery; no later line is written.
expected<void, OutputError> deliver_lines(const std::vector<std::string>& lines, std::string_view path,
                                               const SystemCalls& sys = real_system_calls());

}  // namespace paifu::conv
