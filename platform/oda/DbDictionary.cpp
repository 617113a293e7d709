#include "DbDictionary.h"

#include "DbDatabase.h"
#include "DbFiler.h"
#include "RxObjectImpl.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"

#include <utility>
#include <vector>

ODKIT_DB_DEFINE_MEMBERS(OdDbDictionary, OdDbObject, DBOBJECT_CONSTR, L"AcDbDictionary", L"DICTIONARY")
ODRX_NO_CONS_DEFINE_MEMBERS(OdDbDictionaryIterator, OdRxObject)

namespace {
class DictionaryIterator : public OdDbDictionaryIterator
{
public:
    void add(const OdString& name, const OdDbObjectId& id) { m_entries.emplace_back(name, id); }
    OdString name() const override { return done() ? OdString() : m_entries[m_pos].first; }
    OdDbObjectId objectId() const override { return done() ? OdDbObjectId() : m_entries[m_pos].second; }
    OdDbObjectPtr getObject(OdDb::OpenMode mode) override { return objectId().openObject(mode); }
    bool done() const override { return m_pos >= m_entries.size(); }
    bool next() override
    {
        if (!done()) ++m_pos;
        return !done();
    }

private:
    std::vector<std::pair<OdString, OdDbObjectId>> m_entries;
    size_t m_pos = 0;
};

bool live(const OdDbObjectId& id)
{
    return id.isValid() && !id.isErased();
}
} // namespace

OdDbDictionary::OdDbDictionary() = default;
OdDbDictionary::~OdDbDictionary() = default;

OdDbObjectId OdDbDictionary::getAt(const OdString& key) const
{
    assertReadEnabled();
    for (const Entry& e : m_entries)
        if (e.key.iCompare(key) == 0 && live(e.id)) return e.id;
    return OdDbObjectId();
}

OdDbObjectPtr OdDbDictionary::getAt(const OdString& key, OdDb::OpenMode openMode) const
{
    return getAt(key).openObject(openMode);
}

bool OdDbDictionary::has(const OdString& key) const
{
    return !getAt(key).isNull();
}

bool OdDbDictionary::has(const OdDbObjectId& objectId) const
{
    assertReadEnabled();
    for (const Entry& e : m_entries)
        if (e.id == objectId && live(e.id)) return true;
    return false;
}

OdString OdDbDictionary::nameAt(const OdDbObjectId& objectId) const
{
    assertReadEnabled();
    for (const Entry& e : m_entries)
        if (e.id == objectId) return e.key;
    return OdString();
}

OdUInt32 OdDbDictionary::numEntries() const
{
    assertReadEnabled();
    OdUInt32 n = 0;
    for (const Entry& e : m_entries)
        if (live(e.id)) ++n;
    return n;
}

OdDbObjectId OdDbDictionary::setAt(const OdString& key, OdDbObject* object)
{
    assertWriteEnabled(false, false);
    if (!object) throw OdError(eNullObjectPointer);
    if (key.isEmpty()) throw OdError(eInvalidInput, L"A dictionary key must not be empty");
    OdDbDatabase* db = database();
    OdDbObjectId id;
    if (object->isDBRO()) {
        if (object->database() != db) throw OdError(eWrongDatabase);
        OdDbObjectAccess::setOwner(object, objectId());
        id = object->objectId();
    } else {
        if (!db) throw OdError(eNotInDatabase);
        id = OdDbObjectAccess::add(db, object, objectId(), OdDbHandle());
    }
    for (OdUInt32 i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].key.iCompare(key) != 0) continue;
        OdDbObjectId old = m_entries[i].id;
        m_entries[i].id = id;
        if (old != id && live(old)) {
            // The replaced object is erased, as the entry that owned it is gone.
            OdDbObjectPtr previous = old.openObject(OdDb::kForWrite);
            if (!previous.isNull()) previous->erase(true);
        }
        return id;
    }
    m_entries.append(Entry{key, id});
    return id;
}

OdDbObjectId OdDbDictionary::remove(const OdString& key)
{
    assertWriteEnabled(false, false);
    for (OdUInt32 i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].key.iCompare(key) == 0) {
            OdDbObjectId id = m_entries[i].id;
            m_entries.removeAt(i);
            if (OdDbObject* obj = OdDbObjectAccess::object(id))
                OdDbObjectAccess::setOwner(obj, OdDbObjectId());
            return id;
        }
    return OdDbObjectId();
}

bool OdDbDictionary::remove(const OdDbObjectId& objectId)
{
    OdString key = nameAt(objectId);
    return !key.isEmpty() && !remove(key).isNull();
}

bool OdDbDictionary::setName(const OdString& oldName, const OdString& newName)
{
    assertWriteEnabled(false, false);
    if (newName.isEmpty() || (oldName.iCompare(newName) != 0 && has(newName))) return false;
    for (OdUInt32 i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].key.iCompare(oldName) == 0) {
            m_entries[i].key = newName;
            return true;
        }
    return false;
}

OdDbDictionaryIteratorPtr OdDbDictionary::newIterator() const
{
    assertReadEnabled();
    OdSmartPtr<DictionaryIterator> it = OdRxObjectImpl<DictionaryIterator>::createObject();
    for (const Entry& e : m_entries)
        if (live(e.id)) it->add(e.key, e.id);
    return OdDbDictionaryIteratorPtr(it.get());
}

OdResult OdDbDictionary::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res != eOk) return res;
    OdInt32 n = filer->rdInt32();
    if (n < 0) return eInvalidInput;
    m_entries.clear();
    for (OdInt32 i = 0; i < n; ++i) {
        OdString key = filer->rdString();
        OdDbObjectId id = filer->rdHardOwnershipId();
        m_entries.append(Entry{key, id});
    }
    return eOk;
}

void OdDbDictionary::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrInt32(OdInt32(m_entries.size()));
    for (const Entry& e : m_entries) {
        filer->wrString(e.key);
        filer->wrHardOwnershipId(e.id);
    }
}
