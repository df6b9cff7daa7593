// Whole-buffer gzip for logs read and mjai files written, through libdeflate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/base/file_io.hpp"

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace paifu {

// One worker's compressor and decompressor, each made on first use and kept for every file
// the worker handles.
class GzipCodec {
 public:
  explicit GzipCodec(int level = 6);
  GzipCodec(const GzipCodec&) = delete;
  GzipCodec& operator=(const GzipCodec&) = delete;
  ~GzipCodec();

  // Replaces `out` with the decompressed contents of every gzip member of `in`. Fails at stage
  // Decode: ENODATA for empty input, EFBIG for text beyond `limit`, EBADMSG for corrupt or
  // truncated data.
  expected<void, Error> decompress(std::string_view in, std::string& out, std::size_t limit = kMaxLogBytes);

  // Replaces `out` with one gzip member holding `in`.
  void compress(std::string_view in, std::string& out);

 private:
  int level_;
  libdeflate_compressor* compressor_ = nullptr;
  libdeflate_decompressor* decompressor_ = nullptr;
};

// True when the name ends in ".gz": such logs are read through gzip.
bool is_gzip_name(std::string_view path);

// True when the bytes begin as a gzip member does.
bool has_gzip_magic(std::string_view bytes);

}  // namespace paifu
