#include "cli/dataset_plan.hpp"

#include "paifu/base/path_text.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <unordered_set>

#include "cli/interrupt.hpp"

namespace paifu::cli {
namespace {


std::string join(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (!path.empty() && !path.ends_with('/')) path += '/';
  path += name;
  return path;
}

std::string_view without_trailing_slashes(std::string_view path) {
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  return path;
}

std::string_view base_name(std::string_view path) {
  path = without_trailing_slashes(path);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Failure directory_failure(std::string_view path, int error) {
  const std::string_view exception = error == EACCES || error == EPERM ? "PermissionError"
                                     : error == ENOENT                 ? "FileNotFoundError"
                                                                       : "OSError";
  std::string message = "failed to read directory " + quoted_path(path) + ": ";
  message += std::generic_category().message(error);
  return {exception, std::move(message)};
}

enum class EntryKind { Directory, File, Other };

// What an entry is, links to regular files counting as files. Links to directories are not
// followed: one pointing up the tree would make the walk endless.
EntryKind kind_of(const std::string& path, const dirent& entry, const FileSystem& fs) {
  unsigned char type = entry.d_type;
  struct stat status {};
  if (type == DT_UNKNOWN) {                                            // not every file system tells
    if (fs.io->lstat(path.c_str(), &status) != 0) return EntryKind::File;  // gone: its read reports it
    type = S_ISLNK(status.st_mode)   ? DT_LNK
           : S_ISDIR(status.st_mode) ? DT_DIR
           : S_ISREG(status.st_mode) ? DT_REG
                                     : DT_UNKNOWN;
  }
  switch (type) {
    case DT_DIR:
      return EntryKind::Directory;
    case DT_REG:
      return EntryKind::File;
    case DT_LNK:
      if (fs.io->stat(path.c_str(), &status) != 0) return EntryKind::File;  // dangling: its read reports it
      return S_ISREG(status.st_mode) ? EntryKind::File : EntryKind::Other;
    default:
      return EntryKind::Other;
  }
}

class Walker {
 public:
  Walker(bool gzip, const FileSystem& fs, std::vector<Job>& jobs) : gzip_(gzip), fs_(fs), jobs_(jobs) {}

  // Adds the logs below `directory`, whose outputs go below `output_directory`. A stop signal
  // ends the walk early: the run that follows starts no log anyway.
  void walk(const std::string& directory, const std::string& output_directory) {
    if (stop_signal() != 0) return;
    std::vector<std::string> names;
    if (!list(directory, names)) return;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) visit(directory, output_directory, name);
  }

 private:
  bool list(const std::string& directory, std::vector<std::string>& names) {
    DIR* dir = fs_.opendir(directory.c_str());
    if (dir == nullptr) {
      jobs_.push_back(Job{directory, {}, directory_failure(directory, errno)});
      return false;
    }
    errno = 0;
    while (const dirent* entry = fs_.readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") {
        const std::string path = join(directory, name);
        const EntryKind kind = kind_of(path, *entry, fs_);
        if (kind == EntryKind::Directory || (kind == EntryKind::File && is_log_name(name))) {
          names.push_back(std::string(name) + (kind == EntryKind::Directory ? "/" : ""));
        }
      }
      errno = 0;
    }
    const int error = errno;
    fs_.closedir(dir);
    if (error != 0) {
      jobs_.push_back(Job{directory, {}, directory_failure(directory, error)});
      return false;
    }
    return true;
  }

  void visit(const std::string& directory, const std::string& output_directory, const std::string& name) {
    if (name.ends_with('/')) {
      const std::string_view bare = std::string_view(name).substr(0, name.size() - 1);
      walk(join(directory, bare), join(output_directory, bare));
    } else {
      jobs_.push_back(Job{join(directory, name), join(output_directory, output_name(name, gzip_)), {}});
    }
  }

  bool gzip_;
  const FileSystem& fs_;
  std::vector<Job>& jobs_;
};

// A later log whose output an earlier one already claims fails instead of overwriting it.
void refuse_shared_outputs(std::vector<Job>& jobs) {
  std::unordered_set<std::string_view> claimed;
  claimed.reserve(jobs.size());
  for (Job& job : jobs) {
    if (job.failure || claimed.insert(job.output).second) continue;
    job.failure = Failure{"FileExistsError",
                                    "mjai out file " + plain_path(job.output) +
                                        " is also the output of an earlier log of this run"};
  }
}

}  // namespace

namespace {

constexpr std::string_view kLogSuffixes[] = {".json", ".mjlog", ".xml"};

// The length of the log suffix the name ends in (".json", ".mjlog.gz", ...), or 0.
std::size_t log_suffix_length(std::string_view name) {
  const std::size_t gz = name.ends_with(".gz") ? 3 : 0;
  const std::string_view stem = name.substr(0, name.size() - gz);
  for (const std::string_view suffix : kLogSuffixes) {
    if (stem.ends_with(suffix)) return suffix.size() + gz;
  }
  return 0;
}

}  // namespace

bool is_log_name(std::string_view name) { return log_suffix_length(name) != 0; }

std::string output_name(std::string_view log_name, bool gzip) {
  log_name.remove_suffix(log_suffix_length(log_name));
  std::string name(log_name);
  name += gzip ? ".mjson.gz" : ".mjson";
  return name;
}

std::vector<Job> plan_jobs(const std::vector<std::string>& inputs, std::string_view output_dir, bool gzip,
                           const FileSystem& fs) {
  std::vector<Job> jobs;
  Walker walker(gzip, fs, jobs);
  for (const std::string& input : inputs) {
    struct stat status {};
    if (fs.io->stat(input.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      walker.walk(std::string(without_trailing_slashes(input)), std::string(output_dir));
    } else {
      jobs.push_back(Job{input, join(output_dir, output_name(base_name(input), gzip)), {}});
    }
  }
  refuse_shared_outputs(jobs);
  return jobs;
}

}  // namespace paifu::cli
