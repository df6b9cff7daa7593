#include "cli/report.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace paifu::cli {
namespace {

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char buffer[160];
  const int size = std::snprintf(buffer, sizeof buffer, pattern, values...);
  if (size < 0) return {};
  return std::string(buffer, std::min(static_cast<std::size_t>(size), sizeof buffer - 1));
}

std::string duration_text(double seconds) {
  const auto total = static_cast<long long>(seconds + 0.5);
  if (total >= 3600) return format("%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return format("%lld:%02lld", total / 60, total % 60);
}

std::string signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
    default:
      return "signal " + std::to_string(signal_number);
  }
}

double per_second(double count, double seconds) { return seconds > 0 ? count / seconds : 0.0; }

}  // namespace

std::string failure_line(std::string_view path, const Failure& failure) {
  std::string line(path);
  line += ": ";
  line += failure.class_name;
  line += ": ";
  line += failure.message;
  line += '\n';
  return line;
}

std::string progress_line(std::size_t done, std::size_t total, double seconds) {
  const double rate = per_second(static_cast<double>(done), seconds);
  std::string line = format("paifu: %zu/%zu files, %.0f logs/s, ", done, total, rate);
  line += rate > 0 ? duration_text(static_cast<double>(total - done) / rate) : std::string("-:--");
  line += " left";
  return line;
}

std::string summary_line(const Tally& tally, std::size_t total, double seconds, int stop_signal) {
  std::string line =
      format("paifu: %zu converted, %zu failed, %zu skipped", tally.converted, tally.failed, tally.skipped);
  if (tally.done() < total) line += format(", %zu not started", total - tally.done());
  if (stop_signal != 0) line += " (stopped by " + signal_name(stop_signal) + ")";
  line += format("; %.2f s, %.0f logs/s", seconds,
                 per_second(static_cast<double>(tally.converted + tally.failed), seconds));
  line += format("; read %.1f MB, wrote %.1f MB\n", static_cast<double>(tally.bytes_in) / 1e6,
                 static_cast<double>(tally.bytes_out) / 1e6);
  return line;
}

}  // namespace paifu::cli
