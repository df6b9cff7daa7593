// paifu: converts Tenhou logs to mjai lines, one log to standard output or a file, or whole
// directories of logs to a directory of mjai files (see --help).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <system_error>
#include <thread>

#include "paifu/base/path_text.hpp"
#include "cli/command_line.hpp"
#include "cli/dataset_plan.hpp"
#include "cli/dataset_run.hpp"
#include "cli/file_system.hpp"
#include "cli/log_reader.hpp"
#include "cli/interrupt.hpp"
#include "paifu/conv/convert.hpp"
#include "paifu/conv/output.hpp"

namespace {

using namespace paifu;

void write_to_stderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

int report_failure(const cli::Failure& failure) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(failure.class_name.size()), failure.class_name.data(),
               failure.message.c_str());
  return cli::kExitFailed;
}

// paifu LOG [OUTPUT]: the lines to standard output or to OUTPUT, a failure as "ClassName: message".
int convert_one(const cli::Command& command) {
  const std::string& input = command.inputs[0];
  struct stat status {};
  if (real_system_calls().stat(input.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fprintf(stderr, "paifu: %s is a directory: converting a directory needs -o OUTDIR\n", input.c_str());
    return cli::kExitUsage;
  }
  const std::string_view output = command.inputs.size() == 2 ? std::string_view(command.inputs[1]) : "-";
  const conv::FailurePaths paths{input, output};
  cli::LogReader reader;
  auto lines = reader.convert(input, real_system_calls());
  if (!lines) return report_failure(cli::conversion_failure(lines.error(), paths, cli::LogReader::format_of(input)));
  if (auto delivered = conv::deliver_lines(*lines, output); !delivered) {
    return report_failure(cli::conversion_failure(delivered.error(), paths));
  }
  return cli::kExitConverted;
}

// paifu INPUT... -o OUTDIR
int convert_dataset(const cli::Command& command) {
  const cli::FileSystem& fs = cli::real_file_system();
  const std::string& output_dir = *command.output_dir;
  if (!cli::make_directories(output_dir, fs)) {
    const int error = errno;
    std::fprintf(stderr, "paifu: cannot create output directory %s: %s\n",
                 plain_path(output_dir).c_str(), std::generic_category().message(error).c_str());
    return cli::kExitFailed;
  }
  cli::install_interrupt_handlers(command.jobs);  // before the walk, which can be long

  cli::RunSettings settings;
  settings.workers = command.jobs;
  settings.pipelined = command.jobs < std::thread::hardware_concurrency();
  settings.gzip = command.gzip;
  settings.gzip_level = command.gzip_level;
  settings.skip_existing = command.skip_existing;
  settings.fail_fast = command.fail_fast;
  settings.progress = ::isatty(STDERR_FILENO) == 1;
  settings.write = cli::WriteSettings{command.fsync};

  const auto jobs = cli::plan_jobs(command.inputs, output_dir, command.gzip, fs);
  return cli::exit_status(cli::run_dataset(jobs, settings, write_to_stderr, fs));
}

}  // namespace

int main(int argc, char** argv) {
  auto parsed = cli::parse_command_line(argc, argv, std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const cli::Command& command = std::get<cli::Command>(parsed);
  if (command.output_dir) return convert_dataset(command);
  try {
    return convert_one(command);
  } catch (...) {
    return report_failure(cli::current_fault_failure());
  }
}
