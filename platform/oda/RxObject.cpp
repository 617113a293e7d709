#include "RxObject.h"

#include "RxClass.h"

OdRxClass* OdRxObject::g_pDesc = nullptr;

OdRxObject::~OdRxObject() = default;

OdRxClass* OdRxObject::desc()
{
    return g_pDesc;
}

OdRxClass* OdRxObject::isA() const
{
    return g_pDesc;
}

OdRxObjectPtr OdRxObject::cast(const OdRxObject* pObj)
{
    return OdRxObjectPtr(pObj);
}

long OdRxObject::numRefs() const
{
    return 1;
}

OdRxObject* OdRxObject::queryX(const OdRxClass* pClass) const
{
    if (!pClass) return nullptr;
    OdRxClass* mine = isA();
    if (mine && mine->isDerivedFrom(pClass)) {
        const_cast<OdRxObject*>(this)->addRef();
        return const_cast<OdRxObject*>(this);
    }
    if (pClass == g_pDesc) {
        const_cast<OdRxObject*>(this)->addRef();
        return const_cast<OdRxObject*>(this);
    }
    if (mine) return mine->getX(pClass).detach();
    return nullptr;
}

bool OdRxObject::isKindOf(const OdRxClass* pClass) const
{
    if (!pClass) return false;
    OdRxObject* p = queryX(pClass);
    if (!p) return false;
    bool same = p == this;
    p->release();
    if (same) return true;
    // A protocol extension answers queryX too, but the object itself is not of that class.
    OdRxClass* mine = isA();
    return mine && mine->isDerivedFrom(pClass);
}

OdRxObjectPtr OdRxObject::x(const OdRxClass* pClass) const
{
    OdRxClass* mine = isA();
    return mine ? mine->getX(pClass) : OdRxObjectPtr();
}

OdRxObjectPtr OdRxObject::clone() const
{
    OdRxClass* mine = isA();
    if (!mine) throw OdError(eNotRegistered);
    OdRxObjectPtr copy = mine->create();
    copy->copyFrom(this);
    return copy;
}

void OdRxObject::copyFrom(const OdRxObject*)
{
    throw OdError(eNotApplicable);
}

bool OdRxObject::isEqualTo(const OdRxObject* pOther) const
{
    return pOther == this;
}
