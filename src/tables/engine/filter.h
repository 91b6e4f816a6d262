// Table filters: a small expression of comparisons evaluated on a cursor's current row.
//
//   ID=5   NT_DAT=2024-03-05   ALR_DAT=2024-03-05 or ALR_CDZ = 'TRUE'   not (NAZW = 'Kow*')
//
// Comparisons are FIELD op literal, literal op FIELD or FIELD op FIELD with = <> != < <= > >=,
// joined by and / or / not (any case; not binds tighter than and, and tighter than or) and
// parentheses. Literals: numbers (optionally negative, with decimals), quoted text '...' or
// "..." (a doubled quote stands for one), dates YYYY-MM-DD, NULL, TRUE and FALSE.
//
// Meaning by field type: numbers compare numerically; dates with a date literal or a quoted
// 'YYYY-MM-DD'; date-time fields compared with a date look at their date; logical fields with
// TRUE/FALSE or 'TRUE', 'FALSE', 'T', 'F', 'Y', 'N' in any case; text and memo fields compare
// after trailing blanks are removed, case-sensitively, and a trailing '*' in the literal of = or
// <> means "starts with". A null field satisfies only FIELD = NULL; every other comparison with
// it is false.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace pulpex::engine {

class Cursor;

class FilterExpr {
  public:
    // Throws EDatabaseError("Błędny filtr „...”: ...") on syntax errors, unknown fields and
    // literals that do not suit their field.
    static std::unique_ptr<FilterExpr> compile(std::string_view text,
                                               const std::vector<FieldInfo>& fields);
    ~FilterExpr();
    FilterExpr(const FilterExpr&) = delete;
    FilterExpr& operator=(const FilterExpr&) = delete;

    // Evaluates on the cursor's current row; fields are read by number.
    bool matches(Cursor& row) const;
    const std::string& text() const;

    struct Node;  // the compiled form, defined in filter.cpp

  private:
    FilterExpr();
    std::string text_;
    std::unique_ptr<Node> root_;
};

}  // namespace pulpex::engine
