#include "paifu/conv/output.hpp"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "paifu/base/file_io.hpp"

namespace paifu::conv {
namespace {

constexpr int kStdoutFd = 1;

// Serialises this process's writers of standard output, so a line is never split.
std::mutex& stdout_mutex() {
  static std::mutex mutex;
  return mutex;
}

Error failure(Stage stage) { return Error{stage, errno, {}}; }

// The whole text in one part; write_fully continues a partial write.
bool write_text(const SystemCalls& sys, int fd, std::string_view text) {
  iovec part{const_cast<char*>(text.data()), text.size()};
  return write_fully(sys, fd, std::span<iovec>(&part, 1));
}

expected<void, Error> write_stdout(const mjai::Lines& lines, const SystemCalls& sys) {
  const std::lock_guard lock(stdout_mutex());
  if (!write_text(sys, kStdoutFd, lines.text())) return unexpected(failure(Stage::Write));
  return {};
}

// Writes and closes; a failed close is a failed write (a late error on a network file system).
expected<void, Error> fill(const SystemCalls& sys, FileDescriptor& file, const mjai::Lines& lines) {
  if (!write_text(sys, file.get(), lines.text())) {
    const Error error = failure(Stage::Write);
    (void)file.close();
    return unexpected(error);
  }
  if (!file.close()) return unexpected(failure(Stage::Write));
  return {};
}

expected<void, Error> write_directly(const mjai::Lines& lines, const std::string& path,
                                     const SystemCalls& sys) {
  const int fd = open_retrying(sys, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return unexpected(failure(Stage::Create));
  FileDescriptor file(sys, fd);
  return fill(sys, file, lines);
}

// The file the lines should finally be in: `path` itself, or the file a symbolic link names.
struct Target {
  std::string path;  // empty when `path` names something that is not a regular file
  bool exists = false;
};

Target regular_target(const std::string& path, const SystemCalls& sys) {
  struct stat status {};
  // A regular file that is no link is the target as named: the temporary made beside it lies in
  // its directory whatever links lead there, so the path needs no resolving.
  if (sys.lstat(path.c_str(), &status) == 0) {
    if (S_ISREG(status.st_mode)) return {path, true};
  } else if (errno == ENOENT) {
    return {path, false};  // nothing of that name: stat could say no more
  }
  if (sys.stat(path.c_str(), &status) != 0) return {errno == ENOENT ? path : std::string(), false};
  if (!S_ISREG(status.st_mode)) return {};
  const std::unique_ptr<char, decltype(&::free)> resolved(sys.realpath(path.c_str(), nullptr), ::free);
  return {resolved ? std::string(resolved.get()) : path, true};
}

expected<void, Error> write_atomically(const mjai::Lines& lines, const std::string& target,
                                       const SystemCalls& sys) {
  auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::string temporary;
  const int fd = create_temporary(sys, target, temporary, seed);
  if (fd < 0) return unexpected(failure(Stage::Create));
  FileDescriptor file(sys, fd);
  auto filled = fill(sys, file, lines);
  if (filled && sys.rename(temporary.c_str(), target.c_str()) != 0) filled = unexpected(failure(Stage::Create));
  if (!filled) sys.unlink(temporary.c_str());
  return filled;
}

}  // namespace

bool is_stdout_path(std::string_view path) {
  if (!path.starts_with('-')) return false;
  std::string_view rest = path.substr(1);
  if (!rest.empty() && rest.front() != '/') return false;  // "--", "-x": another name
  // After the first component, only separators and "." components may follow.
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of('/');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = rest.find('/');
    if (rest.substr(0, end) != ".") return false;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  return true;
}

expected<void, Error> deliver_lines(const mjai::Lines& lines, std::string_view path,
                                    const SystemCalls& sys) {
  if (is_stdout_path(path)) return write_stdout(lines, sys);
  // A path with a NUL byte cannot name a file, nor can the empty path.
  if (path.empty() || path.find('\0') != std::string_view::npos) return unexpected(Error{Stage::Create, ENOENT, {}});
  const std::string c_path(path);
  const Target target = regular_target(c_path, sys);
  if (target.path.empty()) return write_directly(lines, c_path, sys);
  auto written = write_atomically(lines, target.path, sys);
  // Where no temporary may be made beside it (a directory without write permission), an
  // existing file is still rewritten in place.
  const int error = written ? 0 : written.error().number;
  if (!written && target.exists && written.error().stage == Stage::Create && (error == EACCES || error == EPERM))
    return write_directly(lines, c_path, sys);
  return written;
}

expected<mjai::Lines, Error> deliver_if_asked(expected<mjai::Lines, Error> lines,
                                              std::optional<std::string_view> output_path, const SystemCalls& sys) {
  if (!lines || !output_path) return lines;
  if (auto delivered = deliver_lines(*lines, *output_path, sys); !delivered) {
    return unexpected(std::move(delivered.error()));
  }
  return lines;
}

}  // namespace paifu::conv
