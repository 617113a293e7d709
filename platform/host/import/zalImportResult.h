#pragma once

#include <QString>
#include <QStringList>

// What an import brought into the database. message is one line naming the cause when ok is false.
struct zalImportResult
{
    bool ok = false;
    QString message;
    QString format; // "DXF", or the model format's extension ("gltf", "obj", ...)
    int entities = 0;
    int blocks = 0;
    int references = 0;
    int layers = 0;
    int materials = 0;
    int lights = 0;
    int skipped = 0;      // entities of kinds the database does not hold
    int deferred = 0;     // entities of custom classes not registered yet (read again once they are)
    QStringList warnings; // one line each, naming the entity
    // Time spent in the reader library's own parse (libdime's read of a DXF), for the benchmarks.
    double parseSeconds = 0.0;

    static zalImportResult failure(const QString& why)
    {
        zalImportResult result;
        result.message = why;
        return result;
    }
};
