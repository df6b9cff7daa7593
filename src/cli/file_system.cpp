#include "cli/file_system.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

namespace paifu::cli {
namespace {

int real_mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }

}  // namespace

const FileSystem& real_file_system() {
  static const FileSystem calls{&real_system_calls(),
                                ::fsync,
                                real_mkdir,
                                ::opendir,
                                ::readdir,
                                ::closedir};
  return calls;
}

}  // namespace paifu::cli
