// The single error kind of the database engine. Every failure of the engine (bad file, lock
// conflict, bad value, SQL error) surfaces as EDatabaseError carrying a Polish message that can be
// shown to the user as it is. The reason lets callers tell a lock conflict (worth a retry) from
// damage (worth a repair) without reading the text.
#pragma once

#include <stdexcept>
#include <string>

namespace pulpex::engine {

class EDatabaseError : public std::runtime_error {
  public:
    enum class Reason { General, NotFound, Locked, Damaged, BadValue };

    explicit EDatabaseError(const std::string& message, Reason reason = Reason::General)
        : std::runtime_error(message), reason_(reason) {}
    EDatabaseError(Reason reason, const std::string& message)
        : std::runtime_error(message), reason_(reason) {}

    Reason reason() const { return reason_; }

  private:
    Reason reason_;
};

// Throws EDatabaseError with `message` + ": " + systemErrorText(errnum) + " (" + path + ")".
[[noreturn]] void throwSystemError(const std::string& message, const std::string& path, int errnum);

}  // namespace pulpex::engine
