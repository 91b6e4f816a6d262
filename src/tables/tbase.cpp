#include "tables/tbase.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include "core/prompts.h"
#include "core/system.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {

const QString kID = QStringLiteral("ID");

engine::FieldType fileType(const engine::FieldInfo& f) {
    return f.type;
}

}  // namespace

// ---------------------------------------------------------------- TTableCreateInfo

void TTableCreateInfo::SetFieldDefs(std::vector<TFieldDefinition> fields) {
    SetDefinitions(std::move(fields), {});
}

void TTableCreateInfo::SetDefinitions(std::vector<TFieldDefinition> fields,
                                      std::vector<TIndexDefinition> indexes) {
    if (fields.size() > kMaxFields) throw std::invalid_argument("too many field definitions");
    if (indexes.size() > kMaxIndexes) throw std::invalid_argument("too many index definitions");
    fields_ = std::move(fields);
    indexes_ = std::move(indexes);
}

void TTableCreateInfo::Clear() {
    fields_.clear();
    indexes_.clear();
}

const TFieldDefinition* TTableCreateInfo::Field(const QString& name) const {
    for (const auto& f : fields_)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

// ---------------------------------------------------------------- records

TOT_RecordBasicInfo::TOT_RecordBasicInfo(int flag)
    : modifyFlag(flag), time(QDateTime::currentDateTime()) {
    if (flag == 0)
        letter = QLatin1Char('U');
    else if (flag == 1)
        letter = QLatin1Char('M');
    else
        prompts().message(
            Severity::Error,
            QStringLiteral(
                "Error constructor TOT_RecordBasicInfo.Create( _mf : TOT_ModifyFlag );"));
}

static const char* const kInfoFields[2][3] = {{"INF0_ID", "INF0_DAT", "INF0_FLG"},
                                              {"INF1_ID", "INF1_DAT", "INF1_FLG"}};

void TOT_Record::StoreFields(TOT_Table& table) {
    if (!table.HousekeepingOn) return;
    engine::Table& t = table.T();
    for (int i = 0; i < 2; ++i) {
        const auto& s = Info.info[i];
        if (!s.set || s.user == 0) continue;
        t.setInteger(kInfoFields[i][0], s.user);
        t.setDateTime(kInfoFields[i][1], toEngineDateTime(s.time));
        t.setInteger(kInfoFields[i][2], 1);
    }
}

void TOT_Record::LoadFields(TOT_Table& table) {
    if (!table.HousekeepingOn) return;
    engine::Table& t = table.T();
    for (int i = 0; i < 2; ++i) {
        auto& s = Info.info[i];
        s.set = false;
        s.user = static_cast<quint16>(t.asInteger(kInfoFields[i][0]));
        const std::string text = t.asString(kInfoFields[i][1]);
        s.time = text.size() < 10 ? QDateTime() : toQDateTime(engine::DateTime::parse(text));
    }
}

void TOT_Record::Stamp(int which) {
    if (which < 0 || which > 1) return;
    auto& s = Info.info[which];
    TAM_System* sys = System();
    s.user = static_cast<quint16>(sys ? sys->CurrentUserID() : 0);
    s.time = QDateTime::currentDateTime();
    s.set = true;
}

QString TOT_Record::InfoText() const {
    QString out;
    TAM_System* sys = System();
    for (const auto& s : Info.info) {
        if (s.user != 0) {
            out += s.letter + QLatin1Char(' ') + (sys ? sys->UserName(s.user) : QString()) +
                   QLatin1Char(' ') + s.time.date().toString(QStringLiteral("yyyy-MM-dd")) +
                   QLatin1Char(' ') + s.time.time().toString(QStringLiteral("hh:mm"));
        }
        out += QStringLiteral("\r\n");
    }
    return out;
}

// ---------------------------------------------------------------- TBin, TOT_Blob

void TBin::SetText(const QString& text) {
    bytes_ = text.toUtf8();
    bytes_.append('\0');
}

QString TBin::GetText() const {
    const qsizetype zero = bytes_.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes_ : bytes_.left(zero));
}

QString TBin::GetPrintableText() const {
    QString out;
    for (QChar c : GetText())
        if (c.unicode() > 13) out += c;
    return out;
}

void TBin::LoadTextFromBlob(TOT_Table& table, const QString& field) {
    SetText(fieldString(table.T(), field));
}

void TBin::SaveTextToBlob(TOT_Table& table, const QString& field) const {
    setFieldString(table.T(), field, GetText());
}

void TBin::LoadFromBlob(TOT_Table& table, const QString& field) {
    bytes_ = fieldBytes(table.T(), field);
}

void TBin::SaveToBlob(TOT_Table& table, const QString& field) const {
    engine::Table& t = table.T();
    const bool wasBrowsing = t.state() == engine::Table::State::Browse;
    if (wasBrowsing) t.edit();  // a row locked elsewhere reports the lock, not a write error
    setFieldBytes(t, field, bytes_);
    if (wasBrowsing) t.post();
}

bool TOT_Blob::Attach(const QString& field, TOT_Table& table) {
    fieldNo_ = -1;
    if (!table.Active() || field.isEmpty()) {
        prompts().message(Severity::Error, QStringLiteral("błąd - baza jest zamknięta !"));
        return false;
    }
    table_ = &table;
    field_ = field;
    fieldNo_ = table.T().fieldNo(u8(field));
    return true;
}

QByteArray TOT_Blob::Read() const {
    if (fieldNo_ < 0) return {};
    return fieldBytes(table_->T(), field_);
}

void TOT_Blob::Write(const QByteArray& bytes) {
    if (fieldNo_ < 0) return;
    engine::Table& t = table_->T();
    if (t.state() == engine::Table::State::Browse) t.edit();
    setFieldBytes(t, field_, bytes);
    t.post();
}

// ---------------------------------------------------------------- TOT_Table

TOT_Table::TOT_Table(const QString& tableName) : TableName(tableName) {
    if (TAM_System* sys = System()) DatabaseName = sys->DataDir;
}

TOT_Table::~TOT_Table() {
    Close();
}

void TOT_Table::Open() {
    if (t_) return;
    engine::Table::OpenOptions o;
    o.exclusive = Exclusive;
    t_ = engine::Table::open(u8(TableFileName()), o);
}

void TOT_Table::Close() {
    if (!t_) return;
    try {
        if (t_->state() != engine::Table::State::Browse) t_->cancel();
    } catch (const EDatabaseError&) {
    }
    releaseAppendLock();
    idReader_.reset();
    t_.reset();
}

void TOT_Table::SetActive(bool on) {
    if (on)
        Open();
    else
        Close();
}

engine::Table& TOT_Table::T() {
    if (!t_) throw EDatabaseError("Tabela " + u8(TableName) + " jest zamknięta");
    return *t_;
}

bool TOT_Table::HasRow() {
    return t_ && !(t_->eof() && t_->bof()) && t_->recno() != 0;
}

bool TOT_Table::CreateTableSelf() {
    if (CreateInfo.IsEmpty()) return false;
    DefineAndCreate();
    RebuildIndexes();
    PreInit();
    return true;
}

void TOT_Table::CheckTableStruct(bool rebuild) {
    Close();
    if (rebuild) RebuildIndexes();
    Open();
}

void TOT_Table::RebuildIndexes() {
    Close();
    if (!DropProductionIndex()) return;
    const auto defs = EngineIndexDefs();
    if (defs.empty()) return;
    engine::Table::OpenOptions o;
    o.exclusive = true;
    auto t = engine::Table::open(u8(TableFileName()), o);
    for (const auto& d : defs)
        t->addIndex(d);
}

bool TOT_Table::ReadRecordByID(int id, TOT_Record& record) {
    if (!LocateID(id)) return false;
    record.LoadFields(*this);
    return true;
}

bool TOT_Table::LocateID(int id) {
    SetIDIndex();
    return T().findKey(engine::Value{std::int64_t{id}});
}

bool TOT_Table::LocateKey(const QString& key) {
    SetIDIndex();
    return T().findKey(engine::Value{u8(key)});
}

bool TOT_Table::DeleteByID(int id) {
    if (!LocateID(id)) return false;
    engine::Table& t = T();
    t.edit();
    t.deleteRecord();
    return true;
}

int TOT_Table::AppendNewID() {
    engine::Table& t = T();
    try {
        // A row still pending (a second AppendNewID before PostRow) is posted first, releasing
        // the append lock it holds, so that the lock is never taken twice and kept.
        if (t.state() != engine::Table::State::Browse) PostRow();
        t.lockAppend();
        appendLocked_ = true;
        // The last identifier is read through a cursor of its own, so that a filter, range or
        // record filter on the shared cursor cannot hide the highest row.
        if (!idReader_) {
            engine::Table::OpenOptions ro;
            ro.readOnly = true;
            idReader_ = engine::Table::open(t.path(), ro);
        }
        idReader_->setIndex(u8(IDIndexName));
        idReader_->last();
        const int id = (idReader_->eof() && idReader_->bof())
                           ? 1
                           : static_cast<int>(idReader_->asInteger(u8(kID))) + 1;
        t.append();
        t.setInteger(u8(kID), id);
        return id;
    } catch (const EDatabaseError&) {
        try {
            if (t.state() != engine::Table::State::Browse) t.cancel();
        } catch (const EDatabaseError&) {
        }
        releaseAppendLock();
        return 0;
    }
}

void TOT_Table::OT_AddNew(int& id, TOT_Record& record) {
    engine::Table& t = T();
    if (id != 0) {
        if (!LocateID(id))
            throw EDatabaseError("Nie znaleziono podanego ID w bazie " + u8(TableName) +
                                 " podczas OT_AddNew");
        t.edit();
    } else {
        id = AppendNewID();
        if (id == 0) throw EDatabaseError("Błąd podczas określania ID w bazie " + u8(TableName));
    }
    try {
        record.StoreFields(*this);
        // The record may still carry identifier 0 (a new record): the row keeps the one taken.
        t.setInteger(u8(kID), id);
        PostRow();
    } catch (...) {
        CancelRow();
        throw;
    }
}

bool TOT_Table::LockRecord() {
    for (;;) {
        try {
            T().edit();
            return true;
        } catch (const EDatabaseError& e) {
            const Answer a = prompts().message(
                Severity::Error,
                QStringLiteral("Błąd podczas lokowania, powtórzyć próbę?\r\n") + qs(e.what()),
                Buttons::OkCancel);
            if (a != Answer::Ok) return false;
        }
    }
}

void TOT_Table::SetIndex(const QString& name) {
    T().setIndex(u8(name));
}

std::vector<engine::FieldDef> TOT_Table::EngineFieldDefs() const {
    std::vector<engine::FieldDef> out;
    for (const auto& f : CreateInfo.Fields())
        out.push_back({u8(f.name), f.type, f.size});
    if (HousekeepingOn) {
        for (const auto& set : kInfoFields) {
            out.push_back({set[0], TFieldType::Integer, 0});
            out.push_back({set[1], TFieldType::DateTime, 0});
            out.push_back({set[2], TFieldType::Integer, 0});
        }
    }
    return out;
}

std::vector<engine::IndexDef> TOT_Table::EngineIndexDefs() const {
    std::vector<engine::IndexDef> out;
    for (const auto& d : CreateInfo.Indexes()) {
        // dBase tags know neither primary nor unique keys: the options are dropped.
        const unsigned o = d.options & ~(ixPrimary | ixUnique);
        engine::IndexDef e;
        e.name = u8(d.name);
        e.key = u8((o & ixExpression) ? d.expression : d.fields);
        e.descending = (o & ixDescending) != 0;
        e.nocase = (o & ixCaseInsensitive) != 0;
        out.push_back(std::move(e));
    }
    return out;
}

void TOT_Table::DefineAndCreate() {
    const bool wasOpen = Active();
    Close();
    engine::Table::create(u8(TableFileName()), EngineFieldDefs(), {});
    if (wasOpen) Open();
    ReopenKeepPosition();
}

void TOT_Table::ReopenKeepPosition() {
    if (!t_) return;
    std::string index;
    std::optional<engine::Bookmark> bm;
    try {
        index = t_->currentIndex();
        if (HasRow()) bm = t_->bookmark();
        if (t_->state() != engine::Table::State::Browse) PostRow();
    } catch (const EDatabaseError&) {
    }
    Close();
    try {
        Open();
        if (!index.empty()) t_->setIndex(index);
        if (bm) t_->gotoBookmark(*bm);
    } catch (const EDatabaseError&) {
    }
}

QString TOT_Table::TableFileName(bool withExtension) const {
    QString dir = DatabaseName;
    QString name = TableName;
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        dir = name.left(slash + 1);
        name = name.mid(slash + 1);
    }
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    QString ext = QStringLiteral(".DBF");
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        ext = name.mid(dot);
        name = name.left(dot);
    }
    return dir + name.toUpper() + (withExtension ? ext.toUpper() : QString());
}

QString TOT_Table::CompanionFileName(const QString& extension) const {
    return qs(engine::Table::companion(u8(TableFileName()), u8(extension)));
}

bool TOT_Table::TableFileExists() const {
    const QString path = TableFileName();
    const QFileInfo fi(path);
    const std::string resolved = engine::Table::resolve(u8(fi.path()), u8(fi.fileName()));
    return QFileInfo(qs(resolved)).isFile();
}

bool TOT_Table::IndexFileExists() const {
    return QFileInfo(CompanionFileName(QStringLiteral(".MDX"))).isFile();
}

namespace {
QString resolvedPath(const QString& path) {
    const QFileInfo fi(path);
    return qs(engine::Table::resolve(u8(fi.path()), u8(fi.fileName())));
}
}  // namespace

bool TOT_Table::DropProductionIndex() {
    QFile f(resolvedPath(TableFileName()));
    if (!f.open(QIODevice::ReadWrite)) return false;
    QByteArray header = f.read(32);
    if (header.size() < 32) return false;
    header[28] = 0;
    if (!f.seek(0) || f.write(header) != 32) return false;
    f.close();
    const QString mdx = CompanionFileName(QStringLiteral(".MDX"));
    if (QFileInfo(mdx).isFile()) QFile::remove(mdx);
    return true;
}

bool TOT_Table::IndexStateConsistent() {
    if (!TableFileExists()) {
        const QString mdx = CompanionFileName(QStringLiteral(".MDX"));
        if (QFileInfo(mdx).isFile()) QFile::remove(mdx);
        return true;
    }
    QFile f(resolvedPath(TableFileName()));
    if (!f.open(QIODevice::ReadOnly)) return true;
    const QByteArray header = f.read(32);
    if (header.size() < 32) return false;
    return header[28] == 1 ? IndexFileExists() : !IndexFileExists();
}

bool TOT_Table::FieldCompatible(const engine::FieldInfo& file, const TFieldDefinition& def,
                                bool lenient) {
    const engine::FieldType ft = fileType(file);
    switch (def.type) {
        case TFieldType::String:
            // A wider field holds every value of the schema's: shrinking it would cut texts.
            return ft == TFieldType::String && (lenient || file.size >= def.size);
        case TFieldType::Integer:
        case TFieldType::Float:
            return ft == TFieldType::Integer || ft == TFieldType::Float;
        case TFieldType::Boolean:
        case TFieldType::Date:
        case TFieldType::Memo:
            return ft == def.type;
        case TFieldType::Time:
            return ft == TFieldType::Time || (ft == TFieldType::String && file.size == 11);
        case TFieldType::DateTime:
            return ft == TFieldType::DateTime || (ft == TFieldType::String && file.size == 30);
        default:
            return true;
    }
}

bool TOT_Table::CheckStructure() {
    if (!TableFileExists()) return false;
    const bool wasOpen = Active();
    try {
        Open();
    } catch (const EDatabaseError&) {
        return false;
    }
    bool ok = true;
    const auto& fileFields = T().fields();
    for (const auto& def : CreateInfo.Fields()) {
        const engine::FieldInfo* found = nullptr;
        for (const auto& ff : fileFields)
            if (qs(ff.name).compare(def.name, Qt::CaseInsensitive) == 0) found = &ff;
        if (!found || !FieldCompatible(*found, def, false)) {
            ok = false;
            break;
        }
    }
    if (!wasOpen) Close();
    return ok;
}

void TOT_Table::PostRow() {
    try {
        T().post();
    } catch (...) {
        releaseAppendLock();
        throw;
    }
    releaseAppendLock();
}

void TOT_Table::CancelRow() {
    try {
        if (t_ && t_->state() != engine::Table::State::Browse) t_->cancel();
    } catch (...) {
        releaseAppendLock();
        throw;
    }
    releaseAppendLock();
}

void TOT_Table::releaseAppendLock() {
    if (appendLocked_ && t_) t_->unlockAppend();
    appendLocked_ = false;
}

}  // namespace pulpex
