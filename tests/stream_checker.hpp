// Checks an mjai line stream for replay faults: hands tracked from start_kyoku, every discard
// and call consistent with them, and the framing of the game.
#pragma once

#include <string>
#include <vector>

namespace paifu::testing {

// Returns an empty string when the stream is sound, else a description of the first fault.
std::string check_mjai_stream(const std::vector<std::string>& lines);

}  // namespace paifu::testing
