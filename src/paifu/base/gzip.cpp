#include "paifu/base/gzip.hpp"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace paifu {
namespace {

Error decompress_failure(int number) { return Error{Stage::Decode, number, {}}; }

// The size the member's trailer claims (modulo 4 GiB): a first guess for the output buffer.
std::size_t claimed_size(std::string_view in) {
  if (in.size() < 18) return 0;  // smaller than any gzip member
  const auto* tail = reinterpret_cast<const unsigned char*>(in.data() + in.size() - 4);
  return std::size_t{tail[0]} | std::size_t{tail[1]} << 8 | std::size_t{tail[2]} << 16 | std::size_t{tail[3]} << 24;
}

}  // namespace

GzipCodec::GzipCodec(int level) : level_(level) {}

GzipCodec::~GzipCodec() {
  libdeflate_free_compressor(compressor_);
  libdeflate_free_decompressor(decompressor_);
}

expected<void, Error> GzipCodec::decompress(std::string_view in, std::string& out, std::size_t limit) {
  if (in.empty()) return unexpected(decompress_failure(ENODATA));
  if (decompressor_ == nullptr && (decompressor_ = libdeflate_alloc_decompressor()) == nullptr) {
    throw std::bad_alloc();
  }
  // Start from the trailer's claim (bounded, as it may lie) and double on demand up to the limit.
  std::size_t capacity = std::min(std::max<std::size_t>(claimed_size(in), 4096), limit);
  out.resize(capacity);
  std::size_t used = 0;
  std::size_t read = 0;
  while (read < in.size()) {
    std::size_t in_used = 0;
    std::size_t out_used = 0;
    const libdeflate_result result = libdeflate_gzip_decompress_ex(
        decompressor_, in.data() + read, in.size() - read, out.data() + used, out.size() - used, &in_used, &out_used);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
      if (out.size() >= limit) return unexpected(decompress_failure(EFBIG));
      out.resize(std::min(out.size() * 2, limit));
      continue;
    }
    if (result != LIBDEFLATE_SUCCESS) return unexpected(decompress_failure(EBADMSG));
    read += in_used;
    used += out_used;
  }
  out.resize(used);
  return {};
}

void GzipCodec::compress(std::string_view in, std::string& out) {
  if (compressor_ == nullptr && (compressor_ = libdeflate_alloc_compressor(level_)) == nullptr) {
    throw std::bad_alloc();  // also an invalid level: the command line admits none
  }
  out.resize(libdeflate_gzip_compress_bound(compressor_, in.size()));
  const std::size_t size = libdeflate_gzip_compress(compressor_, in.data(), in.size(), out.data(), out.size());
  if (size == 0) throw std::logic_error("gzip output exceeded its own bound");
  out.resize(size);
}

bool is_gzip_name(std::string_view path) { return path.ends_with(".gz"); }

bool has_gzip_magic(std::string_view bytes) { return bytes.starts_with("\x1f\x8b"); }

}  // namespace paifu
