#include "paifu/conv/output.hpp"

namespace paifu::conv {

std::expected<std::vector<std::string>, mjai::EncodeError> encode_all(const std::vector<mjai::Event>&) {
  return std::unexpected(mjai::EncodeError{});
}

const SystemCalls& real_system_calls() {
  static const SystemCalls calls{nullptr, nullptr, nullptr};
  return calls;
}

bool is_stdout_path(std::string_view path) { return path == "-"; }

std::expected<void, OutputError> deliver_lines(const std::vector<std::string>&, std::string_view, const SystemCalls&) {
  return std::unexpected(OutputError::CreateFailed);
}

}  // namespace paifu::conv
