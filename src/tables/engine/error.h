// The single error kind of the database engine. Every failure of the engine (bad file, lock
// conflict, bad value, SQL error) surfaces as EDatabaseError carrying a Polish message that can be
// shown to the user as it is.
#pragma once

#include <stdexcept>
#include <string>

namespace pulpex::engine {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Throws EDatabaseError with `message` + ": " + strerror(errnum) + " (" + path + ")".
[[noreturn]] void throwSystemError(const std::string& message, const std::string& path, int errnum);

}  // namespace pulpex::engine
