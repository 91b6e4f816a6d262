#include "register/search.h"

#include <QByteArray>
#include <QFile>
#include <memory>
#include <string>

#include "documents/ocr/textsearch.h"
#include "tables/engine/table.h"

namespace pulpex {

namespace {

bool found(const std::string& utf8, const ocr::TSearchBlock& block) {
    return ocr::OT_FindTextInString(utf8.data(), static_cast<int>(utf8.size()), &block) == 0;
}

std::unique_ptr<engine::Table> openTable(const std::string& dir, const char* name) {
    engine::Table::OpenOptions o;
    o.readOnly = true;
    return engine::Table::open(engine::Table::resolve(dir, name), o);
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

    const ocr::TSearchBlock plain = ocr::TSearchBlock::make(text, false);
    const ocr::TSearchBlock recognised = ocr::TSearchBlock::make(text, true);

    Progress prog(progress, static_cast<qint64>(events->recordCount() + documents->recordCount()));
    if (!prog.report()) return std::nullopt;

    const int fId = events->fieldNo("ID");
    const int ownFields[] = {events->fieldNo("ZD_NMR"), events->fieldNo("ZD_SMB"),
                             events->fieldNo("ZD_ODB"), events->fieldNo("ZD_TRE"),
                             events->fieldNo("ZD_OPIS")};
    QSet<int> all, result;
    for (events->first(); !events->eof(); events->next()) {
        const int id = static_cast<int>(events->asInteger(fId));
        all.insert(id);
        for (int f : ownFields) {
            if (found(events->asString(f), plain)) {
                result.insert(id);
                break;
            }
        }
        if (!prog.step()) return std::nullopt;
    }

    const int fEvent = documents->fieldNo("ZDARZ_ID");
    const int fText = documents->fieldNo("PIS_IDX");
    const int fOle = documents->fieldNo("PIS_OLE");
    for (documents->first(); !documents->eof(); documents->next()) {
        const int owner = static_cast<int>(documents->asInteger(fEvent));
        if (all.contains(owner) && !result.contains(owner)) {
            if (found(documents->asString(fText), recognised)) {
                result.insert(owner);
            } else {
                const std::vector<std::byte> ole = documents->readBlob(fOle);
                const QByteArray bytes(reinterpret_cast<const char*>(ole.data()),
                                       static_cast<qsizetype>(ole.size()));
                if (found(ocr::OleSearchText(bytes).toStdString(), plain)) result.insert(owner);
            }
        }
        if (!prog.step()) return std::nullopt;
    }
    if (!prog.report()) return std::nullopt;
    return result;
}

}  // namespace pulpex
