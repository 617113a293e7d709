// Root of the run-time object model: reference counting and run-time class queries.
// Objects are created through createObject/OdRxObjectImpl and destroyed when the last
// smart pointer releases them.
#pragma once

#include "OdError.h"
#include "OdString.h"
#include "OdaCommon.h"

template <class T> class OdSmartPtr;
typedef OdSmartPtr<OdRxObject> OdRxObjectPtr;

// Passed to a smart pointer constructor to take over a reference without adding one.
enum OdRxObjMod
{
    kOdRxObjAttach
};

#include "RxDefs.h"

class ODKIT_EXPORT OdRxObject
{
public:
    OdRxObject() = default;
    virtual ~OdRxObject();

    OdRxObject(const OdRxObject&) = delete;
    OdRxObject& operator=(const OdRxObject&) = delete;

    static OdRxObjectPtr cast(const OdRxObject* pObj);
    static OdRxClass* desc();
    virtual OdRxClass* isA() const;
    // Answers this object (with a reference added) when it is of class pClass, else the
    // protocol extension registered for pClass, else null.
    virtual OdRxObject* queryX(const OdRxClass* pClass) const;
    static OdRxClass* g_pDesc;

    virtual void addRef() = 0;
    virtual void release() = 0;
    virtual long numRefs() const;

    // True when this object's class is pClass or derives from it.
    bool isKindOf(const OdRxClass* pClass) const;
    // Protocol extension of this object's class (or its parents) for pClass, null when none.
    OdRxObjectPtr x(const OdRxClass* pClass) const;

    virtual OdRxObjectPtr clone() const;
    virtual void copyFrom(const OdRxObject* pSource);
    virtual bool isEqualTo(const OdRxObject* pOther) const;
};

#include "SmartPtr.h"
// Run-time class members need OdRxClass wherever a class defines them.
#include "RxClass.h"
#include "RxObjectImpl.h"
