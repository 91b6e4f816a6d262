// The table file header of dBase III+, IV, 5 and 7 and its field descriptors.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "value.h"

namespace pulpex::engine {

struct DbfHeader {
    std::uint8_t version = 0x03;
    bool level7 = false;  // 48-byte descriptors from byte 68 (versions 0x04 and 0x8C)
    std::uint32_t recordCount = 0;
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    bool productionIndex = false;  // byte 28
    std::uint8_t languageDriver = 0;
    std::string languageDriverName;  // level 7 only
    std::vector<FieldInfo> fields;
    // File offset of each field's descriptor (level 7 keeps the next autoincrement value there).
    std::vector<std::uint32_t> descriptorOffsets;

    bool hasMemo() const;
    bool dbase3Memo() const { return version == 0x83; }

    // Parses the header block (at least `headerLength` bytes of the file's start). Throws
    // EDatabaseError naming the problem when anything is inconsistent.
    static DbfHeader parse(std::span<const std::byte> bytes, const std::string& path);
    // Reads only the fixed part to learn the header length (throws when under 32 bytes).
    static std::uint16_t peekHeaderLength(std::span<const std::byte> first32,
                                          const std::string& path);

    // Header of a new dBase IV table (0x8B with memo fields, else 0x03) with the given language
    // driver byte.
    static std::vector<std::byte> build(const std::vector<FieldDef>& defs, bool productionIndex,
                                        std::uint8_t languageDriver = 0xC8);
};

// Offsets of header fields.
inline constexpr std::size_t kHdrCount = 4;
inline constexpr std::size_t kHdrMdxFlag = 28;
inline constexpr std::size_t kHdrLanguage = 29;
// A reserved byte of a dBase IV field descriptor: build() marks the character fields that hold
// times (C 11) and date-times (C 30) there.
inline constexpr std::size_t kDescTextKind = 24;
inline constexpr char kTextKindTime = 'T';
inline constexpr char kTextKindDateTime = '@';

}  // namespace pulpex::engine
