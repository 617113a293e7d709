// Reference-counted array with copy on write: copies share one buffer until one of them is changed.
// Checked access (at, operator[], getAt, setAt, removeAt, insertAt) raises OdError_InvalidIndex.
#pragma once

#include "OdError.h"
#include "OdaCommon.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <new>
#include <utility>

template <class T> class OdArray
{
public:
    typedef unsigned int size_type;
    typedef T value_type;
    typedef T* iterator;
    typedef const T* const_iterator;

    OdArray() = default;
    explicit OdArray(size_type physicalLength, int growLength = 8) : m_growLength(growLength)
    {
        if (physicalLength) m_buf = Buffer::allocate(physicalLength);
    }
    OdArray(std::initializer_list<T> values)
    {
        reserve(size_type(values.size()));
        for (const T& v : values)
            push_back(v);
    }
    OdArray(const OdArray& other) : m_buf(other.m_buf), m_growLength(other.m_growLength)
    {
        if (m_buf) ++m_buf->refs;
    }
    OdArray(OdArray&& other) noexcept : m_buf(other.m_buf), m_growLength(other.m_growLength)
    {
        other.m_buf = nullptr;
    }
    ~OdArray() { Buffer::release(m_buf); }

    OdArray& operator=(const OdArray& other)
    {
        if (m_buf != other.m_buf) {
            if (other.m_buf) ++other.m_buf->refs;
            Buffer::release(m_buf);
            m_buf = other.m_buf;
        }
        return *this;
    }
    OdArray& operator=(OdArray&& other) noexcept
    {
        if (this != &other) {
            Buffer::release(m_buf);
            m_buf = other.m_buf;
            other.m_buf = nullptr;
        }
        return *this;
    }

    size_type size() const { return m_buf ? m_buf->length : 0; }
    size_type length() const { return size(); }
    size_type logicalLength() const { return size(); }
    size_type physicalLength() const { return m_buf ? m_buf->capacity : 0; }
    bool isEmpty() const { return size() == 0; }
    bool empty() const { return size() == 0; }
    int growLength() const { return m_growLength; }
    void setGrowLength(int growLength) { m_growLength = growLength; }

    // True when this array and other share one buffer (no copy made yet).
    bool sharesBufferWith(const OdArray& other) const { return m_buf && m_buf == other.m_buf; }
    int bufferRefCount() const { return m_buf ? m_buf->refs.load() : 0; }

    const T* getPtr() const { return m_buf ? m_buf->data() : nullptr; }
    const T* asArrayPtr() const { return getPtr(); }
    T* asArrayPtr()
    {
        detach();
        return m_buf ? m_buf->data() : nullptr;
    }
    const T* data() const { return getPtr(); }
    T* data() { return asArrayPtr(); }

    const_iterator begin() const { return getPtr(); }
    const_iterator end() const { return getPtr() + size(); }
    iterator begin()
    {
        detach();
        return m_buf ? m_buf->data() : nullptr;
    }
    iterator end()
    {
        detach();
        return m_buf ? m_buf->data() + m_buf->length : nullptr;
    }

    const T& operator[](size_type index) const
    {
        check(index);
        return m_buf->data()[index];
    }
    T& operator[](size_type index)
    {
        check(index);
        detach();
        return m_buf->data()[index];
    }
    const T& at(size_type index) const { return (*this)[index]; }
    T& at(size_type index) { return (*this)[index]; }
    const T& getAt(size_type index) const { return (*this)[index]; }
    OdArray& setAt(size_type index, const T& value)
    {
        (*this)[index] = value;
        return *this;
    }
    const T& first() const { return (*this)[0]; }
    T& first() { return (*this)[0]; }
    const T& last() const { return (*this)[size() - 1]; }
    T& last() { return (*this)[size() - 1]; }

    // Appends value; answers its index.
    size_type append(const T& value)
    {
        push_back(value);
        return size() - 1;
    }
    OdArray& append(const OdArray& other)
    {
        OdArray copy(other); // other may be this array
        reserve(size() + copy.size());
        for (const T& v : static_cast<const OdArray&>(copy))
            push_back(v);
        return *this;
    }
    void push_back(const T& value)
    {
        if (m_buf && m_buf->refs == 1 && m_buf->length < m_buf->capacity) {
            new (m_buf->data() + m_buf->length) T(value);
            ++m_buf->length;
            return;
        }
        T copy(value); // value may live in this buffer
        grow(size() + 1);
        new (m_buf->data() + m_buf->length) T(std::move(copy));
        ++m_buf->length;
    }
    OdArray& insertAt(size_type index, const T& value)
    {
        if (index > size()) throw OdError_InvalidIndex();
        T copy(value);
        push_back(copy);
        T* d = m_buf->data();
        for (size_type i = m_buf->length - 1; i > index; --i)
            std::swap(d[i], d[i - 1]);
        return *this;
    }
    OdArray& removeAt(size_type index)
    {
        check(index);
        detach();
        T* d = m_buf->data();
        for (size_type i = index; i + 1 < m_buf->length; ++i)
            d[i] = std::move(d[i + 1]);
        d[m_buf->length - 1].~T();
        --m_buf->length;
        return *this;
    }
    OdArray& removeSubArray(size_type startIndex, size_type endIndex)
    {
        check(startIndex);
        check(endIndex);
        for (size_type i = endIndex + 1; i > startIndex; --i)
            removeAt(startIndex);
        return *this;
    }
    OdArray& removeFirst() { return removeAt(0); }
    OdArray& removeLast() { return removeAt(size() - 1); }
    bool remove(const T& value, size_type start = 0)
    {
        size_type index;
        if (!find(value, index, start)) return false;
        removeAt(index);
        return true;
    }
    OdArray& removeAll()
    {
        Buffer::release(m_buf);
        m_buf = nullptr;
        return *this;
    }
    void clear() { removeAll(); }
    void pop_back() { removeLast(); }

    void reserve(size_type capacity)
    {
        if (capacity > physicalLength()) reallocate(capacity);
    }
    OdArray& setPhysicalLength(size_type capacity)
    {
        if (capacity < size()) resize(capacity);
        reallocate(capacity);
        return *this;
    }
    void resize(size_type newLength) { resize(newLength, T()); }
    void resize(size_type newLength, const T& value)
    {
        if (newLength == size()) return;
        if (newLength < size()) {
            detach();
            while (m_buf->length > newLength)
                m_buf->data()[--m_buf->length].~T();
            return;
        }
        T copy(value);
        grow(newLength);
        while (m_buf->length < newLength)
            new (m_buf->data() + m_buf->length++) T(copy);
    }
    OdArray& setLogicalLength(size_type newLength)
    {
        resize(newLength);
        return *this;
    }
    OdArray& setAll(const T& value)
    {
        detach();
        for (size_type i = 0; i < size(); ++i)
            m_buf->data()[i] = value;
        return *this;
    }

    bool contains(const T& value, size_type start = 0) const
    {
        size_type index;
        return find(value, index, start);
    }
    bool find(const T& value, size_type& foundAt, size_type start = 0) const
    {
        for (size_type i = start; i < size(); ++i)
            if (m_buf->data()[i] == value) {
                foundAt = i;
                return true;
            }
        return false;
    }
    OdArray& reverse()
    {
        detach();
        if (m_buf) std::reverse(m_buf->data(), m_buf->data() + m_buf->length);
        return *this;
    }
    OdArray& swap(size_type a, size_type b)
    {
        check(a);
        check(b);
        detach();
        std::swap(m_buf->data()[a], m_buf->data()[b]);
        return *this;
    }
    void swap(OdArray& other) noexcept { std::swap(m_buf, other.m_buf); }

    bool operator==(const OdArray& other) const
    {
        if (size() != other.size()) return false;
        for (size_type i = 0; i < size(); ++i)
            if (!(m_buf->data()[i] == other.m_buf->data()[i])) return false;
        return true;
    }
    bool operator!=(const OdArray& other) const { return !(*this == other); }

private:
    // Over-aligned so that the elements that follow the header are aligned for any type.
    struct alignas(std::max_align_t) Buffer
    {
        std::atomic<int> refs{1};
        size_type length = 0;
        size_type capacity = 0;
        T* data() { return reinterpret_cast<T*>(this + 1); }

        static Buffer* allocate(size_type capacity)
        {
            static_assert(alignof(T) <= alignof(std::max_align_t), "over-aligned element");
            void* mem = ::operator new(sizeof(Buffer) + sizeof(T) * capacity);
            Buffer* b = new (mem) Buffer;
            b->capacity = capacity;
            return b;
        }
        static void release(Buffer* b)
        {
            if (b && --b->refs == 0) {
                for (size_type i = 0; i < b->length; ++i)
                    b->data()[i].~T();
                b->~Buffer();
                ::operator delete(b);
            }
        }
    };

    void check(size_type index) const
    {
        if (index >= size()) throw OdError_InvalidIndex();
    }
    // Makes the buffer this array's own before a change.
    void detach()
    {
        if (m_buf && m_buf->refs > 1) reallocate(m_buf->capacity);
    }
    void grow(size_type needed)
    {
        size_type cap = physicalLength();
        if (m_buf && m_buf->refs == 1 && needed <= cap) return;
        size_type step = m_growLength > 0 ? size_type(m_growLength) : std::max<size_type>(size(), 8);
        size_type newCap =
            std::max<size_type>(needed, std::max<size_type>(cap, size() + std::max(step, size())));
        reallocate(newCap);
    }
    void reallocate(size_type capacity)
    {
        Buffer* nb = Buffer::allocate(capacity);
        if (m_buf) {
            bool own = m_buf->refs == 1;
            for (size_type i = 0; i < m_buf->length; ++i) {
                if (own)
                    new (nb->data() + i) T(std::move(m_buf->data()[i]));
                else
                    new (nb->data() + i) T(m_buf->data()[i]);
            }
            nb->length = m_buf->length;
            Buffer::release(m_buf);
        }
        m_buf = nb;
    }

    Buffer* m_buf = nullptr;
    int m_growLength = -100;
};
