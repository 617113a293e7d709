#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

namespace zal {
namespace polymesh {

// Display data per edge: one byte each, whose meaning belongs to the entity library.
class ZAL_EXPORT EdgeData : public IDwgSerializable
{
public:
    EdgeData();
    EdgeData(const EdgeData& other);
    EdgeData(EdgeData&& other) noexcept;
    EdgeData& operator=(const EdgeData& other);
    EdgeData& operator=(EdgeData&& other) noexcept;
    ~EdgeData() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    void appendData(OdUInt8 value);
    // `index` must be below the array's size.
    void setData(unsigned index, OdUInt8 value);
    void reserve(unsigned n);
    void resize(unsigned n);
    void clear();

    OdArray<OdUInt8>& data() { return m_data; }
    const OdArray<OdUInt8>& getData() const { return m_data; }

private:
    OdArray<OdUInt8> m_data;
};

} // namespace polymesh
} // namespace zal
