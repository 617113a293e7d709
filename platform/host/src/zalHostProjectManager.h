#pragma once

#include "IzalProjectManager.h"

#include <QObject>
#include <functional>

// Project folders on disk: "<drawing base name>_project" next to the drawing file, one subfolder per
// kind; a drawing without a file gets "<temporary root>/<database tag>" instead.
class zalHostProjectManager : public QObject, public IzalProjectManager
{
    Q_OBJECT
    Q_INTERFACES(IzalProjectManager)
public:
    // databaseTag names a drawing without a file (the application's id-string tag).
    zalHostProjectManager(const QString& temporaryRoot, std::function<QString(OdDbDatabase*)> databaseTag,
                          QObject* parent = nullptr);

    QString projectFolder(int kind, OdDbDatabase* database, bool create) override;
    QString absolutePath(const OdString& relativePath, int kind, OdDbDatabase* database) override;

    QString absolutePath(const QString& relativePath, int kind, OdDbDatabase* database);
    QString temporaryRoot() const { return m_temporaryRoot; }
    void setTemporaryRoot(const QString& folder) { m_temporaryRoot = folder; }
    // Subfolder name of a kind; empty for kinds the host does not know.
    static QString kindFolder(int kind, bool* known = nullptr);

private:
    QString projectRoot(OdDbDatabase* database) const;

    QString m_temporaryRoot;
    std::function<QString(OdDbDatabase*)> m_databaseTag;
};
