#pragma once

// The viewer processes this test process started and that have not ended.

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <unistd.h>

// Children of this process whose command line names the viewer; ended ones (zombies) left out.
inline QList<pid_t> zalViewerChildren()
{
    QList<pid_t> pids;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number) continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromLocal8Bit(stat.readAll());
        // "pid (comm) state ppid ...": comm may hold blanks, so read after its closing bracket.
        const QStringList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields.at(1).toInt() != int(getpid()) || fields.at(0) == "Z") continue;
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("zalViewer")) pids << pid;
    }
    return pids;
}
