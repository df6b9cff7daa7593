// Reading and converting one log file for the command, through gzip when its name ends in
// ".gz" (an mjlog: when it begins as gzip does); the buffers and the codec are kept from log
// to log.
#pragma once

#include <cstdint>
#include <string>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/gzip.hpp"
#include "paifu/base/system_calls.hpp"
#include "paifu/conv/convert.hpp"
#include "paifu/conv/failure_text.hpp"

namespace paifu::cli {

class LogReader {
 public:
  explicit LogReader(int gzip_level = 6) : codec_(gzip_level) {}

  // Reads the file at `path` and converts it.
  expected<conv::Lines, Error> convert(const std::string& path, const SystemCalls& sys);
  // Reads the file at `path` into `bytes`, at most the largest log a file may hold.
  static expected<void, Error> read(const std::string& path, const SystemCalls& sys, std::string& bytes);
  // Converts the bytes read from the file at `path` (an mjlog's are changed: parsed in place).
  expected<conv::Lines, Error> convert_bytes(const std::string& path, std::string& bytes);
  // The format a log is read in, by its name: an mjlog (*.mjlog, *.xml, with or without ".gz"),
  // else the tenhou.net/6 JSON.
  static conv::LogFormat format_of(std::string_view path);

 private:
  GzipCodec codec_;
  std::string input_, text_;
};

}  // namespace paifu::cli
