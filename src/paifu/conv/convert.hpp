// The whole conversion of one log file: read, parse, prepare, replay, encode, deliver.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paifu::conv {

// Names the input format in three messages.
inline constexpr std::string_view SOURCE_LOG_LABEL = "tenhou.net/6";

// The exception class a failure is raised as.
enum class ExceptionClass {
  TenhouLogParsingError,
  TenhouToMjaiError,
  JsonSerializationError,
  JsonParsingError,
  OSError,
  FileNotFoundError,
  PermissionError,
  ConnectionRefusedError,
  ConnectionResetError,
  ConnectionAbortedError,
  BrokenPipeError,
  FileExistsError,
  BlockingIOError,
  TimeoutError,
  InterruptedError,
};

std::string_view exception_class_name(ExceptionClass exception);

struct ConversionFailure {
  ExceptionClass exception;
  std::string message;
  friend bool operator==(const ConversionFailure&, const ConversionFailure&) = default;
};

// Converts the text of a log held in memory (no file is read or written).
std::expected<std::vector<std::string>, ConversionFailure> convert_log_text(std::string_view text);

// Paths are byte strings; `output_path` absent means the lines are only returned.
std::expected<std::vector<std::string>, ConversionFailure> convert_log_file(
    std::string_view input_path, std::optional<std::string_view> output_path);

// How paths appear in messages.
std::string quoted_path(std::string_view path);  // open failure
std::string plain_path(std::string_view path);   // create failure

}  // namespace paifu::conv
