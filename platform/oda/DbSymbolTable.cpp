#include "DbSymbolTable.h"

#include "DbDatabase.h"
#include "DbFiler.h"
#include "RxObjectImpl.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"

#include <algorithm>
#include <cwctype>

ODKIT_DB_DEFINE_MEMBERS(OdDbSymbolTable, OdDbObject, NO_CONSTR, L"AcDbSymbolTable", L"")
ODRX_NO_CONS_DEFINE_MEMBERS(OdDbSymbolTableIterator, OdRxObject)

namespace {
class SymbolTableIterator : public OdDbSymbolTableIterator
{
public:
    void init(const OdDbObjectIdArray& ids, bool atBeginning, bool skipDeleted)
    {
        m_ids = ids;
        start(atBeginning, skipDeleted);
    }
    void start(bool atBeginning, bool skipDeleted) override
    {
        m_pos = atBeginning ? 0 : int(m_ids.size()) - 1;
        skip(atBeginning, skipDeleted);
    }
    bool done() const override { return m_pos < 0 || m_pos >= int(m_ids.size()); }
    void step(bool forward, bool skipDeleted) override
    {
        if (done()) return;
        m_pos += forward ? 1 : -1;
        skip(forward, skipDeleted);
    }
    OdDbObjectId getRecordId() const override { return done() ? OdDbObjectId() : m_ids[OdUInt32(m_pos)]; }
    OdDbSymbolTableRecordPtr getRecord(OdDb::OpenMode mode, bool openErased) const override
    {
        return OdDbSymbolTableRecordPtr(getRecordId().openObject(mode, openErased));
    }
    void seek(const OdDbObjectId& id) override
    {
        OdDbObjectIdArray::size_type i;
        if (m_ids.find(id, i))
            m_pos = int(i);
        else
            m_pos = int(m_ids.size());
    }

private:
    void skip(bool forward, bool skipDeleted)
    {
        while (!done() &&
               (!m_ids[OdUInt32(m_pos)].isValid() || (skipDeleted && m_ids[OdUInt32(m_pos)].isErased())))
            m_pos += forward ? 1 : -1;
    }
    OdDbObjectIdArray m_ids;
    int m_pos = 0;
};
} // namespace

OdDbSymbolTable::OdDbSymbolTable() = default;
OdDbSymbolTable::~OdDbSymbolTable() = default;

namespace {
OdUInt64 positionKey(const OdDbObjectId& id)
{
    return reinterpret_cast<OdUInt64>(static_cast<OdDbStub*>(id));
}

// The same folding as OdString::iCompare, so equal keys are names that compare equal.
std::wstring foldedName(const OdString& name)
{
    std::wstring key;
    for (const OdChar* p = name.c_str(); *p; ++p)
        key.push_back(wchar_t(std::towlower(wint_t(*p))));
    return key;
}
} // namespace

void OdDbSymbolTable::renamed(const OdDbObjectId& id, const OdString& before, const OdString& after) const
{
    if (!m_namesValid) return;
    const std::wstring from = foldedName(before), to = foldedName(after);
    if (from == to) return;
    const auto position = m_positions.find(positionKey(id));
    if (position == m_positions.end()) {
        m_namesValid = false;
        return;
    }
    auto old = m_names.find(from);
    if (old != m_names.end()) {
        old->second.erase(std::remove(old->second.begin(), old->second.end(), id), old->second.end());
        if (old->second.empty()) m_names.erase(old);
    }
    std::vector<OdDbObjectId>& list = m_names[to];
    auto at = std::find_if(list.begin(), list.end(), [&](const OdDbObjectId& other) {
        const auto p = m_positions.find(positionKey(other));
        return p != m_positions.end() && p->second > position->second;
    });
    list.insert(at, id);
}

const std::vector<OdDbObjectId>* OdDbSymbolTable::recordsNamed(const OdString& recordName) const
{
    if (!m_namesValid) {
        m_names.clear();
        m_positions.clear();
        for (const OdDbObjectId& id : m_records) {
            m_positions[positionKey(id)] = m_positions.size();
            if (!OdDbObjectAccess::object(id)) continue;
            OdDbSymbolTableRecordPtr record = id.openObject(OdDb::kForRead, true);
            if (!record.isNull()) m_names[foldedName(record->getName())].push_back(id);
        }
        m_namesValid = true;
    }
    auto it = m_names.find(foldedName(recordName));
    return it == m_names.end() ? nullptr : &it->second;
}

OdDbObjectId OdDbSymbolTable::getAt(const OdString& recordName, bool getErasedRecord) const
{
    assertReadEnabled();
    const std::vector<OdDbObjectId>* named = recordsNamed(recordName);
    if (!named) return OdDbObjectId();
    for (const OdDbObjectId& id : *named) {
        OdDbObject* obj = OdDbObjectAccess::object(id);
        if (!obj || (obj->isErased() && !getErasedRecord)) continue;
        return id;
    }
    return OdDbObjectId();
}

OdDbSymbolTableRecordPtr OdDbSymbolTable::getAt(const OdString& recordName, OdDb::OpenMode openMode,
                                                bool getErasedRecord) const
{
    OdDbObjectId id = getAt(recordName, getErasedRecord);
    return OdDbSymbolTableRecordPtr(id.openObject(openMode, getErasedRecord));
}

bool OdDbSymbolTable::has(const OdString& recordName) const
{
    return !getAt(recordName).isNull();
}

bool OdDbSymbolTable::has(const OdDbObjectId& recordId) const
{
    assertReadEnabled();
    return m_records.contains(recordId) && recordId.isValid() && !recordId.isErased();
}

OdDbObjectId OdDbSymbolTable::add(OdDbSymbolTableRecord* record)
{
    assertWriteEnabled(false, false);
    if (!record) throw OdError(eNullObjectPointer);
    OdRxClass* wanted = recordClass();
    if (wanted && !record->isKindOf(wanted)) throw OdError_NotThatKindOfClass(record->isA(), wanted);
    OdString name = record->getName();
    if (name.isEmpty()) throw OdError(eInvalidInput, L"A table record needs a name");
    if (has(name)) throw OdError(eDuplicateKey, OdString(L"Duplicate record name ") + name);
    OdDbObjectId id;
    if (record->isDBRO()) {
        if (record->database() != database()) throw OdError(eWrongDatabase);
        OdDbObjectAccess::setOwner(record, objectId());
        id = record->objectId();
    } else {
        if (!database()) throw OdError(eNotInDatabase);
        id = OdDbObjectAccess::add(database(), record, objectId(), OdDbHandle());
    }
    m_records.append(id);
    if (m_namesValid) {
        m_positions[positionKey(id)] = m_records.size() - 1;
        m_names[foldedName(name)].push_back(id);
    }
    return id;
}

OdDbSymbolTableIteratorPtr OdDbSymbolTable::newIterator(bool atBeginning, bool skipDeleted) const
{
    assertReadEnabled();
    OdSmartPtr<SymbolTableIterator> it = OdRxObjectImpl<SymbolTableIterator>::createObject();
    it->init(m_records, atBeginning, skipDeleted);
    return OdDbSymbolTableIteratorPtr(it.get());
}

OdUInt32 OdDbSymbolTable::numEntries() const
{
    assertReadEnabled();
    OdUInt32 n = 0;
    for (const OdDbObjectId& id : m_records)
        if (id.isValid() && !id.isErased()) ++n;
    return n;
}

OdRxClass* OdDbSymbolTable::recordClass() const
{
    return OdDbSymbolTableRecord::desc();
}

OdResult OdDbSymbolTable::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res != eOk) return res;
    OdInt32 n = filer->rdInt32();
    if (n < 0) return eInvalidInput;
    m_records.clear();
    forgetNames();
    for (OdInt32 i = 0; i < n; ++i)
        m_records.append(filer->rdSoftOwnershipId());
    return eOk;
}

void OdDbSymbolTable::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrInt32(OdInt32(m_records.size()));
    for (const OdDbObjectId& id : m_records)
        filer->wrSoftOwnershipId(id);
}
