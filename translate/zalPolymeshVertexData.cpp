#include "translate/zalPolymeshVertexData.h"
#include "translate/zalPolymeshFiling.h"

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

void VertexData::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filing::writeVectors(filer, m_normals);
    filing::writePoints(filer, m_points);
}

OdResult VertexData::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    OdArray<OdGeVector3d> normals;
    OdArray<OdGePoint3d> points;
    if (!filing::readVectors(filer, normals) || !filing::readPoints(filer, points)) return eInvalidInput;
    m_normals = normals;
    m_points = points;
    return eOk;
}

} // namespace polymesh
} // namespace zal
