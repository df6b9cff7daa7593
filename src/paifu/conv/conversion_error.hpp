// The kyoku converter's failure: a kind, plus what the kind carries.
#pragma once

#include <memory>
#include <string>

#include "paifu/mjai/event.hpp"

namespace paifu::conv {

enum class ConversionErrorKind {
  InvalidCallString,         // carries the whole string
  InvalidTile,               // carries the two characters
  MarkerInDrawList,
  UnexpectedCall,            // carries the call event
  DoraMarkersExhausted,
  MissingDraw,
  MissingDiscardAfterReach,
};

// Kept small: the replay passes results of this type around on every turn.
struct ConversionError {
  ConversionErrorKind kind;
  std::string text;                           // InvalidCallString, InvalidTile
  std::shared_ptr<const mjai::Event> call;    // UnexpectedCall
};

}  // namespace paifu::conv
