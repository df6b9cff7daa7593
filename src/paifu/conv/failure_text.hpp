// The fixed messages that the front ends give for a failed conversion.
#pragma once

#include <string>
#include <string_view>

#include "paifu/base/error.hpp"

namespace paifu::conv {

// The label a format's messages name it by ("tenhou.net/6").
inline constexpr std::string_view kTenhouLabel = "tenhou.net/6";

// The formats of the logs read: the tenhou.net/6 JSON, and Tenhou's mjlog XML.
enum class LogFormat { Tenhou6, Mjlog };

// The paths a message may name.
struct FailurePaths {
  std::string_view input;
  std::string_view output;
};

// The message of a failed conversion, e.g. `failed to open tenhou.net/6 log file "PATH"` or
// `failed to open mjlog file "PATH"`. The error's detail is never part of it.
std::string failure_message(const Error& error, const FailurePaths& paths, LogFormat format = LogFormat::Tenhou6);

// The system's text for an error number, then " (os error N)".
std::string os_error_description(int error);

}  // namespace paifu::conv
