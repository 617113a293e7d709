#pragma once

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbEntity.h"
#include "DbObjectIterator.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>

// Helpers the import tests share: files written into temporary folders, an independent DXF writer
// (python3-ezdxf) run as a process, and walks over what the import made.
namespace zalImportTest {

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a python3 script with ezdxf; false (with the output in log) when it fails.
inline bool runPython(const QString& script, const QStringList& args, QString* log = nullptr)
{
    QProcess p;
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStringLiteral("python3");
    p.start(python, QStringList{script} + args);
    if (!p.waitForFinished(120000)) return false;
    if (log) *log = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Entities of a block (model space by default), in order.
inline void forEachEntity(const OdDbObjectId& blockId, const std::function<void(OdDbEntity*)>& visit)
{
    OdDbBlockTableRecordPtr block = blockId.safeOpenObject();
    for (OdDbObjectIteratorPtr it = block->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        if (!e.isNull()) visit(e.get());
    }
}

// Number of entities per class name ("AcDbFace", ...).
inline std::map<std::string, int> countByClass(const OdDbObjectId& blockId)
{
    std::map<std::string, int> counts;
    forEachEntity(blockId, [&](OdDbEntity* e) {
        const OdString name = e->isA()->name();
        ++counts[std::string(QString::fromWCharArray(name.c_str()).toUtf8().constData())];
    });
    return counts;
}

} // namespace zalImportTest
