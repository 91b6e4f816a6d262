#include "dbf_header.h"

#include <cctype>
#include <cstring>
#include <ctime>
#include <set>

#include "error.h"
#include "fileio.h"

namespace pulpex::engine {

namespace {
[[noreturn]] void bad(const std::string& path, const std::string& what) {
    throw EDatabaseError(EDatabaseError::Reason::Damaged,
                         "Uszkodzony nagłówek tabeli: " + what + " (" + path + ")");
}

FieldType logicalType(char t, int decimals) {
    switch (t) {
        case 'C':
            return FieldType::String;
        case 'N':
            return decimals == 0 ? FieldType::Integer : FieldType::Float;
        case 'F':
            return FieldType::Float;
        case 'L':
            return FieldType::Boolean;
        case 'D':
            return FieldType::Date;
        case 'M':
            return FieldType::Memo;
        case 'B':
        case 'G':
            return FieldType::Graphic;
        case 'I':
            return FieldType::Integer;
        case '+':
            return FieldType::AutoInc;
        case 'O':
            return FieldType::Float;
        case '@':
            return FieldType::DateTime;
        default:
            return FieldType::String;
    }
}

bool expectedSize(char t, int size, bool level7) {
    switch (t) {
        case 'C':
            return size >= 1;
        case 'N':
        case 'F':
            return size >= 1 && size <= 20;
        case 'L':
            return size == 1;
        case 'D':
            return size == 8;
        case 'M':
        case 'B':
        case 'G':
            return size == 10 || (level7 && size == 10);
        case 'I':
        case '+':
            return size == 4;
        case 'O':
        case '@':
            return size == 8;
        default:
            return false;
    }
}
}  // namespace

bool DbfHeader::hasMemo() const {
    for (const auto& f : fields)
        if (f.dbfType == 'M' || f.dbfType == 'B' || f.dbfType == 'G') return true;
    return false;
}

std::uint16_t DbfHeader::peekHeaderLength(std::span<const std::byte> b, const std::string& path) {
    if (b.size() < 32) bad(path, "plik krótszy niż nagłówek");
    return getLE16(b.data() + 8);
}

DbfHeader DbfHeader::parse(std::span<const std::byte> b, const std::string& path) {
    if (b.size() < 32) bad(path, "plik krótszy niż nagłówek");
    DbfHeader h;
    h.version = std::to_integer<std::uint8_t>(b[0]);
    switch (h.version) {
        case 0x03:
        case 0x83:
        case 0x8B:
        case 0x8E:
        case 0xCB:
            break;
        case 0x04:
        case 0x8C:
            h.level7 = true;
            break;
        default:
            bad(path, "nieznana wersja pliku dBase");
    }
    h.recordCount = getLE32(b.data() + kHdrCount);
    h.headerLength = getLE16(b.data() + 8);
    h.recordLength = getLE16(b.data() + 10);
    h.productionIndex = b[kHdrMdxFlag] == std::byte{1};
    h.languageDriver = std::to_integer<std::uint8_t>(b[kHdrLanguage]);
    const std::size_t first = h.level7 ? 68 : 32;
    const std::size_t dsize = h.level7 ? 48 : 32;
    if (h.headerLength < first + 1 || h.headerLength > b.size())
        bad(path, "niepoprawna długość nagłówka");
    if (h.recordLength < 2) bad(path, "niepoprawna długość rekordu");
    if (h.level7) {
        const char* name = reinterpret_cast<const char*>(b.data() + 32);
        h.languageDriverName.assign(name, strnlen(name, 32));
    }
    std::uint32_t offset = 1;
    std::set<std::string> names;
    std::size_t pos = first;
    while (pos < h.headerLength && b[pos] != std::byte{0x0D}) {
        if (pos + dsize > h.headerLength) bad(path, "niepełny opis pola");
        const std::byte* d = b.data() + pos;
        const std::size_t nameLen = h.level7 ? 32 : 11;
        const char* nm = reinterpret_cast<const char*>(d);
        FieldInfo f;
        f.name.assign(nm, strnlen(nm, nameLen));
        for (char& c : f.name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (f.name.empty()) bad(path, "pole bez nazwy");
        for (char c : f.name)
            if (static_cast<unsigned char>(c) < 0x20) bad(path, "niepoprawna nazwa pola");
        if (!names.insert(f.name).second) bad(path, "powtórzona nazwa pola " + f.name);
        f.dbfType = static_cast<char>(std::to_integer<unsigned char>(d[h.level7 ? 32 : 11]));
        f.size = std::to_integer<int>(d[h.level7 ? 33 : 16]);
        f.decimals = std::to_integer<int>(d[h.level7 ? 34 : 17]);
        if (f.dbfType == 'C' && !h.level7 && f.decimals > 0) {
            // Clipper-style long character fields keep the high byte of the size here.
            f.size += f.decimals * 256;
            f.decimals = 0;
        }
        if (!expectedSize(f.dbfType, f.size, h.level7))
            bad(path, "pole " + f.name + " ma nieobsługiwany typ lub rozmiar");
        if (f.decimals > 18 || (f.decimals > 0 && f.decimals >= f.size))
            bad(path, "pole " + f.name + " ma niepoprawną liczbę miejsc dziesiętnych");
        f.type = logicalType(f.dbfType, f.decimals);
        f.offset = offset;
        offset += static_cast<std::uint32_t>(f.size);
        h.descriptorOffsets.push_back(static_cast<std::uint32_t>(pos));
        h.fields.push_back(std::move(f));
        pos += dsize;
        if (h.fields.size() > 1024) bad(path, "za dużo pól");
    }
    if (pos >= h.headerLength && !h.level7) {
        // Some writers omit the terminator when the header is exactly full; accept that.
    }
    if (h.fields.empty()) bad(path, "brak opisu pól");
    if (offset != h.recordLength) bad(path, "długość rekordu nie zgadza się z opisem pól");
    return h;
}

namespace {
// A field kept in the layout of an existing file: its letter, size and decimals as they were.
void keptLayout(const FieldDef& def, const std::string& name, char& type, int& size, int& dec) {
    type = def.dbfType;
    size = def.size;
    dec = def.decimals;
    bool ok;
    switch (type) {
        case 'C':
            ok = size >= 1 && size <= 65535 && dec == 0;
            if (size > 255) {
                // The Clipper form of long character fields, as the reader takes it.
                dec = size / 256;
                size %= 256;
            }
            break;
        case 'N':
        case 'F':
            ok = size >= 1 && size <= 20 && dec <= 18 && (dec == 0 || dec < size);
            break;
        case 'L':
            ok = size == 1;
            break;
        case 'D':
            ok = size == 8;
            break;
        case 'M':
        case 'B':
        case 'G':
            ok = size == 10;
            break;
        default:
            ok = false;
    }
    if (!ok)
        throw EDatabaseError("Pole " + name + " typu " + std::string(1, type) + " (" +
                             std::to_string(def.size) + ") nie ma zapisu w formacie dBase IV");
}
}  // namespace

namespace {
// One dBase IV field descriptor. dBase IV has no letter for times: a reserved byte of the
// descriptor tells them from text.
void putDescriptor(std::byte* descriptor, const std::string& name, char dbfType, int size, int dec,
                   FieldType type) {
    std::memcpy(descriptor, name.data(), name.size());
    descriptor[11] = std::byte(dbfType);
    descriptor[16] = std::byte(size);
    descriptor[17] = std::byte(dec);
    if (dbfType != 'C') return;
    if (type == FieldType::Time) descriptor[kDescTextKind] = std::byte{kTextKindTime};
    if (type == FieldType::DateTime) descriptor[kDescTextKind] = std::byte{kTextKindDateTime};
}
}  // namespace

std::vector<std::byte> DbfHeader::build(const std::vector<FieldDef>& defs, bool productionIndex,
                                        std::uint8_t languageDriver) {
    if (defs.empty()) throw EDatabaseError("Tabela musi mieć co najmniej jedno pole");
    if (defs.size() > 255) throw EDatabaseError("Za dużo pól w tabeli");
    std::vector<std::byte> h(32 + 32 * defs.size() + 1, std::byte{0});
    bool memo = false;
    std::uint32_t recLen = 1;
    std::set<std::string> names;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const FieldDef& def = defs[i];
        std::string name = def.name;
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (name.empty() || name.size() > 10)
            throw EDatabaseError("Niepoprawna nazwa pola „" + def.name + "” (1–10 znaków)");
        for (char c : name)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
                throw EDatabaseError("Niepoprawna nazwa pola „" + def.name + "”");
        if (!names.insert(name).second)
            throw EDatabaseError("Powtórzona nazwa pola „" + def.name + "”");
        char type;
        int size, dec = 0;
        if (def.dbfType != 0) {
            keptLayout(def, name, type, size, dec);
            if (type == 'M' || type == 'B' || type == 'G') memo = true;
            putDescriptor(h.data() + 32 + 32 * i, name, type, size, dec, def.type);
            recLen += static_cast<std::uint32_t>(type == 'C' ? size + dec * 256 : size);
            continue;
        }
        switch (def.type) {
            case FieldType::String:
                type = 'C';
                size = def.size;
                if (size < 1 || size > 254)
                    throw EDatabaseError("Niepoprawny rozmiar pola " + name + " (1–254)");
                break;
            case FieldType::Integer:
            case FieldType::AutoInc:
                type = 'N';
                size = 11;
                break;
            case FieldType::Float:
                type = 'N';
                size = 20;
                dec = 4;
                break;
            case FieldType::Boolean:
                type = 'L';
                size = 1;
                break;
            case FieldType::Date:
                type = 'D';
                size = 8;
                break;
            case FieldType::Time:
                type = 'C';
                size = 11;
                break;
            case FieldType::DateTime:
                type = 'C';
                size = 30;
                break;
            case FieldType::Memo:
                type = 'M';
                size = 10;
                memo = true;
                break;
            case FieldType::Graphic:
                type = 'B';
                size = 10;
                memo = true;
                break;
            default:
                throw EDatabaseError("Nieobsługiwany typ pola " + name);
        }
        putDescriptor(h.data() + 32 + 32 * i, name, type, size, dec, def.type);
        recLen += static_cast<std::uint32_t>(size);
    }
    if (recLen > 65535) throw EDatabaseError("Rekord tabeli jest za długi");
    h[32 + 32 * defs.size()] = std::byte{0x0D};
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    h[0] = std::byte(memo ? 0x8B : 0x03);
    h[1] = std::byte(tm.tm_year % 256);
    h[2] = std::byte(tm.tm_mon + 1);
    h[3] = std::byte(tm.tm_mday);
    putLE16(h.data() + 8, static_cast<std::uint16_t>(h.size()));
    putLE16(h.data() + 10, static_cast<std::uint16_t>(recLen));
    h[kHdrMdxFlag] = std::byte(productionIndex ? 1 : 0);
    h[kHdrLanguage] = std::byte{languageDriver};
    return h;
}

}  // namespace pulpex::engine
