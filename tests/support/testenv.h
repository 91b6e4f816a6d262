// A system object over a fresh installation directory in a temporary directory, with prompts
// answered by a script. Table objects made while it lives find their files in its DataDir.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "core/prompts.h"
#include "core/system.h"

namespace pulpex::test {

class TestSystem {
  public:
    // `withSystem` false: only the directory (for code that makes its own system object).
    explicit TestSystem(bool withSystem = true) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
        QDir().mkpath(mainDir() + QStringLiteral("BASES"));
        if (withSystem) sys = std::make_unique<TAM_System>(mainDir());
    }
    QString mainDir() const { return dir.path() + QStringLiteral("/pulpex/"); }
    QString dataDir() const { return mainDir() + QStringLiteral("BASES/"); }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TAM_System> sys;
};

}  // namespace pulpex::test
