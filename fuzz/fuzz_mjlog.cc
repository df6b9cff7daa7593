// libFuzzer target: any bytes through the whole in-memory mjlog conversion (gzip when the bytes
// begin as gzip does, the lexical check, the XML parser, the reader, the encoded lines). A
// crash, a sanitizer report, a leak, a hang or an escaping exception is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "paifu/base/gzip.hpp"
#include "paifu/conv/convert_mjlog.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  static paifu::GzipCodec codec;
  std::string scratch;
  auto lines = paifu::conv::convert_mjlog_bytes(bytes, codec, scratch);
  static_cast<void>(lines);
  return 0;
}
