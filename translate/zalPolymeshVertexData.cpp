#include "translate/zalPolymeshVertexData.h"

namespace zal {
namespace polymesh {

VertexData::VertexData() = default;
VertexData::VertexData(const VertexData& other) = default;
VertexData::VertexData(VertexData&& other) noexcept = default;
VertexData& VertexData::operator=(const VertexData& other) = default;
VertexData& VertexData::operator=(VertexData&& other) noexcept = default;
VertexData::~VertexData() = default;

void VertexData::appendData(const OdGeVector3d& normal, const OdGePoint3d& point)
{
    m_normals.append(normal);
    m_points.append(point);
}

void VertexData::setData(unsigned index, const OdGeVector3d& normal, const OdGePoint3d& point)
{
    m_normals[index] = normal;
    m_points[index] = point;
}

void VertexData::reserve(unsigned n)
{
    m_normals.reserve(n);
    m_points.reserve(n);
}

void VertexData::resize(unsigned n)
{
    m_normals.resize(n);
    m_points.resize(n);
}

void VertexData::clear()
{
    m_normals.clear();
    m_points.clear();
}

} // namespace polymesh
} // namespace zal
