// Whole-file reading and writing on the system-call seam: every call retried on EINTR (unless
// the seam says stop), partial writes continued, every descriptor closed and its close checked.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/system_calls.hpp"

namespace paifu {

// A log larger than this is refused, compressed or not: real logs are tens of kilobytes, and
// neither a device that never ends nor a huge sparse file may claim the memory.
inline constexpr std::size_t kMaxLogBytes = std::size_t{64} << 20;

// An open descriptor, closed once.
class FileDescriptor {
 public:
  FileDescriptor(const SystemCalls& sys, int fd) : sys_(&sys), fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { (void)close(); }
  int get() const { return fd_; }
  // False (errno telling why) when the close fails: a late write error shows up here.
  bool close();

 private:
  const SystemCalls* sys_;
  int fd_;
};

// open(2), retried while interrupted; -1 with errno set on failure (EINTR when the seam gave up).
int open_retrying(const SystemCalls& sys, const char* path, int flags, mode_t mode);

// Writes all the parts, at most IOV_MAX a call. False, errno telling why, on the first failure;
// a write that makes no progress fails with EIO rather than spin. `parts` is consumed.
bool write_fully(const SystemCalls& sys, int fd, std::span<iovec> parts);

// Replaces `bytes` with the whole file at `path` (keeping its capacity). Fails at stage Open
// when it cannot be opened, Read (with errno) when it cannot be read, and Read with EFBIG when
// it holds more than `limit` bytes: checked while reading, so an endless file stops there.
expected<void, Error> read_file(const SystemCalls& sys, std::string_view path, std::string& bytes,
                                std::size_t limit = kMaxLogBytes);

// A temporary's name for `path`: ".NAME.tmp.XXXXXX" in the same directory, with six random
// letters or digits from `random_state` (advanced), NAME shortened so the whole stays within
// the limit on one component.
std::string temporary_name(std::string_view path, std::uint64_t& random_state);

// Creates a temporary beside `path` exclusively, with the mode a new file gets (0666 less the
// umask); its name is left in `temporary`. -1 with errno set when none can be made. Each name
// is told to `before_open`, when given, before it is tried: a caller that removes temporaries
// when interrupted learns the name before the file can exist.
int create_temporary(const SystemCalls& sys, const std::string& path, std::string& temporary,
                     std::uint64_t& random_state,
                     const std::function<void(const std::string&)>& before_open = {});

}  // namespace paifu
