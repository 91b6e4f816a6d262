#include "table.h"
#include "text.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codepage.h"
#include "dbf_header.h"
#include "error.h"
#include "fileio.h"
#include "filter.h"
#include "index_file.h"
#include "keyexpr.h"
#include "memo.h"

namespace pulpex::engine {

namespace {

constexpr std::uint8_t kTagDescending = 1;
constexpr std::uint8_t kTagNocase = 2;

std::string dirOf(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? std::string(".") : path.substr(0, p);
}

std::string baseOf(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string stem(const std::string& path) {
    std::string b = baseOf(path);
    auto dot = b.find_last_of('.');
    return dot == std::string::npos ? b : b.substr(0, dot);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return s;
}

// Order-preserving transforms of dBase 7's binary numbers.
std::int32_t decodeLong(const std::byte* p) {
    return static_cast<std::int32_t>(getBE32(p) ^ 0x80000000u);
}
void encodeLong(std::byte* p, std::int32_t v) {
    putBE32(p, static_cast<std::uint32_t>(v) ^ 0x80000000u);
}
double decodeDouble(const std::byte* p) {
    std::uint64_t u = getBE64(p);
    if (u & 0x8000000000000000ull)
        u ^= 0x8000000000000000ull;
    else
        u = ~u;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}
void encodeDouble(std::byte* p, double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    if (u & 0x8000000000000000ull)
        u = ~u;
    else
        u ^= 0x8000000000000000ull;
    putBE64(p, u);
}
// dBase 7 time stamps (@) are plain big-endian IEEE doubles of milliseconds, unlike O fields.
double decodeStamp(const std::byte* p) {
    return std::bit_cast<double>(getBE64(p));
}
void encodeStamp(std::byte* p, double ms) {
    putBE64(p, std::bit_cast<std::uint64_t>(ms));
}
bool allZero(const std::byte* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != std::byte{0}) return false;
    return true;
}
bool allBlank(const std::byte* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != std::byte{' '} && p[i] != std::byte{0}) return false;
    return true;
}

// A memo pointer is 10 ASCII digits, right-aligned; blanks mean no content.
void putMemoPointer(std::byte* p, std::uint64_t block) {
    char buf[24];
    if (block == 0)
        std::memset(buf, ' ', 10);
    else
        std::snprintf(buf, sizeof buf, "%10llu", static_cast<unsigned long long>(block));
    std::memcpy(p, buf, 10);
}

// Days between 0001-01-01 (day 1) and the Julian day number, as dBase 7 timestamps count them.
constexpr std::int64_t kTimestampEpoch = 1721425;

}  // namespace

struct Table::Impl {
    std::string path;
    std::string tableName;
    OpenOptions options;
    File file;
    Mapping map;
    DbfHeader header;
    const CodePage* cp = nullptr;
    std::unique_ptr<MemoFile> memo;
    std::unique_ptr<IndexFile> index;
    struct Tag {
        IndexTagInfo info;
        int fileTag = -1;
        std::unique_ptr<KeyBuilder> kb;
    };
    std::vector<Tag> tags;
    bool indexRebuilt = false;
    bool indexDropped = false;

    // Position.
    int tag = -1;  // -1 physical order
    std::unique_ptr<IndexFile::Cursor> icur;
    std::uint32_t recno = 0;  // 0: no row
    bool eof = true, bof = true;

    // Range on the current tag, as key prefixes (empty = open).
    bool rangeOn = false;
    std::vector<std::byte> rangeLow, rangeHigh;

    std::unique_ptr<FilterExpr> filterExpr;

    State state = State::Browse;
    std::vector<std::byte> editBuf;  // record being edited or inserted
    std::vector<std::byte> oldBuf;   // the record as it was when edit() began
    std::uint32_t lockedRecno = 0;
    int appendLockDepth = 0;
    int soleUseDepth = 0;
    bool rangeEmpty = false;  // a bound the key cannot hold: no row matches
    std::vector<std::byte> keyScratch;

    std::uint64_t hdr() const { return header.headerLength; }
    std::uint64_t rlen() const { return header.recordLength; }

    // The record count as the file shows it now (another process may have appended).
    std::uint32_t liveCount() {
        std::uint32_t count = getLE32(map.data() + kHdrCount);
        std::uint64_t need = hdr() + std::uint64_t{count} * rlen();
        if (need > map.length()) {
            std::uint64_t size = file.size();
            map.remap(file, std::max<std::uint64_t>(std::min(need, size), hdr()));
            std::uint64_t full = (map.length() - hdr()) / rlen();
            if (full < count) count = static_cast<std::uint32_t>(full);
        }
        return count;
    }

    const std::byte* recordPtr(std::uint32_t n) const {
        return map.data() + hdr() + std::uint64_t{n - 1} * rlen();
    }

    // The bytes of the current row: the edit buffer while editing, else the file.
    const std::byte* row() const {
        if (state != State::Browse) return editBuf.data();
        if (recno == 0) throw EDatabaseError("Brak bieżącego rekordu");
        return recordPtr(recno);
    }

    const FieldInfo& field(int i) const {
        if (i < 0 || static_cast<std::size_t>(i) >= header.fields.size())
            throw EDatabaseError(EDatabaseError::Reason::BadValue, "Niepoprawny numer pola");
        return header.fields[static_cast<std::size_t>(i)];
    }

    std::span<const std::byte> keyOf(int t, const std::byte* rec) {
        auto& kb = *tags[static_cast<std::size_t>(t)].kb;
        keyScratch.resize(kb.keyLength());
        kb.build(rec, keyScratch.data());
        return keyScratch;
    }

    bool inRange(std::span<const std::byte> key) const {
        if (!rangeOn) return true;
        if (!rangeLow.empty()) {
            std::size_t n = std::min(rangeLow.size(), key.size());
            int c = std::memcmp(key.data(), rangeLow.data(), n);
            if (c < 0 || (c == 0 && key.size() < rangeLow.size())) return false;
        }
        if (!rangeHigh.empty()) {
            std::size_t n = std::min(rangeHigh.size(), key.size());
            if (std::memcmp(key.data(), rangeHigh.data(), n) > 0) return false;
        }
        return true;
    }
    bool pastHigh(std::span<const std::byte> key) const {
        if (!rangeOn || rangeHigh.empty()) return false;
        std::size_t n = std::min(rangeHigh.size(), key.size());
        return std::memcmp(key.data(), rangeHigh.data(), n) > 0;
    }
    bool beforeLow(std::span<const std::byte> key) const {
        if (!rangeOn || rangeLow.empty()) return false;
        std::size_t n = std::min(rangeLow.size(), key.size());
        return std::memcmp(key.data(), rangeLow.data(), n) < 0;
    }

    void lockAppend() {
        if (appendLockDepth++ == 0) file.lockWait(kLockBase, File::LockKind::Exclusive);
    }
    void unlockAppend() {
        if (--appendLockDepth == 0) file.unlock(kLockBase);
    }

    void writeHeaderCount(std::uint32_t count) {
        std::byte h[7];
        const std::time_t now = std::time(nullptr);
        if (now / 60 != stampMinute) {  // the local date, looked up once a minute
            std::tm tm{};
            localtime_r(&now, &tm);
            stamp[0] = std::byte(tm.tm_year % 256);
            stamp[1] = std::byte(tm.tm_mon + 1);
            stamp[2] = std::byte(tm.tm_mday);
            stampMinute = now / 60;
        }
        std::memcpy(h, stamp, 3);
        putLE32(h + 3, count);
        file.writeAt(1, h);
    }
    std::byte stamp[3] = {};
    std::time_t stampMinute = -1;

    // Takes back the row of editBuf written at `at` as record n, not yet counted, whose tags
    // failed: its entries as far as the index lets them go, then its bytes.
    void dropUncountedRow(std::uint64_t at, std::uint32_t n) {
        try {
            if (index) {
                IndexFile::WriteLock lock(*index);
                for (auto& tg : tags) {
                    std::vector<std::byte> key(tg.kb->keyLength());
                    tg.kb->build(editBuf.data(), key.data());
                    index->erase(tg.fileTag, key, n);
                }
            }
        } catch (const EDatabaseError&) {
            // A damaged index is rebuilt before it is used again; entries past the count are
            // never shown meanwhile.
        }
        try {
            file.truncate(at);
            const std::byte eofMark[1] = {std::byte{0x1A}};
            file.writeAt(at, eofMark);
        } catch (const EDatabaseError&) {
            // Left past the header's count, the bytes are no row.
        }
    }

    void requireWritable() const {
        if (options.readOnly || !file.writable())
            throw EDatabaseError("Tabela " + tableName + " jest otwarta tylko do odczytu");
    }
    void requireExclusive(const char* what) const {
        if (!options.exclusive)
            throw EDatabaseError(std::string(what) + " wymaga otwarcia tabeli " + tableName +
                                 " na wyłączność");
    }
};

// Holds the table to this open alone for a structure change: the shared open lock becomes
// exclusive for the scope (a no-op for an exclusive open or an enclosing scope).
class Table::SoleUse {
  public:
    SoleUse(Impl& d, const char* what) : d_(d) {
        if (d_.options.exclusive || d_.soleUseDepth++ > 0) return;
        if (!d_.file.tryLock(kOpenLockOffset, File::LockKind::Exclusive)) {
            --d_.soleUseDepth;
            throw EDatabaseError(EDatabaseError::Reason::Locked,
                                 std::string(what) + " tabeli " + d_.tableName +
                                     " wymaga wyłącznego dostępu: tabela jest otwarta przez "
                                     "innego użytkownika");
        }
    }
    SoleUse(const SoleUse&) = delete;
    SoleUse& operator=(const SoleUse&) = delete;
    ~SoleUse() {
        if (d_.options.exclusive) return;
        if (--d_.soleUseDepth == 0) d_.file.lockWait(kOpenLockOffset, File::LockKind::Shared);
    }

  private:
    Impl& d_;
};

Table::Table() : d(std::make_unique<Impl>()) {}

Table::~Table() {
    if (!d) return;
    try {
        if (d->state != State::Browse) cancel();
    } catch (...) {
    }
}

// --- Paths

std::string Table::resolve(const std::string& dir, std::string_view fileName) {
    std::string exact = dir + "/" + std::string(fileName);
    if (fileExists(exact)) return exact;
    if (DIR* dh = ::opendir(dir.c_str())) {
        std::string found;
        while (dirent* e = ::readdir(dh)) {
            if (iequals(e->d_name, fileName)) {
                found = dir + "/" + e->d_name;
                break;
            }
        }
        ::closedir(dh);
        if (!found.empty()) return found;
    }
    return dir + "/" + upperAscii(fileName);
}

std::string Table::companion(const std::string& tablePath, std::string_view ext) {
    std::string base = stem(tablePath);
    std::string want = base + std::string(ext);
    std::string dir = dirOf(tablePath);
    std::string exact = dir + "/" + want;
    if (fileExists(exact)) return exact;
    std::string r = resolve(dir, want);
    if (fileExists(r)) return r;
    return dir + "/" + upperAscii(base) + upperAscii(ext);
}

namespace {
std::string tablePathFor(const std::string& path) {
    if (fileExists(path)) return path;
    return Table::resolve(dirOf(path), baseOf(path));
}
}  // namespace

// --- Create, remove, rename

void Table::create(const std::string& path, const std::vector<FieldDef>& fields,
                   const std::vector<IndexDef>& indexes, std::uint8_t languageDriver) {
    std::string dir = dirOf(path);
    std::string name = upperAscii(baseOf(path));
    if (name.find('.') == std::string::npos) name += ".DBF";
    std::string tpath = dir + "/" + name;
    if (fileExists(Table::resolve(dir, name)))
        throw EDatabaseError("Tabela " + stem(name) + " już istnieje");
    CodePage::forLanguageDriver(languageDriver, name);  // refuses a driver it could not read
    std::vector<std::byte> h = DbfHeader::build(fields, false, languageDriver);
    const bool memo = h[0] == std::byte{0x8B};
    {
        File f = File::open(tpath, File::Mode::Create);
        h.push_back(std::byte{0x1A});
        f.writeAt(0, h);
    }
    try {
        if (memo) MemoFile::create(companion(tpath, ".DBT"), MemoFile::Layout::DBase4);
        if (!indexes.empty()) {
            auto t = Table::open(tpath, {.exclusive = true});
            for (const auto& ix : indexes)
                t->addIndex(ix);
        }
    } catch (...) {
        Table::remove(tpath);
        throw;
    }
}

void Table::remove(const std::string& path) {
    std::string tpath = tablePathFor(path);
    for (const char* ext : {".DBT", ".MDX"}) {
        std::string c = companion(tpath, ext);
        if (fileExists(c) && ::unlink(c.c_str()) != 0)
            throwSystemError("Nie można usunąć pliku", c, errno);
    }
    if (fileExists(tpath) && ::unlink(tpath.c_str()) != 0)
        throwSystemError("Nie można usunąć pliku", tpath, errno);
}

void Table::rename(const std::string& from, const std::string& to) {
    std::string src = tablePathFor(from);
    if (!fileExists(src)) throw EDatabaseError("Nie znaleziono tabeli " + src);
    std::string dstDir = dirOf(to);
    std::string dstName = baseOf(to);
    if (dstName.find('.') == std::string::npos) dstName += ".DBF";
    std::string dst = dstDir + "/" + dstName;
    std::string dstStem = dstDir + "/" + stem(dstName);
    bool upper = dstName == upperAscii(dstName);
    for (const char* ext : {".DBT", ".MDX"}) {
        std::string c = companion(src, ext);
        if (!fileExists(c)) continue;
        std::string target =
            dstStem + (upper ? std::string(ext) : [&] {
                std::string e(ext);
                for (char& ch : e)
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                return e;
            }());
        if (::rename(c.c_str(), target.c_str()) != 0)
            throwSystemError("Nie można zmienić nazwy pliku", c, errno);
    }
    if (::rename(src.c_str(), dst.c_str()) != 0)
        throwSystemError("Nie można zmienić nazwy pliku", src, errno);
}

// --- Open

std::unique_ptr<Table> Table::open(const std::string& pathIn, OpenOptions options) {
    std::unique_ptr<Table> t(new Table());
    Impl& d = *t->d;
    d.path = tablePathFor(pathIn);
    d.tableName = upperAscii(stem(d.path));
    d.options = options;
    if (!fileExists(d.path))
        throw EDatabaseError(EDatabaseError::Reason::NotFound, "Nie znaleziono tabeli " + d.path);
    bool writable = !options.readOnly;
    d.file = File::open(d.path, writable ? File::Mode::ReadWrite : File::Mode::ReadOnly);

    if (!d.file.tryLock(kOpenLockOffset,
                        options.exclusive ? File::LockKind::Exclusive : File::LockKind::Shared)) {
        throw EDatabaseError(
            EDatabaseError::Reason::Locked,
            options.exclusive
                ? "Tabela " + d.tableName +
                      " jest używana przez innego użytkownika; nie można jej "
                      "otworzyć na wyłączność"
                : "Tabela " + d.tableName + " jest otwarta na wyłączność przez innego użytkownika");
    }

    std::byte first[32];
    std::uint64_t size = d.file.size();
    if (d.file.readAt(0, first) < 32)
        throw EDatabaseError(
            EDatabaseError::Reason::Damaged,
            "Uszkodzony nagłówek tabeli: plik krótszy niż nagłówek (" + d.path + ")");
    std::uint16_t hlen = DbfHeader::peekHeaderLength(first, d.path);
    if (hlen > size || hlen < 33)
        throw EDatabaseError(
            EDatabaseError::Reason::Damaged,
            "Uszkodzony nagłówek tabeli: niepoprawna długość nagłówka (" + d.path + ")");
    std::vector<std::byte> hb(hlen);
    d.file.readExact(0, hb);
    d.header = DbfHeader::parse(hb, d.path);
    d.cp = &CodePage::forHeader(d.header.languageDriver, d.header.languageDriverName, d.tableName);

    if (d.header.hasMemo()) {
        std::string mp = companion(d.path, ".DBT");
        if (!fileExists(mp))
            throw EDatabaseError(EDatabaseError::Reason::NotFound,
                                 "Brak pliku memo tabeli " + d.tableName + " (" + mp + ")");
        d.memo = MemoFile::open(
            mp, d.header.dbase3Memo() ? MemoFile::Layout::DBase3 : MemoFile::Layout::DBase4,
            writable);
    }

    // The index is checked before anything is written, so that a refused open leaves the files
    // as they were.
    bool indexBroken = false;
    if (d.header.productionIndex) {
        std::string ip = companion(d.path, ".MDX");
        try {
            if (!fileExists(ip))
                throw EDatabaseError(EDatabaseError::Reason::Damaged,
                                     "Brak pliku indeksu tabeli " + d.tableName + " (" + ip + ")");
            d.index = IndexFile::open(ip, writable);
            for (const auto& info : d.index->tags()) {
                Impl::Tag tg;
                tg.info = info;
                tg.fileTag = d.index->findTag(info.name);
                tg.kb = KeyBuilder::compile(info.expression, d.header.fields, *d.cp,
                                            (info.flags & kTagDescending) != 0,
                                            (info.flags & kTagNocase) != 0);
                if (tg.kb->keyLength() != info.keyLength)
                    throw EDatabaseError("Plik indeksu tabeli " + d.tableName +
                                         " nie pasuje do tabeli (" + ip + ")");
                d.tags.push_back(std::move(tg));
            }
        } catch (const EDatabaseError& e) {
            if (!options.repairIndex || !writable) {
                if (e.reason() == EDatabaseError::Reason::General)
                    throw EDatabaseError(EDatabaseError::Reason::Damaged, e.what());
                throw;
            }
            d.index.reset();
            d.tags.clear();
            indexBroken = true;
        }
    }

    // Repair a partly written last record or a lagging header count. Only under the append
    // lock, so that an append in progress elsewhere is never mistaken for damage.
    auto consistent = [&](std::uint64_t sz, std::uint32_t count) {
        std::uint64_t body = sz - d.hdr();
        std::uint64_t full = body / d.rlen();
        std::uint64_t tail = body % d.rlen();
        return full == count && tail <= 1;
    };
    d.map.map(d.file, std::max<std::uint64_t>(size, d.hdr()), false);
    if (!consistent(size, d.header.recordCount)) {
        if (writable) d.file.lockWait(kLockBase, File::LockKind::Exclusive);
        std::byte cnt[4];
        d.file.readExact(kHdrCount, cnt);
        const std::uint32_t count = getLE32(cnt);
        size = d.file.size();
        // A crash leaves at most one record counted but not (fully) written. A count beyond
        // that is a damaged header (or a file cut short): rows may be lost, so only an open
        // that repairs accepts it.
        if (writable && std::uint64_t{count} > (size - d.hdr()) / d.rlen() + 1 &&
            !options.repairIndex) {
            d.file.unlock(kLockBase);
            throw EDatabaseError(
                EDatabaseError::Reason::Damaged,
                "Uszkodzony nagłówek tabeli: liczba rekordów w nagłówku (" + std::to_string(count) +
                    ") jest większa niż liczba rekordów w pliku (" +
                    std::to_string((size - d.hdr()) / d.rlen()) + ") (" + d.path + ")");
        }
        if (!consistent(size, count) && writable) t->settleTail(count);
        if (writable) d.file.unlock(kLockBase);
    }
    if (writable && d.index) {
        try {
            t->catchUpTags();
        } catch (const EDatabaseError& e) {
            if (!options.repairIndex)
                throw EDatabaseError(EDatabaseError::Reason::Damaged, e.what());
            d.index.reset();
            d.tags.clear();
            indexBroken = true;
        }
    }

    if (indexBroken) {
        auto salvaged = IndexFile::salvageTags(companion(d.path, ".MDX"));
        if (salvaged.empty() && options.dropUnreadableIndex)
            d.indexDropped = true;
        else if (salvaged.empty())
            throw EDatabaseError(EDatabaseError::Reason::Damaged,
                                 "Nie można odbudować indeksu tabeli " + d.tableName +
                                     ": plik indeksu jest nieczytelny i nie zawiera listy "
                                     "indeksów; należy je utworzyć ponownie");
        t->rebuildIndex(salvaged);
        d.indexRebuilt = !d.indexDropped;
    }
    t->first();
    return t;
}

// --- Metadata

const std::string& Table::path() const {
    return d->path;
}
std::uint8_t Table::version() const {
    return d->header.version;
}
std::uint8_t Table::languageDriver() const {
    return d->header.languageDriver;
}
const CodePage& Table::codePage() const {
    return *d->cp;
}
bool Table::hasProductionIndex() const {
    return d->map.data()[kHdrMdxFlag] == std::byte{1};
}
const std::vector<FieldInfo>& Table::fields() const {
    return d->header.fields;
}
bool Table::exclusive() const {
    return d->options.exclusive;
}
bool Table::indexRebuilt() const {
    return d->indexRebuilt;
}
bool Table::indexDropped() const {
    return d->indexDropped;
}

std::vector<TagInfo> Table::tags() const {
    std::vector<TagInfo> r;
    for (const auto& t : d->tags)
        r.push_back({t.info.name, t.info.expression, (t.info.flags & kTagDescending) != 0,
                     (t.info.flags & kTagNocase) != 0});
    return r;
}

// --- Structure

void Table::addIndex(const IndexDef& def) {
    d->requireWritable();
    // Other opens know the tags they found at open and would not keep a new one up to date.
    SoleUse sole(*d, "Dodanie indeksu");
    if (d->state != State::Browse) post();
    std::string name = upperAscii(def.name);
    if (name.empty() || name.size() > 10)
        throw EDatabaseError(EDatabaseError::Reason::BadValue,
                             "Niepoprawna nazwa indeksu „" + def.name + "” (1–10 znaków)");
    for (const auto& t : d->tags)
        if (iequals(t.info.name, name))
            throw EDatabaseError("Indeks " + name + " już istnieje w tabeli " + d->tableName);
    auto kb = KeyBuilder::compile(def.key, d->header.fields, *d->cp, def.descending, def.nocase);
    if (!d->index) {
        std::string ip = companion(d->path, ".MDX");
        if (fileExists(ip)) ::unlink(ip.c_str());
        d->index = IndexFile::create(ip);
        std::byte one[1] = {std::byte{1}};
        d->file.writeAt(kHdrMdxFlag, one);
        d->header.productionIndex = true;
    }
    IndexTagInfo info;
    info.name = name;
    info.expression = def.key;
    info.flags = static_cast<std::uint8_t>((def.descending ? kTagDescending : 0) |
                                           (def.nocase ? kTagNocase : 0));
    info.keyLength = static_cast<std::uint16_t>(kb->keyLength());
    int ft = d->index->addTag(info);
    Impl::Tag tg;
    tg.info = info;
    tg.fileTag = ft;
    tg.kb = std::move(kb);
    d->tags.push_back(std::move(tg));

    // Fill the new tag from the rows.
    const int t = static_cast<int>(d->tags.size()) - 1;
    IndexEntries entries(info.keyLength);
    std::uint32_t count = d->liveCount();
    entries.reserve(count);
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::byte* rec = d->recordPtr(n);
        if (rec[0] == std::byte{'*'}) continue;
        entries.add(d->keyOf(t, rec), n);
    }
    d->index->build(ft, std::move(entries));
}

void Table::deleteIndex(std::string_view tagName) {
    d->requireExclusive("Usunięcie indeksu");
    std::vector<IndexDef> keep;
    bool found = false;
    for (const auto& t : d->tags) {
        if (iequals(t.info.name, tagName)) {
            found = true;
            continue;
        }
        keep.push_back({t.info.name, t.info.expression, (t.info.flags & kTagDescending) != 0,
                        (t.info.flags & kTagNocase) != 0});
    }
    if (!found) throw EDatabaseError("Nie znaleziono indeksu " + std::string(tagName));
    setIndexNo(-1);
    d->tags.clear();
    d->index.reset();
    std::string ip = companion(d->path, ".MDX");
    if (fileExists(ip)) ::unlink(ip.c_str());
    std::byte zero[1] = {std::byte{0}};
    d->file.writeAt(kHdrMdxFlag, zero);
    d->header.productionIndex = false;
    for (const auto& k : keep)
        addIndex(k);
}

void Table::reindex() {
    d->requireWritable();
    std::vector<IndexTagInfo> defs;
    for (const auto& t : d->tags)
        defs.push_back(t.info);
    rebuildIndex(defs);
}

void Table::rebuildIndex(const std::vector<IndexTagInfo>& defs) {
    if (d->state != State::Browse) post();
    // A new index file replaces the old one, which every other open of the table would go on
    // using: so nobody else may have the table open meanwhile.
    SoleUse sole(*d, "Odbudowa indeksu");
    // Every key must compile before the old index goes, so that a failed rebuild changes nothing.
    for (const auto& info : defs)
        KeyBuilder::compile(info.expression, d->header.fields, *d->cp,
                            (info.flags & kTagDescending) != 0, (info.flags & kTagNocase) != 0);
    int keepTag = d->tag;
    d->icur.reset();
    d->tag = -1;
    d->tags.clear();
    d->index.reset();
    std::string ip = companion(d->path, ".MDX");
    if (fileExists(ip) && ::unlink(ip.c_str()) != 0)
        throwSystemError("Nie można usunąć pliku indeksu", ip, errno);
    std::byte zero[1] = {std::byte{0}};
    d->file.writeAt(kHdrMdxFlag, zero);
    d->header.productionIndex = false;
    for (const auto& info : defs)
        addIndex({info.name, info.expression, (info.flags & kTagDescending) != 0,
                  (info.flags & kTagNocase) != 0});
    if (keepTag >= 0 && keepTag < static_cast<int>(d->tags.size())) setIndexNo(keepTag);
    first();
}

void Table::settleTail(std::uint32_t count) {
    const std::uint64_t size = std::max<std::uint64_t>(d->file.size(), d->hdr());
    const std::uint64_t body = size - d->hdr();
    const std::uint64_t full = std::min<std::uint64_t>(body / d->rlen(), 0xFFFFFFFFu);
    const std::uint64_t tail = body - full * d->rlen();
    if (tail > 1 || (tail == 1 && [&] {
            std::byte last[1];
            d->file.readExact(size - 1, last);
            return last[0] != std::byte{0x1A};
        }())) {
        d->file.truncate(d->hdr() + full * d->rlen());
        std::byte eofMark[1] = {std::byte{0x1A}};
        d->file.writeAt(d->hdr() + full * d->rlen(), eofMark);
    }
    if (full != count) {
        std::byte c[4];
        putLE32(c, static_cast<std::uint32_t>(full));
        d->file.writeAt(kHdrCount, c);
    }
    d->map.remap(d->file, std::max<std::uint64_t>(d->file.size(), d->hdr()));
    // Still under the append lock, so that no append of another process slips between the new
    // count and the tags following it.
    if (full != count && d->index) reconcileIndex(count, static_cast<std::uint32_t>(full));
}

void Table::catchUpTags() {
    // A writer dies between a row and its entries only at the end of the table, and at most one
    // row there: the last few rows tell whether one is missing, at the cost of a few seeks.
    constexpr std::uint32_t kTail = 8;
    const std::uint32_t count = d->liveCount();
    auto inEveryTag = [&](std::uint32_t n) {
        for (std::size_t t = 0; t < d->tags.size(); ++t) {
            auto key = d->keyOf(static_cast<int>(t), d->recordPtr(n));
            auto c = d->index->cursor(d->tags[t].fileTag);
            if (!c.seek(key, n) || c.recno() != n ||
                !std::equal(key.begin(), key.end(), c.key().begin(), c.key().end()))
                return false;
        }
        return true;
    };
    std::vector<std::uint32_t> missing;
    for (std::uint32_t n = count; n >= 1 && n + kTail > count; --n)
        if (d->recordPtr(n)[0] != std::byte{'*'} && !inEveryTag(n)) missing.push_back(n);
    if (missing.empty()) return;
    d->lockAppend();
    try {
        for (std::uint32_t n : missing) {
            // A row being edited elsewhere is alive; its writer puts its entries right.
            if (!d->file.tryLock(kLockBase - n, File::LockKind::Exclusive)) continue;
            try {
                if (d->recordPtr(n)[0] != std::byte{'*'}) updateKeys(nullptr, d->recordPtr(n), n);
            } catch (...) {
                d->file.unlock(kLockBase - n);
                throw;
            }
            d->file.unlock(kLockBase - n);
        }
    } catch (...) {
        d->unlockAppend();
        throw;
    }
    d->unlockAppend();
}

void Table::reconcileIndex(std::uint32_t countBefore, std::uint32_t countAfter) {
    for (auto& tg : d->tags) {
        if (countAfter < countBefore) {
            // Entries of records that were cut off: their keys are unknown, so find them by number.
            std::vector<std::pair<std::vector<std::byte>, std::uint32_t>> stale;
            auto c = d->index->cursor(tg.fileTag);
            for (c.seekFirst(); c.valid(); c.next())
                if (c.recno() > countAfter)
                    stale.emplace_back(std::vector<std::byte>(c.key().begin(), c.key().end()),
                                       c.recno());
            for (const auto& [key, n] : stale)
                d->index->erase(tg.fileTag, key, n);
        }
        // Records written before a crash but not yet counted may not have reached the tags.
        for (std::uint64_t n = std::uint64_t{countBefore} + 1; n <= countAfter; ++n) {
            const std::byte* rec = d->recordPtr(static_cast<std::uint32_t>(n));
            if (rec[0] == std::byte{'*'}) continue;
            std::vector<std::byte> key(tg.kb->keyLength());
            tg.kb->build(rec, key.data());
            d->index->insert(tg.fileTag, key, static_cast<std::uint32_t>(n));
        }
    }
}

void Table::empty() {
    d->requireWritable();
    d->requireExclusive("Opróżnienie tabeli");
    if (d->state != State::Browse) cancel();
    d->map.unmap();
    d->file.truncate(d->hdr());
    std::byte eofMark[1] = {std::byte{0x1A}};
    d->file.writeAt(d->hdr(), eofMark);
    d->writeHeaderCount(0);
    d->map.map(d->file, d->file.size(), false);
    if (d->memo) d->memo->empty();
    for (auto& t : d->tags)
        d->index->clearTag(t.fileTag);
    d->recno = 0;
    first();
}

void Table::pack() {
    d->requireWritable();
    d->requireExclusive("Pakowanie tabeli");
    if (d->state != State::Browse) post();
    const std::uint32_t count = d->liveCount();
    // Memo contents of the rows that stay move to a fresh memo file, so its dead blocks go too.
    std::unique_ptr<MemoFile> newMemo;
    std::string memoPath, memoTmp;
    if (d->memo) {
        memoPath = d->memo->path();
        memoTmp = memoPath + ".pack";
        ::unlink(memoTmp.c_str());
        MemoFile::create(memoTmp, d->memo->layout(), d->memo->blockSize());
        newMemo = MemoFile::open(memoTmp, d->memo->layout(), true);
    }
    std::vector<std::byte> rec(d->rlen());
    std::uint32_t out = 0;
    for (std::uint32_t n = 1; n <= count; ++n) {
        std::memcpy(rec.data(), d->recordPtr(n), rec.size());
        if (rec[0] == std::byte{'*'}) continue;
        if (newMemo) {
            for (const auto& f : d->header.fields) {
                if (f.dbfType != 'M' && f.dbfType != 'B' && f.dbfType != 'G') continue;
                std::byte* p = rec.data() + f.offset;
                std::string_view ptr = trim({reinterpret_cast<const char*>(p), 10});
                std::uint64_t block = 0;
                std::from_chars(ptr.data(), ptr.data() + ptr.size(), block);
                std::uint64_t nb = 0;
                if (block != 0) {
                    try {
                        nb = newMemo->write(d->memo->read(block));
                    } catch (const EDatabaseError&) {
                        nb = 0;  // a damaged memo cannot be carried over
                    }
                }
                putMemoPointer(p, nb);
            }
        }
        ++out;
        d->file.writeAt(d->hdr() + std::uint64_t{out - 1} * d->rlen(), rec);
    }
    d->map.unmap();
    d->file.truncate(d->hdr() + std::uint64_t{out} * d->rlen());
    std::byte eofMark[1] = {std::byte{0x1A}};
    d->file.writeAt(d->hdr() + std::uint64_t{out} * d->rlen(), eofMark);
    d->writeHeaderCount(out);
    d->map.map(d->file, d->file.size(), false);
    if (newMemo) {
        newMemo.reset();
        auto layout = d->memo->layout();
        d->memo.reset();
        if (::rename(memoTmp.c_str(), memoPath.c_str()) != 0)
            throwSystemError("Nie można zastąpić pliku memo", memoPath, errno);
        d->memo = MemoFile::open(memoPath, layout, true);
    }
    if (d->index) reindex();
    d->recno = 0;
    first();
}

// --- Navigation

void Table::setIndex(std::string_view tagName) {
    if (tagName.empty()) {
        setIndexNo(-1);
        return;
    }
    for (std::size_t i = 0; i < d->tags.size(); ++i) {
        if (iequals(d->tags[i].info.name, tagName)) {
            setIndexNo(static_cast<int>(i));
            return;
        }
    }
    throw EDatabaseError("Nie znaleziono indeksu " + std::string(tagName) + " w tabeli " +
                         d->tableName);
}

void Table::setIndexNo(int tag) {
    if (tag < -1 || tag >= static_cast<int>(d->tags.size()))
        throw EDatabaseError(EDatabaseError::Reason::BadValue, "Niepoprawny numer indeksu");
    if (tag == d->tag && (tag < 0 || d->icur)) return;
    std::uint32_t keep = d->recno;
    d->tag = tag;
    d->rangeOn = false;
    d->rangeEmpty = false;
    d->rangeLow.clear();
    d->rangeHigh.clear();
    d->icur.reset();
    if (tag >= 0)
        d->icur = std::make_unique<IndexFile::Cursor>(
            d->index->cursor(d->tags[static_cast<std::size_t>(tag)].fileTag));
    if (keep != 0 && keep <= d->liveCount() && d->recordPtr(keep)[0] != std::byte{'*'}) {
        d->recno = keep;
        if (tag >= 0) d->icur->seek(d->keyOf(tag, d->recordPtr(keep)), keep);
    } else {
        first();
    }
}

std::string Table::currentIndex() const {
    return d->tag < 0 ? std::string() : d->tags[static_cast<std::size_t>(d->tag)].info.name;
}

// Whether record n may be shown; when it may, the cursor stands on it (filter callbacks read
// the candidate through the cursor), otherwise the position is unchanged.
bool Table::visibleAt(std::uint32_t n) {
    if (d->recordPtr(n)[0] == std::byte{'*'}) return false;
    if (!filtered()) {
        d->recno = n;
        return true;
    }
    const std::uint32_t save = d->recno;
    d->recno = n;
    if ((!d->filterExpr || d->filterExpr->matches(*this)) && passesRecordFilter()) return true;
    d->recno = save;
    return false;
}

// Steps through physical record numbers from `n` by `step` (+1 or -1) to the first visible row.
bool Table::scanPhysical(std::uint32_t n, int step) {
    const std::uint32_t count = d->liveCount();
    for (; n >= 1 && n <= count; n += static_cast<std::uint32_t>(step))
        if (visibleAt(n)) return true;
    return false;
}

// Steps the index cursor from where it stands, forward or backward, to the first visible row
// inside the range; `skip` is a record number to pass over (the row a step starts from).
bool Table::scanIndex(bool forward, std::uint32_t skip) {
    if (d->rangeOn && d->rangeEmpty) return false;
    auto& c = *d->icur;
    const std::uint32_t count = d->liveCount();
    for (; c.valid(); forward ? c.next() : c.prev()) {
        auto key = c.key();
        if (forward ? d->pastHigh(key) : d->beforeLow(key)) break;
        if (!d->inRange(key)) continue;
        std::uint32_t n = c.recno();
        if (n == 0 || n > count || n == skip) continue;
        if (visibleAt(n)) return true;
    }
    return false;
}

// Puts the index cursor on the current row (it may have been moved by a locate or an edit).
void Table::syncIndexCursor() {
    if (d->tag >= 0 && d->recno != 0 && d->recno <= d->liveCount())
        d->icur->seek(d->keyOf(d->tag, d->recordPtr(d->recno)), d->recno);
}

void Table::first() {
    if (d->state != State::Browse) post();
    d->eof = d->bof = false;
    bool found;
    if (d->tag < 0) {
        found = scanPhysical(1, +1);
    } else {
        if (d->rangeOn && !d->rangeLow.empty())
            d->icur->seek(d->rangeLow, 0);
        else
            d->icur->seekFirst();
        found = scanIndex(true, 0);
    }
    if (!found) {
        d->recno = 0;
        d->eof = d->bof = true;
    }
}

void Table::last() {
    if (d->state != State::Browse) post();
    d->eof = d->bof = false;
    bool found;
    if (d->tag < 0) {
        found = scanPhysical(d->liveCount(), -1);
    } else {
        auto& c = *d->icur;
        if (d->rangeOn && !d->rangeHigh.empty()) {
            std::vector<std::byte> after = d->rangeHigh;
            after.resize(d->tags[static_cast<std::size_t>(d->tag)].kb->keyLength(),
                         std::byte{0xFF});
            if (c.seek(after, 0xFFFFFFFFu))
                c.prev();
            else
                c.seekLast();
        } else {
            c.seekLast();
        }
        found = scanIndex(false, 0);
    }
    if (!found) {
        d->recno = 0;
        d->eof = d->bof = true;
    }
}

void Table::next() {
    if (d->state != State::Browse) post();
    if (d->recno == 0) {
        d->eof = true;
        return;
    }
    d->bof = false;
    const std::uint32_t from = d->recno;
    if (d->tag < 0) {
        if (scanPhysical(from + 1, +1)) return;
    } else {
        // Re-seek only when the index cursor has left the current row (a locate, an edit, or
        // the end of an earlier step); a step that finds nothing leaves it to the next one.
        if (!d->icur->valid() || d->icur->recno() != from) syncIndexCursor();
        if (scanIndex(true, from)) return;
        d->recno = from;  // stay on the last row
    }
    d->eof = true;
}

void Table::prior() {
    if (d->state != State::Browse) post();
    if (d->recno == 0) {
        d->bof = true;
        return;
    }
    d->eof = false;
    const std::uint32_t from = d->recno;
    if (d->tag < 0) {
        if (scanPhysical(from - 1, -1)) return;
    } else {
        // Re-seek only when the index cursor has left the current row (a locate, an edit, or
        // the end of an earlier step); a step that finds nothing leaves it to the next one.
        if (!d->icur->valid() || d->icur->recno() != from) syncIndexCursor();
        if (scanIndex(false, from)) return;
        d->recno = from;  // stay on the first row
    }
    d->bof = true;
}

bool Table::eof() const {
    return d->eof;
}
bool Table::bof() const {
    return d->bof;
}

std::uint64_t Table::recordCount() {
    if (!d->rangeOn && !filtered() && !d->tags.empty()) {
        // Deleted rows are not in the tags, so a tag's entry count is the visible row count.
        const auto& name = d->tags[static_cast<std::size_t>(std::max(d->tag, 0))].info.name;
        for (const auto& info : d->index->tags())
            if (iequals(info.name, name)) return info.entries;
    }
    if (!d->rangeOn && !filtered()) {
        std::uint64_t n = 0;
        const std::uint32_t count = d->liveCount();
        for (std::uint32_t i = 1; i <= count; ++i)
            if (d->recordPtr(i)[0] != std::byte{'*'}) ++n;
        return n;
    }
    // Count through navigation, keeping the position.
    std::uint32_t keep = d->recno;
    bool keof = d->eof, kbof = d->bof;
    std::uint64_t n = 0;
    for (first(); !eof(); next())
        ++n;
    if (keep != 0) {
        d->recno = keep;
        syncIndexCursor();
    } else {
        d->recno = 0;
    }
    d->eof = keof;
    d->bof = kbof;
    return n;
}

std::uint32_t Table::recno() const {
    return d->state == State::Insert ? 0 : d->recno;
}

void Table::gotoRecno(std::uint32_t n) {
    if (d->state != State::Browse) post();
    if (n == 0 || n > d->liveCount() || d->recordPtr(n)[0] == std::byte{'*'})
        throw EDatabaseError("Rekord nr " + std::to_string(n) + " nie istnieje w tabeli " +
                             d->tableName);
    d->recno = n;
    d->eof = d->bof = false;
    syncIndexCursor();
}

Bookmark Table::bookmark() {
    return {d->recno};
}

void Table::gotoBookmark(const Bookmark& b) {
    gotoRecno(static_cast<std::uint32_t>(b.position));
}

bool Table::findKey(const Value& value) {
    if (d->tag < 0) throw EDatabaseError("Nie wybrano indeksu tabeli " + d->tableName);
    if (d->state != State::Browse) post();
    auto& kb = *d->tags[static_cast<std::size_t>(d->tag)].kb;
    auto prefix = kb.encodePrefix(std::span<const Value>(&value, 1), true);
    if (!prefix || (d->rangeOn && d->rangeEmpty)) return false;
    auto& c = *d->icur;
    const std::uint32_t count = d->liveCount();
    for (c.seek(*prefix, 0); c.valid(); c.next()) {
        auto k = c.key();
        if (k.size() < prefix->size() || std::memcmp(k.data(), prefix->data(), prefix->size()) != 0)
            break;
        std::uint32_t n = c.recno();
        if (n == 0 || n > count || !d->inRange(k)) continue;
        if (visibleAt(n)) {
            d->eof = d->bof = false;
            return true;
        }
    }
    syncIndexCursor();  // not found: back to the current row
    return false;
}

bool Table::findNearest(const Value& value) {
    if (d->tag < 0) throw EDatabaseError("Nie wybrano indeksu tabeli " + d->tableName);
    if (d->state != State::Browse) post();
    auto& kb = *d->tags[static_cast<std::size_t>(d->tag)].kb;
    auto prefix = kb.encodePrefix(std::span<const Value>(&value, 1), false);
    if (!prefix) return false;
    d->icur->seek(*prefix, 0);
    if (scanIndex(true, 0)) {
        d->eof = d->bof = false;
        return true;
    }
    last();
    d->eof = true;
    return false;
}

bool Table::locate(std::string_view fieldName, const Value& value, bool caseInsensitive) {
    int f = fieldNo(fieldName);
    if (d->state != State::Browse) post();
    std::uint32_t keep = d->recno;
    bool keof = d->eof, kbof = d->bof;
    auto matches = [&]() -> bool {
        if (std::holds_alternative<std::monostate>(value)) return isNull(f);
        if (isNull(f) && d->field(f).type != FieldType::String) return false;
        switch (d->field(f).type) {
            case FieldType::Integer:
            case FieldType::AutoInc:
            case FieldType::Float: {
                double want;
                if (auto* i = std::get_if<std::int64_t>(&value))
                    want = static_cast<double>(*i);
                else if (auto* x = std::get_if<double>(&value))
                    want = *x;
                else if (auto* s = std::get_if<std::string>(&value)) {
                    auto t = trim(*s);
                    auto r = std::from_chars(t.data(), t.data() + t.size(), want);
                    if (r.ec != std::errc()) return false;
                } else
                    return false;
                return asFloat(f) == want;
            }
            case FieldType::Boolean: {
                auto b = asBoolean(f);
                if (auto* v = std::get_if<bool>(&value)) return b && *b == *v;
                if (auto* s = std::get_if<std::string>(&value)) {
                    std::string u = upperAscii(trim(*s));
                    bool want = u == "T" || u == "TRUE" || u == "Y";
                    return b && *b == want;
                }
                return false;
            }
            case FieldType::Date: {
                if (auto* v = std::get_if<Date>(&value)) return asDate(f) == *v;
                if (auto* s = std::get_if<std::string>(&value)) return asDate(f) == Date::parse(*s);
                return false;
            }
            default: {
                std::string want;
                if (auto* s = std::get_if<std::string>(&value))
                    want = *s;
                else if (auto* i = std::get_if<std::int64_t>(&value))
                    want = std::to_string(*i);
                else
                    return false;
                std::string have = asString(f);
                std::string_view w = trimRight(want);
                if (!caseInsensitive) return have == w;
                std::string a, b;
                d->cp->encode(have, a);
                if (!d->cp->encode(w, b)) return false;
                if (a.size() != b.size()) return false;
                for (std::size_t i = 0; i < a.size(); ++i)
                    if (d->cp->upper(static_cast<unsigned char>(a[i])) !=
                        d->cp->upper(static_cast<unsigned char>(b[i])))
                        return false;
                return true;
            }
        }
    };
    for (first(); !eof(); next())
        if (matches()) return true;
    // Not found: back where we were.
    if (keep != 0 && keep <= d->liveCount() && d->recordPtr(keep)[0] != std::byte{'*'}) {
        d->recno = keep;
        syncIndexCursor();
    }
    d->eof = keof;
    d->bof = kbof;
    return false;
}

// --- Filters and ranges

void Table::setFilter(std::string_view expression) {
    if (trim(expression).empty()) {
        d->filterExpr.reset();
    } else {
        d->filterExpr = FilterExpr::compile(expression, d->header.fields);
    }
    setFiltered(d->filterExpr != nullptr || filtered());
    first();
}

std::string Table::filter() const {
    return d->filterExpr ? d->filterExpr->text() : std::string();
}

void Table::filterChanged() {
    if (d && d->map.data()) {
        if (d->state == State::Browse) first();
    }
}

void Table::setRange(const std::vector<Value>& low, const std::vector<Value>& high) {
    if (d->tag < 0) throw EDatabaseError("Zakres wymaga wybranego indeksu tabeli " + d->tableName);
    if (d->state != State::Browse) post();
    const auto& tg = d->tags[static_cast<std::size_t>(d->tag)];
    auto enc = [&](const std::vector<Value>& v) -> std::optional<std::vector<std::byte>> {
        std::vector<Value> lead;
        for (const auto& x : v) {
            if (std::holds_alternative<std::monostate>(x)) break;
            lead.push_back(x);
        }
        if (lead.empty()) return std::vector<std::byte>{};
        return tg.kb->encodePrefix(lead, true);
    };
    auto lo = enc(low);
    auto hi = enc(high);
    d->rangeOn = true;
    d->rangeEmpty = !lo || !hi;  // a value the key cannot hold matches no row
    if (!d->rangeEmpty) {
        d->rangeLow = *lo;
        d->rangeHigh = *hi;
        if ((tg.info.flags & kTagDescending) != 0) std::swap(d->rangeLow, d->rangeHigh);
    } else {
        d->rangeLow.clear();
        d->rangeHigh.clear();
    }
    first();
}

void Table::cancelRange() {
    d->rangeOn = false;
    d->rangeEmpty = false;
    d->rangeLow.clear();
    d->rangeHigh.clear();
    first();
}

bool Table::hasRange() const {
    return d->rangeOn;
}

int Table::tagForField(int field, bool equalityOnly) const {
    int best = -1;
    std::size_t bestParts = 0;
    for (std::size_t i = 0; i < d->tags.size(); ++i) {
        const auto& parts = d->tags[i].kb->parts();
        if (parts.empty() || parts[0].field != field) continue;
        using K = KeyBuilder::Part::Kind;
        K kind = parts[0].kind;
        const FieldInfo& f = d->field(field);
        bool numericOrDate = f.type == FieldType::Integer || f.type == FieldType::Float ||
                             f.type == FieldType::AutoInc || f.type == FieldType::Date;
        bool ok;
        if (equalityOnly)
            ok = kind == K::Raw || kind == K::Str || kind == K::Dtos || kind == K::Upper;
        else
            ok = kind == K::Raw && numericOrDate && (d->tags[i].info.flags & kTagNocase) == 0;
        if (!ok) continue;
        if (best < 0 || parts.size() < bestParts) {
            best = static_cast<int>(i);
            bestParts = parts.size();
        }
    }
    return best;
}

// --- Editing

Table::State Table::state() const {
    return d->state;
}

void Table::edit() {
    if (d->state == State::Edit || d->state == State::Insert) return;
    d->requireWritable();
    if (d->recno == 0) throw EDatabaseError("Brak bieżącego rekordu do edycji");
    const std::uint32_t n = d->recno;
    if (!d->file.tryLock(kLockBase - n, File::LockKind::Exclusive))
        throw EDatabaseError(EDatabaseError::Reason::Locked,
                             "Rekord jest zablokowany przez innego użytkownika (tabela " +
                                 d->tableName + ", rekord " + std::to_string(n) + ")");
    d->lockedRecno = n;
    const std::byte* rec = d->recordPtr(n);
    if (rec[0] == std::byte{'*'}) {
        d->file.unlock(kLockBase - n);
        d->lockedRecno = 0;
        throw EDatabaseError("Rekord został usunięty przez innego użytkownika");
    }
    d->editBuf.assign(rec, rec + d->rlen());
    d->oldBuf = d->editBuf;
    d->state = State::Edit;
}

void Table::lockAppend() {
    d->requireWritable();
    d->lockAppend();
}

void Table::unlockAppend() {
    if (d->appendLockDepth > 0) d->unlockAppend();
}

void Table::insert() {
    d->requireWritable();
    if (d->state != State::Browse) post();
    d->editBuf.assign(d->rlen(), std::byte{' '});
    for (const auto& f : d->header.fields) {
        if (f.dbfType == 'I' || f.dbfType == '+' || f.dbfType == 'O' || f.dbfType == '@')
            std::memset(d->editBuf.data() + f.offset, 0, static_cast<std::size_t>(f.size));
    }
    d->oldBuf.clear();
    d->state = State::Insert;
}

void Table::append() {
    insert();
}

void Table::post() {
    if (d->state == State::Browse) return;
    if (d->state == State::Edit) {
        const std::uint32_t n = d->lockedRecno;
        d->file.writeAt(d->hdr() + std::uint64_t{n - 1} * d->rlen(), d->editBuf);
        updateKeys(d->oldBuf.data(), d->editBuf.data(), n);
        d->file.unlock(kLockBase - n);
        d->lockedRecno = 0;
        d->state = State::Browse;
        d->recno = n;
        syncIndexCursor();
        return;
    }
    // Insert: the row goes after the last one, under the append lock.
    std::uint32_t n;
    d->lockAppend();
    try {
        // The shared mapping shows the header as every process last wrote it.
        std::uint32_t count = getLE32(d->map.data() + kHdrCount);
        // Bytes past the counted rows, under the append lock, are what a crashed append left:
        // that row is counted and indexed first, so that this one does not overwrite it while
        // its entries stay in the tags.
        if (d->file.size() > d->hdr() + std::uint64_t{count} * d->rlen() + 1) {
            settleTail(count);
            count = getLE32(d->map.data() + kHdrCount);
        }
        if (count == 0xFFFFFFFFu)
            throw EDatabaseError("Tabela osiągnęła największą liczbę rekordów");
        n = count + 1;
        // dBase 7 auto-increment fields take their next value from the field descriptor.
        for (std::size_t i = 0; i < d->header.fields.size(); ++i) {
            const auto& f = d->header.fields[i];
            if (f.dbfType != '+') continue;
            std::byte nv[4];
            const std::uint32_t at = d->header.descriptorOffsets[i] + 40;
            d->file.readExact(at, nv);
            std::uint32_t next = getLE32(nv);
            if (next == 0) next = 1;
            encodeLong(d->editBuf.data() + f.offset, static_cast<std::int32_t>(next));
            putLE32(nv, next + 1);
            d->file.writeAt(at, nv);
        }
        d->editBuf[0] = std::byte{' '};
        d->editBuf.push_back(std::byte{0x1A});  // the end-of-file mark goes with the row
        const std::uint64_t at = d->hdr() + std::uint64_t{count} * d->rlen();
        d->file.writeAt(at, d->editBuf);
        d->editBuf.pop_back();
        // The tags take the row before the header counts it. A crash in between leaves a row
        // that the next open counts and adds to the tags again (reconcileIndex); never a counted
        // row missing from a tag.
        try {
            updateKeys(nullptr, d->editBuf.data(), n);
        } catch (...) {
            // Failed (a damaged index): the row goes again, so that the failure leaves nothing.
            d->dropUncountedRow(at, n);
            throw;
        }
        d->writeHeaderCount(n);
        d->map.remap(d->file, d->hdr() + std::uint64_t{n} * d->rlen() + 1);
    } catch (...) {
        d->unlockAppend();
        throw;
    }
    d->unlockAppend();
    d->state = State::Browse;
    d->recno = n;
    d->eof = d->bof = false;
    syncIndexCursor();
}

// Moves the row's entries in every tag from the keys of `before` (nullptr: a new row) to those
// of `after` (nullptr: a deleted row), under one index lock for all tags.
void Table::updateKeys(const std::byte* before, const std::byte* after, std::uint32_t n) {
    if (d->tags.empty()) return;
    IndexFile::WriteLock lock(*d->index);
    for (auto& tg : d->tags) {
        const std::size_t len = tg.kb->keyLength();
        d->keyScratch.resize(2 * len);
        std::byte* oldKey = d->keyScratch.data();
        std::byte* newKey = oldKey + len;
        if (before) tg.kb->build(before, oldKey);
        if (after) tg.kb->build(after, newKey);
        if (before && after && std::memcmp(oldKey, newKey, len) == 0) continue;
        if (before) d->index->erase(tg.fileTag, {oldKey, len}, n);
        if (after) d->index->insert(tg.fileTag, {newKey, len}, n);
    }
}

void Table::cancel() {
    if (d->state == State::Edit && d->lockedRecno != 0) {
        d->file.unlock(kLockBase - d->lockedRecno);
        d->lockedRecno = 0;
    }
    d->state = State::Browse;
    d->editBuf.clear();
    d->oldBuf.clear();
}

void Table::deleteRecord() {
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    d->requireWritable();
    if (d->state == State::Browse) edit();
    const std::uint32_t n = d->lockedRecno;
    std::byte star[1] = {std::byte{'*'}};
    d->file.writeAt(d->hdr() + std::uint64_t{n - 1} * d->rlen(), star);
    updateKeys(d->oldBuf.data(), nullptr, n);
    d->file.unlock(kLockBase - n);
    d->lockedRecno = 0;
    d->state = State::Browse;
    d->editBuf.clear();
    d->oldBuf.clear();
    // Move to the next visible row, or to the previous one at the end.
    bool found;
    if (d->tag >= 0) {
        // The row is gone from the tag: seeking its old entry finds its successor.
        d->icur->seek(d->keyOf(d->tag, d->recordPtr(n)), n);
        found = scanIndex(true, n);
    } else {
        found = scanPhysical(n + 1, +1);
    }
    if (found) {
        d->eof = d->bof = false;
        return;
    }
    last();
    if (d->recno != 0) d->eof = true;
}

// --- Field writes

namespace {
std::string formatNumber(double v, int size, int decimals, const std::string& field) {
    char buf[64];
    int n;
    if (decimals == 0) {
        n = std::snprintf(buf, sizeof buf, "%*lld", size, static_cast<long long>(std::llround(v)));
    } else {
        n = std::snprintf(buf, sizeof buf, "%*.*f", size, decimals, v);
    }
    if (n < 0 || n > size)
        throw EDatabaseError(
            EDatabaseError::Reason::BadValue,
            "Wartość nie mieści się w polu " + field + " (" + std::to_string(size) + " znaków)");
    return std::string(buf, static_cast<std::size_t>(n));
}
}  // namespace

static std::byte* writable(Table::Impl& d, int field, const FieldInfo*& f) {
    if (d.state == Table::State::Browse)
        throw EDatabaseError("Tabela " + d.tableName + " nie jest w trybie edycji");
    f = &d.field(field);
    return d.editBuf.data() + f->offset;
}

void Table::setNull(int field) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType == 'I' || f->dbfType == '+' || f->dbfType == 'O' || f->dbfType == '@')
        std::memset(p, 0, static_cast<std::size_t>(f->size));
    else
        std::memset(p, ' ', static_cast<std::size_t>(f->size));
}

void Table::setInteger(int field, std::int64_t v) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    switch (f->dbfType) {
        case 'N':
        case 'F': {
            char buf[32];
            int n = f->decimals == 0 ? std::snprintf(buf, sizeof buf, "%*lld", f->size,
                                                     static_cast<long long>(v))
                                     : std::snprintf(buf, sizeof buf, "%*.*f", f->size, f->decimals,
                                                     static_cast<double>(v));
            if (n < 0 || n > f->size)
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Wartość " + std::to_string(v) + " nie mieści się w polu " + f->name);
            std::memcpy(p, buf, static_cast<std::size_t>(n));
            return;
        }
        case 'I':
        case '+':
            if (v < INT32_MIN || v > INT32_MAX)
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Wartość " + std::to_string(v) + " nie mieści się w polu " + f->name);
            encodeLong(p, static_cast<std::int32_t>(v));
            return;
        case 'O':
            encodeDouble(p, static_cast<double>(v));
            return;
        case 'L':
            setBoolean(field, v != 0);
            return;
        default:
            setText(field, std::to_string(v));
            return;
    }
}

void Table::setFloat(int field, double v) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (!std::isfinite(v))
        throw EDatabaseError(EDatabaseError::Reason::BadValue,
                             "Niepoprawna liczba w polu " + f->name);
    switch (f->dbfType) {
        case 'N':
        case 'F': {
            std::string s = formatNumber(v, f->size, f->decimals, f->name);
            std::memcpy(p, s.data(), s.size());
            return;
        }
        case 'I':
        case '+':
            setInteger(field, std::llround(v));
            return;
        case 'O':
            encodeDouble(p, v);
            return;
        default: {
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, v);
            setText(field, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
        }
    }
}

void Table::setString(int field, std::string_view utf8) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType == 'C') {
        std::string bytes;
        char32_t bad = 0;
        if (!d->cp->encode(utf8, bytes, &bad))
            throw EDatabaseError(EDatabaseError::Reason::BadValue,
                                 "Znak " + describeChar(bad) + " nie może być zapisany w polu " +
                                     f->name + " (strona kodowa " +
                                     std::to_string(d->cp->number()) + ")");
        std::size_t n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(f->size));
        std::memcpy(p, bytes.data(), n);
        std::memset(p + n, ' ', static_cast<std::size_t>(f->size) - n);
        return;
    }
    if (f->dbfType == 'M') {
        std::string bytes;
        char32_t bad = 0;
        if (!d->cp->encode(utf8, bytes, &bad))
            throw EDatabaseError(EDatabaseError::Reason::BadValue,
                                 "Znak " + describeChar(bad) + " nie może być zapisany w polu " +
                                     f->name + " (strona kodowa " +
                                     std::to_string(d->cp->number()) + ")");
        writeBlob(field, std::as_bytes(std::span(bytes.data(), bytes.size())));
        return;
    }
    setText(field, utf8);
}

void Table::setBoolean(int field, std::optional<bool> v) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType != 'L') {
        if (!v)
            setNull(field);
        else if (f->type == FieldType::String)
            setString(field, *v ? "T" : "F");
        else
            setInteger(field, *v ? 1 : 0);
        return;
    }
    p[0] = std::byte(!v ? ' ' : (*v ? 'T' : 'F'));
}

void Table::setDate(int field, const Date& dt) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType == 'D') {
        if (dt.isNull()) {
            std::memset(p, ' ', 8);
            return;
        }
        if (!Date::isValid(dt.year, dt.month, dt.day))
            throw EDatabaseError(EDatabaseError::Reason::BadValue,
                                 "Niepoprawna data w polu " + f->name);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", dt.year, dt.month, dt.day);
        std::memcpy(p, buf, 8);
        return;
    }
    DateTime t;
    t.date = dt;
    setDateTime(field, t);
}

void Table::setDateTime(int field, const DateTime& dt) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType == 'D') {
        setDate(field, dt.date);
        return;
    }
    if (f->dbfType == '@') {
        if (dt.isNull()) {
            std::memset(p, 0, 8);
            return;
        }
        double days = static_cast<double>(dt.date.julianDay() - kTimestampEpoch);
        double ms = days * 86400000.0 + dt.hour * 3600000.0 + dt.minute * 60000.0 +
                    dt.second * 1000.0 + dt.msec;
        encodeStamp(p, ms);
        return;
    }
    setString(field, dt.iso());
}

void Table::setText(int field, std::string_view text) {
    const FieldInfo* f;
    writable(*d, field, f);
    std::string_view t = trim(text);
    switch (f->type) {
        case FieldType::String:
        case FieldType::Memo:
            setString(field, text);
            return;
        case FieldType::Graphic:
            writeBlob(field, std::as_bytes(std::span(text.data(), text.size())));
            return;
        case FieldType::Time:
            setString(field, text);
            return;
        case FieldType::Integer:
        case FieldType::AutoInc:
        case FieldType::Float: {
            if (t.empty()) {
                setNull(field);
                return;
            }
            std::string norm(t);
            std::replace(norm.begin(), norm.end(), ',', '.');
            std::string_view s = norm;
            if (!s.empty() && s.front() == '+') s.remove_prefix(1);
            if (f->type != FieldType::Float) {
                // An integer field takes whole numbers only: rounding "1,5" would change the
                // value without a word.
                std::int64_t v;
                auto r = std::from_chars(s.data(), s.data() + s.size(), v);
                if (r.ec != std::errc() || r.ptr != s.data() + s.size())
                    throw EDatabaseError(EDatabaseError::Reason::BadValue,
                                         "Niepoprawna liczba całkowita „" + std::string(text) +
                                             "” w polu " + f->name);
                setInteger(field, v);
                return;
            }
            double v;
            auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            if (r.ec != std::errc() || r.ptr != s.data() + s.size())
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Niepoprawna liczba „" + std::string(text) + "” w polu " + f->name);
            setFloat(field, v);
            return;
        }
        case FieldType::Boolean: {
            std::string u = upperAscii(t);
            if (u.empty() || u == "?")
                setBoolean(field, std::nullopt);
            else if (u == "T" || u == "TRUE" || u == "Y" || u == "TAK" || u == "1")
                setBoolean(field, true);
            else if (u == "F" || u == "FALSE" || u == "N" || u == "NIE" || u == "0")
                setBoolean(field, false);
            else
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Niepoprawna wartość logiczna „" + std::string(text) + "” w polu " + f->name);
            return;
        }
        case FieldType::Date: {
            if (t.empty()) {
                setDate(field, {});
                return;
            }
            Date dt = Date::parse(t);
            if (dt.isNull()) {
                // A date-time is taken only at midnight: a date field cannot keep the time.
                DateTime x = DateTime::parse(t);
                if (x.hour == 0 && x.minute == 0 && x.second == 0 && x.msec == 0) dt = x.date;
            }
            if (dt.isNull())
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Niepoprawna data „" + std::string(text) + "” w polu " + f->name);
            setDate(field, dt);
            return;
        }
        case FieldType::DateTime: {
            if (t.empty()) {
                setNull(field);
                return;
            }
            DateTime dt = DateTime::parse(t);
            if (dt.isNull())
                throw EDatabaseError(
                    EDatabaseError::Reason::BadValue,
                    "Niepoprawna data i czas „" + std::string(text) + "” w polu " + f->name);
            setDateTime(field, dt);
            return;
        }
    }
}

void Table::setValue(int field, const Value& v) {
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                setNull(field);
            else if constexpr (std::is_same_v<T, std::int64_t>)
                setInteger(field, x);
            else if constexpr (std::is_same_v<T, double>)
                setFloat(field, x);
            else if constexpr (std::is_same_v<T, std::string>)
                setText(field, x);
            else if constexpr (std::is_same_v<T, bool>)
                setBoolean(field, x);
            else if constexpr (std::is_same_v<T, Date>)
                setDate(field, x);
            else
                setDateTime(field, x);
        },
        v);
}

void Table::writeBlob(int field, std::span<const std::byte> bytes) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    if (f->dbfType != 'M' && f->dbfType != 'B' && f->dbfType != 'G')
        throw EDatabaseError("Pole " + f->name + " nie jest polem memo ani graficznym");
    if (!d->memo) throw EDatabaseError("Brak pliku memo tabeli " + d->tableName);
    putMemoPointer(p, d->memo->write(bytes));
}

// --- Field reads

bool Table::isNull(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    switch (f.dbfType) {
        case 'I':
        case '+':
        case 'O':
        case '@':
            return allZero(p, f.size);
        case 'L': {
            char c = static_cast<char>(p[0]);
            return !(c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == 'F' || c == 'f' ||
                     c == 'N' || c == 'n');
        }
        default:
            return allBlank(p, f.size);
    }
}

std::int64_t Table::asInteger(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    switch (f.dbfType) {
        case 'I':
        case '+':
            return allZero(p, 4) ? 0 : decodeLong(p);
        case 'N':
        case 'F': {
            if (f.decimals == 0) {
                // Fast path for the common integer column.
                const char* s = reinterpret_cast<const char*>(p);
                int i = 0;
                while (i < f.size && s[i] == ' ')
                    ++i;
                bool neg = false;
                if (i < f.size && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
                std::int64_t v = 0;
                int start = i;
                while (i < f.size && s[i] >= '0' && s[i] <= '9')
                    v = v * 10 + (s[i++] - '0');
                if (i == f.size || (i > start && s[i] == ' ')) return neg ? -v : v;
            }
            return std::llround(asFloat(field));
        }
        case 'L': {
            auto b = asBoolean(field);
            return b && *b ? 1 : 0;
        }
        case 'O':
        case '@':
            return std::llround(asFloat(field));
        default: {
            std::string s = asString(field);
            std::string_view t = trim(s);
            std::int64_t v = 0;
            std::from_chars(t.data(), t.data() + t.size(), v);
            return v;
        }
    }
}

double Table::asFloat(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    switch (f.dbfType) {
        case 'O':
            return allZero(p, 8) ? 0.0 : decodeDouble(p);
        case 'I':
        case '+':
            return static_cast<double>(asInteger(field));
        case 'N':
        case 'F': {
            std::string_view s =
                trim({reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.size)});
            if (!s.empty() && s.front() == '+') s.remove_prefix(1);
            double v = 0;
            auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            if (r.ec != std::errc()) {
                std::string tmp(s);
                std::replace(tmp.begin(), tmp.end(), ',', '.');
                std::from_chars(tmp.data(), tmp.data() + tmp.size(), v);
            }
            return v;
        }
        case '@':
            return allZero(p, 8) ? 0.0 : decodeStamp(p);
        case 'L':
            return static_cast<double>(asInteger(field));
        default: {
            std::string s = asString(field);
            std::string_view t = trim(s);
            double v = 0;
            std::from_chars(t.data(), t.data() + t.size(), v);
            return v;
        }
    }
}

std::string Table::asString(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    switch (f.dbfType) {
        case 'C': {
            std::string_view s =
                trimRight({reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.size)});
            return d->cp->decode(s);
        }
        case 'M': {
            auto bytes = readBlob(field);
            return d->cp->decode(std::span<const std::byte>(bytes));
        }
        case 'B':
        case 'G': {
            auto bytes = readBlob(field);
            return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        case 'N':
        case 'F':
            return std::string(
                trim({reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.size)}));
        default:
            return asText(field);
    }
}

std::optional<bool> Table::asBoolean(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    if (f.dbfType != 'L') {
        if (isNull(field)) return std::nullopt;
        if (f.type == FieldType::String) {
            std::string u = upperAscii(trim(asString(field)));
            if (u == "T" || u == "TRUE" || u == "Y") return true;
            if (u == "F" || u == "FALSE" || u == "N") return false;
            return std::nullopt;
        }
        return asInteger(field) != 0;
    }
    switch (static_cast<char>(p[0])) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return false;
        default:
            return std::nullopt;
    }
}

Date Table::asDate(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    if (f.dbfType == 'D') return Date::parse({reinterpret_cast<const char*>(p), 8});
    return asDateTime(field).date;
}

DateTime Table::asDateTime(int field) {
    const FieldInfo& f = d->field(field);
    const std::byte* p = d->row() + f.offset;
    DateTime r;
    switch (f.dbfType) {
        case 'D':
            r.date = asDate(field);
            return r;
        case '@': {
            if (allZero(p, 8)) return r;
            double ms = decodeStamp(p);
            if (!(ms >= 0 && ms < 1e15)) return r;
            auto total = static_cast<std::int64_t>(std::llround(ms));
            std::int64_t days = total / 86400000;
            std::int64_t rest = total % 86400000;
            r.date = Date::fromJulianDay(days + kTimestampEpoch);
            r.hour = static_cast<int>(rest / 3600000);
            r.minute = static_cast<int>(rest / 60000 % 60);
            r.second = static_cast<int>(rest / 1000 % 60);
            r.msec = static_cast<int>(rest % 1000);
            return r;
        }
        default:
            return DateTime::parse(asString(field));
    }
}

// The first memo block of a memo or graphic field of the current row; 0 when empty.
std::uint64_t Table::memoBlock(int field) {
    const FieldInfo& f = d->field(field);
    if (f.dbfType != 'M' && f.dbfType != 'B' && f.dbfType != 'G')
        throw EDatabaseError("Pole " + f.name + " nie jest polem memo ani graficznym");
    const std::byte* p = d->row() + f.offset;
    std::string_view ptr = trim({reinterpret_cast<const char*>(p), 10});
    if (ptr.empty()) return 0;
    std::uint64_t block = 0;
    auto r = std::from_chars(ptr.data(), ptr.data() + ptr.size(), block);
    if (r.ec != std::errc() || r.ptr != ptr.data() + ptr.size())
        throw EDatabaseError(
            EDatabaseError::Reason::Damaged,
            "Uszkodzony wskaźnik memo w polu " + f.name + " tabeli " + d->tableName);
    if (block != 0 && !d->memo) throw EDatabaseError("Brak pliku memo tabeli " + d->tableName);
    return block;
}

std::vector<std::byte> Table::readBlob(int field) {
    const std::uint64_t block = memoBlock(field);
    if (block == 0) return {};
    return d->memo->read(block);
}

std::span<const std::byte> Table::viewBlob(int field, std::vector<std::byte>& scratch) {
    const std::uint64_t block = memoBlock(field);
    if (block == 0) return {};
    return d->memo->view(block, scratch);
}

std::span<const std::byte> Table::rawField(int field) {
    const FieldInfo& f = d->field(field);
    return {d->row() + f.offset, static_cast<std::size_t>(f.size)};
}

void Table::setRawField(int field, std::span<const std::byte> bytes) {
    const FieldInfo* f;
    std::byte* p = writable(*d, field, f);
    const auto size = static_cast<std::size_t>(f->size);
    if (bytes.size() > size)
        throw EDatabaseError(EDatabaseError::Reason::BadValue,
                             "Wartość nie mieści się w polu " + f->name);
    const bool binary =
        f->dbfType == 'I' || f->dbfType == '+' || f->dbfType == 'O' || f->dbfType == '@';
    std::memcpy(p, bytes.data(), bytes.size());
    std::memset(p + bytes.size(), binary ? 0 : ' ', size - bytes.size());
}

// --- Check

Table::CheckReport Table::check(bool repair) {
    CheckReport rep;
    if (repair) {
        d->requireWritable();
        d->requireExclusive("Naprawa tabeli");
    }
    const std::uint64_t size = d->file.size();
    std::byte cnt[4];
    d->file.readExact(kHdrCount, cnt);
    const std::uint32_t headerCount = getLE32(cnt);
    const std::uint64_t full = (size - d->hdr()) / d->rlen();
    if (full != headerCount)
        rep.problems.push_back("Liczba rekordów w nagłówku (" + std::to_string(headerCount) +
                               ") nie zgadza się z rozmiarem pliku (" + std::to_string(full) + ")");
    const std::uint32_t count = d->liveCount();
    std::uint64_t live = 0, badFlags = 0, badMemo = 0;
    std::vector<std::uint32_t> badMemoRows;
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::byte* rec = d->recordPtr(n);
        if (rec[0] != std::byte{' '} && rec[0] != std::byte{'*'}) ++badFlags;
        if (rec[0] == std::byte{'*'}) continue;
        ++live;
        if (!d->memo) continue;
        std::uint32_t save = d->recno;
        d->recno = n;
        for (std::size_t i = 0; i < d->header.fields.size(); ++i) {
            char t = d->header.fields[i].dbfType;
            if (t != 'M' && t != 'B' && t != 'G') continue;
            try {
                readBlob(static_cast<int>(i));
            } catch (const EDatabaseError&) {
                ++badMemo;
                badMemoRows.push_back(n);
            }
        }
        d->recno = save;
    }
    if (badFlags)
        rep.problems.push_back("Rekordy z niepoprawnym znacznikiem usunięcia: " +
                               std::to_string(badFlags));
    if (badMemo) rep.problems.push_back("Uszkodzone wskaźniki memo: " + std::to_string(badMemo));
    bool indexBad = false;
    if (d->header.productionIndex && !d->index) {
        rep.problems.push_back("Brak pliku indeksu");
        indexBad = true;
    }
    for (std::size_t t = 0; t < d->tags.size() && !indexBad; ++t) {
        const auto& tg = d->tags[t];
        try {
            d->index->verify(tg.fileTag);
            std::uint64_t entries = 0;
            for (const auto& info : d->index->tags())
                if (iequals(info.name, tg.info.name)) entries = info.entries;
            if (entries != live) {
                rep.problems.push_back("Indeks " + tg.info.name + " ma " + std::to_string(entries) +
                                       " pozycji, a tabela " + std::to_string(live) + " rekordów");
                indexBad = true;
                continue;
            }
            auto c = d->index->cursor(tg.fileTag);
            for (std::uint32_t n = 1; n <= count; ++n) {
                const std::byte* rec = d->recordPtr(n);
                if (rec[0] == std::byte{'*'}) continue;
                auto k = d->keyOf(static_cast<int>(t), rec);
                if (!c.seek(k, n) || c.recno() != n ||
                    !std::equal(k.begin(), k.end(), c.key().begin(), c.key().end())) {
                    rep.problems.push_back("Indeks " + tg.info.name + " nie zawiera rekordu " +
                                           std::to_string(n));
                    indexBad = true;
                    break;
                }
            }
        } catch (const EDatabaseError& e) {
            rep.problems.push_back("Indeks " + tg.info.name + ": " + e.what());
            indexBad = true;
        }
    }
    if (!repair) return rep;
    if (full != headerCount) {
        d->lockAppend();
        std::byte c[4];
        putLE32(c, static_cast<std::uint32_t>(full));
        d->file.writeAt(kHdrCount, c);
        d->unlockAppend();
        rep.repairs.push_back("Poprawiono liczbę rekordów w nagłówku");
    }
    if (badMemo) {
        for (std::uint32_t n : badMemoRows) {
            std::vector<std::byte> rec(d->recordPtr(n), d->recordPtr(n) + d->rlen());
            std::uint32_t save = d->recno;
            d->recno = n;
            for (std::size_t i = 0; i < d->header.fields.size(); ++i) {
                const auto& f = d->header.fields[i];
                if (f.dbfType != 'M' && f.dbfType != 'B' && f.dbfType != 'G') continue;
                try {
                    readBlob(static_cast<int>(i));
                } catch (const EDatabaseError&) {
                    std::memset(rec.data() + f.offset, ' ', 10);
                }
            }
            d->recno = save;
            d->file.writeAt(d->hdr() + std::uint64_t{n - 1} * d->rlen(), rec);
        }
        rep.repairs.push_back("Wyczyszczono uszkodzone wskaźniki memo");
    }
    if (indexBad || badFlags) {
        reindex();
        rep.repairs.push_back("Odbudowano indeksy");
    }
    return rep;
}

}  // namespace pulpex::engine
