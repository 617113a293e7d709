// String-keyed dictionary of run-time objects (the system registry, the class dictionary,
// command groups). Holds a reference to each entry. Entries keep their insertion order.
#pragma once

#include "OdArray.h"
#include "RxIterator.h"

class ODKIT_EXPORT OdRxDictionaryIterator : public OdRxIterator
{
public:
    ODRX_DECLARE_MEMBERS(OdRxDictionaryIterator);
    virtual OdString getKey() const = 0;
    virtual OdUInt32 id() const = 0;
};
typedef OdSmartPtr<OdRxDictionaryIterator> OdRxDictionaryIteratorPtr;

class ODKIT_EXPORT OdRxDictionary : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdRxDictionary);
    OdRxDictionary();
    ~OdRxDictionary() override;

    OdRxObjectPtr getAt(const OdString& key) const;
    OdRxObjectPtr getAt(OdUInt32 id) const;
    // Stores object under key and answers the object it replaces (null when none).
    OdRxObjectPtr putAt(const OdString& key, OdRxObject* object, OdUInt32* id = nullptr);
    OdRxObjectPtr remove(const OdString& key);
    bool has(const OdString& key) const;
    OdUInt32 numEntries() const;
    // Iterates a copy of the entries, so the dictionary may change meanwhile.
    OdRxDictionaryIteratorPtr newIterator() const;
    OdArray<OdString> keys() const;

private:
    struct Impl;
    Impl* m_impl;
};
typedef OdSmartPtr<OdRxDictionary> OdRxDictionaryPtr;

// The system registry: services by name ("OdPropServices", ...). Thread-safe.
ODKIT_EXPORT OdRxDictionaryPtr odrxSysRegistry();
// Run-time classes by name.
ODKIT_EXPORT OdRxDictionaryPtr odrxClassDictionary();
// Creates a new, empty dictionary.
ODKIT_EXPORT OdRxDictionaryPtr odrxCreateRxDictionary();
