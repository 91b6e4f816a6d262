// A system object over a fresh installation directory in a temporary directory, with prompts
// answered by a script. Table objects made while it lives find their files in its DataDir.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "core/prompts.h"
#include "core/system.h"
#include "tables/engine/table.h"

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

// Sets a global table reference for one test and clears it afterwards.
template <class T>
class GlobalRef {
  public:
    GlobalRef(T*& ref, T* value) : ref_(ref) { ref_ = value; }
    ~GlobalRef() { ref_ = nullptr; }
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;

  private:
    T*& ref_;
};

// Each field of the file as NAME:<type letter><size>, in order; then the tags.
inline std::string layout(engine::Table& t) {
    std::string s;
    for (const auto& f : t.fields())
        s += f.name + ':' + f.dbfType + std::to_string(f.size) + ' ';
    s += '|';
    for (const auto& tag : t.tags())
        s += ' ' + tag.name + '(' + tag.key + ')';
    return s;
}

}  // namespace pulpex::test
