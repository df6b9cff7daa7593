// The kyoku converter's failures: the core's Error at stage Replay, its number telling the kind.
#pragma once

#include <string>

#include "paifu/base/error.hpp"

namespace paifu::conv {

enum class ConversionErrorKind {
  InvalidCallString,  // the detail is the whole string
  InvalidTile,        // the detail is the two characters
  MarkerInDrawList,
  UnexpectedCall,  // the detail is the call event's mjai text
  DoraMarkersExhausted,
  MissingDraw,
  MissingDiscardAfterReach,
};

inline Error replay_error(ConversionErrorKind kind, std::string detail = {}) {
  return Error{Stage::Replay, static_cast<int>(kind), std::move(detail)};
}

inline ConversionErrorKind replay_error_kind(const Error& error) {
  return static_cast<ConversionErrorKind>(error.number);
}

}  // namespace paifu::conv
