#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

class OdDbStub;

namespace zal {
namespace polymesh {

// Display data per face: a material (a database stub, not owned) and a 64-bit value whose meaning
// belongs to the entity library, in two parallel arrays.
class ZAL_EXPORT FaceData : public IDwgSerializable
{
public:
    FaceData();
    FaceData(const FaceData& other);
    FaceData(FaceData&& other) noexcept;
    FaceData& operator=(const FaceData& other);
    FaceData& operator=(FaceData&& other) noexcept;
    ~FaceData() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    // Raises OdError_InvalidIndex, writing nothing, when `index` is outside either array.
    void setData(unsigned index, OdDbStub* material, OdInt64 value);
    void reserve(unsigned n);
    void resize(unsigned n);
    void clear();

    OdArray<OdDbStub*>& materials() { return m_materials; }
    const OdArray<OdDbStub*>& getMaterials() const { return m_materials; }
    OdArray<OdInt64>& values() { return m_values; }
    const OdArray<OdInt64>& getValues() const { return m_values; }

private:
    OdArray<OdDbStub*> m_materials;
    OdArray<OdInt64> m_values;
};

} // namespace polymesh
} // namespace zal
