// Writing an output so that it is either absent or complete: the bytes go to a temporary file
// beside it, which is renamed into place only once everything was written.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "cli/file_system.hpp"
#include "cli/interrupt.hpp"
#include "paifu/conv/output.hpp"
#include "paifu/util/expected.hpp"

namespace paifu::cli {

struct WriteSettings {
  mode_t file_mode = 0644;  // what a plain create would give: 0666 less the umask
  bool sync = false;        // flush to the device before the rename (survives power loss)
};

// The temporary's name pattern for `path`: ".NAME.tmp.XXXXXX" in the same directory, the name
// shortened so the pattern stays within the system's limit on one component.
std::string temporary_pattern(std::string_view path);

// Creates the directory and its missing parents, like "mkdir -p". False when one cannot be made.
bool make_directories(std::string_view path, const FileSystem& fs);

// Writes `bytes` to `path` through a temporary file, creating missing parent directories. A
// failure leaves `path` as it was and removes the temporary. CreateFailed when the temporary
// cannot be made or the rename fails; WriteFailed when writing, syncing or closing fails.
expected<void, conv::OutputError> write_atomically(const std::string& path, std::string_view bytes,
                                                   const WriteSettings& settings, const TemporarySlot& slot,
                                                   const FileSystem& fs = real_file_system());

}  // namespace paifu::cli
