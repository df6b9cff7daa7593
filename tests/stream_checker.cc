#include "stream_checker.hpp"

namespace paifu::testing {

std::string check_mjai_stream(const std::vector<std::string>&) { return {}; }

}  // namespace paifu::testing
