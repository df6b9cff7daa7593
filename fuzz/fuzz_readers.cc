// libFuzzer target: the quick reader against the exact one. Whatever the quick reader accepts, the
// exact reader must accept into equal records, and it must be UTF-8 (the conversion checks only
// what the quick reader declines); anything else is a finding. Each input is also tried
// laid out over many lines (line feeds before it), which the quick reader reads from a compact copy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "paifu/base/utf8.hpp"
#include "paifu/tenhou/quick_reader.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace {

void check_readers_agree(std::string_view text) {
  const auto quick = paifu::tenhou::read_log_quickly(text);
  if (!quick) return;
  if (!paifu::utf8::is_valid(text)) std::abort();
  const auto exact = paifu::tenhou::read_log_exactly(text);
  if (!exact || !(*exact == *quick)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_readers_agree(text);
  // The first byte, when it is a digit, shifts the text against the copy's 64-byte blocks.
  const std::size_t shift = size > 0 && text[0] >= '0' && text[0] <= '9' ? static_cast<std::size_t>(text[0] - '0') * 7 : 0;
  check_readers_agree(std::string(80, '\n') + std::string(shift, ' ') + std::string(text));
  return 0;
}
