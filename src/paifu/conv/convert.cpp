#include "paifu/conv/convert.hpp"

namespace paifu::conv {

std::string_view exception_class_name(ExceptionClass) { return "OSError"; }

std::expected<std::vector<std::string>, ConversionFailure> convert_log_text(std::string_view) {
  return std::unexpected(ConversionFailure{ExceptionClass::OSError, "not implemented"});
}

std::expected<std::vector<std::string>, ConversionFailure> convert_log_file(std::string_view,
                                                                            std::optional<std::string_view>) {
  return std::unexpected(ConversionFailure{ExceptionClass::OSError, "not implemented"});
}

std::string quoted_path(std::string_view path) { return std::string(path); }
std::string plain_path(std::string_view path) { return std::string(path); }

}  // namespace paifu::conv
