#include "translate/zalPolymeshEdgeData.h"

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

} // namespace polymesh
} // namespace zal
