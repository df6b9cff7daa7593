// libFuzzer target: any bytes through the whole in-memory conversion, from the strict reader to
// the encoded lines. A crash, a sanitizer report, a leak or an escaping exception is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "paifu/conv/convert.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto lines = paifu::conv::convert_log_text(text);
  static_cast<void>(lines);
  return 0;
}
