#include "register/search.h"

#include <QFile>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "documents/ocr/textsearch.h"
#include "tables/engine/codepage.h"
#include "tables/engine/table.h"

namespace pulpex {

namespace {

// The text search of the recognition interface, done on the stored bytes of a single-byte code
// page without decoding them: every byte is mapped to a class, two bytes sharing a class exactly
// when the search compares their characters as equal, and the search text is looked for among
// the classes. The answer is the one OT_FindTextInString gives on the decoded text.
class ByteSearch {
  public:
    // Text: the stored text ends at its first zero byte, as the records' buffers do.
    // Ole: the byte rule of OLE documents: bytes 0 to 13 are dropped, the rest read as CP1250.
    enum class Kind { Text, Ole };

    ByteSearch(const engine::CodePage& cp, const std::u32string& needle, bool ignoreDiacritics,
               Kind kind)
        : kind_(kind) {
        std::unordered_map<char32_t, std::uint8_t> classes;
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            const bool dropped = kind == Kind::Ole ? byte <= 13 : byte == 0;
            const char32_t folded =
                dropped ? ocr::kSkipped : ocr::FoldForSearch(cp.toUnicode(byte), ignoreDiacritics);
            if (folded == ocr::kSkipped) {
                class_[b] = kDropped;
                if (!(kind == Kind::Text && byte == 0)) hasDropped_ = true;
                continue;
            }
            auto [it, added] =
                classes.try_emplace(folded, static_cast<std::uint8_t>(classes.size() + 1));
            class_[b] = it->second;
        }
        for (char32_t c : needle) {
            auto it = classes.find(c);
            if (it == classes.end()) {
                never_ = true;  // no byte of this page reads as that character
                return;
            }
            needle_.push_back(static_cast<char>(it->second));
        }
    }

    bool find(std::span<const std::byte> bytes) {
        if (needle_.empty()) return !never_;
        if (never_) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t n = bytes.size();
        if (n < needle_.size()) return false;
        if (kind_ == Kind::Text) {
            if (const void* zero = std::memchr(p, 0, n))
                n = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - p);
        }
        if (n < needle_.size()) return false;
        if (buf_.size() < n) buf_.resize(n);
        char* out = buf_.data();
        std::size_t len = 0;
        if (hasDropped_) {
            for (std::size_t i = 0; i < n; ++i) {
                const char c = static_cast<char>(class_[p[i]]);
                out[len] = c;
                len += c != kDropped;
            }
        } else {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = static_cast<char>(class_[p[i]]);
            len = n;
        }
        return ::memmem(out, len, needle_.data(), needle_.size()) != nullptr;
    }

  private:
    static constexpr std::uint8_t kDropped = 0;
    Kind kind_;
    std::array<std::uint8_t, 256> class_{};
    bool hasDropped_ = false;
    bool never_ = false;
    std::string needle_;
    std::string buf_;
};

std::unique_ptr<engine::Table> openTable(const std::string& dir, const char* name) {
    engine::Table::OpenOptions o;
    o.readOnly = true;
    return engine::Table::open(engine::Table::resolve(dir, name), o);
}

// A character field as its text is searched: without the trailing blanks the engine drops.
std::span<const std::byte> trimmed(std::span<const std::byte> raw) {
    std::size_t n = raw.size();
    while (n > 0 && (raw[n - 1] == std::byte{' '} || raw[n - 1] == std::byte{0}))
        --n;
    return raw.first(n);
}

// Calls the progress callback every so many rows, so that it costs nothing on a big table.
class Progress {
  public:
    Progress(const std::function<bool(qint64, qint64)>& f, qint64 total) : f_(f), total_(total) {}
    bool step() {
        ++done_;
        if (!f_ || (done_ & 1023) != 0) return true;
        return f_(done_, total_);
    }
    bool report() { return !f_ || f_(done_, total_); }

  private:
    const std::function<bool(qint64, qint64)>& f_;
    qint64 total_;
    qint64 done_ = 0;
};

}  // namespace

std::optional<QSet<int>> SzukajZdarzen(const QString& dataDir, const QString& text,
                                       const std::function<bool(qint64, qint64)>& progress) {
    const std::string dir = QFile::encodeName(dataDir).toStdString();
    std::unique_ptr<engine::Table> events = openTable(dir, "ZDARZ.DBF");
    std::unique_ptr<engine::Table> documents = openTable(dir, "PISMA.DBF");

    const std::u32string plain = ocr::FoldedSearchText(ocr::TSearchBlock::make(text, false));
    const std::u32string recognised = ocr::FoldedSearchText(ocr::TSearchBlock::make(text, true));
    const engine::CodePage& cp1250 = engine::CodePage::forNumber(1250);
    ByteSearch own(events->codePage(), plain, false, ByteSearch::Kind::Text);
    ByteSearch pageText(documents->codePage(), recognised, true, ByteSearch::Kind::Text);
    ByteSearch oleText(cp1250, plain, false, ByteSearch::Kind::Ole);

    Progress prog(progress, static_cast<qint64>(events->recordCount() + documents->recordCount()));
    if (!prog.report()) return std::nullopt;

    const int fId = events->fieldNo("ID");
    const int shortFields[] = {events->fieldNo("ZD_NMR"), events->fieldNo("ZD_SMB"),
                               events->fieldNo("ZD_ODB")};
    const int memoFields[] = {events->fieldNo("ZD_TRE"), events->fieldNo("ZD_OPIS")};
    QSet<int> all, result;
    for (events->first(); !events->eof(); events->next()) {
        const int id = static_cast<int>(events->asInteger(fId));
        all.insert(id);
        bool hit = false;
        for (int f : shortFields)
            if (!hit) hit = own.find(trimmed(events->rawField(f)));
        for (int f : memoFields)
            if (!hit) hit = own.find(events->readBlob(f));
        if (hit) result.insert(id);
        if (!prog.step()) return std::nullopt;
    }

    const int fEvent = documents->fieldNo("ZDARZ_ID");
    const int fText = documents->fieldNo("PIS_IDX");
    const int fOle = documents->fieldNo("PIS_OLE");
    for (documents->first(); !documents->eof(); documents->next()) {
        const int owner = static_cast<int>(documents->asInteger(fEvent));
        if (all.contains(owner) && !result.contains(owner)) {
            if (pageText.find(documents->readBlob(fText)) ||
                oleText.find(documents->readBlob(fOle)))
                result.insert(owner);
        }
        if (!prog.step()) return std::nullopt;
    }
    if (!prog.report()) return std::nullopt;
    return result;
}

}  // namespace pulpex
