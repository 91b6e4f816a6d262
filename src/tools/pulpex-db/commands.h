// The commands of pulpex-db. Each takes the arguments after the command name, writes its result
// to `out` and its messages to `err`, and returns the process exit code.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace pulpex::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDamage = 1;  // check found damage it did not (or could not) repair
inline constexpr int kExitError = 2;   // bad usage, missing or unreadable files, bad data

// A mistake on the command line: main prints it with a pointer to the usage text.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure that has nothing to do with the engine (files the tool reads itself, CSV syntax).
class ToolError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

extern const char* const kUsage;

int cmdInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdCreate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdSql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdReindex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmdPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs the command named by args[0]; catches every error and turns it into a message on `err`
// and an exit code.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Polish noun form after a count: plural(1, "wiersz", "wiersze", "wierszy") == "wiersz",
// 3 → "wiersze", 5 and 12 → "wierszy", 22 → "wiersze".
std::string plural(std::uint64_t n, const char* one, const char* few, const char* many);

}  // namespace pulpex::tools
