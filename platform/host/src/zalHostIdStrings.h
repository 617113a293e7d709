#pragma once

#include "OdString.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>

class OdDbDatabase;
class OdDbObject;
class OdDbObjectId;
class OdRxClass;

// Id strings "<database tag>_<class name>_<hexadecimal handle>" and the database tags behind them.
// A drawing with a file is tagged from its path, so its id strings (and the scene files named after
// them) stay the same from one session to the next; a drawing without a file gets "U<n>". A tagged
// database is watched, so its tag goes with it when it is destroyed.
class zalHostIdStrings : public QObject
{
    Q_OBJECT
public:
    explicit zalHostIdStrings(QObject* parent = nullptr);
    ~zalHostIdStrings() override;

    QString objectToIdString(const OdDbObject* object) const;
    QString objectIdToString(const OdDbObjectId& id) const;
    OdDbObjectId stringToObjectId(const QString& idString, OdDbDatabase* database) const;

    // The tag of db, given on first sight and kept until the database is forgotten. Empty for null.
    QString databaseTag(OdDbDatabase* database) const;
    OdDbDatabase* database(const QString& tag) const { return m_databases.value(tag); }
    // Called when the host lets a database go; its id strings resolve to nothing afterwards.
    void forgetDatabase(OdDbDatabase* database);

private:
    class Watcher;

    Watcher* m_watcher;
    mutable QHash<OdDbDatabase*, QString> m_tags;
    mutable QHash<QString, OdDbDatabase*> m_databases;
    mutable QHash<const OdRxClass*, QPair<OdString, QString>> m_classNames;
};
