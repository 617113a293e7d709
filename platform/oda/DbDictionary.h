// Maps names (compared without regard to letter case) to the objects it owns.
#pragma once

#include "DbDictionaryIterator.h"

class ODKIT_EXPORT OdDbDictionary : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDictionary);
    OdDbDictionary();
    ~OdDbDictionary() override;

    // Null when absent or erased (an erased entry stays and comes back when un-erased).
    OdDbObjectPtr getAt(const OdString& key, OdDb::OpenMode openMode) const;
    OdDbObjectId getAt(const OdString& key) const;
    bool has(const OdString& key) const;
    bool has(const OdDbObjectId& objectId) const;
    OdString nameAt(const OdDbObjectId& objectId) const;
    OdUInt32 numEntries() const;

    // Stores object under key (dictionary open for write) and appends it to the database when it
    // is not resident. An earlier object under that key is erased and replaced.
    OdDbObjectId setAt(const OdString& key, OdDbObject* object);
    // Removes the entry (the object stays, without owner); null id when absent.
    OdDbObjectId remove(const OdString& key);
    bool remove(const OdDbObjectId& objectId);
    bool setName(const OdString& oldName, const OdString& newName);
    OdDbDictionaryIteratorPtr newIterator() const;

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    struct Entry
    {
        OdString key;
        OdDbObjectId id;
        bool operator==(const Entry& e) const { return key == e.key && id == e.id; }
    };
    friend class OdDbObjectAccess;
    OdArray<Entry> m_entries;
};
typedef OdSmartPtr<OdDbDictionary> OdDbDictionaryPtr;
