#include "translate/zalPolymeshEdgeData.h"
#include "translate/zalPolymeshFiling.h"

namespace zal {
namespace polymesh {

EdgeData::EdgeData() = default;
EdgeData::EdgeData(const EdgeData& other) = default;
EdgeData::EdgeData(EdgeData&& other) noexcept = default;
EdgeData& EdgeData::operator=(const EdgeData& other) = default;
EdgeData& EdgeData::operator=(EdgeData&& other) noexcept = default;
EdgeData::~EdgeData() = default;

void EdgeData::appendData(OdUInt8 value)
{
    m_data.append(value);
}

void EdgeData::setData(unsigned index, OdUInt8 value)
{
    m_data[index] = value;
}

void EdgeData::reserve(unsigned n)
{
    m_data.reserve(n);
}

void EdgeData::resize(unsigned n)
{
    m_data.resize(n);
}

void EdgeData::clear()
{
    m_data.clear();
}

void EdgeData::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filing::writeArray(filer, m_data, [](OdDbDwgFiler* f, OdUInt8 value) { f->wrUInt8(value); });
}

OdResult EdgeData::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    OdArray<OdUInt8> data;
    if (!filing::readArray(filer, data, [](OdDbDwgFiler* f, OdUInt8& value) {
            value = f->rdUInt8();
            return true;
        }))
        return eInvalidInput;
    m_data = data;
    return eOk;
}

} // namespace polymesh
} // namespace zal
