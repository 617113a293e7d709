// Table of named records. Names compare without regard to letter case.
#pragma once

#include "DbSymbolTableIterator.h"

#include <string>
#include <unordered_map>
#include <vector>

class ODKIT_EXPORT OdDbSymbolTable : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbSymbolTable);
    OdDbSymbolTable();
    ~OdDbSymbolTable() override;

    // Null pointer / id when absent or erased (unless getErasedRecord).
    OdDbSymbolTableRecordPtr getAt(const OdString& recordName, OdDb::OpenMode openMode,
                                   bool getErasedRecord = false) const;
    OdDbObjectId getAt(const OdString& recordName, bool getErasedRecord = false) const;
    bool has(const OdString& recordName) const;
    bool has(const OdDbObjectId& recordId) const;
    // Adds the record (table open for write) and appends it to the database when it is not
    // resident yet. OdError(eDuplicateKey) for a name already in the table, eInvalidInput for
    // an empty name or a record of the wrong class.
    virtual OdDbObjectId add(OdDbSymbolTableRecord* record);
    OdDbSymbolTableIteratorPtr newIterator(bool atBeginning = true, bool skipDeleted = true) const;
    OdUInt32 numEntries() const;

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    // The record class the table accepts.
    virtual OdRxClass* recordClass() const;

private:
    friend class OdDbObjectAccess;
    friend class OdDbSymbolTableRecord;
    // A record was renamed or the records were handed out for change: the name index is rebuilt on
    // the next look-up.
    void forgetNames() const { m_namesValid = false; }
    // One of the records changed its name.
    void renamed(const OdDbObjectId& id, const OdString& before, const OdString& after) const;
    const std::vector<OdDbObjectId>* recordsNamed(const OdString& recordName) const;

    OdDbObjectIdArray m_records;
    // Records by lower-case name, in the order of m_records, erased ones included, so a look-up by name
    // opens only the records of that name.
    mutable std::unordered_map<std::wstring, std::vector<OdDbObjectId>> m_names;
    mutable bool m_namesValid = false;
    // Position of each record in m_records while the index is valid, so a renamed record takes its place
    // among records of the same name.
    mutable std::unordered_map<OdUInt64, std::size_t> m_positions;
};
typedef OdSmartPtr<OdDbSymbolTable> OdDbSymbolTablePtr;
