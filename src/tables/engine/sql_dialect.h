// Translation of the program's local SQL dialect into SQLite SQL.
//
// The dialect differs from SQLite in a few places, all handled here:
// - "..." is a string literal ("" inside stands for one "); it becomes a '...' literal;
// - a double-quoted name after FROM / JOIN / a comma of the FROM list is a table file:
//   from "USERS.dbf" reads table USERS;
// - cast("3/5/2024" as date) (month/day/year) is a date literal, written as '2024-03-05' because
//   dates travel through SQL as ISO text.
// Everything else (single-quoted literals, [..] and `..` identifiers, comments, :name
// parameters, keywords in any case, whitespace) passes through unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pulpex::engine {

struct TranslatedSql {
    std::string sql;  // SQLite SQL
    // Table names read by the statement (the file's stem, ASCII upper case, each once), in
    // order of appearance. Names that turn out to be CTEs or functions are included too; the
    // caller keeps only those that have a table file.
    std::vector<std::string> tables;
    // Column names of the outer select list as written: the alias after AS, or the last part
    // of a plain (qualified) column name; "" for other expressions. Empty when the list has a
    // star or cannot be read.
    std::vector<std::string> columnNames;
};

// Throws EDatabaseError on a bad date in a cast or an unterminated literal.
TranslatedSql translateSql(std::string_view dialectSql);

// Parses the dialect's date text: "M/D/YYYY" (leading zeros optional) or "YYYY-MM-DD".
// Returns "YYYY-MM-DD", or "" when the text is not a valid date.
std::string parseDialectDate(std::string_view text);

}  // namespace pulpex::engine
