#include "cli/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

namespace paifu::cli {
namespace {

constexpr const char* kDescription =
    "paifu converts Tenhou game logs into mjai event lines: version-6 JSON logs (*.json), and\n"
    "mjlog XML records (*.mjlog, *.xml; gzip-compressed or not, told by their first bytes).\n"
    "\n"
    "  paifu LOG [OUTPUT]        one log: its lines go to standard output, or to the file OUTPUT\n"
    "  paifu INPUT... -o OUTDIR  many: each INPUT is a log or a directory searched recursively\n"
    "                            for *.json, *.mjlog and *.xml logs, each also as *.gz (gzip).\n"
    "                            Each log becomes one mjai file under OUTDIR, at its path relative\n"
    "                            to the directory given (a log given directly lands in OUTDIR\n"
    "                            itself), named *.mjson, or *.mjson.gz with --gzip. Outputs appear\n"
    "                            only complete. A log that fails is reported as\n"
    "                            'PATH: ClassName: message' on standard error; the others go on.\n";

constexpr const char* kFooter =
    "Examples:\n"
    "  paifu game.json                            print one log's mjai lines\n"
    "  paifu game.json.gz game.mjson              write them to a file\n"
    "  paifu GAMEID.mjlog                         print an mjlog's lines (gzip or plain XML)\n"
    "  paifu mjlogs -o mjai                       every *.mjlog, *.xml(.gz) to mjai/**/*.mjson\n"
    "  paifu logs/2024 -o mjai/2024 --gzip -j 8   a folder to mjai/2024/**/*.mjson.gz, 8 workers\n"
    "  paifu logs -o out --gzip --gzip-level 1    faster compression, larger files\n"
    "  paifu logs -o out --skip-existing          resume an interrupted run\n"
    "  paifu a.json b/ -o out --fail-fast         stop at the first log that fails\n"
    "  paifu logs -o /mnt/nfs/out --fsync         outputs on the device before they appear\n"
    "\n"
    "Exit status: 0 when every log converted (or was skipped), 1 when any failed, 2 on a usage\n"
    "error, 128+N when stopped by signal N (SIGINT, SIGTERM, SIGHUP, SIGQUIT: the logs in flight finish first).";

// Option descriptions start at this column; they are wrapped to end by kHelpWidth.
constexpr std::size_t kDescriptionColumn = 30;
constexpr std::size_t kHelpWidth = 96;

// The text's words in lines that fit the help's width (the help formatter does not wrap).
std::string wrapped(std::string_view text) {
  std::string out;
  std::size_t line_length = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line_length > 0 && kDescriptionColumn + line_length + 1 + word.size() > kHelpWidth) {
      out += '\n';  // the formatter indents what follows to the column
      line_length = 0;
    } else if (line_length > 0) {
      out += ' ';
      ++line_length;
    }
    out += word;
    line_length += word.size();
  }
  return out;
}

// Options that only mean something when converting into a directory.
constexpr const char* kDatasetOptions[] = {"--jobs",          "--gzip",      "--gzip-level",
                                           "--skip-existing", "--fail-fast", "--fsync"};

std::size_t default_jobs() { return std::max(1u, std::thread::hardware_concurrency()); }

void describe(CLI::App& app, Command& command) {
  app.description(kDescription);
  app.footer(kFooter);
  app.get_formatter()->column_width(kDescriptionColumn);
  app.set_version_flag("--version", std::string("paifu ") + PAIFU_VERSION, "Print the version and exit");
  app.add_option("INPUT", command.inputs, "Log files and directories of logs")->required()->type_name("");
  app.add_option("-o,--output-dir", command.output_dir,
                 wrapped("Directory of the mjai files, created when missing. Without it: one LOG "
                         "[OUTPUT], as above"))
      ->type_name("OUTDIR");
  app.add_option("-j,--jobs", command.jobs,
                 wrapped("Workers, each converting whole files (with cores to spare, each reads, converts and "
                         "writes in three threads); default: one per core (1 to 1024)"))
      ->type_name("N")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1024}).description(""));
  app.add_flag("--gzip", command.gzip, wrapped("Write gzip-compressed mjai files (*.mjson.gz)"));
  app.add_option("--gzip-level", command.gzip_level,
                 wrapped("Compression level of --gzip, 1 (fastest: about 3 times as fast as 6, files 40% "
                         "larger) to 12 (smallest); default 6"))
      ->type_name("N")
      ->check(CLI::Range(1, 12).description(""));
  app.add_flag("--skip-existing", command.skip_existing,
               wrapped("Leave logs whose mjai file exists (it is complete: outputs are renamed into place "
                       "only when fully written); resumes an interrupted run"));
  app.add_flag("--fail-fast", command.fail_fast, wrapped("Start no further log after the first failure"));
  app.add_flag("--fsync", command.fsync,
               wrapped("Flush each mjai file to the device before renaming it into place (slower; "
                       "survives a power loss, not only an interrupted run)"));
}

}  // namespace

std::variant<Command, int> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                              std::ostream& err) {
  Command command;
  command.jobs = default_jobs();
  CLI::App app("", "paifu");
  describe(app, command);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error, out, err);
    return status == 0 ? kExitConverted : kExitUsage;
  }
  for (const char* option : kDatasetOptions) {
    if (!command.output_dir && app.count(option) > 0) {
      err << option << " needs -o OUTDIR\nRun with --help for more information.\n";
      return kExitUsage;
    }
  }
  if (command.output_dir && command.output_dir->empty()) {
    err << "-o needs a directory name, not an empty one\nRun with --help for more information.\n";
    return kExitUsage;
  }
  if (app.count("--gzip-level") > 0 && !command.gzip) {
    err << "--gzip-level needs --gzip\nRun with --help for more information.\n";
    return kExitUsage;
  }
  if (!command.output_dir && command.inputs.size() > 2) {
    err << "paifu: several inputs need -o OUTDIR (without it: paifu LOG [OUTPUT])\nRun with --help for more "
           "information.\n";
    return kExitUsage;
  }
  return command;
}

}  // namespace paifu::cli
