// The users table (who may log in), its record, and the diagnostics log.
#pragma once

#include <QDateTime>
#include <QString>

#include "tables/tbase.h"

namespace pulpex {

constexpr int kEmptyPasswordValue = 6150427;

class TRec_Users : public TOT_Record {
  public:
    int ID = 0;  // 0 = no user
    QString FNAME;
    int PRSN_PSW = kEmptyPasswordValue;  // the old password value, kept for old clients
    bool USER_ISA = false;
    QString PRSN_HSH;  // salted Argon2id hash; when set, it alone decides
    // Whether the stored hash field keeps the old value it was made with (see
    // PasswordHashField); one without it is rewritten at the next log-in.
    bool hashStamped = false;

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

// USERS: who may log in. First in the catalogue.
class TTbl_USERS : public TOT_Table {
  public:
    TTbl_USERS();

    // The base creation, then the user "ADMINISTRATOR" (administrator, empty password).
    bool CreateTableSelf() override;
    // Rebuilds the tags also when the ".mdx" file is missing.
    void CheckTableStruct(bool rebuild) override;

    // Appends the user under the next identifier (written back into record.ID).
    void AddNewUser(TRec_Users& record);
    // The user's name read through a temporary cursor (the shared position is untouched);
    // empty when not found.
    void GetUserName_Silent(int id, QString& name);
    bool DeleteUser(int id) { return DeleteByID(id); }
    // How many users other than `exceptId` are administrators (a cursor of its own).
    int OtherAdministrators(int exceptId);
    // Whether `typed` is the user's password: the hash decides when it is set, else the old
    // value; a user who matched by the old value gets the hash written (and the old value kept).
    bool CheckPassword(TRec_Users& user, const QString& typed);
    // Sets a new password: both the old value and the hash, in the record and, for a stored
    // user, in the row at once (joining an edit of that row in progress, else locking and
    // posting it; a row locked elsewhere raises EDatabaseError). A new user (ID 0) gets them
    // with AddNewUser.
    void SetPassword(TRec_Users& user, const QString& password);
};

}  // namespace pulpex
