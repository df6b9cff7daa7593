// Internal faults: violated invariants of the converter itself, never caused by a bad log.
// They are thrown as exceptions (failures of the input are values) and carry the place where
// the invariant broke, so that the Python binding's barrier can report it.
#pragma once

#include <optional>
#include <source_location>
#include <stdexcept>
#include <string>

namespace paifu {

class InternalFault : public std::logic_error {
 public:
  InternalFault(const std::string& message, std::source_location where) : std::logic_error(message), where_(where) {}
  const std::source_location& where() const noexcept { return where_; }

 private:
  std::source_location where_;
};

[[noreturn]] inline void internal_fault(const std::string& message,
                                        std::source_location where = std::source_location::current()) {
  throw InternalFault(message, where);
}

// What a barrier tells of the fault it caught: the message, and where an invariant broke.
struct FaultReport {
  std::string message;
  std::optional<std::source_location> where;

  // "internal fault at FILE:LINE in FUNCTION: MESSAGE" (no place for other exceptions).
  std::string diagnostic() const;
};

// Describes the exception being handled; call it only inside a catch block.
FaultReport describe_current_fault();

}  // namespace paifu
