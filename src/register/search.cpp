#include "register/search.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
        if (!hasDropped_ && !needle_.empty()) {
            // The bytes of the first and last character of the search text, for the quick scan.
            for (int b = 0; b < 256; ++b) {
                const auto c = static_cast<char>(class_[b]);
                if (c == needle_.front()) firstBytes_.push_back(static_cast<char>(b));
                if (c == needle_.back()) lastBytes_.push_back(static_cast<char>(b));
            }
            quick_ = firstBytes_.size() <= kMaxVariants && lastBytes_.size() <= kMaxVariants;
        }
    }

    bool find(std::span<const std::byte> bytes) {
        if (needle_.empty()) return !never_;
        if (never_) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t n = bytes.size();
        if (n < needle_.size()) return false;
        if (quick_) return quickFind(p, n);
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
    static constexpr std::size_t kMaxVariants = 4;

    bool matchesAt(const unsigned char* p) const {
        for (std::size_t j = 0; j < needle_.size(); ++j)
            if (class_[p[j]] != static_cast<unsigned char>(needle_[j])) return false;
        return true;
    }

    // Where no byte is dropped, a match is needle-long in the stored bytes too: candidates are
    // the places where a byte of the first character and, needle-length on, a byte of the last
    // one stand, found sixteen at a time; only those are compared in full. A zero byte (the end
    // of a text) is in no character's class, so no match runs across it; the scan stops at it.
    bool quickFind(const unsigned char* p, std::size_t n) const {
        const std::size_t m = needle_.size();
        const std::size_t last = n - m;  // the last place a match can start
        std::size_t i = 0;
#if defined(__SSE2__)
        __m128i first[kMaxVariants], tail[kMaxVariants];
        const std::size_t nf = firstBytes_.size(), nl = lastBytes_.size();
        for (std::size_t k = 0; k < nf; ++k)
            first[k] = _mm_set1_epi8(firstBytes_[k]);
        for (std::size_t k = 0; k < nl; ++k)
            tail[k] = _mm_set1_epi8(lastBytes_[k]);
        for (; i + 16 <= last + 1; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
            __m128i ea = _mm_cmpeq_epi8(a, first[0]), eb = _mm_cmpeq_epi8(b, tail[0]);
            for (std::size_t k = 1; k < nf; ++k)
                ea = _mm_or_si128(ea, _mm_cmpeq_epi8(a, first[k]));
            for (std::size_t k = 1; k < nl; ++k)
                eb = _mm_or_si128(eb, _mm_cmpeq_epi8(b, tail[k]));
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(ea, eb)));
            const auto zeros =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128())));
            if (zeros != 0) mask &= (1u << __builtin_ctz(zeros)) - 1;  // none start past the end
            while (mask != 0) {
                if (matchesAt(p + i + static_cast<unsigned>(__builtin_ctz(mask)))) return true;
                mask &= mask - 1;
            }
            if (zeros != 0) return false;
        }
#endif
        for (; i <= last; ++i) {
            if (p[i] == 0) return false;
            if (matchesAt(p + i)) return true;
        }
        return false;
    }

    Kind kind_;
    std::array<std::uint8_t, 256> class_{};
    bool hasDropped_ = false;
    bool never_ = false;
    std::string needle_;
    std::string firstBytes_, lastBytes_;
    bool quick_ = false;
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

// The documents' side of the search, on a thread of its own: the owners of the documents whose
// recognised or OLE text holds the search text. The table is opened, read and closed on that
// thread, as the engine's mappings belong to the thread that made them.
class DocumentScan {
  public:
    DocumentScan(std::string dir, const std::u32string& plain, const std::u32string& recognised)
        : dir_(std::move(dir)), plain_(plain), recognised_(recognised) {
        thread_ = std::thread([this] { run(); });
    }
    ~DocumentScan() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    DocumentScan(const DocumentScan&) = delete;
    DocumentScan& operator=(const DocumentScan&) = delete;

    qint64 done() const { return done_.load(std::memory_order_relaxed); }
    // Waits at most `timeout` for the end; true when the scan has ended.
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return ended_.wait_for(lock, timeout, [this] { return finished_; });
    }
    // The owners found; rethrows what the scan failed with.
    std::vector<int> take() {
        thread_.join();
        if (error_) std::rethrow_exception(error_);
        return std::move(owners_);
    }

  private:
    void run() {
        try {
            std::unique_ptr<engine::Table> t = openTable(dir_, "PISMA.DBF");
            ByteSearch pageText(t->codePage(), recognised_, true, ByteSearch::Kind::Text);
            // OLE objects are searched as CP1250 whatever the table's code page.
            ByteSearch oleText(engine::CodePage::forNumber(1250), plain_, false,
                               ByteSearch::Kind::Ole);
            const int fEvent = t->fieldNo("ZDARZ_ID");
            const int fText = t->fieldNo("PIS_IDX");
            const int fOle = t->fieldNo("PIS_OLE");
            std::vector<std::byte> scratch;
            qint64 n = 0;
            for (t->first(); !t->eof() && !stop_; t->next()) {
                if (pageText.find(t->viewBlob(fText, scratch)) ||
                    oleText.find(t->viewBlob(fOle, scratch)))
                    owners_.push_back(static_cast<int>(t->asInteger(fEvent)));
                if ((++n & 255) == 0) done_.store(n, std::memory_order_relaxed);
            }
            done_.store(n, std::memory_order_relaxed);
        } catch (...) {
            error_ = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        finished_ = true;
        ended_.notify_all();
    }

    const std::string dir_;
    const std::u32string plain_, recognised_;
    std::atomic<bool> stop_{false};
    std::atomic<qint64> done_{0};
    std::vector<int> owners_;
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::thread thread_;  // last: started when everything it uses exists
};

}  // namespace

std::optional<QSet<int>> SzukajZdarzen(const QString& dataDir, const QString& text,
                                       const std::function<bool(qint64, qint64)>& progress) {
    const std::string dir = QFile::encodeName(dataDir).toStdString();
    std::unique_ptr<engine::Table> events = openTable(dir, "ZDARZ.DBF");
    // Opened here too, so that a missing table fails at once and the total is known.
    const auto documentRows = static_cast<qint64>(openTable(dir, "PISMA.DBF")->recordCount());
    const qint64 total = static_cast<qint64>(events->recordCount()) + documentRows;

    const std::u32string plain = ocr::FoldedSearchText(ocr::TSearchBlock::make(text, false));
    const std::u32string recognised = ocr::FoldedSearchText(ocr::TSearchBlock::make(text, true));
    if (progress && !progress(0, total)) return std::nullopt;

    // Events and documents are read at the same time: each is about half of the bytes.
    DocumentScan documents(dir, plain, recognised);
    ByteSearch own(events->codePage(), plain, false, ByteSearch::Kind::Text);
    const int fId = events->fieldNo("ID");
    const int shortFields[] = {events->fieldNo("ZD_NMR"), events->fieldNo("ZD_SMB"),
                               events->fieldNo("ZD_ODB")};
    const int memoFields[] = {events->fieldNo("ZD_TRE"), events->fieldNo("ZD_OPIS")};
    std::vector<std::byte> scratch;
    std::vector<int> all;
    all.reserve(static_cast<std::size_t>(total - documentRows));
    QSet<int> result;
    qint64 done = 0;
    for (events->first(); !events->eof(); events->next()) {
        const int id = static_cast<int>(events->asInteger(fId));
        all.push_back(id);
        bool hit = false;
        for (int f : shortFields)
            if (!hit) hit = own.find(trimmed(events->rawField(f)));
        for (int f : memoFields)
            if (!hit) hit = own.find(events->viewBlob(f, scratch));
        if (hit) result.insert(id);
        if ((++done & 1023) == 0 && progress && !progress(done + documents.done(), total))
            return std::nullopt;
    }
    while (!documents.wait(std::chrono::milliseconds(100)))
        if (progress && !progress(done + documents.done(), total)) return std::nullopt;
    // A document counts only for an event that exists, as the match test starts from the event.
    std::sort(all.begin(), all.end());
    for (int owner : documents.take())
        if (std::binary_search(all.begin(), all.end(), owner)) result.insert(owner);
    if (progress && !progress(done + documents.done(), total)) return std::nullopt;
    return result;
}

}  // namespace pulpex
