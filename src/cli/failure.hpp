// What the command reports for a log that failed: the exception class its name would have in
// Python, and the message.
#pragma once

#include <string>
#include <string_view>

#include "paifu/base/error.hpp"
#include "paifu/conv/failure_text.hpp"

namespace paifu::cli {

struct Failure {
  std::string_view class_name;
  std::string message;
  friend bool operator==(const Failure&, const Failure&) = default;
};

// The class of a system failure by the kind of its error number, as Python names them.
std::string_view os_error_class(int error);

// What an exception caught while converting one log is reported as: MemoryError when memory
// ran out, otherwise PanicException with the fault's diagnostic. Call only inside a catch block.
Failure current_fault_failure();

// The class and message of a failed conversion.
Failure conversion_failure(const Error& error, const conv::FailurePaths& paths,
                           conv::LogFormat format = conv::LogFormat::Tenhou6);

}  // namespace paifu::cli
