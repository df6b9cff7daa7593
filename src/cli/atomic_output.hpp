// Writing an output so that it is either absent or complete: the bytes go to a temporary file
// beside it, which is renamed into place only once everything was written.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/file_system.hpp"
#include "cli/interrupt.hpp"
#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"

namespace paifu::cli {

struct WriteSettings {
  bool sync = false;  // flush to the device before the rename (survives a power loss too)
};

// Creates the directory and its missing parents, like "mkdir -p". False (errno telling why)
// when one cannot be made.
bool make_directories(std::string_view path, const FileSystem& fs);

// One worker's writer of outputs.
class AtomicWriter {
 public:
  AtomicWriter(const WriteSettings& settings, const TemporarySlot& slot, const FileSystem& fs,
               std::uint64_t seed);

  // Writes the parts in order to `path` through a temporary file, creating missing parent
  // directories; the file gets the usual mode (0666 less the umask). A failure leaves `path` as
  // it was and removes the temporary: stage Create when the temporary cannot be made or the
  // rename fails, Write when writing, syncing or closing fails. `parts` is consumed.
  expected<void, Error> write(const std::string& path, std::span<iovec> parts);
  expected<void, Error> write(const std::string& path, std::string_view bytes);

  // A temporary's name for `path`: ".NAME.tmp.XXXXXX" in the same directory, six random letters
  // or digits at the end, NAME shortened so the whole stays within the limit on one component.
  std::string temporary_name(std::string_view path);

 private:
  int create_temporary(std::string& temporary, const std::string& path);
  bool fill_and_close(int fd, std::span<iovec> parts);

  WriteSettings settings_;
  const TemporarySlot& slot_;
  const FileSystem& fs_;
  std::uint64_t random_state_;
};

}  // namespace paifu::cli
