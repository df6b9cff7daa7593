#include "cli/atomic_output.hpp"

#include <fcntl.h>
#include <limits.h>

#include <algorithm>
#include <cerrno>

#include "paifu/base/file_io.hpp"

namespace paifu::cli {
namespace {

std::string_view parent_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
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
  if (fs.io->stat(std::string(path).c_str(), &status) != 0) return false;
  if (S_ISDIR(status.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

AtomicWriter::AtomicWriter(const WriteSettings& settings, const TemporarySlot& slot, const FileSystem& fs,
                           std::uint64_t seed)
    : settings_(settings), slot_(slot), fs_(fs), random_state_(seed | 1) {}

std::string AtomicWriter::temporary_name(std::string_view path) { return paifu::temporary_name(path, random_state_); }

int AtomicWriter::create_temporary(std::string& temporary, const std::string& path) {
  const auto expect = [this](const std::string& name) { slot_.expect(name); };
  const int fd = paifu::create_temporary(*fs_.io, path, temporary, random_state_, expect);
  if (fd >= 0 || errno != ENOENT) return fd;
  if (!make_directories(parent_of(path), fs_)) return -1;  // the folders are made on demand
  return paifu::create_temporary(*fs_.io, path, temporary, random_state_, expect);
}

// Writes, syncs and closes; the descriptor is closed whatever happens.
bool AtomicWriter::fill_and_close(int fd, std::span<iovec> parts) {
  FileDescriptor file(*fs_.io, fd);
  bool ok = write_fully(*fs_.io, fd, parts);
  if (ok && settings_.sync) ok = fs_.fsync(fd) == 0;
  const int error = errno;
  if (!file.close()) return false;  // a late write error (network file systems) shows here
  errno = error;
  return ok;
}

expected<void, Error> AtomicWriter::write(const std::string& path, std::span<iovec> parts) {
  if (!slot_.begin()) return unexpected(Error{Stage::Create, EINTR, "the run is ending"});
  std::string temporary;
  const int fd = create_temporary(temporary, path);
  const int create_error = errno;
  slot_.hold(fd < 0 ? std::string_view() : std::string_view(temporary));
  if (fd < 0) return unexpected(Error{Stage::Create, create_error, {}});
  auto fail = [&](Stage stage) -> expected<void, Error> {
    const int error = errno;
    fs_.io->unlink(temporary.c_str());
    slot_.release();
    return unexpected(Error{stage, error, {}});
  };
  if (!fill_and_close(fd, parts)) return fail(Stage::Write);
  if (fs_.io->rename(temporary.c_str(), path.c_str()) != 0) return fail(Stage::Create);
  slot_.release();
  return {};
}

expected<void, Error> AtomicWriter::write(const std::string& path, std::string_view bytes) {
  iovec part{const_cast<char*>(bytes.data()), bytes.size()};
  return write(path, std::span<iovec>(&part, 1));
}

}  // namespace paifu::cli
