#include "controls/data/dataset.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <span>
#include <type_traits>

#include "tables/fieldio.h"

namespace pulpex {

using engine::EDatabaseError;
using engine::FieldType;

namespace {

const std::vector<engine::FieldInfo>& noFields() {
    static const std::vector<engine::FieldInfo> none;
    return none;
}

[[noreturn]] void fail(const QString& message,
                       EDatabaseError::Reason reason = EDatabaseError::Reason::General) {
    throw EDatabaseError(reason, u8(message));
}

// A cursor with no rows (a detail whose master stands on no row).
class EmptyCursor final : public engine::Cursor {
  public:
    explicit EmptyCursor(std::vector<engine::FieldInfo> fields) : fields_(std::move(fields)) {}
    void first() override {}
    void last() override {}
    void next() override {}
    void prior() override {}
    bool eof() const override { return true; }
    bool bof() const override { return true; }
    std::uint64_t recordCount() override { return 0; }
    const std::vector<engine::FieldInfo>& fields() const override { return fields_; }
    bool isNull(int) override { noRow(); }
    std::int64_t asInteger(int) override { noRow(); }
    double asFloat(int) override { noRow(); }
    std::string asString(int) override { noRow(); }
    std::optional<bool> asBoolean(int) override { noRow(); }
    engine::Date asDate(int) override { noRow(); }
    engine::DateTime asDateTime(int) override { noRow(); }
    std::vector<std::byte> readBlob(int) override { noRow(); }
    engine::Bookmark bookmark() override { return {}; }
    void gotoBookmark(const engine::Bookmark&) override { noRow(); }

  private:
    std::vector<engine::FieldInfo> fields_;
    [[noreturn]] static void noRow() { throw EDatabaseError("Brak bieżącego wiersza"); }
};

// A cursor of its own position over another cursor: every step moves the owner to the view's
// row and back, so the owner's row (and its eof/bof) is as it was. Used where a second open of
// the rows is impossible or would not show the same rows (query results, exclusive tables).
class PositionView final : public engine::Cursor {
  public:
    explicit PositionView(engine::Cursor& owner, engine::Table* table)
        : owner_(owner), table_(table) {}

    void first() override {
        step([this] { owner_.first(); });
    }
    void last() override {
        step([this] { owner_.last(); });
    }
    void next() override {
        if (!onRow_) {
            eof_ = true;
            return;
        }
        step([this] { owner_.next(); });
    }
    void prior() override {
        if (!onRow_) {
            bof_ = true;
            return;
        }
        step([this] { owner_.prior(); });
    }
    bool eof() const override { return eof_; }
    bool bof() const override { return bof_; }
    std::uint64_t recordCount() override {
        std::uint64_t n = 0;
        read([&] {
            for (owner_.first(); !owner_.eof(); owner_.next())
                ++n;
        });
        return n;
    }
    const std::vector<engine::FieldInfo>& fields() const override { return owner_.fields(); }
    bool isNull(int f) override {
        return at([&] { return owner_.isNull(f); });
    }
    std::int64_t asInteger(int f) override {
        return at([&] { return owner_.asInteger(f); });
    }
    double asFloat(int f) override {
        return at([&] { return owner_.asFloat(f); });
    }
    std::string asString(int f) override {
        return at([&] { return owner_.asString(f); });
    }
    std::optional<bool> asBoolean(int f) override {
        return at([&] { return owner_.asBoolean(f); });
    }
    engine::Date asDate(int f) override {
        return at([&] { return owner_.asDate(f); });
    }
    engine::DateTime asDateTime(int f) override {
        return at([&] { return owner_.asDateTime(f); });
    }
    std::vector<std::byte> readBlob(int f) override {
        return at([&] { return owner_.readBlob(f); });
    }
    engine::Bookmark bookmark() override { return onRow_ ? mine_ : engine::Bookmark{}; }
    void gotoBookmark(const engine::Bookmark& b) override {
        step([&] { owner_.gotoBookmark(b); });
    }

  private:
    engine::Cursor& owner_;
    engine::Table* table_;
    engine::Bookmark mine_;
    bool onRow_ = false, eof_ = true, bof_ = true;

    // Runs `f` with the owner free to move, then puts the owner back.
    template <class F>
    void read(F&& f) {
        // Moving an editing table would post its row.
        if (table_ && table_->state() != engine::Table::State::Browse)
            throw EDatabaseError("Wiersze są niedostępne podczas edycji");
        const bool oe = owner_.eof(), ob = owner_.bof();
        const bool ownerOnRow = !(oe && ob);
        const engine::Bookmark keep = ownerOnRow ? owner_.bookmark() : engine::Bookmark{};
        auto restore = [&] {
            if (!ownerOnRow) {
                // The owner stood on no row only when there were none.
                owner_.first();
                return;
            }
            owner_.gotoBookmark(keep);
            if (oe) owner_.next();
            if (ob) owner_.prior();
        };
        try {
            f();
        } catch (...) {
            restore();
            throw;
        }
        restore();
    }
    template <class Move>
    void step(Move&& move) {
        read([&] {
            if (onRow_) owner_.gotoBookmark(mine_);
            move();
            eof_ = owner_.eof();
            bof_ = owner_.bof();
            onRow_ = !(eof_ && bof_);
            if (onRow_) mine_ = owner_.bookmark();
        });
    }
    template <class F, class R = std::invoke_result_t<F&>>
    R at(F&& f) {
        if (!onRow_) throw EDatabaseError("Brak bieżącego wiersza");
        R result{};
        read([&] {
            owner_.gotoBookmark(mine_);
            result = f();
        });
        return result;
    }
};

QString trimmedText(const QVariant& v) {
    return v.toString().trimmed();
}

bool valuesEqual(const QVariant& have, const QVariant& want, bool caseInsensitive) {
    if (want.isNull()) return have.isNull();
    if (have.isNull()) return trimmedText(want).isEmpty() && want.typeId() == QMetaType::QString;
    switch (have.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Double: {
            bool ok = false;
            const double w = want.toDouble(&ok);
            return ok && have.toDouble() == w;
        }
        case QMetaType::Bool: {
            if (want.typeId() == QMetaType::Bool) return have.toBool() == want.toBool();
            const QString u = trimmedText(want).toUpper();
            const bool w = u == u"T" || u == u"TRUE" || u == u"Y" || u == u"TAK";
            return have.toBool() == w;
        }
        case QMetaType::QDate:
            if (want.typeId() == QMetaType::QDate) return have.toDate() == want.toDate();
            return have.toDate() == QDate::fromString(trimmedText(want), Qt::ISODate);
        case QMetaType::QDateTime:
            return have.toDateTime() == want.toDateTime();
        case QMetaType::QByteArray:
            return have.toByteArray() == want.toByteArray();
        default:
            return QString::compare(trimmedText(have), trimmedText(want),
                                    caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
    }
}

}  // namespace

QVariant cursorFieldValue(engine::Cursor& c, int field) {
    const auto& f = c.fields().at(static_cast<std::size_t>(field));
    if (f.type == FieldType::Memo) {
        QString s = qs(c.asString(field));
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    if (f.type == FieldType::Graphic) {
        auto bytes = c.readBlob(field);
        if (bytes.empty()) return {};
        return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    }
    if (c.isNull(field)) return {};
    switch (f.type) {
        case FieldType::Integer:
        case FieldType::AutoInc:
            return QVariant(static_cast<qlonglong>(c.asInteger(field)));
        case FieldType::Float:
            return QVariant(c.asFloat(field));
        case FieldType::Boolean: {
            auto b = c.asBoolean(field);
            return b ? QVariant(*b) : QVariant();
        }
        case FieldType::Date: {
            QDate d = toQDate(c.asDate(field));
            return d.isValid() ? QVariant(d) : QVariant();
        }
        case FieldType::DateTime: {
            QDateTime d = toQDateTime(c.asDateTime(field));
            return d.isValid() ? QVariant(d) : QVariant();
        }
        default: {
            QString s = qs(c.asString(field));
            return s.isEmpty() ? QVariant() : QVariant(s);
        }
    }
}

engine::Value toEngineValue(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::monostate{};
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return std::int64_t{v.toLongLong()};
        case QMetaType::Double:
        case QMetaType::Float:
            return v.toDouble();
        case QMetaType::Bool:
            return v.toBool();
        case QMetaType::QDate:
            return toEngineDate(v.toDate());
        case QMetaType::QDateTime:
            return toEngineDateTime(v.toDateTime());
        default:
            return u8(v.toString());
    }
}

engine::Value toEngineValue(const QVariant& v, FieldType type) {
    if (!v.isValid() || v.isNull()) return std::monostate{};
    switch (type) {
        case FieldType::Integer:
        case FieldType::AutoInc: {
            bool ok = false;
            const double x = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok)
                                                              : v.toDouble(&ok);
            if (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty())
                return std::monostate{};
            if (!ok || x != std::floor(x))
                fail(QStringLiteral("Niepoprawna liczba całkowita: „%1”").arg(v.toString()),
                     EDatabaseError::Reason::BadValue);
            return static_cast<std::int64_t>(x);
        }
        case FieldType::Float: {
            bool ok = false;
            QString s = v.toString().trimmed();
            if (v.typeId() == QMetaType::QString && s.isEmpty()) return std::monostate{};
            const double x = v.typeId() == QMetaType::QString
                                 ? s.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok)
                                 : v.toDouble(&ok);
            if (!ok)
                fail(QStringLiteral("Niepoprawna liczba: „%1”").arg(v.toString()),
                     EDatabaseError::Reason::BadValue);
            return x;
        }
        case FieldType::Boolean: {
            if (v.typeId() == QMetaType::Bool) return v.toBool();
            const QString u = v.toString().trimmed().toUpper();
            if (u.isEmpty()) return std::monostate{};
            return u == u"T" || u == u"TRUE" || u == u"Y" || u == u"TAK" || u == u"1";
        }
        case FieldType::Date: {
            QDate d = v.typeId() == QMetaType::QDate       ? v.toDate()
                      : v.typeId() == QMetaType::QDateTime ? v.toDateTime().date()
                                                           : QDate();
            if (!d.isValid()) {
                const QString s = v.toString().trimmed();
                if (s.isEmpty()) return std::monostate{};
                engine::Date e = engine::Date::parse(u8(s));
                if (e.isNull())
                    fail(QStringLiteral("Niepoprawna data: „%1”").arg(s),
                         EDatabaseError::Reason::BadValue);
                return e;
            }
            return toEngineDate(d);
        }
        case FieldType::DateTime: {
            if (v.typeId() == QMetaType::QDateTime) return toEngineDateTime(v.toDateTime());
            if (v.typeId() == QMetaType::QDate)
                return engine::DateTime{toEngineDate(v.toDate()), 0, 0, 0, 0};
            const QString s = v.toString().trimmed();
            if (s.isEmpty()) return std::monostate{};
            engine::DateTime e = engine::DateTime::parse(u8(s));
            if (e.isNull())
                fail(QStringLiteral("Niepoprawna data i czas: „%1”").arg(s),
                     EDatabaseError::Reason::BadValue);
            return e;
        }
        default:
            if (v.typeId() == QMetaType::QDateTime)
                return u8(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            if (v.typeId() == QMetaType::QDate)
                return u8(v.toDate().toString(QStringLiteral("yyyy-MM-dd")));
            return u8(v.toString());
    }
}

// ---------------------------------------------------------------------------------------------
// TDataSet

TDataSet::TDataSet(QObject* parent) : QObject(parent) {}
TDataSet::~TDataSet() = default;

void TDataSet::Open() {
    if (Active()) return;
    aborted_ = false;
    emit BeforeOpen();
    if (checkAbort()) return;
    doOpen();
    setState(TDataSetState::Browse);
    emit AfterOpen();
    notifyDataSetChange();
    notifyScroll();
}

void TDataSet::Close() {
    if (!Active()) return;
    if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) Cancel();
    emit BeforeClose();
    doClose();
    emptyByMaster_ = false;
    setState(TDataSetState::Inactive);
    emit AfterClose();
    notifyDataSetChange();
    notifyDataChange(QString());
}

void TDataSet::SetActive(bool on) {
    on ? Open() : Close();
}

void TDataSet::Refresh() {
    requireActive();
    Post();
    doRefresh();
    notifyDataSetChange();
    notifyScroll();
}

void TDataSet::First() {
    requireActive();
    Post();
    if (!emptyByMaster_) cursor()->first();
    notifyScroll();
}

void TDataSet::Last() {
    requireActive();
    Post();
    if (!emptyByMaster_) cursor()->last();
    notifyScroll();
}

void TDataSet::Next() {
    requireActive();
    Post();
    if (emptyByMaster_) return;
    cursor()->next();
    if (!cursor()->eof()) notifyScroll();
}

void TDataSet::Prior() {
    requireActive();
    Post();
    if (emptyByMaster_) return;
    cursor()->prior();
    if (!cursor()->bof()) notifyScroll();
}

void TDataSet::MoveBy(int n) {
    requireActive();
    Post();
    if (emptyByMaster_ || n == 0) return;
    bool moved = false;
    for (; n > 0 && !cursor()->eof(); --n) {
        cursor()->next();
        moved = moved || !cursor()->eof();
    }
    for (; n < 0 && !cursor()->bof(); ++n) {
        cursor()->prior();
        moved = moved || !cursor()->bof();
    }
    if (moved) notifyScroll();
}

bool TDataSet::Eof() const {
    if (!Active() || emptyByMaster_) return true;
    if (state_ == TDataSetState::Insert) return false;
    return cursor()->eof();
}

bool TDataSet::Bof() const {
    if (!Active() || emptyByMaster_) return true;
    if (state_ == TDataSetState::Insert) return false;
    return cursor()->bof();
}

bool TDataSet::IsEmpty() const {
    if (!Active() || emptyByMaster_) return true;
    if (state_ == TDataSetState::Insert) return false;
    return cursor()->eof() && cursor()->bof();
}

qlonglong TDataSet::RecordCount() const {
    if (!Active() || emptyByMaster_) return 0;
    if (const auto* t = dynamic_cast<const TTableDataSet*>(this);
        t && !t->Table()->hasRange() && !t->Table()->filtered())
        return static_cast<qlonglong>(t->Table()->recordCount());
    if (const auto* q = dynamic_cast<const TQueryDataSet*>(this); q && !q->Filtered())
        return static_cast<qlonglong>(q->Query()->recordCount());
    // Counting through a reader leaves the current row alone.
    auto reader = CreateReader();
    qlonglong n = 0;
    for (reader->first(); !reader->eof(); reader->next())
        ++n;
    return n;
}

engine::Bookmark TDataSet::GetBookmark() const {
    if (IsEmpty() || state_ == TDataSetState::Insert) return {};
    return cursor()->bookmark();
}

void TDataSet::GotoBookmark(const engine::Bookmark& b) {
    requireActive();
    Post();
    if (emptyByMaster_) return;
    if (b.position == 0) {
        cursor()->first();
    } else {
        cursor()->gotoBookmark(b);
    }
    notifyScroll();
}

bool TDataSet::Locate(const QString& field, const QVariant& value, bool caseInsensitive) {
    requireActive();
    Post();
    if (emptyByMaster_) return false;
    engine::Cursor& c = *cursor();
    const int f = c.fieldNo(u8(field));
    const bool wasEmpty = c.eof() && c.bof();
    const bool oe = c.eof(), ob = c.bof();
    const engine::Bookmark keep = wasEmpty ? engine::Bookmark{} : c.bookmark();
    for (c.first(); !c.eof(); c.next()) {
        if (valuesEqual(cursorFieldValue(c, f), value, caseInsensitive)) {
            notifyScroll();
            return true;
        }
    }
    if (wasEmpty) {
        c.first();
    } else {
        c.gotoBookmark(keep);
        if (oe) c.next();
        if (ob) c.prior();
    }
    return false;
}

void TDataSet::DisableControls() {
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ > 0) return;
    const bool setChange = pendingSetChange_, scroll = pendingScroll_,
               data = pendingData_ || pendingScroll_;
    pendingSetChange_ = pendingScroll_ = pendingData_ = false;
    if (setChange) emit DataSetChange();
    if (scroll) emit AfterScroll();
    if (data) emit DataChange(QString());
}

const std::vector<engine::FieldInfo>& TDataSet::Fields() const {
    return Active() ? cursor()->fields() : noFields();
}

QStringList TDataSet::FieldNames() const {
    QStringList names;
    for (const auto& f : Fields())
        names << qs(f.name);
    return names;
}

int TDataSet::FieldIndex(const QString& name) const {
    return Active() ? cursor()->fieldIndex(u8(name)) : -1;
}

QVariant TDataSet::FieldValue(const QString& name) const {
    requireActive();
    const int f = cursor()->fieldNo(u8(name));
    if (state_ == TDataSetState::Browse && IsEmpty()) return {};
    return cursorFieldValue(*cursor(), f);
}

QString TDataSet::FieldText(const QString& name) const {
    requireActive();
    const int f = cursor()->fieldNo(u8(name));
    if (state_ == TDataSetState::Browse && IsEmpty()) return {};
    return qs(cursor()->asText(f));
}

qlonglong TDataSet::AsInteger(const QString& name) const {
    return FieldValue(name).toLongLong();
}
double TDataSet::AsFloat(const QString& name) const {
    return FieldValue(name).toDouble();
}
bool TDataSet::AsBoolean(const QString& name) const {
    return FieldValue(name).toBool();
}
QDate TDataSet::AsDate(const QString& name) const {
    const QVariant v = FieldValue(name);
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
}
QDateTime TDataSet::AsDateTime(const QString& name) const {
    return FieldValue(name).toDateTime();
}
QByteArray TDataSet::AsBytes(const QString& name) const {
    const QVariant v = FieldValue(name);
    return v.typeId() == QMetaType::QString ? v.toString().toUtf8() : v.toByteArray();
}

void TDataSet::SetFieldValue(const QString& name, const QVariant& value) {
    requireActive();
    if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert)
        fail(QStringLiteral("Zbiór danych nie jest w trybie edycji ani dopisywania"));
    const int f = cursor()->fieldNo(u8(name));
    doSetField(f, value);
    modified_ = true;
    notifyDataChange(qs(cursor()->fields()[static_cast<std::size_t>(f)].name));
}

void TDataSet::Edit() {
    requireActive();
    if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) return;
    if (!CanModify()) fail(QStringLiteral("Nie można zmieniać zbioru danych tylko do odczytu"));
    // As the data sets the windows were designed with: editing an empty set starts a new row.
    if (IsEmpty()) {
        Insert();
        return;
    }
    aborted_ = false;
    emit BeforeEdit();
    if (checkAbort()) return;
    doEdit();
    modified_ = false;
    setState(TDataSetState::Edit);
}

void TDataSet::Insert() {
    requireActive();
    if (!CanModify()) fail(QStringLiteral("Nie można zmieniać zbioru danych tylko do odczytu"));
    Post();
    aborted_ = false;
    emit BeforeInsert();
    if (checkAbort()) return;
    doInsert();
    modified_ = false;
    setState(TDataSetState::Insert);
    emit NewRecord();
    notifyScroll();
}

void TDataSet::Append() {
    Insert();
}

void TDataSet::Post() {
    if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
    emit UpdateRecord();
    aborted_ = false;
    emit BeforePost();
    if (checkAbort()) return;
    doPost();
    modified_ = false;
    setState(TDataSetState::Browse);
    emit AfterPost();
    notifyDataSetChange();
    notifyScroll();
}

void TDataSet::Cancel() {
    if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
    doCancel();
    modified_ = false;
    setState(TDataSetState::Browse);
    emit AfterCancel();
    notifyScroll();
}

void TDataSet::Delete() {
    requireActive();
    if (state_ == TDataSetState::Insert) {
        Cancel();
        return;
    }
    if (!CanModify()) fail(QStringLiteral("Nie można zmieniać zbioru danych tylko do odczytu"));
    if (IsEmpty()) fail(QStringLiteral("Nie można wykonać tej operacji na pustym zbiorze danych"));
    aborted_ = false;
    emit BeforeDelete();
    if (checkAbort()) return;
    doDelete();
    modified_ = false;
    setState(TDataSetState::Browse);
    emit AfterDelete();
    notifyDataSetChange();
    notifyScroll();
}

void TDataSet::SetOnFilterRecord(TRecordFilter filter) {
    onFilter_ = std::move(filter);
    if (Active() && filtered_) {
        Post();
        applyFilter();
        notifyDataSetChange();
        notifyScroll();
    }
}

void TDataSet::SetFiltered(bool on) {
    if (filtered_ == on) return;
    filtered_ = on;
    if (Active()) {
        Post();
        applyFilter();
        notifyDataSetChange();
        notifyScroll();
    }
}

void TDataSet::doEdit() {
    fail(QStringLiteral("Nie można zmieniać zbioru danych tylko do odczytu"));
}
void TDataSet::doInsert() {
    doEdit();
}
void TDataSet::doPost() {}
void TDataSet::doCancel() {}
void TDataSet::doDelete() {
    doEdit();
}
void TDataSet::doSetField(int, const QVariant&) {
    doEdit();
}
void TDataSet::applyFilter() {}

void TDataSet::setState(TDataSetState s) {
    if (state_ == s) return;
    state_ = s;
    emit StateChange();
}

void TDataSet::requireActive() const {
    if (!Active()) fail(QStringLiteral("Zbiór danych nie jest otwarty"));
}

void TDataSet::requireRow() const {
    requireActive();
    if (IsEmpty()) fail(QStringLiteral("Nie można wykonać tej operacji na pustym zbiorze danych"));
}

void TDataSet::notifyScroll() {
    if (disableCount_ > 0) {
        pendingScroll_ = true;
        return;
    }
    emit AfterScroll();
    emit DataChange(QString());
}

void TDataSet::notifyDataChange(const QString& field) {
    if (disableCount_ > 0) {
        pendingData_ = true;
        return;
    }
    emit DataChange(field);
}

void TDataSet::notifyDataSetChange() {
    if (disableCount_ > 0) {
        pendingSetChange_ = true;
        return;
    }
    emit DataSetChange();
}

void TDataSet::attachMaster(TDataSet* master) {
    if (masterScroll_) disconnect(masterScroll_);
    if (masterClose_) disconnect(masterClose_);
    for (TDataSet* m = master; m; m = m->Master())
        if (m == this) fail(QStringLiteral("Zbiór danych nie może być swoim własnym nadrzędnym"));
    master_ = master;
    if (master) {
        masterScroll_ = connect(master, &TDataSet::AfterScroll, this, [this] { masterChanged(); });
        masterClose_ = connect(master, &TDataSet::AfterClose, this, [this] { masterChanged(); });
    }
}

TRecordFilter TDataSet::effectiveRecordFilter() const {
    return filtered_ ? onFilter_ : TRecordFilter{};
}

bool TDataSet::checkAbort() {
    const bool a = aborted_;
    aborted_ = false;
    return a;
}

// ---------------------------------------------------------------------------------------------
// TTableDataSet

namespace {
void requireClosed(const TDataSet& ds) {
    if (ds.Active())
        fail(QStringLiteral("Nie można wykonać tej operacji na otwartym zbiorze danych"));
}

// The leading field of a tag whose key is a plain field list ("A;B" or "A").
QString leadingKeyField(const engine::Table& t, const QString& tag) {
    for (const auto& info : t.tags()) {
        if (QString::compare(qs(info.name), tag, Qt::CaseInsensitive) != 0) continue;
        const QString first = qs(info.key).section(QLatin1Char(';'), 0, 0).trimmed();
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
        if (plain.match(first).hasMatch() && t.fieldIndex(u8(first)) >= 0) return first;
    }
    return {};
}
}  // namespace

TTableDataSet::TTableDataSet(QObject* parent) : TDataSet(parent) {}

TTableDataSet::~TTableDataSet() {
    // No events here: the listeners may be gone already. The engine releases locks on close.
    if (table_ && table_->state() != engine::Table::State::Browse) table_->cancel();
}

void TTableDataSet::SetDatabaseName(const QString& dir) {
    requireClosed(*this);
    databaseName_ = dir;
}

void TTableDataSet::SetTableName(const QString& name) {
    requireClosed(*this);
    tableName_ = name;
}

QString TTableDataSet::TablePath() const {
    QString file = tableName_;
    if (!file.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive)) file += QStringLiteral(".DBF");
    return qs(engine::Table::resolve(u8(databaseName_), u8(file)));
}

void TTableDataSet::SetIndexName(const QString& tag) {
    if (!Active()) {
        indexName_ = tag;
        return;
    }
    Post();
    table_->setIndex(u8(tag));
    indexName_ = tag;
    if (Master() || userRange_) applyRange();
    notifyDataSetChange();
    notifyScroll();
}

void TTableDataSet::SetFilter(const QString& expression) {
    if (Active()) {
        Post();
        filter_ = expression;
        applyFilter();
        notifyDataSetChange();
        notifyScroll();
    } else {
        filter_ = expression;
    }
}

void TTableDataSet::SetRange(const QVariant& low, const QVariant& high) {
    userRange_ = true;
    rangeLow_ = toEngineValue(low);
    rangeHigh_ = toEngineValue(high);
    if (!Active()) return;
    Post();
    applyRange();
    notifyDataSetChange();
    notifyScroll();
}

void TTableDataSet::CancelRange() {
    userRange_ = false;
    if (!Active()) return;
    Post();
    applyRange();
    notifyDataSetChange();
    notifyScroll();
}

bool TTableDataSet::FindKey(const QVariant& value) {
    requireActive();
    Post();
    if (emptyByMaster_) return false;
    const bool found = table_->findKey(toEngineValue(value));
    if (found) notifyScroll();
    return found;
}

bool TTableDataSet::FindNearest(const QVariant& value) {
    requireActive();
    Post();
    if (emptyByMaster_) return false;
    const bool found = table_->findNearest(toEngineValue(value));
    // Nothing at or after the value leaves the table past its end: stand on the last row.
    if (!found) table_->last();
    notifyScroll();
    return found;
}

bool TTableDataSet::FindNearestOnIndex(const QString& tag, const QVariant& value) {
    requireActive();
    Post();
    if (emptyByMaster_) return false;
    const std::string keep = table_->currentIndex();
    table_->setIndex(u8(tag));
    bool found = false;
    try {
        found = table_->findNearest(toEngineValue(value));
        if (!found) table_->last();
    } catch (...) {
        table_->setIndex(keep);
        throw;
    }
    table_->setIndex(keep);
    notifyScroll();
    return found;
}

void TTableDataSet::SetMaster(TDataSet* master, const QString& masterField,
                              const QString& detailField) {
    attachMaster(master);
    masterField_ = master ? masterField : QString();
    detailField_ = detailField;
    if (Active()) masterChanged();
}

void TTableDataSet::Resync() {
    notifyDataSetChange();
    notifyScroll();
}

void TTableDataSet::configure(engine::Table& t) const {
    t.setIndex(u8(indexName_));
    t.setRecordFilter(effectiveRecordFilter());
    t.setFilter(filtered_ ? u8(filter_) : std::string());
    t.setFiltered(filtered_);
}

void TTableDataSet::doOpen() {
    if (tableName_.isEmpty()) fail(QStringLiteral("Nie podano nazwy tabeli"));
    engine::Table::OpenOptions o;
    o.exclusive = exclusive_;
    o.readOnly = readOnly_;
    table_ = engine::Table::open(u8(TablePath()), o);
    try {
        configure(*table_);
        applyRange();
    } catch (...) {
        table_.reset();
        throw;
    }
}

void TTableDataSet::doClose() {
    table_.reset();
}

void TTableDataSet::doRefresh() {
    if (emptyByMaster_) return;
    engine::Table& t = *table_;
    const bool onRow = !(t.eof() && t.bof());
    const engine::Bookmark keep = onRow ? t.bookmark() : engine::Bookmark{};
    if (!onRow) {
        t.first();
        return;
    }
    try {
        t.gotoBookmark(keep);
    } catch (const EDatabaseError&) {
        t.first();  // the row was deleted meanwhile
    }
}

void TTableDataSet::doInsert() {
    table_->insert();
    // A new detail row belongs to the master's current row.
    if (Master() && !masterField_.isEmpty() && Master()->Active() && !Master()->IsEmpty()) {
        QString target =
            detailField_.isEmpty() ? leadingKeyField(*table_, indexName_) : detailField_;
        if (!target.isEmpty()) {
            const int f = table_->fieldNo(u8(target));
            table_->setValue(f, toEngineValue(Master()->FieldValue(masterField_),
                                              table_->fields()[static_cast<std::size_t>(f)].type));
        }
    }
}

void TTableDataSet::doEdit() {
    table_->edit();
}

void TTableDataSet::doPost() {
    table_->post();
}

void TTableDataSet::doCancel() {
    table_->cancel();
}

void TTableDataSet::doDelete() {
    table_->deleteRecord();
}

void TTableDataSet::doSetField(int field, const QVariant& value) {
    const auto& info = table_->fields()[static_cast<std::size_t>(field)];
    if (info.type == FieldType::Graphic || info.type == FieldType::Memo) {
        if (info.type == FieldType::Graphic || value.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = value.typeId() == QMetaType::QString
                                         ? value.toString().toUtf8()
                                         : value.toByteArray();
            table_->writeBlob(
                field, std::as_bytes(
                           std::span(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
            return;
        }
    }
    table_->setValue(field, toEngineValue(value, info.type));
}

void TTableDataSet::applyFilter() {
    configure(*table_);
    applyRange();
}

void TTableDataSet::masterChanged() {
    if (!Active()) return;
    Post();
    applyRange();
    notifyDataSetChange();
    notifyScroll();
}

void TTableDataSet::applyRange() {
    engine::Table& t = *table_;
    emptyByMaster_ = false;
    if (Master() && !masterField_.isEmpty()) {
        QVariant v;
        if (Master()->Active() && !Master()->IsEmpty()) v = Master()->FieldValue(masterField_);
        if (v.isNull()) {
            emptyByMaster_ = true;
            return;
        }
        const engine::Value key = toEngineValue(v);
        t.setRange({key}, {key});
        return;
    }
    if (userRange_) {
        t.setRange({rangeLow_}, {rangeHigh_});
        return;
    }
    if (t.hasRange()) t.cancelRange();
    t.first();
}

std::unique_ptr<engine::Cursor> TTableDataSet::CreateReader() const {
    if (!Active()) return nullptr;
    if (emptyByMaster_) return std::make_unique<EmptyCursor>(table_->fields());
    if (exclusive_) return std::make_unique<PositionView>(*table_, table_.get());
    engine::Table::OpenOptions o;
    o.readOnly = true;
    auto reader = engine::Table::open(table_->path(), o);
    configure(*reader);
    if (Master() && !masterField_.isEmpty() && Master()->Active() && !Master()->IsEmpty()) {
        const engine::Value key = toEngineValue(Master()->FieldValue(masterField_));
        reader->setRange({key}, {key});
    } else if (userRange_) {
        reader->setRange({rangeLow_}, {rangeHigh_});
    }
    return reader;
}

// ---------------------------------------------------------------------------------------------
// TQueryDataSet

TQueryDataSet::TQueryDataSet(QObject* parent) : TDataSet(parent) {}
TQueryDataSet::~TQueryDataSet() = default;

void TQueryDataSet::SetDatabaseName(const QString& dir) {
    requireClosed(*this);
    databaseName_ = dir;
}

void TQueryDataSet::SetSQL(const QStringList& lines) {
    sql_ = lines;
}

QVariant TQueryDataSet::ParamByName(const QString& name) const {
    QString key = name.toUpper();
    if (key.startsWith(QLatin1Char(':'))) key.remove(0, 1);
    for (const auto& [n, v] : params_)
        if (n == key) return v;
    return {};
}

void TQueryDataSet::SetParam(const QString& name, const QVariant& value) {
    QString key = name.toUpper();
    if (key.startsWith(QLatin1Char(':'))) key.remove(0, 1);
    for (auto& [n, v] : params_)
        if (n == key) {
            v = value;
            return;
        }
    params_.emplace_back(key, value);
}

void TQueryDataSet::SetMaster(TDataSet* master) {
    attachMaster(master);
    if (Active()) masterChanged();
}

void TQueryDataSet::bindParams() {
    query_->clearParams();
    for (const auto& [n, v] : params_)
        query_->setParam(u8(n), toEngineValue(v));
    if (!Master()) return;
    // Unused parameters are ignored by the query, so every master field may be offered.
    const bool onRow = Master()->Active() && !Master()->IsEmpty();
    for (const auto& f : Master()->Fields()) {
        const QString name = qs(f.name);
        query_->setParam(f.name, onRow ? toEngineValue(Master()->FieldValue(name))
                                       : engine::Value{std::monostate{}});
    }
}

void TQueryDataSet::doOpen() {
    auto q = std::make_unique<engine::Query>(u8(databaseName_));
    for (const auto& line : sql_)
        q->sql().push_back(u8(line));
    query_ = std::move(q);
    try {
        bindParams();
        query_->setRecordFilter(effectiveRecordFilter());
        query_->setFiltered(filtered_);
        query_->open();
        query_->first();
    } catch (...) {
        query_.reset();
        throw;
    }
}

void TQueryDataSet::doClose() {
    query_.reset();
}

void TQueryDataSet::doRefresh() {
    engine::Query& q = *query_;
    // Rows carry no identity: the current one is found again by its values.
    std::vector<std::string> old;
    std::uint64_t oldPos = 0;
    if (!(q.eof() && q.bof())) {
        oldPos = q.bookmark().position;
        for (int i = 0; i < static_cast<int>(q.fields().size()); ++i)
            old.push_back(q.asText(i));
    }
    q.close();
    bindParams();
    q.open();
    q.first();
    if (old.empty()) return;
    auto same = [&] {
        if (q.fields().size() != old.size()) return false;
        for (int i = 0; i < static_cast<int>(old.size()); ++i)
            if (q.asText(i) != old[static_cast<std::size_t>(i)]) return false;
        return true;
    };
    for (; !q.eof(); q.next())
        if (same()) return;
    try {
        q.gotoBookmark({oldPos});
    } catch (const EDatabaseError&) {
        q.last();
    }
}

void TQueryDataSet::applyFilter() {
    query_->setRecordFilter(effectiveRecordFilter());
    query_->setFiltered(filtered_);
    query_->first();
}

void TQueryDataSet::masterChanged() {
    // As a query linked to its master always did: close and open again with the new values.
    DisableControls();
    try {
        if (Active()) {
            Close();
            Open();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

std::unique_ptr<engine::Cursor> TQueryDataSet::CreateReader() const {
    if (!Active()) return nullptr;
    return std::make_unique<PositionView>(*query_, nullptr);
}

}  // namespace pulpex
