// The whole conversion of one log file: read, parse, prepare, replay, encode, deliver.
#pragma once

#include "paifu/base/expected.hpp"
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paifu/conv/output.hpp"

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
expected<std::vector<std::string>, ConversionFailure> convert_log_text(std::string_view text);

// Reads the whole file at `path` into `bytes` (replacing its contents, keeping its capacity),
// failing as convert_log_file does when the file cannot be opened or read. The bytes are not
// checked: they may be compressed.
expected<void, ConversionFailure> read_log_file(std::string_view path, std::string& bytes,
                                                const SystemCalls& sys = real_system_calls());

// Converts the contents of a log file, as convert_log_file does once the file is read: text
// that is not UTF-8 fails as an unreadable stream, before any parsing.
expected<std::vector<std::string>, ConversionFailure> convert_log_bytes(std::string_view bytes);

// Reads and converts the log file at `input_path`; when `output_path` is present, also writes
// the lines there (see deliver_lines). Paths are byte strings. Nothing is written unless the
// whole game converted and encoded.
expected<std::vector<std::string>, ConversionFailure> convert_log_file(
    std::string_view input_path, std::optional<std::string_view> output_path,
    const SystemCalls& sys = real_system_calls());

}  // namespace paifu::conv
