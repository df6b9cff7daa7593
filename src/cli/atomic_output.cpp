#include "cli/atomic_output.hpp"

#include <fcntl.h>
#include <sys/uio.h>

#include <cerrno>

namespace paifu::cli {
namespace {

using conv::OutputError;

// Long enough to recognise the output it belongs to, short enough that the pattern fits in
// the 255 bytes a name may have.
constexpr std::size_t kMaxNameInPattern = 200;

std::string_view parent_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool write_all(int fd, std::string_view bytes, const FileSystem& fs) {
  while (!bytes.empty()) {
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    const ssize_t written = fs.io->writev(fd, &part, 1);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;  // no progress: a failure rather than a spin
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int create_temporary(std::string& pattern, std::string_view path, const FileSystem& fs) {
  pattern = temporary_pattern(path);
  int fd = fs.mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && make_directories(parent_of(path), fs)) {
    pattern = temporary_pattern(path);
    fd = fs.mkostemp(pattern.data(), O_CLOEXEC);
  }
  return fd;
}

// Writes, syncs and closes; the descriptor is closed whatever happens.
bool fill_and_close(int fd, std::string_view bytes, const WriteSettings& settings, const FileSystem& fs) {
  // mkostemp makes the file private (0600); the output should have the usual permissions. Some
  // file systems refuse the change, which costs nothing but the mode, so it is not a failure.
  fs.fchmod(fd, settings.file_mode);
  bool ok = write_all(fd, bytes, fs);
  if (ok && settings.sync) ok = fs.fsync(fd) == 0;
  if (fs.io->close(fd) != 0) ok = false;  // a late write error (network file systems) shows here
  return ok;
}

}  // namespace

std::string temporary_pattern(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  std::string pattern(path.substr(0, name_start));
  pattern += '.';
  pattern += path.substr(name_start, kMaxNameInPattern);
  pattern += ".tmp.XXXXXX";
  return pattern;
}

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

expected<void, OutputError> write_atomically(const std::string& path, std::string_view bytes,
                                             const WriteSettings& settings, const TemporarySlot& slot,
                                             const FileSystem& fs) {
  if (!slot.begin()) return unexpected(OutputError::CreateFailed);
  std::string temporary;
  const int fd = create_temporary(temporary, path, fs);
  slot.hold(fd < 0 ? std::string_view() : std::string_view(temporary));
  if (fd < 0) return unexpected(OutputError::CreateFailed);
  auto fail = [&](OutputError error) -> expected<void, OutputError> {
    fs.unlink(temporary.c_str());
    slot.release();
    return unexpected(error);
  };
  if (!fill_and_close(fd, bytes, settings, fs)) return fail(OutputError::WriteFailed);
  if (fs.rename(temporary.c_str(), path.c_str()) != 0) return fail(OutputError::CreateFailed);
  slot.release();
  return {};
}

}  // namespace paifu::cli
