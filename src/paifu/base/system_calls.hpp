// The system calls the core makes, with the system's own signatures and errno convention,
// behind one seam: tests replace them to provoke EINTR, partial writes, full disks and failed
// creates, and the Python binding adds its check for pending signals.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace paifu {

struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* data, size_t size);
  ssize_t (*writev)(int fd, const iovec* parts, int count);
  int (*fstat)(int fd, struct stat* status);
  int (*stat)(const char* path, struct stat* status);
  int (*lstat)(const char* path, struct stat* status);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  char* (*realpath)(const char* path, char* resolved);
  // Asked after a call was interrupted by a signal: true to retry it, false to give up with
  // EINTR (the Python binding has then raised the signal's exception, KeyboardInterrupt say).
  bool (*resume_after_signal)();
};

const SystemCalls& real_system_calls();

}  // namespace paifu
