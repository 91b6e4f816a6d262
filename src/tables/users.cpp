#include "tables/users.h"

#include <optional>

#include "tables/fieldio.h"
#include "tables/password.h"

namespace pulpex {

namespace {

const QString kID = QStringLiteral("ID");
const QString kFNAME = QStringLiteral("FNAME");
const QString kUSER_ISA = QStringLiteral("USER_ISA");
const QString kPRSN_PSW = QStringLiteral("PRSN_PSW");
const QString kPRSN_HSH = QStringLiteral("PRSN_HSH");

// A file of the old program that the start-up could not restructure yet (another workstation
// held it) has no hash field: its users go on by the old value alone.
bool hasHashField(engine::Table& t) {
    return t.fieldIndex(u8(kPRSN_HSH)) >= 0;
}

}  // namespace

// ---------------------------------------------------------------- TRec_Users

void TRec_Users::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, kID, ID);
    setFieldString(t, kFNAME, FNAME);
    setFieldInt(t, kPRSN_PSW, PRSN_PSW);
    setFieldBool(t, kUSER_ISA, USER_ISA);
    if (hasHashField(t)) setFieldString(t, kPRSN_HSH, PasswordHashField(PRSN_PSW, PRSN_HSH));
    TOT_Record::StoreFields(table);
}

void TRec_Users::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, kID);
    FNAME = fieldString(t, kFNAME);
    PRSN_PSW = fieldInt(t, kPRSN_PSW);
    USER_ISA = fieldBool(t, kUSER_ISA);
    const QString field = hasHashField(t) ? fieldString(t, kPRSN_HSH) : QString();
    // A hash made for another old value is stale: an old client changed the password since,
    // and the old value decides until the next log-in writes a new hash.
    PRSN_HSH = PasswordHashFromField(PRSN_PSW, field);
    hashStamped = PasswordHashFieldStamped(field);
    TOT_Record::LoadFields(table);
}

// ---------------------------------------------------------------- TTbl_USERS

TTbl_USERS::TTbl_USERS() : TOT_Table(QStringLiteral("USERS")) {
    IDIndexName = QStringLiteral("USRS_ID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {{kID, TFieldType::Integer},
         {kFNAME, TFieldType::String, 25},
         {kUSER_ISA, TFieldType::Boolean},
         {kPRSN_PSW, TFieldType::Integer},
         {kPRSN_HSH, TFieldType::String, kPasswordHashFieldSize}},
        {{QStringLiteral("USRS_ID"), kID, {}, ixPrimary}, {kFNAME, kFNAME, {}, ixUnique}});
}

bool TTbl_USERS::CreateTableSelf() {
    if (!TOT_Table::CreateTableSelf()) return false;
    TRec_Users admin;
    admin.FNAME = QStringLiteral("ADMINISTRATOR");
    admin.USER_ISA = true;
    admin.PRSN_PSW = PasswordValue(QString());
    admin.PRSN_HSH = PasswordHash(QString());
    AddNewUser(admin);
    return true;
}

void TTbl_USERS::CheckTableStruct(bool rebuild) {
    // Without its index file the table would open with no tags, and the log-in could not find
    // anybody by identifier.
    if (!rebuild && TableFileExists() && !IndexFileExists()) rebuild = true;
    TOT_Table::CheckTableStruct(rebuild);
}

void TTbl_USERS::AddNewUser(TRec_Users& record) {
    OpenForCall open(*this);
    record.Stamp(0);
    int id = 0;
    OT_AddNew(id, record);
    record.ID = id;
}

void TTbl_USERS::GetUserName_Silent(int id, QString& name) {
    name.clear();
    if (id == 0) return;
    try {
        // A cursor of its own: the shared object's row and state stay as they are.
        engine::Table::OpenOptions o;
        o.readOnly = true;
        auto t = engine::Table::open(u8(TableFileName()), o);
        t->setIndex(u8(IDIndexName));
        if (t->findKey(engine::Value{std::int64_t{id}})) name = fieldString(*t, kFNAME);
    } catch (const EDatabaseError&) {
        name.clear();
    }
}

int TTbl_USERS::OtherAdministrators(int exceptId) {
    engine::Table::OpenOptions o;
    o.readOnly = true;
    auto t = engine::Table::open(u8(TableFileName()), o);
    int n = 0;
    for (t->first(); !t->eof(); t->next())
        if (fieldInt(*t, QStringLiteral("ID")) != exceptId && fieldBool(*t, kUSER_ISA)) ++n;
    return n;
}

bool TTbl_USERS::CheckPassword(TRec_Users& user, const QString& typed) {
    if (!PasswordMatches(user.PRSN_PSW, user.PRSN_HSH, typed)) return false;
    const bool hashed = !user.PRSN_HSH.trimmed().isEmpty();
    if (user.ID == 0 || (hashed && user.hashStamped && !PasswordHashNeedsRehash(user.PRSN_HSH)))
        return true;

    // Matched by the old value (or by a hash of weaker limits, or one stored without its old
    // value): the row gets today's hash, so that from now on an anagram of the password no
    // longer opens the account. The log-in succeeds whether or not the write does; it is tried
    // again next time.
    const QString hash = hashed && !PasswordHashNeedsRehash(user.PRSN_HSH) ? user.PRSN_HSH.trimmed()
                                                                           : PasswordHash(typed);
    if (hash.isEmpty()) return true;
    try {
        OpenForCall open(*this);
        engine::Table& t = T();
        if (!hasHashField(t)) return true;
        if (t.state() != engine::Table::State::Browse) return true;  // someone's edit is pending
        const std::string index = t.currentIndex();
        std::optional<engine::Bookmark> mark;
        if (HasRow()) mark = t.bookmark();
        if (LocateID(user.ID)) {
            t.edit();  // takes the lock and reads the row again
            // Written only over the password that was checked: a change made meanwhile by
            // someone else stays.
            if (fieldInt(t, kPRSN_PSW) == user.PRSN_PSW &&
                PasswordHashFromField(user.PRSN_PSW, fieldString(t, kPRSN_HSH)) ==
                    user.PRSN_HSH.trimmed()) {
                setFieldString(t, kPRSN_HSH, PasswordHashField(user.PRSN_PSW, hash));
                PostRow();
                user.PRSN_HSH = hash;
                user.hashStamped = true;
            } else {
                CancelRow();
            }
        }
        t.setIndex(index);
        if (mark) t.gotoBookmark(*mark);
    } catch (const EDatabaseError&) {
        try {
            CancelRow();
        } catch (const EDatabaseError&) {
        }
    }
    return true;
}

void TTbl_USERS::SetPassword(TRec_Users& user, const QString& password) {
    const QString hash = PasswordHash(password);
    user.PRSN_PSW = PasswordValue(password);
    user.PRSN_HSH = hash;
    user.hashStamped = true;
    if (user.ID == 0) return;  // a new user: stored with the record

    OpenForCall open(*this);
    engine::Table& t = T();
    if (t.state() != engine::Table::State::Browse) {
        // The user's row is being edited (the user editor locked it): the values go into that
        // edit and are posted with it.
        if (fieldInt(t, kID) == user.ID) {
            setFieldInt(t, kPRSN_PSW, user.PRSN_PSW);
            if (hasHashField(t))
                setFieldString(t, kPRSN_HSH, PasswordHashField(user.PRSN_PSW, hash));
        }
        return;
    }
    if (!LocateID(user.ID)) return;
    t.edit();
    try {
        setFieldInt(t, kPRSN_PSW, user.PRSN_PSW);
        if (hasHashField(t)) setFieldString(t, kPRSN_HSH, PasswordHashField(user.PRSN_PSW, hash));
        PostRow();
    } catch (...) {
        CancelRow();
        throw;
    }
}

}  // namespace pulpex
