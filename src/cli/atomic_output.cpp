#include "cli/atomic_output.hpp"

#include <fcntl.h>
#include <limits.h>

#include <algorithm>
#include <cerrno>

namespace paifu::cli {
namespace {

using conv::OutputError;

// Long enough to recognise the output it belongs to, short enough that the name fits in the
// 255 bytes a name may have.
constexpr std::size_t kMaxNameInTemporary = 200;
// Names tried before giving up, should each one exist already (left by a killed run, say).
constexpr int kNameAttempts = 100;

std::string_view parent_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

// Partial writes are continued and interrupted ones retried; at most IOV_MAX parts a call.
bool write_all(int fd, std::span<iovec> parts, const FileSystem& fs) {
  parts = drop_written(parts, 0);  // skips leading empty parts
  while (!parts.empty()) {
    const auto count = static_cast<int>(std::min<std::size_t>(parts.size(), IOV_MAX));
    const ssize_t written = fs.io->writev(fd, parts.data(), count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;  // no progress: a failure rather than a spin
    parts = drop_written(parts, static_cast<std::size_t>(written));
  }
  return true;
}

int open_exclusive(const std::string& path, const FileSystem& fs) {
  int fd;
  do {
    fd = fs.io->open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool make_directories(std::string_view path, const FileSystem& fs) {
  if (path.empty()) return true;
  std::string prefix;
  prefix.reserve(path.size());
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    prefix.assign(path.substr(0, end));
    start = end + 1;
    if (prefix.empty() || prefix.ends_with('/')) continue;  // the root, or doubled slashes
    if (fs.mkdir(prefix.c_str(), 0777) == 0 || errno == EEXIST) continue;
    return false;
  }
  // EEXIST also stands for a file of that name; only a directory will do.
  struct stat status {};
  if (fs.stat(std::string(path).c_str(), &status) != 0) return false;
  if (S_ISDIR(status.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

AtomicWriter::AtomicWriter(const WriteSettings& settings, const TemporarySlot& slot, const FileSystem& fs,
                           std::uint64_t seed)
    : settings_(settings), slot_(slot), fs_(fs), random_state_(seed | 1) {}

std::string AtomicWriter::temporary_name(std::string_view path) {
  static constexpr std::string_view kLetters =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  std::string name(path.substr(0, name_start));
  name += '.';
  name += path.substr(name_start, kMaxNameInTemporary);
  name += ".tmp.";
  for (int i = 0; i < 6; ++i) {
    random_state_ ^= random_state_ << 13;  // xorshift64: unpredictable enough to avoid collisions
    random_state_ ^= random_state_ >> 7;
    random_state_ ^= random_state_ << 17;
    name += kLetters[random_state_ % kLetters.size()];
  }
  return name;
}

int AtomicWriter::create_temporary(std::string& temporary, const std::string& path) {
  bool made_directories = false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = temporary_name(path);
    slot_.expect(temporary);
    const int fd = open_exclusive(temporary, fs_);
    if (fd >= 0) return fd;
    if (errno == ENOENT && !made_directories) {
      made_directories = true;
      if (!make_directories(parent_of(path), fs_)) return -1;
      continue;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Writes, syncs and closes; the descriptor is closed whatever happens.
bool AtomicWriter::fill_and_close(int fd, std::span<iovec> parts) {
  bool ok = write_all(fd, parts, fs_);
  if (ok && settings_.sync) ok = fs_.fsync(fd) == 0;
  if (fs_.io->close(fd) != 0) ok = false;  // a late write error (network file systems) shows here
  return ok;
}

expected<void, OutputError> AtomicWriter::write(const std::string& path, std::span<iovec> parts) {
  if (!slot_.begin()) return unexpected(OutputError::CreateFailed);
  std::string temporary;
  const int fd = create_temporary(temporary, path);
  slot_.hold(fd < 0 ? std::string_view() : std::string_view(temporary));
  if (fd < 0) return unexpected(OutputError::CreateFailed);
  auto fail = [&](OutputError error) -> expected<void, OutputError> {
    fs_.unlink(temporary.c_str());
    slot_.release();
    return unexpected(error);
  };
  if (!fill_and_close(fd, parts)) return fail(OutputError::WriteFailed);
  if (fs_.rename(temporary.c_str(), path.c_str()) != 0) return fail(OutputError::CreateFailed);
  slot_.release();
  return {};
}

expected<void, OutputError> AtomicWriter::write(const std::string& path, std::string_view bytes) {
  iovec part{const_cast<char*>(bytes.data()), bytes.size()};
  return write(path, std::span<iovec>(&part, 1));
}

}  // namespace paifu::cli
