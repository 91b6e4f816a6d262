#include "memo.h"

#include <algorithm>
#include <cstring>

#include "error.h"

namespace pulpex::engine {

namespace {
constexpr std::uint64_t kMaxMemo = std::uint64_t{1} << 31;  // one memo at most 2 GB
constexpr std::uint64_t kMaxHeaderlessMemo = 64 * 1024;

[[noreturn]] void damaged(const std::string& path, const std::string& what) {
    throw EDatabaseError(EDatabaseError::Reason::Damaged,
                         "Uszkodzony plik memo: " + what + " (" + path + ")");
}
}  // namespace

void MemoFile::create(const std::string& path, Layout layout, std::uint32_t blockSize) {
    if (layout == Layout::DBase3) blockSize = 512;
    if (blockSize < 64 || blockSize % 64 != 0 || blockSize > 32768)
        throw EDatabaseError("Niepoprawny rozmiar bloku pliku memo");
    File f = File::open(path, File::Mode::Create);
    std::vector<std::byte> header(blockSize, std::byte{0});
    putLE32(header.data(), 1);
    if (layout == Layout::DBase4) {
        // The table's name without extension, as dBase IV writes it.
        std::string base = path.substr(path.find_last_of('/') + 1);
        base = base.substr(0, base.find('.'));
        std::memcpy(header.data() + 8, base.data(), std::min<std::size_t>(base.size(), 8));
        putLE16(header.data() + 20, static_cast<std::uint16_t>(blockSize));
    } else {
        header[16] = std::byte{0x03};
    }
    f.writeAt(0, header);
}

std::unique_ptr<MemoFile> MemoFile::open(const std::string& path, Layout layout, bool writable) {
    std::unique_ptr<MemoFile> m(new MemoFile());
    m->file_ = File::open(path, writable ? File::Mode::ReadWrite : File::Mode::ReadOnly);
    m->layout_ = layout;
    std::byte header[512];
    std::size_t n = m->file_.readAt(0, header);
    if (n < 24) damaged(path, "za krótki nagłówek");
    if (layout == Layout::DBase4) {
        std::uint32_t bs = getLE16(header + 20);
        // Some writers leave the size at 0; dBase IV then means 512.
        if (bs == 0) bs = 512;
        if (bs < 32 || bs > 65535) damaged(path, "niepoprawny rozmiar bloku");
        m->blockSize_ = bs;
    } else {
        m->blockSize_ = 512;
    }
    return m;
}

std::vector<std::byte> MemoFile::read(std::uint64_t block) {
    if (block == 0) return {};
    const std::uint64_t size = file_.size();
    const std::uint64_t offset = block * blockSize_;
    if (offset >= size)
        damaged(file_.path(), "wskaźnik bloku " + std::to_string(block) + " poza plikiem");
    if (layout_ == Layout::DBase4) {
        std::byte head[8];
        if (file_.readAt(offset, head) == 8 && head[0] == std::byte{0xFF} &&
            head[1] == std::byte{0xFF} && head[2] == std::byte{0x08} &&
            head[3] == std::byte{0x00}) {
            std::uint64_t len = getLE32(head + 4);
            if (len < 8 || offset + len > size || len - 8 > kMaxMemo)
                damaged(file_.path(), "niepoprawna długość bloku " + std::to_string(block));
            std::vector<std::byte> out(len - 8);
            file_.readExact(offset + 8, out);
            return out;
        }
        // Not a dBase IV block header: fall through to the terminator form some writers use.
    }
    // dBase III content, or a dBase IV block without its header, ends with 0x1A. A dBase IV
    // pointer that lands on such text is almost always damage, so it is read only a short way.
    const std::uint64_t limit = layout_ == Layout::DBase4 ? kMaxHeaderlessMemo : kMaxMemo;
    std::vector<std::byte> out;
    std::byte buf[4096];
    std::uint64_t pos = offset;
    while (pos < size) {
        std::size_t n = file_.readAt(pos, buf);
        if (n == 0) break;
        const void* end = std::memchr(buf, 0x1A, n);
        std::size_t take =
            end ? static_cast<std::size_t>(static_cast<const std::byte*>(end) - buf) : n;
        out.insert(out.end(), buf, buf + take);
        if (end) return out;
        pos += n;
        if (out.size() > limit) damaged(file_.path(), "brak znacznika końca tekstu");
    }
    return out;
}

std::span<const std::byte> MemoFile::view(std::uint64_t block, std::vector<std::byte>& scratch) {
    scratch.clear();
    if (block == 0) return {};
    if (layout_ == Layout::DBase4) {
        const std::uint64_t offset = block * blockSize_;
        if (offset + 8 > map_.length()) {
            // Other workstations only ever append to a memo file while we have it open (an
            // exclusive open is needed to shrink it), so the mapped part stays valid.
            const std::uint64_t size = file_.size();
            if (offset + 8 <= size) {
                if (map_.length() == 0)
                    map_.map(file_, size, false);
                else
                    map_.remap(file_, size);
            }
        }
        if (offset + 8 <= map_.length()) {
            const std::byte* head = map_.data() + offset;
            if (head[0] == std::byte{0xFF} && head[1] == std::byte{0xFF} &&
                head[2] == std::byte{0x08} && head[3] == std::byte{0x00}) {
                const std::uint64_t len = getLE32(head + 4);
                if (len >= 8 && offset + len <= map_.length())
                    return {head + 8, static_cast<std::size_t>(len - 8)};
            }
        }
    }
    // Everything else (other forms, damage, a block written after the mapping grew) takes the
    // checked path.
    scratch = read(block);
    return scratch;
}

std::uint64_t MemoFile::write(std::span<const std::byte> data) {
    if (data.empty()) return 0;
    if (data.size() > kMaxMemo) throw EDatabaseError("Zawartość pola memo jest za duża");
    std::vector<std::byte> run;
    if (layout_ == Layout::DBase4) {
        run.resize(8 + data.size());
        run[0] = run[1] = std::byte{0xFF};
        run[2] = std::byte{0x08};
        run[3] = std::byte{0x00};
        putLE32(run.data() + 4, static_cast<std::uint32_t>(data.size() + 8));
        std::memcpy(run.data() + 8, data.data(), data.size());
    } else {
        if (std::find(data.begin(), data.end(), std::byte{0x1A}) != data.end())
            throw EDatabaseError("Plik memo w formacie dBase III nie może przechować tych danych");
        run.assign(data.begin(), data.end());
        run.push_back(std::byte{0x1A});
        run.push_back(std::byte{0x1A});
    }
    const std::uint64_t blocks = (run.size() + blockSize_ - 1) / blockSize_;
    run.resize(blocks * blockSize_, std::byte{0});

    LockGuard lock(file_, kLockBase);
    std::byte head[4];
    // Blocks are never reused, so the next free block is the end of the file; the header's
    // number may lag behind after a crash or be garbage in a damaged file.
    const std::uint64_t fileBlocks = (file_.size() + blockSize_ - 1) / blockSize_;
    const std::uint64_t next = std::max<std::uint64_t>(fileBlocks, 1);
    if (next + blocks > 0xFFFFFFFFull)
        throw EDatabaseError("Plik memo osiągnął największy rozmiar");
    file_.writeAt(next * blockSize_, run);
    putLE32(head, static_cast<std::uint32_t>(next + blocks));
    file_.writeAt(0, head);
    return next;
}

void MemoFile::empty() {
    LockGuard lock(file_, kLockBase);
    file_.truncate(blockSize_);
    std::byte head[4];
    putLE32(head, 1);
    file_.writeAt(0, head);
}

}  // namespace pulpex::engine
