// Internal faults: violated invariants of the converter itself, never caused by a bad log.
// They are thrown as exceptions (failures of the input are values) and carry the place where
// the invariant broke, so that the Python binding's barrier can report it.
#pragma once

#include <cstdint>
#include <optional>
#include <source_location>
#include <stdexcept>
#include <string>

namespace paifu {

#if defined(__has_builtin) && __has_builtin(__builtin_source_location)
using SourceLocation = std::source_location;
#else
// clang 14 lacks the builtin that libstdc++'s std::source_location needs, so the fuzz build
// (clang) uses this stand-in with the same members; the function name is the bare name.
class SourceLocation {
 public:
  static constexpr SourceLocation current(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
                                          const char* function = __builtin_FUNCTION()) noexcept {
    SourceLocation where;
    where.file_ = file;
    where.line_ = static_cast<std::uint_least32_t>(line);
    where.function_ = function;
    return where;
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr std::uint_least32_t line() const noexcept { return line_; }
  constexpr std::uint_least32_t column() const noexcept { return 0; }
  constexpr const char* function_name() const noexcept { return function_; }

 private:
  const char* file_ = "";
  std::uint_least32_t line_ = 0;
  const char* function_ = "";
};
#endif

class InternalFault : public std::logic_error {
 public:
  InternalFault(const std::string& message, SourceLocation where) : std::logic_error(message), where_(where) {}
  const SourceLocation& where() const noexcept { return where_; }

 private:
  SourceLocation where_;
};

[[noreturn]] inline void internal_fault(const std::string& message,
                                        SourceLocation where = SourceLocation::current()) {
  throw InternalFault(message, where);
}

// What a barrier tells of the fault it caught: the message, and where an invariant broke.
struct FaultReport {
  std::string message;
  std::optional<SourceLocation> where;

  // "internal fault at FILE:LINE in FUNCTION: MESSAGE" (no place for other exceptions).
  std::string diagnostic() const;
};

// Describes the exception being handled; call it only inside a catch block.
FaultReport describe_current_fault();

}  // namespace paifu
