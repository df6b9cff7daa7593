#include "paifu/base/file_io.hpp"

#include <fcntl.h>
#include <limits.h>

#include <algorithm>
#include <cerrno>

namespace paifu {
namespace {

// Long enough to recognise the output it belongs to, short enough that the name fits in the
// 255 bytes a name may have.
constexpr std::size_t kMaxNameInTemporary = 200;
// Names tried before giving up, should each one exist already (left by a killed run, say).
constexpr int kNameAttempts = 100;

// True when an interrupted call should be made again.
bool retry_after(const SystemCalls& sys, int error) {
  if (error != EINTR) return false;
  if (sys.resume_after_signal()) return true;
  errno = EINTR;
  return false;
}

// Drops the first `count` bytes of the parts.
std::span<iovec> drop_written(std::span<iovec> parts, std::size_t count) {
  while (!parts.empty() && count >= parts.front().iov_len) {
    count -= parts.front().iov_len;
    parts = parts.subspan(1);
  }
  if (!parts.empty()) {
    parts.front().iov_base = static_cast<char*>(parts.front().iov_base) + count;
    parts.front().iov_len -= count;
  }
  return parts;
}

Error read_error(Stage stage, int number) { return Error{stage, number, {}}; }

}  // namespace

bool FileDescriptor::close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return sys_->close(fd) == 0;  // never retried: the descriptor is gone even on EINTR
}

int open_retrying(const SystemCalls& sys, const char* path, int flags, mode_t mode) {
  for (;;) {
    const int fd = sys.open(path, flags, mode);
    if (fd >= 0 || !retry_after(sys, errno)) return fd;
  }
}

bool write_fully(const SystemCalls& sys, int fd, std::span<iovec> parts) {
  parts = drop_written(parts, 0);  // skips leading empty parts
  while (!parts.empty()) {
    const auto count = static_cast<int>(std::min<std::size_t>(parts.size(), IOV_MAX));
    const ssize_t written = sys.writev(fd, parts.data(), count);
    if (written < 0) {
      if (retry_after(sys, errno)) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    parts = drop_written(parts, static_cast<std::size_t>(written));
  }
  return true;
}

expected<void, Error> read_file(const SystemCalls& sys, std::string_view path, std::string& bytes, std::size_t limit) {
  // A path with a NUL byte cannot name a file.
  if (path.find('\0') != std::string_view::npos) return unexpected(read_error(Stage::Open, ENOENT));
  const std::string c_path(path);
  const int fd = open_retrying(sys, c_path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return unexpected(read_error(Stage::Open, errno));
  FileDescriptor file(sys, fd);

  // The size is only a hint (the file may change while it is read, a device says 0), but a
  // regular file beyond the cap is refused unread. One byte more than the size lets the final
  // read see the end without growing the buffer, and one more than the cap shows it exceeded.
  std::size_t capacity = 8192;
  struct stat status {};
  if (sys.fstat(fd, &status) == 0 && status.st_size > 0) {
    if (static_cast<std::uint64_t>(status.st_size) > limit) return unexpected(read_error(Stage::Read, EFBIG));
    capacity = static_cast<std::size_t>(status.st_size) + 1;
  }
  bytes.resize(std::min(capacity, limit + 1));
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) return unexpected(read_error(Stage::Read, EFBIG));
      bytes.resize(std::min(bytes.size() * 2, limit + 1));
    }
    const ssize_t got = sys.read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (retry_after(sys, errno)) continue;
      return unexpected(read_error(Stage::Read, errno));
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  if (used > limit) return unexpected(read_error(Stage::Read, EFBIG));
  bytes.resize(used);
  return {};
}

std::string temporary_name(std::string_view path, std::uint64_t& random_state) {
  static constexpr std::string_view kLetters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  std::string name(path.substr(0, name_start));
  name += '.';
  name += path.substr(name_start, kMaxNameInTemporary);
  name += ".tmp.";
  random_state |= 1;
  for (int i = 0; i < 6; ++i) {
    random_state ^= random_state << 13;  // xorshift64: unpredictable enough to avoid collisions
    random_state ^= random_state >> 7;
    random_state ^= random_state << 17;
    name += kLetters[random_state % kLetters.size()];
  }
  return name;
}

int create_temporary(const SystemCalls& sys, const std::string& path, std::string& temporary,
                     std::uint64_t& random_state, const std::function<void(const std::string&)>& before_open) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = temporary_name(path, random_state);
    if (before_open) before_open(temporary);
    const int fd = open_retrying(sys, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace paifu
