// Thin RAII wrappers over POSIX files: positional I/O, a shared read-only or read-write mapping
// that follows the file's growth, and open-file-description (OFD) byte-range locks.
//
// OFD locks belong to one open() of the file, so two File objects of the same process exclude
// each other, and closing one never releases the locks of another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pulpex::engine {

// A Polish description of an errno value ("brak uprawnień"), for messages shown to users.
std::string systemErrorText(int errnum);

// Lock offsets shared with dBase and its Windows database engine: record n (1-based) is locked at
// kLockBase - n, the header/append lock sits at kLockBase itself. Memo and index files use
// kLockBase on their own file. kOpenLockOffset is ours: every open holds a shared lock there and
// an exclusive open holds it exclusively, which is how an exclusive open denies every other open.
inline constexpr std::uint64_t kLockBase = 0xEFFFFFFEull;
inline constexpr std::uint64_t kOpenLockOffset = 0xEFFFFFFFull;

class File {
  public:
    enum class Mode { ReadOnly, ReadWrite, Create /* read-write, must not exist */ };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Throws EDatabaseError with a Polish message when the file cannot be opened.
    static File open(const std::string& path, Mode mode);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }
    void close();

    std::uint64_t size() const;
    // Reads up to buf.size() bytes at offset; returns the count read (short at end of file).
    std::size_t readAt(std::uint64_t offset, std::span<std::byte> buf) const;
    // Reads exactly buf.size() bytes or throws.
    void readExact(std::uint64_t offset, std::span<std::byte> buf) const;
    void writeAt(std::uint64_t offset, std::span<const std::byte> buf);
    void truncate(std::uint64_t size);
    void sync();

    // Byte-range locks of length 1 at `offset`. tryLock returns false on a conflict; lockWait
    // blocks until granted. Both throw on other failures.
    enum class LockKind { Shared, Exclusive };
    bool tryLock(std::uint64_t offset, LockKind kind);
    void lockWait(std::uint64_t offset, LockKind kind);
    void unlock(std::uint64_t offset);

  private:
    int fd_ = -1;
    bool writable_ = false;
    std::string path_;
};

// A MAP_SHARED mapping of a file's first `length` bytes. Because Linux keeps one page cache, the
// mapping sees every write made by any process through write() or through its own mapping.
//
// Mappings of one file (same device and inode, same access) made by one thread share one region
// of address space, and a region outlives its last user for a while: opening a table again then
// finds its pages mapped already instead of faulting them in anew. A region is reserved with
// head-room, so growing it rarely moves it; when it does move, data() of every sharer follows,
// so callers must not keep addresses across calls that may grow the file.
class Mapping {
  public:
    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    Mapping(Mapping&& other) noexcept;
    Mapping& operator=(Mapping&& other) noexcept;
    ~Mapping();

    // Maps [0, length) of file; writable requires a writable file. length 0 gives an empty map.
    void map(const File& file, std::uint64_t length, bool writable);
    // Changes the length of the view; the file must be at least that long.
    void remap(const File& file, std::uint64_t length);
    void unmap();

    std::byte* data() const;
    std::uint64_t length() const { return length_; }

    struct Region;

  private:
    std::shared_ptr<Region> region_;
    std::uint64_t length_ = 0;
    bool writable_ = false;
};

// Holds an exclusive or shared lock for a scope.
class LockGuard {
  public:
    LockGuard(File& file, std::uint64_t offset, File::LockKind kind = File::LockKind::Exclusive)
        : file_(&file), offset_(offset) {
        file.lockWait(offset, kind);
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    ~LockGuard() { file_->unlock(offset_); }

  private:
    File* file_;
    std::uint64_t offset_;
};

// Little-endian and big-endian helpers for on-disk integers.
inline std::uint16_t getLE16(const std::byte* p) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                      (std::to_integer<unsigned>(p[1]) << 8));
}
inline std::uint32_t getLE32(const std::byte* p) {
    return std::to_integer<std::uint32_t>(p[0]) | (std::to_integer<std::uint32_t>(p[1]) << 8) |
           (std::to_integer<std::uint32_t>(p[2]) << 16) |
           (std::to_integer<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t getLE64(const std::byte* p) {
    return static_cast<std::uint64_t>(getLE32(p)) |
           (static_cast<std::uint64_t>(getLE32(p + 4)) << 32);
}
inline void putLE16(std::byte* p, std::uint16_t v) {
    p[0] = std::byte(v & 0xFF);
    p[1] = std::byte(v >> 8);
}
inline void putLE32(std::byte* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::byte((v >> (8 * i)) & 0xFF);
}
inline void putLE64(std::byte* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = std::byte((v >> (8 * i)) & 0xFF);
}
inline std::uint32_t getBE32(const std::byte* p) {
    return (std::to_integer<std::uint32_t>(p[0]) << 24) |
           (std::to_integer<std::uint32_t>(p[1]) << 16) |
           (std::to_integer<std::uint32_t>(p[2]) << 8) | std::to_integer<std::uint32_t>(p[3]);
}
inline std::uint64_t getBE64(const std::byte* p) {
    return (static_cast<std::uint64_t>(getBE32(p)) << 32) | getBE32(p + 4);
}
inline void putBE32(std::byte* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::byte((v >> (8 * (3 - i))) & 0xFF);
}
inline void putBE64(std::byte* p, std::uint64_t v) {
    putBE32(p, static_cast<std::uint32_t>(v >> 32));
    putBE32(p + 4, static_cast<std::uint32_t>(v));
}

}  // namespace pulpex::engine
