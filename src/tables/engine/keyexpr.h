// Index keys: a tag's key text compiled against a table's fields into a builder that turns a raw
// record into fixed-length key bytes whose memcmp order is the order of the values.
//
// A key is a field list ("ID", "RSZ_IDS;ESZ_ZD") or a dBase key expression made of field names,
// string and number literals, parentheses, + and -, and the functions STR(n[,len[,dec]]),
// UPPER(s), DTOS(d), LEFT(s,n), SUBSTR(s,start[,len]) and VAL(s). As in dBase, every string in
// an expression has a fixed width, so keys have a fixed length.
//
// Encodings:
// - numbers (N, F, I, +, O fields and numeric expressions): 8-byte big-endian double with the
//   sign bit flipped for positive values and all bits inverted for negative ones; a blank number
//   is 8 zero bytes, which sorts first;
// - dates (D fields, date expressions): "YYYYMMDD", a blank date is 8 blanks;
// - time stamps (@ fields): milliseconds as a number, like above;
// - text: the code-page bytes, blank-padded; logical fields: one byte 'T', 'F' or ' '.
// nocase upper-cases every character part (code-page upper case); descending inverts every byte.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "value.h"

namespace pulpex::engine {

class CodePage;

class KeyBuilder {
  public:
    // Throws EDatabaseError("Błędne wyrażenie klucza indeksu „...”: ...") naming the problem:
    // an unknown field or function, a memo field, mismatched types, a syntax error, a key
    // longer than 240 bytes.
    static std::unique_ptr<KeyBuilder> compile(std::string_view key,
                                               const std::vector<FieldInfo>& fields,
                                               const CodePage& cp, bool descending, bool nocase);
    ~KeyBuilder();
    KeyBuilder(const KeyBuilder&) = delete;
    KeyBuilder& operator=(const KeyBuilder&) = delete;

    std::size_t keyLength() const;  // fixed, 1..240
    char keyType() const;           // 'C' character, 'N' numeric, 'D' date

    // Writes keyLength() bytes for the raw record (byte 0 the deletion flag). Allocates nothing.
    void build(const std::byte* record, std::byte* out) const;

    // The leading parts of the key that each come from one field through a transform, in key
    // order. A field list has one part per field; "str(A)+str(B)" has A's and B's STR parts; a
    // part that does not come from a single field ends the list.
    struct Part {
        int field;
        enum class Kind { Raw, Str, Dtos, Upper, Other } kind;
        std::size_t offset, length;
    };
    const std::vector<Part>& parts() const;

    // The key bytes shared by all rows whose leading fields equal `values` (one value per part,
    // from the first). With padText false a text value of the last part is not blank-padded,
    // so that it matches as a prefix. A monostate stands for a blank field. Returns nullopt
    // when a value cannot be represented: wrong type, text with characters the code page lacks,
    // more values than parts.
    std::optional<std::vector<std::byte>> encodePrefix(std::span<const Value> values,
                                                       bool padText) const;

  private:
    KeyBuilder();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace pulpex::engine
