// Non-intrusive shared pointer for classes that are not run-time objects.
#pragma once

#include <memory>

template <class T> class OdSharedPtr
{
public:
    OdSharedPtr() = default;
    OdSharedPtr(T* object) : m_ptr(object) {}
    T* get() const { return m_ptr.get(); }
    T* operator->() const { return m_ptr.get(); }
    T& operator*() const { return *m_ptr; }
    operator T*() const { return m_ptr.get(); }
    bool isNull() const { return !m_ptr; }
    int refCount() const { return int(m_ptr.use_count()); }
    OdSharedPtr& operator=(T* object)
    {
        m_ptr.reset(object);
        return *this;
    }

private:
    std::shared_ptr<T> m_ptr;
};
