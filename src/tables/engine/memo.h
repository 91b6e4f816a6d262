// Memo files (.DBT) holding the text of memo fields and the bytes of graphic fields.
//
// dBase IV layout (tables with version 0x8B and level 7): a header block with the next free
// block at byte 0 and the block size at byte 20; a used block run starts with FF FF 08 00 and a
// 4-byte length that counts those 8 bytes. dBase III layout (version 0x83): 512-byte blocks, the
// content ends with 1A 1A. Block numbers are 32-bit, offsets 64-bit, so files beyond 4 GB work.
//
// Writing never overwrites a block run in use: new content goes to fresh blocks at the end
// (under the memo file's lock) and the record's pointer is switched when the record is posted,
// so that a cancelled edit keeps the old content. pack() of the table reclaims the space.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fileio.h"

namespace pulpex::engine {

class MemoFile {
  public:
    enum class Layout { DBase3, DBase4 };

    static void create(const std::string& path, Layout layout, std::uint32_t blockSize = 512);
    static std::unique_ptr<MemoFile> open(const std::string& path, Layout layout, bool writable);

    Layout layout() const { return layout_; }
    std::uint32_t blockSize() const { return blockSize_; }
    const std::string& path() const { return file_.path(); }

    // The content starting at `block`. Throws EDatabaseError when the pointer or the block
    // header is damaged.
    std::vector<std::byte> read(std::uint64_t block);
    // The same content, seen in place through a read-only mapping of the file when it is stored
    // in the dBase IV form (no copy, no system call once mapped); otherwise read into `scratch`.
    // The view lasts until the next call on this object.
    std::span<const std::byte> view(std::uint64_t block, std::vector<std::byte>& scratch);
    // Stores `data` in fresh blocks and returns the first block number (0 for empty data).
    std::uint64_t write(std::span<const std::byte> data);
    // Back to a header only.
    void empty();

  private:
    MemoFile() = default;
    File file_;
    Mapping map_;  // for view(); grows when a block lies past it
    Layout layout_ = Layout::DBase4;
    std::uint32_t blockSize_ = 512;
};

}  // namespace pulpex::engine
