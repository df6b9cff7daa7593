// Whole-buffer gzip for logs read and mjai files written, through libdeflate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "paifu/conv/convert.hpp"
#include "paifu/base/expected.hpp"

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace paifu::cli {

// A decompressed log larger than this is refused: real logs are tens of kilobytes, and a
// small file must not be able to claim gigabytes of memory.
inline constexpr std::size_t kMaxLogBytes = std::size_t{64} << 20;

// One worker's compressor and decompressor, each made on first use and kept for every file
// the worker handles.
class GzipCodec {
 public:
  explicit GzipCodec(int level = 6);
  GzipCodec(const GzipCodec&) = delete;
  GzipCodec& operator=(const GzipCodec&) = delete;
  ~GzipCodec();

  // Replaces `out` with the decompressed contents of every gzip member of `in`. Corrupt or
  // truncated data, and text beyond `limit`, fail as OSError "failed to decompress gzip log
  // (...)".
  expected<void, conv::ConversionFailure> decompress(std::string_view in, std::string& out,
                                                     std::size_t limit = kMaxLogBytes);

  // Replaces `out` with one gzip member holding `in`.
  void compress(std::string_view in, std::string& out);

 private:
  int level_;
  libdeflate_compressor* compressor_ = nullptr;
  libdeflate_decompressor* decompressor_ = nullptr;
};

// True when the name ends in ".gz": such logs are read through gzip.
bool is_gzip_name(std::string_view path);

}  // namespace paifu::cli
