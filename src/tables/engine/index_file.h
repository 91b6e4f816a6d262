// The production index file NAME.MDX of a table: up to 47 named tags, each a B+tree of entries
// (key, recno). The inner layout is Pulpex's own, not dBase's; docs/index-format.md describes it.
//
// Keys are opaque byte strings of the tag's fixed length (1..240 bytes) compared with memcmp. The
// caller encodes descending order, case folding and value types into the bytes; the index knows
// nothing of them. Keys may repeat; an entry (key, recno) may not, and entries are ordered by
// (key, recno).
//
// Concurrency. Several processes, and several IndexFile objects of one process, may open the same
// file. Every modification holds the exclusive OFD lock at kLockBase of the index file and
// brackets its page changes with the change counter in the header: odd while pages change, the
// next even value afterwards (a seqlock). Reads take no lock: they read the counter, do their work
// on the shared mapping with every page access bounds-checked, and redo it when the counter moved.
// A reader that keeps seeing an odd counter waits on a shared lock at kLockBase instead.
// One IndexFile object and its cursors must be used by one thread at a time. An object must not
// be used in a child after fork() (it would share the parent's locks); open the file again there.
//
// Errors. Everything throws EDatabaseError with a Polish message. A file that is not ours gives
// "Plik indeksu ... nie jest plikiem indeksu programu"; inconsistent contents give "Plik indeksu
// ... jest uszkodzony (...)". The caller then rebuilds the index (a new file, or dropAllTags()
// and the tags built again). Damaged pages never crash or hang the reader. A writer that dies in
// the middle of a modification leaves the counter odd: the file then counts as damaged for every
// operation except dropAllTags().
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fileio.h"

namespace pulpex::engine {

inline constexpr int kMaxIndexTags = 47;
inline constexpr std::size_t kMaxTagNameLength = 10;     // printable ASCII, no blanks
inline constexpr std::size_t kMaxIndexKeyLength = 240;   // bytes
inline constexpr std::size_t kMaxIndexExpression = 224;  // bytes of the expression text
inline constexpr int kMaxIndexHeight = 32;               // levels of a tree, leaves included

// One tag of the directory. name, expression and flags are stored for the caller, who interprets
// them (key expression text, descending / case-insensitive / key type bits). entries is filled by
// tags() and ignored by addTag().
struct IndexTagInfo {
    std::string name;
    std::string expression;
    std::uint8_t flags = 0;
    std::uint16_t keyLength = 0;
    std::uint64_t entries = 0;
};

// A flat, compact list of entries of one key length for IndexFile::build(): one allocation for
// all entries instead of one per key. The order of add() calls does not matter.
class IndexEntries {
  public:
    explicit IndexEntries(std::uint16_t keyLength);

    // key.size() must equal keyLength(); throws EDatabaseError otherwise.
    void add(std::span<const std::byte> key, std::uint32_t recno);
    void reserve(std::size_t count) { data_.reserve(count * recordSize()); }
    std::size_t size() const { return data_.size() / recordSize(); }
    std::uint16_t keyLength() const { return keyLength_; }

  private:
    friend class IndexFile;
    std::size_t recordSize() const { return std::size_t{keyLength_} + 4; }

    std::uint16_t keyLength_;
    std::vector<std::byte> data_;  // records: key bytes, then recno big-endian
};

class IndexFile {
  private:
    struct PathLevel {  // no initializers: a step must not pay for zeroing 32 levels
        std::uint32_t page;
        std::uint32_t index;
    };
    struct Path {
        int depth = 0;  // levels in use; level[depth - 1] is the leaf
        std::array<PathLevel, kMaxIndexHeight> level;
        // Copies only the levels in use (a step must not pay for 32 levels).
        void assign(const Path& other) {
            depth = other.depth;
            for (int i = 0; i < depth; ++i)
                level[std::size_t(i)] = other.level[std::size_t(i)];
        }
    };

  public:
    // A position in one tag. It remembers its entry (key, recno), so it survives modifications
    // made between its steps by this or another process: when the change counter has moved since
    // its last step it finds its place again from the remembered entry (or, when that entry was
    // erased, from where it would be). next() from the last entry and prev() from the first leave
    // it invalid; an invalid cursor stays invalid until a seek. A cursor must not outlive its
    // IndexFile. Throws EDatabaseError when its tag no longer exists (dropAllTags) or when pages
    // are damaged.
    class Cursor {
      public:
        // Moves to the first entry >= (key, recno). A key shorter than the tag's key length is
        // padded with zero bytes, so it finds the first entry whose key is >= that prefix. A
        // longer key throws. Returns valid().
        bool seek(std::span<const std::byte> key, std::uint32_t recno = 0);
        bool seekFirst();
        bool seekLast();
        bool next();  // return valid() after moving
        bool prev();
        bool valid() const { return valid_; }
        // Only while valid(). key() stays usable until the cursor moves.
        std::span<const std::byte> key() const { return {entry_.data(), keyLength_}; }
        std::uint32_t recno() const { return getBE32(entry_.data() + keyLength_); }
        int tag() const { return tag_; }

      private:
        friend class IndexFile;
        enum class Move { Seek, First, Last, Next, Prev };
        Cursor(IndexFile* file, int tag, std::uint16_t keyLength);
        bool move(Move how);

        IndexFile* file_;
        int tag_;
        std::uint16_t keyLength_;
        bool valid_ = false;
        std::uint64_t counter_ = 1;  // counter value at which path_ was valid (odd: never)
        Path path_{};
        std::vector<std::byte> entry_;    // key, then recno big-endian
        std::vector<std::byte> scratch_;  // candidate entry while a step may be retried
    };

    // Creates a new empty index file; throws when the file exists.
    static std::unique_ptr<IndexFile> create(const std::string& path);
    // Opens an existing index file and checks its header and tag directory.
    static std::unique_ptr<IndexFile> open(const std::string& path, bool writable);
    // The tag definitions of a possibly damaged file, for rebuilding it: only the magic and the
    // tag directory must be readable; pages, totals and the change counter are not looked at
    // (entries is 0). Empty when the file is missing, not an index file, or its directory is
    // damaged. Never throws for the file's contents.
    static std::vector<IndexTagInfo> salvageTags(const std::string& path);

    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;
    ~IndexFile();

    const std::string& path() const { return file_.path(); }
    bool writable() const { return file_.writable(); }

    // The tag directory as it is now (changes made by other processes included). Tag numbers are
    // indexes into it: addTag appends, and numbers stay stable until dropAllTags().
    std::vector<IndexTagInfo> tags();
    // Tag number by name (case-insensitive), -1 when absent.
    int findTag(std::string_view name);

    // --- Modifications (file opened writable). Each is atomic for readers in every process.
    // Adds an empty tag and returns its number. Throws when the name or the sizes are invalid,
    // the name exists, or the directory is full (kMaxIndexTags).
    int addTag(const IndexTagInfo& info);
    // Removes every entry of a tag; the tag stays.
    void clearTag(int tag);
    // Removes every tag and frees every page, resetting a file damaged by a writer that died.
    void dropAllTags();
    // key.size() must equal the tag's key length. Returns false (and changes nothing) when the
    // entry (key, recno) is already present.
    bool insert(int tag, std::span<const std::byte> key, std::uint32_t recno);
    // Removes exactly the entry (key, recno). Returns false (and changes nothing) when absent.
    bool erase(int tag, std::span<const std::byte> key, std::uint32_t recno);
    // Replaces the contents of a tag with the given entries, built bottom-up (a reindex). The
    // entries need not be sorted; repeated (key, recno) pairs are stored once. Their key length
    // must be the tag's.
    void build(int tag, IndexEntries entries);
    void build(int tag,
               const std::vector<std::pair<std::vector<std::byte>, std::uint32_t>>& entries);

    // Grows by 2 with every modification by any process; odd while one is in progress. Cheap (a
    // load from the shared mapping).
    std::uint64_t changeCounter();

    // Full structural check of one tag (page types and levels, counts, order of entries and
    // separators, page numbers, cycles and shared pages, entry and page totals) and of the free
    // list. Throws EDatabaseError describing the first damage found. Holds a shared lock.
    void verify(int tag);
    // Checks every tag and the free list, and that each page belongs to exactly one of them.
    void verify();

    // Writes the file's changed pages to disk.
    void sync();

    // Holds the writer lock across several modifications, so that updating every tag of a row
    // costs one lock and unlock instead of one per tag. Nests; modifications inside still bump
    // the change counter each.
    class WriteLock {
      public:
        explicit WriteLock(IndexFile& f);
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;
        ~WriteLock();

      private:
        IndexFile& f_;
    };

    Cursor cursor(int tag);

  private:
    struct TagView;
    struct Corrupt;
    struct Node;
    class WriteScope;

    explicit IndexFile(File file);

    // Optimistic reads: every page access is checked and throws Corrupt, which readOp turns into
    // a retry (the counter moved) or EDatabaseError (it did not).
    template <class Op>
    auto readOp(Op&& op);
    std::atomic_ref<std::uint64_t> counterRef() const;
    std::uint64_t loadCounter() const;
    void syncMapping();
    void growMapping(std::uint64_t need, std::uint64_t pageNo);
    std::uint32_t pageCount() const;
    int tagCount() const;
    bool hasTag(int tag) const;
    const std::byte* dirEntry(int tag) const;
    TagView tagView(int tag, std::uint32_t pageCount) const;
    void checkHeader();
    void checkDirectory();
    const std::byte* page(std::uint32_t no, std::uint32_t pageCount);
    Node node(const TagView& t, std::uint32_t no, int level, std::uint32_t pageCount);
    static std::uint32_t childOf(const TagView& t, const Node& n, std::uint32_t i);
    void descend(const TagView& t, const std::byte* target, Path& path, std::uint32_t pageCount);
    void descendEdge(const TagView& t, bool last, Path& path, std::uint32_t pageCount);
    void descendEdge(const TagView& t, int from, bool last, Path& path, std::uint32_t pageCount);
    bool forward(const TagView& t, Path& path, bool step, std::uint32_t pageCount);
    bool backward(const TagView& t, Path& path, std::uint32_t pageCount);
    const std::byte* leafEntry(const TagView& t, const Path& path, std::uint32_t pageCount);
    std::uint16_t keyLengthOf(int tag);

    // Verification
    template <class Check>
    void verifyLocked(Check&& check);
    void checkTree(int tag, std::vector<std::uint8_t>& seen);
    void checkFreeList(std::vector<std::uint8_t>& seen);

    // Writing (the caller holds the writer lock)
    File& fileForWrite();
    std::byte* wpage(std::uint32_t no);
    std::byte* wdirEntry(int tag);
    void reservePages(std::uint64_t count);
    std::uint32_t allocPage();
    void freePage(std::uint32_t no);
    void collectPages(const TagView& t, std::vector<std::uint32_t>& out);
    void writeTagTree(int tag, std::uint32_t root, int height, std::uint32_t pages,
                      std::uint64_t entries);

    [[noreturn]] void damaged(const std::string& detail) const;
    [[noreturn]] void damaged(const Corrupt& c) const;
    [[noreturn]] void throwNoTag(int tag) const;
    [[noreturn]] static void throwCorrupt(const char* what, std::uint64_t value);

    File file_;
    Mapping map_;
    int writeLockDepth_ = 0;
};

}  // namespace pulpex::engine
