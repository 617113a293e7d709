// Shared by the fuzz targets and their replay: a scratch folder for inputs that must be files,
// and the Qt application object some readers expect.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace zalFuzz {

inline QCoreApplication* application()
{
    static int argc = 1;
    static char name[] = "zalfuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    return QCoreApplication::instance();
}

inline const QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// Writes the input to a file of the scratch folder with the given name; the path, or empty.
inline QString writeFile(const QString& name, const std::uint8_t* data, std::size_t size)
{
    const QString path = scratch().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QString();
    if (size) file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

} // namespace zalFuzz
