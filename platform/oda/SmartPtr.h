// Intrusive smart pointer over OdRxObject. Constructing from an object of another class
// queries the class and raises OdError_NotThatKindOfClass when it does not match.
#pragma once

#include "RxObject.h"

#include <cstddef>
#include <type_traits>
#include <utility>

class ODKIT_EXPORT OdBaseObjectPtr
{
public:
    OdRxObject* get() const { return m_pObject; }
    bool isNull() const { return m_pObject == nullptr; }

protected:
    OdBaseObjectPtr() = default;
    explicit OdBaseObjectPtr(OdRxObject* p) : m_pObject(p) {}
    OdRxObject* m_pObject = nullptr;
};

template <class T> class OdSmartPtr : public OdBaseObjectPtr
{
public:
    OdSmartPtr() = default;
    OdSmartPtr(std::nullptr_t) {}
    OdSmartPtr(const T* pObject) { assign(pObject); }
    OdSmartPtr(const T* pObject, OdRxObjMod) : OdBaseObjectPtr(asRx(pObject)) {}
    template <class U = T, std::enable_if_t<!std::is_same<U, OdRxObject>::value, int> = 0>
    OdSmartPtr(const OdRxObject* pObject)
    {
        internalQueryX(pObject);
    }
    template <class U = T, std::enable_if_t<!std::is_same<U, OdRxObject>::value, int> = 0>
    OdSmartPtr(OdRxObject* pObject, OdRxObjMod)
    {
        internalQueryX(pObject);
        if (pObject) pObject->release();
    }
    OdSmartPtr(const OdSmartPtr& other) : OdBaseObjectPtr() { assign(other.get()); }
    OdSmartPtr(OdSmartPtr&& other) noexcept : OdBaseObjectPtr(other.m_pObject) { other.m_pObject = nullptr; }
    OdSmartPtr(const OdBaseObjectPtr& other) { internalQueryX(other.get()); }
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    OdSmartPtr(const OdSmartPtr<U>& other)
    {
        assign(other.get());
    }
    ~OdSmartPtr() { release(); }

    OdSmartPtr& operator=(const OdSmartPtr& other)
    {
        assign(other.get());
        return *this;
    }
    OdSmartPtr& operator=(OdSmartPtr&& other) noexcept
    {
        if (this != &other) {
            release();
            m_pObject = other.m_pObject;
            other.m_pObject = nullptr;
        }
        return *this;
    }
    OdSmartPtr& operator=(const T* pObject)
    {
        assign(pObject);
        return *this;
    }
    OdSmartPtr& operator=(const OdBaseObjectPtr& other)
    {
        OdSmartPtr tmp(other);
        *this = std::move(tmp);
        return *this;
    }
    OdSmartPtr& operator=(std::nullptr_t)
    {
        release();
        return *this;
    }

    // Takes over a reference the caller owns.
    void attach(const T* pObject)
    {
        release();
        m_pObject = asRx(pObject);
    }
    // Gives up the reference without releasing it; the caller owns it afterwards.
    T* detach()
    {
        T* p = get();
        m_pObject = nullptr;
        return p;
    }
    void release()
    {
        if (m_pObject) {
            OdRxObject* p = m_pObject;
            m_pObject = nullptr;
            p->release();
        }
    }

    T* get() const { return static_cast<T*>(m_pObject); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }
    operator T*() const { return get(); }
    bool operator==(const T* p) const { return get() == p; }
    bool operator!=(const T* p) const { return get() != p; }
    bool operator==(const OdSmartPtr& p) const { return m_pObject == p.m_pObject; }
    bool operator!=(const OdSmartPtr& p) const { return m_pObject != p.m_pObject; }

private:
    static OdRxObject* asRx(const T* p) { return const_cast<OdRxObject*>(static_cast<const OdRxObject*>(p)); }
    void assign(const T* pObject)
    {
        OdRxObject* p = asRx(pObject);
        if (p == m_pObject) return;
        if (p) p->addRef();
        release();
        m_pObject = p;
    }
    void internalQueryX(const OdRxObject* pObject)
    {
        if (!pObject) {
            release();
            return;
        }
        OdRxObject* q = pObject->queryX(T::desc());
        if (!q) throw OdError_NotThatKindOfClass(pObject->isA(), T::desc());
        release();
        m_pObject = q;
    }
};
