#include "RxDictionary.h"

#include "RxObjectImpl.h"

#include <mutex>
#include <vector>

ODRX_NO_CONS_DEFINE_MEMBERS(OdRxIterator, OdRxObject)
ODRX_NO_CONS_DEFINE_MEMBERS(OdRxDictionaryIterator, OdRxIterator)
ODRX_DEFINE_MEMBERS(OdRxDictionary, OdRxObject)

namespace {
struct Entry
{
    OdString key;
    OdRxObjectPtr object;
    OdUInt32 id;
};

class DictionaryIterator : public OdRxDictionaryIterator
{
public:
    void init(std::vector<Entry> entries) { m_entries = std::move(entries); }
    bool done() const override { return m_pos >= m_entries.size(); }
    bool next() override
    {
        if (m_pos < m_entries.size()) ++m_pos;
        return !done();
    }
    OdRxObjectPtr object() const override { return done() ? OdRxObjectPtr() : m_entries[m_pos].object; }
    OdString getKey() const override { return done() ? OdString() : m_entries[m_pos].key; }
    OdUInt32 id() const override { return done() ? 0 : m_entries[m_pos].id; }

private:
    std::vector<Entry> m_entries;
    size_t m_pos = 0;
};
} // namespace

struct OdRxDictionary::Impl
{
    mutable std::mutex mutex;
    std::vector<Entry> entries;
    OdUInt32 nextId = 0;

    std::vector<Entry>::iterator find(const OdString& key)
    {
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (it->key == key) return it;
        return entries.end();
    }
};

OdRxDictionary::OdRxDictionary() : m_impl(new Impl) {}

OdRxDictionary::~OdRxDictionary()
{
    delete m_impl;
}

OdRxObjectPtr OdRxDictionary::getAt(const OdString& key) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto it = m_impl->find(key);
    return it == m_impl->entries.end() ? OdRxObjectPtr() : it->object;
}

OdRxObjectPtr OdRxDictionary::getAt(OdUInt32 id) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (const Entry& e : m_impl->entries)
        if (e.id == id) return e.object;
    return OdRxObjectPtr();
}

OdRxObjectPtr OdRxDictionary::putAt(const OdString& key, OdRxObject* object, OdUInt32* id)
{
    OdRxObjectPtr previous;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        auto it = m_impl->find(key);
        if (it != m_impl->entries.end()) {
            previous = it->object;
            it->object = object;
            if (id) *id = it->id;
        } else {
            m_impl->entries.push_back({key, OdRxObjectPtr(object), m_impl->nextId});
            if (id) *id = m_impl->nextId;
            ++m_impl->nextId;
        }
    }
    return previous; // released outside the lock
}

OdRxObjectPtr OdRxDictionary::remove(const OdString& key)
{
    OdRxObjectPtr previous;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        auto it = m_impl->find(key);
        if (it == m_impl->entries.end()) return OdRxObjectPtr();
        previous = it->object;
        m_impl->entries.erase(it);
    }
    return previous;
}

bool OdRxDictionary::has(const OdString& key) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->find(key) != m_impl->entries.end();
}

OdUInt32 OdRxDictionary::numEntries() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return OdUInt32(m_impl->entries.size());
}

OdRxDictionaryIteratorPtr OdRxDictionary::newIterator() const
{
    std::vector<Entry> copy;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        copy = m_impl->entries;
    }
    OdSmartPtr<DictionaryIterator> it = OdRxObjectImpl<DictionaryIterator>::createObject();
    it->init(std::move(copy));
    return OdRxDictionaryIteratorPtr(it.get());
}

OdArray<OdString> OdRxDictionary::keys() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    OdArray<OdString> result;
    for (const Entry& e : m_impl->entries)
        result.append(e.key);
    return result;
}

// Both live for the whole process (never destroyed, so no exit-order problems).
OdRxDictionaryPtr odrxSysRegistry()
{
    static OdRxDictionary* registry = new OdRxObjectImpl<OdRxDictionary>();
    return OdRxDictionaryPtr(registry);
}

OdRxDictionaryPtr odrxClassDictionary()
{
    static OdRxDictionary* classes = new OdRxObjectImpl<OdRxDictionary>();
    return OdRxDictionaryPtr(classes);
}

OdRxDictionaryPtr odrxCreateRxDictionary()
{
    return OdRxObjectImpl<OdRxDictionary>::createObject();
}
