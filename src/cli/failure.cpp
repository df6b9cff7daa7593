#include "cli/failure.hpp"

#include <cerrno>
#include <new>

#include "paifu/base/internal_fault.hpp"

namespace paifu::cli {

std::string_view os_error_class(int error) {
  switch (error) {
    case ENOENT: return "FileNotFoundError";
    case EACCES:
    case EPERM: return "PermissionError";
    case ECONNREFUSED: return "ConnectionRefusedError";
    case ECONNRESET: return "ConnectionResetError";
    case ECONNABORTED: return "ConnectionAbortedError";
    case EPIPE: return "BrokenPipeError";
    case EEXIST: return "FileExistsError";
    case EAGAIN: return "BlockingIOError";
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return "BlockingIOError";
#endif
    case ETIMEDOUT: return "TimeoutError";
    case EINTR: return "InterruptedError";
    default: return "OSError";
  }
}

Failure current_fault_failure() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return {"MemoryError", "out of memory"};
  } catch (...) {
    return {"PanicException", describe_current_fault().diagnostic()};
  }
}

Failure conversion_failure(const Error& error, const conv::FailurePaths& paths, conv::LogFormat format) {
  std::string message = conv::failure_message(error, paths, format);
  if (error.stage == Stage::Parse && format == conv::LogFormat::Mjlog) {
    return {"TenhouLogParsingError", std::move(message)};
  }
  switch (error.stage) {
    case Stage::Open: return {"FileNotFoundError", std::move(message)};
    case Stage::Read: return {os_error_class(error.number), std::move(message)};
    case Stage::Parse: return {"JsonParsingError", std::move(message)};
    case Stage::Prepare: return {"TenhouLogParsingError", std::move(message)};
    case Stage::Replay: return {"TenhouToMjaiError", std::move(message)};
    case Stage::Encode: return {"JsonSerializationError", std::move(message)};
    case Stage::Decode:
    case Stage::Create:
    case Stage::Write: break;
  }
  return {"OSError", std::move(message)};
}

}  // namespace paifu::cli
