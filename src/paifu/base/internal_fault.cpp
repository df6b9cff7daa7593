#include "paifu/base/internal_fault.hpp"

#include <exception>

namespace paifu {

std::string FaultReport::diagnostic() const {
  std::string line = "internal fault";
  if (where) {
    line += " at ";
    line += where->file_name();
    line += ':';
    line += std::to_string(where->line());
    line += " in ";
    line += where->function_name();
  }
  line += ": ";
  line += message.empty() ? "internal fault with no message" : message;
  return line;
}

FaultReport describe_current_fault() {
  try {
    throw;
  } catch (const InternalFault& fault) {
    return {fault.what(), fault.where()};
  } catch (const std::exception& error) {
    return {error.what(), std::nullopt};
  } catch (...) {
    return {"internal fault with no message", std::nullopt};
  }
}

}  // namespace paifu
