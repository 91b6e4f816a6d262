#include "index_file.h"

#include <optional>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>

#include "error.h"

// Layout (docs/index-format.md): pages of 4096 bytes. Pages 0-2 hold the file header and the tag
// directory; tree and free pages follow. An entry is stored as key bytes followed by the recno
// big-endian, so one memcmp over keyLength + 4 bytes orders entries by (key, recno).

namespace pulpex::engine {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the change counter is used in place as a little-endian 64-bit integer");
static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free);

constexpr char kMagic[8] = {'P', 'L', 'X', 'I', 'D', 'X', '0', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kHeaderPages = 3;

// File header (page 0).
constexpr std::size_t kOffVersion = 8;
constexpr std::size_t kOffPageSize = 12;
constexpr std::size_t kOffCounter = 16;
constexpr std::size_t kOffPageCount = 24;
constexpr std::size_t kOffFreeHead = 28;
constexpr std::size_t kOffFreeCount = 32;
constexpr std::size_t kOffTagCount = 36;
constexpr std::size_t kDirOffset = 256;
constexpr std::size_t kDirEntrySize = 256;

// Tag directory entry.
constexpr std::size_t kTagName = 0;  // 11 bytes, NUL-padded
constexpr std::size_t kTagFlags = 11;
constexpr std::size_t kTagKeyLength = 12;
constexpr std::size_t kTagExprLength = 14;
constexpr std::size_t kTagHeight = 15;
constexpr std::size_t kTagRoot = 16;
constexpr std::size_t kTagPages = 20;
constexpr std::size_t kTagEntries = 24;
constexpr std::size_t kTagExpr = 32;

static_assert(kDirOffset + kMaxIndexTags * kDirEntrySize <= kHeaderPages * kPageSize);
static_assert(kTagExpr + kMaxIndexExpression == kDirEntrySize);
static_assert(kMaxTagNameLength < kTagFlags - kTagName);

// Tree and free pages.
constexpr std::size_t kPageHeader = 16;
constexpr std::uint8_t kLeaf = 1;
constexpr std::uint8_t kInternal = 2;
constexpr std::uint8_t kFree = 3;
constexpr std::size_t kMaxEntrySize = kMaxIndexKeyLength + 4;
constexpr std::size_t kMaxItemSize = kMaxEntrySize + 4;

// Optimistic reads: retries before falling back to a shared lock, and how many of them spin
// before yielding the processor.
constexpr int kOptimisticTries = 64;
constexpr int kSpinTries = 4;

constexpr const char* kInterrupted = "przerwana modyfikacja (licznik zmian nieparzysty)";

// Returns v, but keeps the compiler from reloading it from shared memory later: a value that
// passed a bounds check stays the value that is used, even when another process rewrites the
// page meanwhile.
template <class T>
inline T pin(T v) {
    asm volatile("" : "+r"(v));
    return v;
}

inline std::uint8_t byteAt(const std::byte* p) {
    return std::to_integer<std::uint8_t>(*p);
}

// memcmp of two entries, inlined: big-endian word compares instead of a library call.
inline int compareEntries(const std::byte* a, const std::byte* b, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
    }
    if (i + 4 <= n) {
        std::uint32_t x, y;
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        if (x != y) return __builtin_bswap32(x) < __builtin_bswap32(y) ? -1 : 1;
        i += 4;
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return byteAt(a + i) < byteAt(b + i) ? -1 : 1;
    return 0;
}

bool validTagName(std::string_view name) {
    if (name.empty() || name.size() > kMaxTagNameLength) return false;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x21 || c > 0x7E) return false;
    }
    return true;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

// The stored tag name: up to 11 bytes, NUL-padded. Bounded, so garbage cannot run away.
std::string_view storedName(const std::byte* entry) {
    const char* s = reinterpret_cast<const char*>(entry + kTagName);
    std::size_t n = 0;
    while (n < kTagFlags - kTagName && s[n] != '\0')
        ++n;
    return {s, n};
}

constexpr std::uint32_t capacity(std::size_t itemSize) {
    return static_cast<std::uint32_t>((kPageSize - kPageHeader) / itemSize);
}

// Page capacities by item size, so that the read path does not divide.
struct CapacityTable {
    std::array<std::uint16_t, kMaxItemSize + 1> of{};
    constexpr CapacityTable() {
        for (std::size_t i = 1; i <= kMaxItemSize; ++i)
            of[i] = std::uint16_t(capacity(i));
    }
};
constexpr CapacityTable kCapacity;

// Sorts records of `size` bytes by memcmp and drops repeated ones.
void sortUnique(std::vector<std::byte>& data, std::size_t size) {
    const std::size_t n = data.size() / size;
    bool sorted = true;
    for (std::size_t i = 1; i < n && sorted; ++i)
        sorted = compareEntries(&data[(i - 1) * size], &data[i * size], size) < 0;
    if (sorted) return;
    if (n > 0xFFFFFFFFu) throw EDatabaseError("Zbyt wiele wpisów do zbudowania indeksu");

    // Sort (8-byte prefix, index) pairs: most comparisons never touch the records.
    struct Item {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::byte buf[8]{};
        std::memcpy(buf, &data[i * size], std::min<std::size_t>(size, 8));
        items[i] = {getBE64(buf), static_cast<std::uint32_t>(i)};
    }
    const std::byte* base = data.data();
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        if (size > 8) {
            int c = compareEntries(base + std::size_t{a.index} * size + 8,
                                   base + std::size_t{b.index} * size + 8, size - 8);
            if (c != 0) return c < 0;
        }
        return a.index < b.index;
    });
    std::vector<std::byte> out(n * size);
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::byte* rec = base + std::size_t{items[i].index} * size;
        if (m > 0 && compareEntries(&out[(m - 1) * size], rec, size) == 0) continue;
        std::memcpy(&out[m * size], rec, size);
        ++m;
    }
    out.resize(m * size);
    data.swap(out);
}

}  // namespace

// A damage found while reading pages. Thrown inside optimistic reads, where it may just be a torn
// read; turned into EDatabaseError once the change counter shows that nothing was being written.
struct IndexFile::Corrupt {
    const char* what;
    std::uint64_t value;
};

// Out of line, so that the checked page accessors stay small enough to inline.
[[gnu::cold, gnu::noinline]] void IndexFile::throwCorrupt(const char* what, std::uint64_t value) {
    throw Corrupt{what, value};
}

// A tag's directory entry, checked.
struct IndexFile::TagView {
    std::uint32_t keyLength;
    std::uint32_t entrySize;  // keyLength + 4
    std::uint32_t leafCap;
    std::uint32_t nodeCap;
    int height;
    std::uint32_t root;
    std::uint32_t pages;
    std::uint64_t entries;

    std::size_t itemSize(int level) const { return level == 0 ? entrySize : entrySize + 4; }
    std::uint32_t cap(int level) const { return level == 0 ? leafCap : nodeCap; }
};

// A checked tree page: items start at p + kPageHeader.
struct IndexFile::Node {
    const std::byte* p;
    std::uint32_t count;
};

// The writer's side of the seqlock: holds the exclusive lock for its lifetime; begin() makes the
// counter odd before the first page changes, commit() makes it even again. A scope left by an
// exception between the two leaves the counter odd, marking the file damaged.
class IndexFile::WriteScope {
  public:
    explicit WriteScope(IndexFile& f, bool repair = false) : f_(f) {
        if (f.writeLockDepth_ == 0) lock_.emplace(f.fileForWrite(), kLockBase);
        f.syncMapping();
        counter_ = f.loadCounter();
        if (repair) return;
        if (counter_ & 1) f.damaged(kInterrupted);
        try {
            f.checkHeader();
        } catch (const Corrupt& c) {
            f.damaged(c);
        }
    }
    void begin() {
        f_.counterRef().store(counter_ | 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
    }
    void commit() { f_.counterRef().store((counter_ | 1) + 1, std::memory_order_release); }

  private:
    IndexFile& f_;
    std::optional<LockGuard> lock_;
    std::uint64_t counter_ = 0;
};

IndexFile::WriteLock::WriteLock(IndexFile& f) : f_(f) {
    if (f_.writeLockDepth_ == 0) f_.fileForWrite().lockWait(kLockBase, File::LockKind::Exclusive);
    ++f_.writeLockDepth_;
}

IndexFile::WriteLock::~WriteLock() {
    if (--f_.writeLockDepth_ == 0) f_.file_.unlock(kLockBase);
}

// ---------------------------------------------------------------------------------------------
// IndexEntries

IndexEntries::IndexEntries(std::uint16_t keyLength) : keyLength_(keyLength) {
    if (keyLength == 0 || keyLength > kMaxIndexKeyLength)
        throw EDatabaseError("Zła długość klucza indeksu: " + std::to_string(keyLength));
}

void IndexEntries::add(std::span<const std::byte> key, std::uint32_t recno) {
    if (key.size() != keyLength_)
        throw EDatabaseError("Zła długość klucza indeksu: " + std::to_string(key.size()) +
                             " zamiast " + std::to_string(keyLength_));
    const std::size_t at = data_.size();
    data_.resize(at + recordSize());
    std::memcpy(&data_[at], key.data(), keyLength_);
    putBE32(&data_[at + keyLength_], recno);
}

// ---------------------------------------------------------------------------------------------
// Opening

IndexFile::IndexFile(File file) : file_(std::move(file)) {
    const std::uint64_t size = file_.size() & ~std::uint64_t{kPageSize - 1};
    map_.map(file_, size, file_.writable());
}

IndexFile::~IndexFile() = default;

std::unique_ptr<IndexFile> IndexFile::create(const std::string& path) {
    File f = File::open(path, File::Mode::Create);
    std::vector<std::byte> header(std::size_t{kHeaderPages} * kPageSize);
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    putLE32(&header[kOffVersion], kVersion);
    putLE32(&header[kOffPageSize], kPageSize);
    putLE32(&header[kOffPageCount], kHeaderPages);
    f.writeAt(0, header);
    return std::unique_ptr<IndexFile>(new IndexFile(std::move(f)));
}

std::vector<IndexTagInfo> IndexFile::salvageTags(const std::string& path) {
    std::vector<std::byte> head(kDirOffset + kMaxIndexTags * kDirEntrySize);
    try {
        File f = File::open(path, File::Mode::ReadOnly);
        if (f.readAt(0, head) < kDirOffset) return {};
    } catch (const EDatabaseError&) {
        return {};
    }
    if (std::memcmp(head.data(), kMagic, sizeof kMagic) != 0) return {};
    const std::size_t count = getLE16(&head[kOffTagCount]);
    if (count > std::size_t{kMaxIndexTags} || kDirOffset + count * kDirEntrySize > head.size())
        return {};
    std::vector<IndexTagInfo> tags;
    for (std::size_t i = 0; i < count; ++i) {
        const std::byte* e = &head[kDirOffset + i * kDirEntrySize];
        IndexTagInfo info;
        info.name = std::string(storedName(e));
        info.flags = byteAt(e + kTagFlags);
        info.keyLength = getLE16(e + kTagKeyLength);
        const std::size_t exprLength = byteAt(e + kTagExprLength);
        if (!validTagName(info.name) || info.keyLength == 0 ||
            info.keyLength > kMaxIndexKeyLength || exprLength > kMaxIndexExpression)
            return {};
        for (const IndexTagInfo& other : tags)
            if (sameName(other.name, info.name)) return {};
        info.expression.assign(reinterpret_cast<const char*>(e + kTagExpr), exprLength);
        tags.push_back(std::move(info));
    }
    return tags;
}

// ---------------------------------------------------------------------------------------------
// Optimistic reads

std::atomic_ref<std::uint64_t> IndexFile::counterRef() const {
    return std::atomic_ref<std::uint64_t>(
        *reinterpret_cast<std::uint64_t*>(map_.data() + kOffCounter));
}

std::uint64_t IndexFile::loadCounter() const {
    return counterRef().load(std::memory_order_acquire);
}

std::uint64_t IndexFile::changeCounter() {
    return loadCounter();
}

// Runs op(counter) on the shared mapping without a lock, again and again until no writer
// interfered. Corrupt from op means damage only when the counter did not move; otherwise it was a
// torn read. After kOptimisticTries the op runs under a shared lock, where nothing can interfere.
template <class Op>
auto IndexFile::readOp(Op&& op) {
    for (int attempt = 0;; ++attempt) {
        const std::uint64_t c1 = loadCounter();
        if ((c1 & 1) == 0) {
            try {
                auto result = op(c1);
                std::atomic_thread_fence(std::memory_order_acquire);
                if (counterRef().load(std::memory_order_relaxed) == c1) return result;
            } catch (const Corrupt& c) {
                std::atomic_thread_fence(std::memory_order_acquire);
                if (counterRef().load(std::memory_order_relaxed) == c1) damaged(c);
            }
        }
        if (attempt >= kOptimisticTries) break;
        if (attempt >= kSpinTries) sched_yield();
    }
    LockGuard lock(file_, kLockBase, File::LockKind::Shared);
    const std::uint64_t c = loadCounter();
    if (c & 1) damaged(kInterrupted);
    try {
        return op(c);
    } catch (const Corrupt& e) {
        damaged(e);
    }
}

std::unique_ptr<IndexFile> IndexFile::open(const std::string& path, bool writable) {
    File f = File::open(path, writable ? File::Mode::ReadWrite : File::Mode::ReadOnly);
    std::byte head[16]{};
    const std::size_t got = f.readAt(0, head);
    const std::string notOurs = "Plik indeksu " + path + " nie jest plikiem indeksu programu";
    if (got < sizeof head || std::memcmp(head, kMagic, sizeof kMagic) != 0)
        throw EDatabaseError(EDatabaseError::Reason::Damaged, notOurs);
    if (getLE32(head + kOffVersion) != kVersion || getLE32(head + kOffPageSize) != kPageSize)
        throw EDatabaseError(
            EDatabaseError::Reason::Damaged,
            notOurs + " (nieznana wersja " + std::to_string(getLE32(head + kOffVersion)) + ")");
    if (f.size() < std::uint64_t{kHeaderPages} * kPageSize)
        throw EDatabaseError(EDatabaseError::Reason::Damaged,
                             "Plik indeksu " + path + " jest uszkodzony (plik obcięty)");
    std::unique_ptr<IndexFile> index(new IndexFile(std::move(f)));
    index->readOp([&](std::uint64_t) {
        index->checkHeader();
        index->checkDirectory();
        return 0;
    });
    return index;
}

void IndexFile::syncMapping() {
    const std::uint64_t need = std::uint64_t{getLE32(map_.data() + kOffPageCount)} * kPageSize;
    if (need <= map_.length()) return;
    const std::uint64_t size = file_.size() & ~std::uint64_t{kPageSize - 1};
    if (size > map_.length()) map_.remap(file_, size);
}

std::uint32_t IndexFile::pageCount() const {
    const std::uint32_t pc = pin(getLE32(map_.data() + kOffPageCount));
    if (pc < kHeaderPages) throwCorrupt("zła liczba stron w nagłówku:", pc);
    return pc;
}

int IndexFile::tagCount() const {
    const int n = pin(getLE16(map_.data() + kOffTagCount));
    if (n > kMaxIndexTags) throwCorrupt("zła liczba znaczników w nagłówku:", std::uint64_t(n));
    return n;
}

bool IndexFile::hasTag(int tag) const {
    return tag >= 0 && tag < tagCount();
}

const std::byte* IndexFile::dirEntry(int tag) const {
    return map_.data() + kDirOffset + std::size_t(tag) * kDirEntrySize;
}

IndexFile::TagView IndexFile::tagView(int tag, std::uint32_t pc) const {
    const std::byte* e = dirEntry(tag);
    TagView t{};
    t.keyLength = pin(getLE16(e + kTagKeyLength));
    if (t.keyLength == 0 || t.keyLength > kMaxIndexKeyLength)
        throwCorrupt("zła długość klucza znacznika", std::uint64_t(tag));
    t.entrySize = t.keyLength + 4;
    t.leafCap = kCapacity.of[t.entrySize];
    t.nodeCap = kCapacity.of[t.entrySize + 4];
    t.height = pin(byteAt(e + kTagHeight));
    t.root = pin(getLE32(e + kTagRoot));
    t.pages = getLE32(e + kTagPages);
    t.entries = getLE64(e + kTagEntries);
    if (t.height > kMaxIndexHeight || (t.root == 0) != (t.height == 0) ||
        (t.root != 0 && (t.root < kHeaderPages || t.root >= pc)))
        throwCorrupt("zły korzeń drzewa znacznika", std::uint64_t(tag));
    return t;
}

// Header fields other than the directory: page count against the file, free list head.
void IndexFile::checkHeader() {
    const std::uint32_t pc = pageCount();
    const std::uint64_t need = std::uint64_t{pc} * kPageSize;
    if (need > map_.length()) growMapping(need, pc);
    const std::uint32_t head = getLE32(map_.data() + kOffFreeHead);
    const std::uint32_t free = getLE32(map_.data() + kOffFreeCount);
    if ((head == 0) != (free == 0) || (head != 0 && (head < kHeaderPages || head >= pc)) ||
        free > pc - kHeaderPages)
        throwCorrupt("zła lista wolnych stron, początek", head);
    tagCount();
}

// Every used directory entry: sizes, roots, names (valid and unique).
void IndexFile::checkDirectory() {
    const std::uint32_t pc = pageCount();
    const int n = tagCount();
    for (int i = 0; i < n; ++i) {
        tagView(i, pc);
        const std::byte* e = dirEntry(i);
        const std::string_view name = storedName(e);
        if (!validTagName(name)) throwCorrupt("zła nazwa znacznika", std::uint64_t(i));
        if (byteAt(e + kTagExprLength) > kMaxIndexExpression)
            throwCorrupt("zła długość wyrażenia znacznika", std::uint64_t(i));
        for (int j = 0; j < i; ++j)
            if (sameName(storedName(dirEntry(j)), name))
                throwCorrupt("powtórzona nazwa znacznika", std::uint64_t(i));
    }
}

// Remaps to the file's current size (another process grew it). Corrupt when the file is shorter
// than `need` bytes.
void IndexFile::growMapping(std::uint64_t need, std::uint64_t pageNo) {
    const std::uint64_t size = file_.size() & ~std::uint64_t{kPageSize - 1};
    if (size < need) throwCorrupt("strona poza końcem pliku:", pageNo);
    map_.remap(file_, size);
}

const std::byte* IndexFile::page(std::uint32_t no, std::uint32_t pc) {
    if (no < kHeaderPages || no >= pc) throwCorrupt("numer strony poza plikiem:", no);
    const std::uint64_t end = (std::uint64_t{no} + 1) * kPageSize;
    if (end > map_.length()) growMapping(end, no);
    return map_.data() + std::uint64_t{no} * kPageSize;
}

IndexFile::Node IndexFile::node(const TagView& t, std::uint32_t no, int level, std::uint32_t pc) {
    const std::byte* p = page(no, pc);
    if (byteAt(p) != (level == 0 ? kLeaf : kInternal)) throwCorrupt("zły typ strony", no);
    if (byteAt(p + 1) != level) throwCorrupt("zły poziom strony", no);
    const std::uint32_t count = pin(getLE16(p + 2));
    if (count == 0 || count > t.cap(level))
        throwCorrupt("liczba wpisów poza zakresem na stronie", no);
    return {p, count};
}

namespace {
inline const std::byte* itemAt(const std::byte* p, std::size_t itemSize, std::uint32_t i) {
    return p + kPageHeader + std::size_t{i} * itemSize;
}
}  // namespace

std::uint32_t IndexFile::childOf(const TagView& t, const Node& n, std::uint32_t i) {
    return pin(getLE32(itemAt(n.p, t.entrySize + 4, i) + t.entrySize));
}

// Fills path with the way to the first entry >= target: in each internal node the last child
// whose separator is <= target (child 0 when none is); in the leaf the lower bound, which may be
// the leaf's count (the entry then is the first of the next leaf).
void IndexFile::descend(const TagView& t, const std::byte* target, Path& path, std::uint32_t pc) {
    path.depth = t.height;
    std::uint32_t no = t.root;
    const std::size_t es = t.entrySize;
    for (int d = 0; d < t.height; ++d) {
        const int level = t.height - 1 - d;
        const Node n = node(t, no, level, pc);
        if (level > 0) {
            const std::size_t is = es + 4;
            std::uint32_t lo = 1, hi = n.count;
            while (lo < hi) {
                const std::uint32_t mid = lo + (hi - lo) / 2;
                if (compareEntries(itemAt(n.p, is, mid), target, es) <= 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            path.level[d] = {no, lo - 1};
            no = childOf(t, n, lo - 1);
        } else {
            std::uint32_t lo = 0, hi = n.count;
            while (lo < hi) {
                const std::uint32_t mid = lo + (hi - lo) / 2;
                if (compareEntries(itemAt(n.p, es, mid), target, es) < 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            path.level[d] = {no, lo};
        }
    }
}

// From path.level[from].page (already set) down to the leaf along the first or last children.
void IndexFile::descendEdge(const TagView& t, int from, bool last, Path& path, std::uint32_t pc) {
    for (int d = from; d < path.depth; ++d) {
        const int level = path.depth - 1 - d;
        const Node n = node(t, path.level[d].page, level, pc);
        const std::uint32_t i = last ? n.count - 1 : 0;
        path.level[d].index = i;
        if (level > 0) path.level[d + 1].page = childOf(t, n, i);
    }
}

void IndexFile::descendEdge(const TagView& t, bool last, Path& path, std::uint32_t pc) {
    path.depth = t.height;
    path.level[0].page = t.root;
    descendEdge(t, 0, last, path, pc);
}

// Makes path stand on an entry: the next one when step is set, else the current one, or when the
// leaf index is past the leaf's end, the first entry of the following leaf. False at the end.
bool IndexFile::forward(const TagView& t, Path& path, bool step, std::uint32_t pc) {
    const int d = path.depth - 1;
    if (d < 0) return false;
    const Node leaf = node(t, path.level[d].page, 0, pc);
    const std::uint32_t i = path.level[d].index + (step ? 1 : 0);
    if (i < leaf.count) {
        path.level[d].index = i;
        return true;
    }
    for (int e = d - 1; e >= 0; --e) {
        const Node n = node(t, path.level[e].page, d - e, pc);
        if (path.level[e].index + 1 < n.count) {
            const std::uint32_t j = ++path.level[e].index;
            path.level[e + 1].page = childOf(t, n, j);
            descendEdge(t, e + 1, false, path, pc);
            return true;
        }
    }
    return false;
}

// Moves path to the previous entry (the path's leaf index may be the leaf's count). False at the
// beginning.
bool IndexFile::backward(const TagView& t, Path& path, std::uint32_t pc) {
    const int d = path.depth - 1;
    if (d < 0) return false;
    const Node leaf = node(t, path.level[d].page, 0, pc);
    const std::uint32_t i = path.level[d].index;
    if (i > 0) {
        if (i - 1 >= leaf.count) throwCorrupt("zła pozycja kursora na stronie", path.level[d].page);
        path.level[d].index = i - 1;
        return true;
    }
    for (int e = d - 1; e >= 0; --e) {
        const Node n = node(t, path.level[e].page, d - e, pc);
        const std::uint32_t j = path.level[e].index;
        if (j > 0) {
            if (j - 1 >= n.count)
                throwCorrupt("zła pozycja kursora na stronie", path.level[e].page);
            path.level[e].index = j - 1;
            path.level[e + 1].page = childOf(t, n, j - 1);
            descendEdge(t, e + 1, true, path, pc);
            return true;
        }
    }
    return false;
}

const std::byte* IndexFile::leafEntry(const TagView& t, const Path& path, std::uint32_t pc) {
    const PathLevel& at = path.level[path.depth - 1];
    const Node leaf = node(t, at.page, 0, pc);
    if (at.index >= leaf.count) throwCorrupt("zła pozycja kursora na stronie", at.page);
    return itemAt(leaf.p, t.entrySize, at.index);
}

// ---------------------------------------------------------------------------------------------
// Directory

std::vector<IndexTagInfo> IndexFile::tags() {
    return readOp([&](std::uint64_t) {
        const std::uint32_t pc = pageCount();
        const int n = tagCount();
        std::vector<IndexTagInfo> out;
        out.reserve(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            const TagView t = tagView(i, pc);
            const std::byte* e = dirEntry(i);
            IndexTagInfo info;
            info.name = std::string(storedName(e));
            const std::size_t exprLength =
                std::min<std::size_t>(byteAt(e + kTagExprLength), kMaxIndexExpression);
            info.expression.assign(reinterpret_cast<const char*>(e + kTagExpr), exprLength);
            info.flags = byteAt(e + kTagFlags);
            info.keyLength = static_cast<std::uint16_t>(t.keyLength);
            info.entries = t.entries;
            out.push_back(std::move(info));
        }
        return out;
    });
}

int IndexFile::findTag(std::string_view name) {
    return readOp([&](std::uint64_t) {
        const int n = tagCount();
        for (int i = 0; i < n; ++i)
            if (sameName(storedName(dirEntry(i)), name)) return i;
        return -1;
    });
}

std::uint16_t IndexFile::keyLengthOf(int tag) {
    const int length = readOp([&](std::uint64_t) {
        if (!hasTag(tag)) return 0;
        return static_cast<int>(tagView(tag, pageCount()).keyLength);
    });
    if (length == 0) throwNoTag(tag);
    return static_cast<std::uint16_t>(length);
}

// ---------------------------------------------------------------------------------------------
// Errors

void IndexFile::damaged(const std::string& detail) const {
    throw EDatabaseError(EDatabaseError::Reason::Damaged,
                         "Plik indeksu " + file_.path() + " jest uszkodzony (" + detail + ")");
}

void IndexFile::damaged(const Corrupt& c) const {
    damaged(std::string(c.what) + " " + std::to_string(c.value));
}

void IndexFile::throwNoTag(int tag) const {
    throw EDatabaseError("Nie ma znacznika nr " + std::to_string(tag) + " w pliku indeksu " +
                         file_.path());
}

File& IndexFile::fileForWrite() {
    if (!file_.writable())
        throw EDatabaseError("Plik indeksu " + file_.path() + " jest otwarty tylko do odczytu");
    return file_;
}

// ---------------------------------------------------------------------------------------------
// Writing (all under WriteScope)

std::byte* IndexFile::wpage(std::uint32_t no) {
    // Callers pass page numbers that were checked or just allocated; this guards against bugs.
    const std::uint32_t pc = getLE32(map_.data() + kOffPageCount);
    if (no < kHeaderPages || no >= pc || (std::uint64_t{no} + 1) * kPageSize > map_.length())
        throwCorrupt("numer strony poza plikiem:", no);
    return map_.data() + std::uint64_t{no} * kPageSize;
}

std::byte* IndexFile::wdirEntry(int tag) {
    return map_.data() + kDirOffset + std::size_t(tag) * kDirEntrySize;
}

// Makes sure the next `count` allocPage() calls succeed without failing halfway: checks that many
// free-list pages and grows the file (before any page changes) for the rest.
void IndexFile::reservePages(std::uint64_t count) {
    std::byte* h = map_.data();
    const std::uint32_t pc = getLE32(h + kOffPageCount);
    const std::uint32_t freeCount = getLE32(h + kOffFreeCount);
    std::uint32_t no = getLE32(h + kOffFreeHead);
    const std::uint64_t fromList = std::min<std::uint64_t>(count, freeCount);
    for (std::uint64_t i = 0; i < fromList; ++i) {
        const std::byte* p = page(no, pc);
        if (byteAt(p) != kFree) throwCorrupt("zła strona na liście wolnych stron:", no);
        no = getLE32(p + 4);
        if (i + 1 < freeCount && (no < kHeaderPages || no >= pc))
            throwCorrupt("zła lista wolnych stron, strona", no);
    }
    const std::uint64_t fromTail = count - fromList;
    const std::uint64_t needPages = std::uint64_t{pc} + fromTail;
    if (needPages > 0xFFFFFF00u)
        throw EDatabaseError("Plik indeksu " + file_.path() + " byłby za duży");
    if (needPages * kPageSize <= map_.length()) return;
    std::uint64_t size = file_.size() & ~std::uint64_t{kPageSize - 1};
    if (size < needPages * kPageSize) {
        const std::uint64_t pages =
            std::min<std::uint64_t>(needPages + std::max<std::uint64_t>(16, pc / 8), 0xFFFFFF00u);
        size = pages * kPageSize;
        // Allocate the blocks, so that writes through the mapping cannot hit a full disk.
        const int e = ::posix_fallocate(file_.fd(), 0, static_cast<off_t>(size));
        if (e == EINVAL || e == EOPNOTSUPP)
            file_.truncate(size);
        else if (e != 0)
            throwSystemError("Nie można powiększyć pliku indeksu", file_.path(), e);
    }
    map_.remap(file_, size);
}

std::uint32_t IndexFile::allocPage() {
    std::byte* h = map_.data();
    std::uint32_t no;
    const std::uint32_t freeCount = getLE32(h + kOffFreeCount);
    if (freeCount > 0) {
        no = getLE32(h + kOffFreeHead);
        const std::byte* p = wpage(no);
        putLE32(h + kOffFreeHead, freeCount > 1 ? getLE32(p + 4) : 0);
        putLE32(h + kOffFreeCount, freeCount - 1);
    } else {
        no = getLE32(h + kOffPageCount);
        putLE32(h + kOffPageCount, no + 1);
    }
    std::byte* p = wpage(no);
    std::memset(p, 0, kPageSize);
    return no;
}

void IndexFile::freePage(std::uint32_t no) {
    std::byte* h = map_.data();
    std::byte* p = wpage(no);
    std::memset(p, 0, kPageSize);
    p[0] = std::byte{kFree};
    putLE32(p + 4, getLE32(h + kOffFreeHead));
    putLE32(h + kOffFreeHead, no);
    putLE32(h + kOffFreeCount, getLE32(h + kOffFreeCount) + 1);
}

// All pages of a tag's tree, checked (types, levels, counts, no page twice).
void IndexFile::collectPages(const TagView& t, std::vector<std::uint32_t>& out) {
    out.clear();
    if (t.height == 0) return;
    const std::uint32_t pc = pageCount();
    std::vector<std::uint8_t> seen(pc, 0);
    struct Frame {
        std::uint32_t page;
        int level;
    };
    std::vector<Frame> todo{{t.root, t.height - 1}};
    seen[t.root] = 1;
    while (!todo.empty()) {
        const Frame f = todo.back();
        todo.pop_back();
        const Node n = node(t, f.page, f.level, pc);
        out.push_back(f.page);
        if (f.level == 0) continue;
        for (std::uint32_t i = 0; i < n.count; ++i) {
            const std::uint32_t c = childOf(t, n, i);
            if (c < kHeaderPages || c >= pc) throwCorrupt("numer strony poza plikiem:", c);
            if (seen[c]) throwCorrupt("strona w kilku miejscach drzewa:", c);
            seen[c] = 1;
            todo.push_back({c, f.level - 1});
        }
    }
    if (out.size() != t.pages) throwCorrupt("niezgodna liczba stron znacznika", t.pages);
}

void IndexFile::writeTagTree(int tag, std::uint32_t root, int height, std::uint32_t pages,
                             std::uint64_t entries) {
    std::byte* e = wdirEntry(tag);
    e[kTagHeight] = std::byte(height);
    putLE32(e + kTagRoot, root);
    putLE32(e + kTagPages, pages);
    putLE64(e + kTagEntries, entries);
}

int IndexFile::addTag(const IndexTagInfo& info) {
    if (!validTagName(info.name))
        throw EDatabaseError("Zła nazwa znacznika indeksu: \"" + info.name + "\"");
    if (info.keyLength == 0 || info.keyLength > kMaxIndexKeyLength)
        throw EDatabaseError("Zła długość klucza indeksu " + info.name + ": " +
                             std::to_string(info.keyLength));
    if (info.expression.size() > kMaxIndexExpression)
        throw EDatabaseError("Za długie wyrażenie indeksu " + info.name);
    WriteScope w(*this);
    const int n = tagCount();
    for (int i = 0; i < n; ++i)
        if (sameName(storedName(dirEntry(i)), info.name))
            throw EDatabaseError("Znacznik indeksu " + info.name + " już istnieje");
    if (n >= kMaxIndexTags)
        throw EDatabaseError("Plik indeksu może mieć najwyżej " + std::to_string(kMaxIndexTags) +
                             " znaczników");
    w.begin();
    std::byte* e = wdirEntry(n);
    std::memset(e, 0, kDirEntrySize);
    std::memcpy(e + kTagName, info.name.data(), info.name.size());
    e[kTagFlags] = std::byte{info.flags};
    putLE16(e + kTagKeyLength, info.keyLength);
    e[kTagExprLength] = std::byte(info.expression.size());
    std::memcpy(e + kTagExpr, info.expression.data(), info.expression.size());
    putLE16(map_.data() + kOffTagCount, static_cast<std::uint16_t>(n + 1));
    w.commit();
    return n;
}

void IndexFile::clearTag(int tag) {
    WriteScope w(*this);
    if (!hasTag(tag)) throwNoTag(tag);
    std::vector<std::uint32_t> pages;
    try {
        collectPages(tagView(tag, pageCount()), pages);
    } catch (const Corrupt& c) {
        damaged(c);
    }
    if (pages.empty()) return;
    w.begin();
    for (std::uint32_t no : pages)
        freePage(no);
    writeTagTree(tag, 0, 0, 0, 0);
    w.commit();
}

void IndexFile::dropAllTags() {
    WriteScope w(*this, /*repair=*/true);
    w.begin();
    std::byte* h = map_.data();
    std::memset(h + kDirOffset, 0, kMaxIndexTags * kDirEntrySize);
    putLE16(h + kOffTagCount, 0);
    putLE32(h + kOffFreeHead, 0);
    putLE32(h + kOffFreeCount, 0);
    putLE32(h + kOffPageCount, kHeaderPages);
    w.commit();
}

bool IndexFile::insert(int tag, std::span<const std::byte> key, std::uint32_t recno) {
    WriteScope w(*this);
    if (!hasTag(tag)) throwNoTag(tag);
    try {
        const std::uint32_t pc = pageCount();
        const TagView t = tagView(tag, pc);
        if (key.size() != t.keyLength)
            throw EDatabaseError("Zła długość klucza indeksu: " + std::to_string(key.size()) +
                                 " zamiast " + std::to_string(t.keyLength));
        const std::size_t es = t.entrySize;
        std::byte item[kMaxItemSize];
        std::memcpy(item, key.data(), key.size());
        putBE32(item + t.keyLength, recno);

        if (t.height == 0) {
            reservePages(1);
            w.begin();
            const std::uint32_t no = allocPage();
            std::byte* p = wpage(no);
            p[0] = std::byte{kLeaf};
            putLE16(p + 2, 1);
            std::memcpy(p + kPageHeader, item, es);
            writeTagTree(tag, no, 1, 1, 1);
            w.commit();
            return true;
        }

        Path path;
        descend(t, item, path, pc);
        const int d = path.depth - 1;
        // Counts along the path, whether each node is on the tree's right or left edge.
        std::uint32_t counts[kMaxIndexHeight];
        bool rightEdge[kMaxIndexHeight], leftEdge[kMaxIndexHeight];
        for (int e = 0; e <= d; ++e) {
            counts[e] = node(t, path.level[e].page, d - e, pc).count;
            rightEdge[e] =
                e == 0 || (rightEdge[e - 1] && path.level[e - 1].index + 1 == counts[e - 1]);
            leftEdge[e] = e == 0 || (leftEdge[e - 1] && path.level[e - 1].index == 0);
        }
        {
            const Node leaf = node(t, path.level[d].page, 0, pc);
            const std::uint32_t j = path.level[d].index;
            if (j < leaf.count && compareEntries(itemAt(leaf.p, es, j), item, es) == 0)
                return false;
        }
        int splits = 0;
        for (int e = d; e >= 0 && counts[e] == t.cap(d - e); --e)
            ++splits;
        const bool rootSplit = splits == t.height;
        if (rootSplit && t.height >= kMaxIndexHeight)
            throw EDatabaseError("Drzewo znacznika w pliku indeksu " + file_.path() +
                                 " byłoby za wysokie");
        const std::uint32_t need = static_cast<std::uint32_t>(splits) + (rootSplit ? 1 : 0);
        reservePages(need);

        w.begin();
        std::size_t itemSize = es;
        bool placed = false;
        for (int e = d; e >= 0; --e) {
            const int level = d - e;
            const std::size_t is = t.itemSize(level);
            std::byte* p = wpage(path.level[e].page);
            const std::uint32_t count = getLE16(p + 2);
            const std::uint32_t pos = level == 0 ? path.level[e].index : path.level[e].index + 1;
            if (count < t.cap(level)) {
                std::byte* at = p + kPageHeader + pos * is;
                std::memmove(at + is, at, (count - pos) * is);
                std::memcpy(at, item, itemSize);
                putLE16(p + 2, static_cast<std::uint16_t>(count + 1));
                placed = true;
                break;
            }
            // Split: the count + 1 items in order, then the first m stay, the rest move right.
            // Appending at the right edge of the tree (or prepending at the left edge) keeps the
            // old page full, so that sequential inserts fill pages.
            std::byte all[kPageSize + kMaxItemSize];
            std::byte* src = p + kPageHeader;
            std::memcpy(all, src, pos * is);
            std::memcpy(all + pos * is, item, is);
            std::memcpy(all + (pos + 1) * is, src + pos * is, (count - pos) * is);
            const std::uint32_t total = count + 1;
            std::uint32_t m = total / 2;
            if (pos == count && rightEdge[e])
                m = count;
            else if (pos == 0 && leftEdge[e])
                m = 1;
            const std::uint32_t right = allocPage();
            std::byte* rp = wpage(right);
            p = wpage(path.level[e].page);
            std::memcpy(p + kPageHeader, all, m * is);
            std::memset(p + kPageHeader + m * is, 0, kPageSize - kPageHeader - m * is);
            putLE16(p + 2, static_cast<std::uint16_t>(m));
            rp[0] = std::byte{level == 0 ? kLeaf : kInternal};
            rp[1] = std::byte(level);
            putLE16(rp + 2, static_cast<std::uint16_t>(total - m));
            std::memcpy(rp + kPageHeader, all + m * is, (total - m) * is);
            // The separator for the parent: the right page's first entry (or separator).
            std::memcpy(item, all + m * is, es);
            putLE32(item + es, right);
            itemSize = es + 4;
        }
        std::uint32_t root = t.root;
        int height = t.height;
        if (!placed) {
            const std::uint32_t nr = allocPage();
            std::byte* p = wpage(nr);
            p[0] = std::byte{kInternal};
            p[1] = std::byte(height);
            putLE16(p + 2, 2);
            putLE32(p + kPageHeader + es, root);  // separator 0 is not used
            std::memcpy(p + kPageHeader + es + 4, item, es + 4);
            root = nr;
            ++height;
        }
        writeTagTree(tag, root, height, t.pages + need, t.entries + 1);
        w.commit();
        return true;
    } catch (const Corrupt& c) {
        damaged(c);
    }
}

bool IndexFile::erase(int tag, std::span<const std::byte> key, std::uint32_t recno) {
    WriteScope w(*this);
    if (!hasTag(tag)) throwNoTag(tag);
    try {
        const std::uint32_t pc = pageCount();
        const TagView t = tagView(tag, pc);
        if (key.size() != t.keyLength)
            throw EDatabaseError("Zła długość klucza indeksu: " + std::to_string(key.size()) +
                                 " zamiast " + std::to_string(t.keyLength));
        if (t.height == 0) return false;
        const std::size_t es = t.entrySize;
        std::byte target[kMaxEntrySize];
        std::memcpy(target, key.data(), key.size());
        putBE32(target + t.keyLength, recno);
        Path path;
        descend(t, target, path, pc);
        const int d = path.depth - 1;
        {
            const Node leaf = node(t, path.level[d].page, 0, pc);
            const std::uint32_t j = path.level[d].index;
            if (j >= leaf.count || compareEntries(itemAt(leaf.p, es, j), target, es) != 0)
                return false;
        }
        w.begin();
        std::uint32_t freed = 0;
        int e = d;
        for (; e >= 0; --e) {
            const int level = d - e;
            const std::size_t is = t.itemSize(level);
            std::byte* p = wpage(path.level[e].page);
            const std::uint32_t count = getLE16(p + 2);
            const std::uint32_t pos = path.level[e].index;
            if (count > 1) {
                std::byte* at = p + kPageHeader + pos * is;
                std::memmove(at, at + is, (count - pos - 1) * is);
                std::memset(p + kPageHeader + (count - 1) * is, 0, is);
                putLE16(p + 2, static_cast<std::uint16_t>(count - 1));
                break;
            }
            freePage(path.level[e].page);  // its last item goes: remove it from the parent
            ++freed;
        }
        std::uint32_t root = t.root;
        int height = t.height;
        if (e < 0) {
            root = 0;
            height = 0;
        }
        // An internal root with one child gives way to the child.
        while (height > 1) {
            const std::byte* p = wpage(root);
            if (getLE16(p + 2) != 1) break;
            const std::uint32_t child = getLE32(p + kPageHeader + es);
            if (child < kHeaderPages || child >= pc) break;
            const std::byte* c = wpage(child);
            if (byteAt(c) != (height == 2 ? kLeaf : kInternal) || byteAt(c + 1) != height - 2)
                break;
            freePage(root);
            ++freed;
            root = child;
            --height;
        }
        writeTagTree(tag, root, height, t.pages - freed, t.entries - 1);
        w.commit();
        return true;
    } catch (const Corrupt& c) {
        damaged(c);
    }
}

void IndexFile::build(
    int tag, const std::vector<std::pair<std::vector<std::byte>, std::uint32_t>>& entries) {
    IndexEntries flat(keyLengthOf(tag));
    flat.reserve(entries.size());
    for (const auto& [key, recno] : entries)
        flat.add(key, recno);
    build(tag, std::move(flat));
}

void IndexFile::build(int tag, IndexEntries entries) {
    fileForWrite();
    const std::size_t es = entries.recordSize();
    sortUnique(entries.data_, es);
    const std::byte* rec = entries.data_.data();
    const std::uint64_t n = entries.size();

    WriteScope w(*this);
    if (!hasTag(tag)) throwNoTag(tag);
    try {
        const TagView t = tagView(tag, pageCount());
        if (entries.keyLength() != t.keyLength)
            throw EDatabaseError(
                "Zła długość klucza indeksu: " + std::to_string(entries.keyLength()) + " zamiast " +
                std::to_string(t.keyLength));
        std::vector<std::uint32_t> old;
        collectPages(t, old);

        // Shape: pages filled to 7/8, entries spread evenly over each level.
        const std::uint64_t leafFill = t.leafCap - t.leafCap / 8;
        const std::uint64_t nodeFill = t.nodeCap - t.nodeCap / 8;
        std::uint64_t total = 0;
        std::uint64_t leaves = (n + leafFill - 1) / leafFill;
        for (std::uint64_t m = leaves; m > 0;) {
            total += m;
            if (m == 1) break;
            m = (m + nodeFill - 1) / nodeFill;
        }
        reservePages(total > old.size() ? total - old.size() : 0);
        struct Built {
            std::uint32_t page;
            std::uint64_t first;  // index of the subtree's first entry
        };
        std::vector<Built> level, upper;
        level.reserve(leaves);
        upper.reserve((leaves + nodeFill - 1) / nodeFill);

        w.begin();
        for (std::uint32_t no : old)
            freePage(no);
        std::uint64_t pos = 0;
        for (std::uint64_t i = 0; i < leaves; ++i) {
            const std::uint64_t cnt = n / leaves + (i < n % leaves ? 1 : 0);
            const std::uint32_t no = allocPage();
            std::byte* p = wpage(no);
            p[0] = std::byte{kLeaf};
            putLE16(p + 2, static_cast<std::uint16_t>(cnt));
            std::memcpy(p + kPageHeader, rec + pos * es, cnt * es);
            level.push_back({no, pos});
            pos += cnt;
        }
        int height = leaves > 0 ? 1 : 0;
        while (level.size() > 1) {
            const std::uint64_t m = level.size();
            const std::uint64_t nodes = (m + nodeFill - 1) / nodeFill;
            upper.clear();
            pos = 0;
            for (std::uint64_t i = 0; i < nodes; ++i) {
                const std::uint64_t cnt = m / nodes + (i < m % nodes ? 1 : 0);
                const std::uint32_t no = allocPage();
                std::byte* p = wpage(no);
                p[0] = std::byte{kInternal};
                p[1] = std::byte(height);
                putLE16(p + 2, static_cast<std::uint16_t>(cnt));
                for (std::uint64_t k = 0; k < cnt; ++k) {
                    std::byte* it = p + kPageHeader + k * (es + 4);
                    std::memcpy(it, rec + level[pos + k].first * es, es);
                    putLE32(it + es, level[pos + k].page);
                }
                upper.push_back({no, level[pos].first});
                pos += cnt;
            }
            level.swap(upper);
            ++height;
        }
        writeTagTree(tag, level.empty() ? 0 : level[0].page, height,
                     static_cast<std::uint32_t>(total), n);
        w.commit();
    } catch (const Corrupt& c) {
        damaged(c);
    }
}

void IndexFile::sync() {
    if (file_.writable() && map_.length() > 0 && ::msync(map_.data(), map_.length(), MS_SYNC) != 0)
        throwSystemError("Błąd zapisu pliku na dysk", file_.path(), errno);
    if (file_.writable()) file_.sync();
}

// ---------------------------------------------------------------------------------------------
// Verification (under a shared lock: nothing changes meanwhile)

void IndexFile::checkTree(int tag, std::vector<std::uint8_t>& seen) {
    const std::uint32_t pc = pageCount();
    const TagView t = tagView(tag, pc);
    const std::uint64_t tagNo = std::uint64_t(tag);
    if (t.height == 0) {
        if (t.entries != 0 || t.pages != 0)
            throwCorrupt("niezgodna liczba wpisów pustego znacznika", tagNo);
        return;
    }
    const std::size_t es = t.entrySize;
    struct Frame {
        std::uint32_t page;
        int level;
        std::uint32_t next;   // next child to visit
        const std::byte* lo;  // entries of the subtree are >= lo (when set) and < hi (when set)
        const std::byte* hi;
    };
    Frame stack[kMaxIndexHeight];
    int depth = 0;
    std::uint64_t entries = 0, pages = 1;
    if (seen[t.root]) throwCorrupt("strona w kilku miejscach:", t.root);
    seen[t.root] = 1;
    stack[depth++] = {t.root, t.height - 1, 0, nullptr, nullptr};
    while (depth > 0) {
        Frame& f = stack[depth - 1];
        const Node n = node(t, f.page, f.level, pc);
        if (f.level == 0) {
            for (std::uint32_t i = 0; i < n.count; ++i) {
                const std::byte* e = itemAt(n.p, es, i);
                if (i > 0 && compareEntries(itemAt(n.p, es, i - 1), e, es) >= 0)
                    throwCorrupt("zła kolejność wpisów na stronie", f.page);
                if ((f.lo && compareEntries(e, f.lo, es) < 0) ||
                    (f.hi && compareEntries(e, f.hi, es) >= 0))
                    throwCorrupt("wpis poza zakresem strony nadrzędnej na stronie", f.page);
            }
            entries += n.count;
            --depth;
            continue;
        }
        const std::size_t is = es + 4;
        if (f.next == 0) {
            for (std::uint32_t i = 1; i < n.count; ++i) {
                const std::byte* s = itemAt(n.p, is, i);
                if (i > 1 && compareEntries(itemAt(n.p, is, i - 1), s, es) >= 0)
                    throwCorrupt("zła kolejność separatorów na stronie", f.page);
                if ((f.lo && compareEntries(s, f.lo, es) <= 0) ||
                    (f.hi && compareEntries(s, f.hi, es) >= 0))
                    throwCorrupt("separator poza zakresem strony nadrzędnej na stronie", f.page);
            }
        }
        if (f.next >= n.count) {
            --depth;
            continue;
        }
        const std::uint32_t i = f.next++;
        const std::uint32_t c = childOf(t, n, i);
        if (c < kHeaderPages || c >= pc) throwCorrupt("numer strony poza plikiem:", c);
        if (seen[c]) throwCorrupt("strona w kilku miejscach:", c);
        seen[c] = 1;
        ++pages;
        const std::byte* lo = i == 0 ? f.lo : itemAt(n.p, is, i);
        const std::byte* hi = i + 1 < n.count ? itemAt(n.p, is, i + 1) : f.hi;
        stack[depth++] = {c, f.level - 1, 0, lo, hi};
    }
    if (entries != t.entries) throwCorrupt("niezgodna liczba wpisów znacznika", tagNo);
    if (pages != t.pages) throwCorrupt("niezgodna liczba stron znacznika", tagNo);
}

void IndexFile::checkFreeList(std::vector<std::uint8_t>& seen) {
    const std::uint32_t pc = pageCount();
    const std::uint32_t freeCount = getLE32(map_.data() + kOffFreeCount);
    std::uint32_t no = getLE32(map_.data() + kOffFreeHead);
    for (std::uint32_t i = 0; i < freeCount; ++i) {
        if (no < kHeaderPages || no >= pc) throwCorrupt("zła lista wolnych stron, strona", no);
        if (seen[no]) throwCorrupt("wolna strona w użyciu lub cykl listy wolnych stron:", no);
        seen[no] = 1;
        const std::byte* p = page(no, pc);
        if (byteAt(p) != kFree) throwCorrupt("zła strona na liście wolnych stron:", no);
        no = getLE32(p + 4);
    }
    if (no != 0) throwCorrupt("lista wolnych stron dłuższa niż w nagłówku, strona", no);
}

template <class Check>
void IndexFile::verifyLocked(Check&& check) {
    LockGuard lock(file_, kLockBase, File::LockKind::Shared);
    if (loadCounter() & 1) damaged(kInterrupted);
    syncMapping();
    try {
        checkHeader();
        checkDirectory();
        std::vector<std::uint8_t> seen(pageCount(), 0);
        check(seen);
    } catch (const Corrupt& c) {
        damaged(c);
    }
}

void IndexFile::verify(int tag) {
    verifyLocked([&](std::vector<std::uint8_t>& seen) {
        if (!hasTag(tag)) throwNoTag(tag);
        checkTree(tag, seen);
        checkFreeList(seen);
    });
}

void IndexFile::verify() {
    verifyLocked([&](std::vector<std::uint8_t>& seen) {
        const int n = tagCount();
        for (int i = 0; i < n; ++i)
            checkTree(i, seen);
        checkFreeList(seen);
        for (std::uint32_t no = kHeaderPages; no < seen.size(); ++no)
            if (!seen[no])
                throwCorrupt("strona nienależąca do żadnego drzewa ani listy wolnych:", no);
    });
}

// ---------------------------------------------------------------------------------------------
// Cursor

IndexFile::Cursor IndexFile::cursor(int tag) {
    return Cursor(this, tag, keyLengthOf(tag));
}

IndexFile::Cursor::Cursor(IndexFile* file, int tag, std::uint16_t keyLength)
    : file_(file),
      tag_(tag),
      keyLength_(keyLength),
      entry_(std::size_t{keyLength} + 4),
      scratch_(std::size_t{keyLength} + 4) {}

bool IndexFile::Cursor::seek(std::span<const std::byte> key, std::uint32_t recno) {
    if (key.size() > keyLength_)
        throw EDatabaseError("Za długi klucz szukania: " + std::to_string(key.size()) +
                             " zamiast " + std::to_string(keyLength_));
    valid_ = false;
    std::memcpy(entry_.data(), key.data(), key.size());
    std::memset(entry_.data() + key.size(), 0, keyLength_ - key.size());
    putBE32(entry_.data() + keyLength_, recno);
    return move(Move::Seek);
}

bool IndexFile::Cursor::seekFirst() {
    valid_ = false;
    return move(Move::First);
}

bool IndexFile::Cursor::seekLast() {
    valid_ = false;
    return move(Move::Last);
}

bool IndexFile::Cursor::next() {
    return valid_ && move(Move::Next);
}

bool IndexFile::Cursor::prev() {
    return valid_ && move(Move::Prev);
}

// One positioning, run as an optimistic read. entry_ holds the seek target or the current entry;
// the new entry goes to scratch_ and the new path to a local, committed only once the read is
// known to be consistent.
bool IndexFile::Cursor::move(Move how) {
    IndexFile& f = *file_;
    const std::size_t es = std::size_t{keyLength_} + 4;
    enum Result { kInvalid, kValid, kNoTag };
    Path path;
    std::uint64_t at = 0;
    const Result r = f.readOp([&](std::uint64_t counter) -> Result {
        at = counter;
        const std::uint32_t pc = f.pageCount();
        if (!f.hasTag(tag_)) return kNoTag;
        const TagView t = f.tagView(tag_, pc);
        if (t.keyLength != keyLength_) return kNoTag;
        if (t.height == 0) return kInvalid;
        bool ok = false;
        switch (how) {
            case Move::Seek:
                f.descend(t, entry_.data(), path, pc);
                ok = f.forward(t, path, false, pc);
                break;
            case Move::First:
            case Move::Last:
                f.descendEdge(t, how == Move::Last, path, pc);
                ok = true;
                break;
            case Move::Next:
            case Move::Prev: {
                bool found, exact;
                if (counter == counter_) {
                    // Nothing changed since the last step: continue from the remembered path.
                    path.assign(path_);
                    found = exact = true;
                } else {
                    // Find the remembered entry again, or the first entry after it.
                    f.descend(t, entry_.data(), path, pc);
                    found = f.forward(t, path, false, pc);
                    exact =
                        found && compareEntries(f.leafEntry(t, path, pc), entry_.data(), es) == 0;
                }
                if (how == Move::Next) {
                    ok = found && (exact ? f.forward(t, path, true, pc) : true);
                } else if (found) {
                    ok = f.backward(t, path, pc);
                } else {
                    f.descendEdge(t, true, path, pc);
                    ok = true;
                }
                break;
            }
        }
        if (!ok) return kInvalid;
        const std::byte* e = f.leafEntry(t, path, pc);
        // Steps must move strictly forward or backward: on a damaged tree this is what keeps an
        // iteration from running forever.
        if ((how == Move::Next && compareEntries(e, entry_.data(), es) <= 0) ||
            (how == Move::Prev && compareEntries(e, entry_.data(), es) >= 0))
            throwCorrupt("zła kolejność wpisów na stronie", path.level[path.depth - 1].page);
        std::memcpy(scratch_.data(), e, es);
        return kValid;
    });
    if (r == kNoTag) {
        valid_ = false;
        f.throwNoTag(tag_);
    }
    if (r == kInvalid) {
        valid_ = false;
        return false;
    }
    entry_.swap(scratch_);
    path_.assign(path);
    counter_ = at;
    valid_ = true;
    return true;
}

}  // namespace pulpex::engine
