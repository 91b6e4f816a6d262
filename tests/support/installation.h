// A full installation in a temporary directory: the system object with the whole catalogue,
// prompts answered by a script, and the steps tests share (adding and logging in users).
#pragma once

#include <memory>

#include "core/pulpex_system.h"
#include "support/testenv.h"
#include "tables/globals.h"
#include "tables/users.h"

namespace pulpex::test {

// A new installation with the whole catalogue; nobody logged in.
class TestInstallation {
  public:
    TestInstallation() {
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.dir.path();
        ok = sys->CheckTables();
    }
    // Adds a user with a password.
    TRec_Users addUser(const QString& name, const QString& password, bool admin = false) {
        TRec_Users u;
        u.FNAME = name;
        u.USER_ISA = admin;
        TblUsers->SetPassword(u, password);
        TblUsers->AddNewUser(u);
        return u;
    }
    // Makes the user of `id` the logged-in one.
    void logIn(int id) { TblUsers->ReadRecordByID(id, sys->CurrentUser()); }
    TRec_Users read(int id) {
        TRec_Users u;
        TblUsers->ReadRecordByID(id, u);
        return u;
    }

    TestSystem env{false};
    std::unique_ptr<TPulpex_System> sys;
    bool ok = false;
};

}  // namespace pulpex::test
