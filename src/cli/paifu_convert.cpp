// paifu-convert INPUT [OUTPUT]: converts one Tenhou log to mjai lines.
// Without OUTPUT the lines go to standard output; on failure "ClassName: message" goes to
// standard error and the exit status is 1.
#include <cstdio>
#include <optional>
#include <string_view>

#include "paifu/conv/convert.hpp"
#include "paifu/conv/output.hpp"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: paifu-convert INPUT [OUTPUT]\n", stderr);
    return 2;
  }
  const std::optional<std::string_view> output = argc == 3 ? std::optional<std::string_view>(argv[2]) : std::nullopt;
  auto lines = paifu::conv::convert_log_file(argv[1], output);
  if (!lines) {
    const auto name = paifu::conv::exception_class_name(lines.error().exception);
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(name.size()), name.data(), lines.error().message.c_str());
    return 1;
  }
  if (!output) {
    if (auto delivered = paifu::conv::deliver_lines(*lines, "-"); !delivered) {
      std::fputs("OSError: failed to write to mjai out file\n", stderr);
      return 1;
    }
  }
  return 0;
}
