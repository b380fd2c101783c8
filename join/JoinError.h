// The join engine's failures: a one-line message naming the input or output, and whether
// the user asked for something that cannot be done (bad usage or input) or a file could
// not be read or written.
#pragma once

#include <stdexcept>
#include <string>

namespace wqtrans::join {

enum class ErrorKind { Usage, Io };

struct JoinError : std::runtime_error {
    JoinError(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind(kind) {}
    ErrorKind kind;
};

[[noreturn]] inline void UsageFailure(const std::string& message) { throw JoinError(ErrorKind::Usage, message); }
[[noreturn]] inline void InputFailure(const std::string& message) { throw JoinError(ErrorKind::Io, message); }

} // namespace wqtrans::join
