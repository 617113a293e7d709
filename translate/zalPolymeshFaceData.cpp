#include "translate/zalPolymeshFaceData.h"

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

} // namespace polymesh
} // namespace zal
