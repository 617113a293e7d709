#include "zalHostProjectManager.h"

#include "zalStrings.h"

#include "DbDatabase.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

zalHostProjectManager::zalHostProjectManager(const QString& temporaryRoot,
                                             std::function<QString(OdDbDatabase*)> databaseTag,
                                             QObject* parent)
    : QObject(parent), m_temporaryRoot(temporaryRoot), m_databaseTag(std::move(databaseTag))
{
}

QString zalHostProjectManager::kindFolder(int kind, bool* known)
{
    if (known) *known = true;
    switch (kind) {
    case kProjectRoot:
        return QString();
    case kRemoteRender:
        return QStringLiteral("RemoteRender");
    case kScenes:
        return QStringLiteral("Scenes");
    default:
        if (known) *known = false;
        return QString();
    }
}

QString zalHostProjectManager::projectRoot(OdDbDatabase* database) const
{
    const QString file = zalStrings::toQString(database->getFilename());
    if (!file.isEmpty()) {
        const QFileInfo info(file);
        return info.absoluteDir().absoluteFilePath(info.completeBaseName() + QStringLiteral("_project"));
    }
    const QString tag = m_databaseTag ? m_databaseTag(database) : QString();
    if (m_temporaryRoot.isEmpty() || tag.isEmpty()) return QString();
    return QDir(m_temporaryRoot).absoluteFilePath(tag);
}

QString zalHostProjectManager::projectFolder(int kind, OdDbDatabase* database, bool create)
{
    bool known = false;
    const QString sub = kindFolder(kind, &known);
    if (!database || !known) return QString();
    const QString root = projectRoot(database);
    if (root.isEmpty()) return QString();
    const QString folder = sub.isEmpty() ? root : root + QLatin1Char('/') + sub;
    if (create && !QDir().mkpath(folder)) {
        qWarning() << "zalhost: cannot create the project folder" << folder;
        return QString();
    }
    return QDir::cleanPath(folder);
}

QString zalHostProjectManager::absolutePath(const OdString& relativePath, int kind, OdDbDatabase* database)
{
    return absolutePath(zalStrings::toQString(relativePath), kind, database);
}

QString zalHostProjectManager::absolutePath(const QString& relativePath, int kind, OdDbDatabase* database)
{
    if (relativePath.isEmpty() || QDir::isAbsolutePath(relativePath)) return QString();
    const QString folder = projectFolder(kind, database, true);
    if (folder.isEmpty()) return QString();
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + relativePath);
    if (!path.startsWith(folder + QLatin1Char('/'))) {
        qWarning() << "zalhost:" << relativePath << "leaves the project folder";
        return QString();
    }
    return path;
}
