#include "paifu/conv/output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace paifu::conv {
namespace {

int real_open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr int kStdoutFd = 1;

// Serialises this process's writers of standard output, so a line is never split.
std::mutex& stdout_mutex() {
  static std::mutex mutex;
  return mutex;
}

// Writes the line and its line feed completely: partial writes are continued, interrupted
// ones retried. False on the first other failure.
bool write_line(const SystemCalls& sys, int fd, const std::string& line) {
  static constexpr char kLineFeed = '\n';
  iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {const_cast<char*>(&kLineFeed), 1}};
  iovec* next = parts;
  int count = 2;
  if (next->iov_len == 0) {
    ++next;
    --count;
  }
  while (count > 0) {
    const ssize_t written = sys.writev(fd, next, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;  // no progress: treat as a failed write rather than spin
    auto left = static_cast<size_t>(written);
    while (count > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --count;
    }
    if (count > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return true;
}

class FileDescriptor {
 public:
  FileDescriptor(const SystemCalls& sys, int fd) : sys_(sys), fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { sys_.close(fd_); }  // a failed close loses nothing we could report
  int get() const { return fd_; }

 private:
  const SystemCalls& sys_;
  int fd_;
};

}  // namespace

expected<std::vector<std::string>, mjai::EncodeError> encode_all(const std::vector<mjai::Event>& events) {
  std::vector<std::string> lines;
  lines.reserve(events.size());
  for (const mjai::Event& event : events) {
    std::string line;
    line.reserve(128);
    if (auto encoded = mjai::encode_event(event, line); !encoded) return unexpected(encoded.error());
    lines.push_back(std::move(line));
  }
  return lines;
}

const SystemCalls& real_system_calls() {
  static const SystemCalls calls{real_open, ::close, ::read, ::writev, ::fstat};
  return calls;
}

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

expected<void, OutputError> deliver_lines(const std::vector<std::string>& lines, std::string_view path,
                                               const SystemCalls& sys) {
  if (is_stdout_path(path)) {
    for (const std::string& line : lines) {
      const std::lock_guard lock(stdout_mutex());
      if (!write_line(sys, kStdoutFd, line)) return unexpected(OutputError::WriteFailed);
    }
    return {};
  }

  // A path with a NUL byte cannot name a file.
  if (path.find('\0') != std::string_view::npos) return unexpected(OutputError::CreateFailed);
  const std::string c_path(path);
  int fd;
  do {
    fd = sys.open(c_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return unexpected(OutputError::CreateFailed);
  const FileDescriptor file(sys, fd);
  for (const std::string& line : lines) {
    if (!write_line(sys, file.get(), line)) return unexpected(OutputError::WriteFailed);
  }
  return {};
}

}  // namespace paifu::conv
