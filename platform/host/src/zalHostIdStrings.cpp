#include "zalHostIdStrings.h"

#include "zalStrings.h"

#include "DbDatabase.h"
#include "DbObject.h"
#include "DbObjectId.h"
#include "RxClass.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <cstdio>

#include "DbDatabaseReactor.h"
#include "StaticRxObject.h"

class zalHostIdStrings::Watcher : public OdDbDatabaseReactor
{
public:
    explicit Watcher(zalHostIdStrings* owner) : m_owner(owner) {}
    void goodbye(const OdDbDatabase* db) override { m_owner->forgetDatabase(const_cast<OdDbDatabase*>(db)); }

private:
    zalHostIdStrings* m_owner;
};

zalHostIdStrings::zalHostIdStrings(QObject* parent)
    : QObject(parent), m_watcher(new OdStaticRxObject<Watcher>(this))
{
}

zalHostIdStrings::~zalHostIdStrings()
{
    for (auto it = m_tags.cbegin(); it != m_tags.cend(); ++it)
        it.key()->removeReactor(m_watcher);
    delete m_watcher;
}

QString zalHostIdStrings::databaseTag(OdDbDatabase* database) const
{
    if (!database) return QString();
    auto it = m_tags.constFind(database);
    if (it != m_tags.constEnd()) return *it;

    QString tag;
    const QString file = zalStrings::toQString(database->getFilename());
    if (!file.isEmpty()) {
        const QByteArray path = QFileInfo(file).absoluteFilePath().toUtf8();
        tag = QStringLiteral("D") +
              QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex().left(8));
    }
    // Two drawings opened from one file, or a drawing without a file, get a counted tag.
    if (tag.isEmpty() || m_databases.contains(tag)) tag = QStringLiteral("U%1").arg(database->tag());
    m_tags.insert(database, tag);
    m_databases.insert(tag, database);
    database->addReactor(m_watcher);
    return tag;
}

void zalHostIdStrings::forgetDatabase(OdDbDatabase* database)
{
    const QString tag = m_tags.take(database);
    if (tag.isEmpty()) return;
    m_databases.remove(tag);
    database->removeReactor(m_watcher);
}

QString zalHostIdStrings::objectToIdString(const OdDbObject* object) const
{
    if (!object) return QString();
    const OdDbObjectId id = object->objectId();
    if (id.isNull() || !object->database() || !object->isA()) return QString();
    // Asked for thousands of times per refresh: class names are converted once, the handle directly.
    const OdRxClass* type = object->isA();
    // The stored name is compared too: a class unregistered and another registered at its address
    // must not inherit its name.
    auto name = m_classNames.find(type);
    if (name == m_classNames.end() || name->first != type->name())
        name = m_classNames.insert(type, {type->name(), zalStrings::toQString(type->name())});
    const QString tag = databaseTag(object->database());
    // Upper-case hex without leading zeros, written here: a formatted print cost more than the rest.
    char hex[16];
    int digits = 0;
    for (OdUInt64 handle = OdUInt64(id.getHandle()); digits == 0 || handle != 0; handle >>= 4)
        hex[15 - digits++] = "0123456789ABCDEF"[handle & 0xF];
    QString result;
    result.reserve(tag.size() + name->second.size() + digits + 2);
    result += tag;
    result += QLatin1Char('_');
    result += name->second;
    result += QLatin1Char('_');
    result += QLatin1String(hex + 16 - digits, digits);
    return result;
}

QString zalHostIdStrings::objectIdToString(const OdDbObjectId& id) const
{
    if (id.isNull()) return QString();
    // Erased objects keep their names: the viewer still has to be told to drop them.
    OdDbObjectPtr object = id.openObject(OdDb::kForRead, true);
    return object.isNull() ? QString() : objectToIdString(object.get());
}

OdDbObjectId zalHostIdStrings::stringToObjectId(const QString& idString, OdDbDatabase* database) const
{
    const int first = idString.indexOf(QLatin1Char('_'));
    const int last = idString.lastIndexOf(QLatin1Char('_'));
    if (first <= 0 || last <= first + 1 || last == idString.size() - 1) return OdDbObjectId();
    const QString tag = idString.left(first);
    const QString className = idString.mid(first + 1, last - first - 1);
    bool ok = false;
    const qulonglong handle = idString.mid(last + 1).toULongLong(&ok, 16);
    if (!ok || handle == 0) return OdDbObjectId();

    OdDbDatabase* owner = m_databases.value(tag);
    if (!owner || (database && database != owner)) return OdDbObjectId();
    const OdDbObjectId id = owner->getOdDbObjectId(OdDbHandle(OdUInt64(handle)));
    if (id.isNull()) return OdDbObjectId();
    OdDbObjectPtr object = id.openObject(OdDb::kForRead, true);
    if (object.isNull() || !object->isA() || zalStrings::toQString(object->isA()->name()) != className)
        return OdDbObjectId();
    return id;
}
