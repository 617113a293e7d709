#pragma once

// Runs the built host executable (ZAL_BIN_DIR/zalhost) to its end, for tests of the whole program.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

struct zalHostOutcome
{
    int code = -1; // exit code; -2 when it crashed, -1 when it had to be killed
    QString out, err;
};

// A host that outlives the test's own time-out is killed and reported in err.
inline zalHostOutcome runZalhost(const QStringList& args)
{
    QProcess p;
    p.start(QDir(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"))).filePath(QStringLiteral("zalhost")), args);
    zalHostOutcome r;
    if (!p.waitForFinished(280000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("still running after 280 s");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}
