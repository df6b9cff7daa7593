// The system calls of the dataset command, behind one seam so tests can make any of them fail.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "paifu/base/system_calls.hpp"

namespace paifu::cli {

struct FileSystem {
  const SystemCalls* io;  // open, close, read, writev, fstat, stat, lstat, rename, unlink
  int (*fsync)(int fd);
  int (*mkdir)(const char* path, mode_t mode);
  DIR* (*opendir)(const char* path);
  dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
};
const FileSystem& real_file_system();

}  // namespace paifu::cli
