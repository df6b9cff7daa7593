// Reading Tenhou's mjlog XML: the play is recorded in its order, so its elements become the
// game's mjai events one by one.
#pragma once

#include <string>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/mjai/event.hpp"
#include "paifu/mjai/lines.hpp"

namespace paifu::mjlog {

// Why a document was refused at stage Parse (the error's number).
enum class ParseFault {
  NotXml,            // not well-formed XML
  NotMjlog,          // the root is not mjloggm
  MissingAttribute,  // an attribute (or the GO or UN element) the conversion needs is absent
  BadAttribute,      // an attribute the conversion needs is malformed
  BadTile,           // a tile number outside 0-135
  BadSeat,           // a seat outside 0-3
  BadMeld,           // a meld code that is no four-player meld
};

// Why the play cannot be (stage Replay).
enum class PlayFault {
  Incomplete,      // no result carries owari, or a kyoku ends without a result
  OutOfTurn,       // a draw, discard, kan or reach by a seat whose turn it is not
  UnexpectedCall,  // a call of a tile nobody just discarded
  NotInHand,       // a discard or meld of a tile the seat does not hold
  TileSeenTwice,   // the same tile dealt, drawn or shown twice
  DoraWithoutKan,  // more DORA than kans
};

// Reads a whole document into the game's mjai lines, from start_game to end_game, strictly and
// all-or-nothing; each event is encoded as its element is read. The text is parsed in place, so it is changed. Fails at stage Parse (see
// ParseFault), Prepare (a three-player game) or Replay (see PlayFault).
expected<mjai::Lines, Error> read_game(std::string& text);

}  // namespace paifu::mjlog
