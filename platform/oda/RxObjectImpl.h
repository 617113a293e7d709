// Reference counting for plain classes: create with OdRxObjectImpl<T>::createObject() (or
// RXIMPL_CONSTR); the object deletes itself when its count reaches zero. I is the interface
// the smart pointer is typed by (T by default).
#pragma once

#include "RxObject.h"

#include <atomic>
#include <utility>

template <class T, class I = T> class OdRxObjectImpl : public T
{
public:
    template <class... Args> explicit OdRxObjectImpl(Args&&... args) : T(std::forward<Args>(args)...) {}

    template <class... Args> static OdSmartPtr<I> createObject(Args&&... args)
    {
        return OdSmartPtr<I>(static_cast<I*>(new OdRxObjectImpl<T, I>(std::forward<Args>(args)...)),
                             kOdRxObjAttach);
    }

    void addRef() override { ++m_nRefCounter; }
    void release() override
    {
        if (--m_nRefCounter == 0) delete this;
    }
    long numRefs() const override { return m_nRefCounter; }

private:
    std::atomic<long> m_nRefCounter{1};
};
