// CSV as RFC 4180 has it (comma-separated, "..." quoting with "" for a quote, CRLF line ends) and
// base64, for moving rows in and out of tables as text.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pulpex::tools {

// A syntax error in CSV input; `line` is the 1-based line where the bad record starts.
class CsvError : public std::runtime_error {
  public:
    CsvError(const std::string& message, std::size_t line)
        : std::runtime_error(message), line_(line) {}
    std::size_t line() const { return line_; }

  private:
    std::size_t line_;
};

struct CsvRecord {
    std::vector<std::string> fields;
    std::size_t line = 0;  // 1-based line on which the record starts
};

// Reads records from the whole text of a CSV file. Accepts CRLF, LF and a lone CR as record
// ends, an optional UTF-8 byte-order mark and a missing final line end. Quoted fields may hold
// commas, quotes (doubled) and line ends. Blank lines are skipped, so a record with one empty
// field must be written as "" (writeCsvRecord does that). Throws CsvError on an unterminated
// quote or text after a closing quote.
class CsvReader {
  public:
    explicit CsvReader(std::string_view text);
    // The next record, or false at the end of the text.
    bool next(CsvRecord& record);

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

// One field as it goes into a CSV file: quoted when it holds a comma, a quote, CR or LF.
std::string csvField(std::string_view value);
// Writes one record ended by CRLF.
void writeCsvRecord(std::ostream& out, const std::vector<std::string>& fields);

std::string base64Encode(std::span<const std::byte> bytes);
// Standard alphabet; padding optional; blanks and line ends are ignored. nullopt on any other
// character or a truncated group.
std::optional<std::vector<std::byte>> base64Decode(std::string_view text);

}  // namespace pulpex::tools
