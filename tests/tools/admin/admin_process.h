// pulpex-admin run as a subprocess over an installation in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace pulpex::test {

struct AdminOutcome {
    int code = -1;         // -1 when it did not end normally
    bool crashed = false;  // killed by a signal
    QString out, err;
};

// The environment of a run: settings under `home`/config, no App Paths file of the machine,
// and `extra` variables.
inline QProcessEnvironment AdminEnvironment(const QString& home, const QStringList& extra = {}) {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    e.remove(QStringLiteral("PULPEX_APP_PATHS"));
    for (const QString& kv : extra)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    return e;
}

inline AdminOutcome RunAdmin(const QStringList& args, const QString& home,
                             const QStringList& extra = {}) {
    QProcess p;
    p.setProcessEnvironment(AdminEnvironment(home, extra));
    p.setWorkingDirectory(home);
    p.start(QStringLiteral(PULPEX_ADMIN_BIN), args);
    AdminOutcome r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        ADD_FAILURE() << "pulpex-admin did not run: " << p.errorString().toStdString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.code = r.crashed ? -1 : p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace pulpex::test
