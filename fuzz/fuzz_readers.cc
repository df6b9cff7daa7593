// libFuzzer target: the quick reader against the exact one. Whatever the quick reader accepts, the
// exact reader must accept into equal records; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "paifu/tenhou/quick_reader.hpp"
#include "paifu/tenhou/raw_log.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto quick = paifu::tenhou::read_log_quickly(text);
  if (!quick) return 0;
  const auto exact = paifu::tenhou::read_log_exactly(text);
  if (!exact || !(*exact == *quick)) std::abort();
  return 0;
}
