#include "translate/zalPolymeshFaceData.h"
#include "translate/zalPolymeshFiling.h"

#include "OdError.h"

namespace zal {
namespace polymesh {

FaceData::FaceData() = default;
FaceData::FaceData(const FaceData& other) = default;
FaceData::FaceData(FaceData&& other) noexcept = default;
FaceData& FaceData::operator=(const FaceData& other) = default;
FaceData& FaceData::operator=(FaceData&& other) noexcept = default;
FaceData::~FaceData() = default;

void FaceData::setData(unsigned index, OdDbStub* material, OdInt64 value)
{
    // Both arrays can be resized apart through their accessors, so each is checked on its own.
    if (index >= m_materials.size() || index >= m_values.size()) throw OdError_InvalidIndex();
    m_materials[index] = material;
    m_values[index] = value;
}

void FaceData::reserve(unsigned n)
{
    m_materials.reserve(n);
    m_values.reserve(n);
}

void FaceData::resize(unsigned n)
{
    m_materials.resize(n, nullptr);
    m_values.resize(n, 0);
}

void FaceData::clear()
{
    m_materials.clear();
    m_values.clear();
}

void FaceData::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filing::writeArray(filer, m_materials, [](OdDbDwgFiler* f, OdDbStub* m) { filing::writeMaterial(f, m); });
    filing::writeArray(filer, m_values, [](OdDbDwgFiler* f, OdInt64 value) { f->wrInt64(value); });
}

OdResult FaceData::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    OdArray<OdDbStub*> materials;
    OdArray<OdInt64> values;
    if (!filing::readArray(filer, materials,
                           [](OdDbDwgFiler* f, OdDbStub*& m) {
                               m = filing::readMaterial(f);
                               return true;
                           }) ||
        !filing::readArray(filer, values, [](OdDbDwgFiler* f, OdInt64& value) {
            value = f->rdInt64();
            return true;
        }))
        return eInvalidInput;
    m_materials = materials;
    m_values = values;
    return eOk;
}

} // namespace polymesh
} // namespace zal
