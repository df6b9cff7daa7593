// The core's one failure type: where the conversion stopped, and why.
#pragma once

#include <cstdint>
#include <string>

namespace paifu {

// The stages of a conversion, in the order they run. Each front end (the Python binding, the
// command line) turns a stage into its exception class and fixed message.
enum class Stage : std::uint8_t {
  Open,     // the log cannot be opened
  Read,     // nor read: `number` is the errno; EFBIG when it is larger than the cap
  Decode,   // the bytes are not text: EILSEQ for ill-formed UTF-8; for gzip, ENODATA (empty
            // file), EFBIG (larger than the cap) or EBADMSG (corrupt or truncated data)
  Parse,    // the text is not a well-formed log: `number` is the reader's kind of refusal
  Prepare,  // the log is well-formed but not one this system converts (a three-player game)
  Replay,   // a kyoku cannot be replayed: `number` is the replay's kind of failure
  Encode,   // an event cannot be encoded
  Create,   // the output cannot be created: `number` is the errno
  Write,    // nor written: `number` is the errno
};

struct Error {
  Stage stage;
  int number = 0;
  // The reader's or the replay's reason, for diagnostics; never part of the fixed messages.
  std::string detail;

  friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace paifu
