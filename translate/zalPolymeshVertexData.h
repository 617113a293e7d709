#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

#include "Ge/GePoint3d.h"
#include "Ge/GeVector3d.h"

namespace zal {
namespace polymesh {

// Display data per vertex: one normal and one point each, in two parallel arrays.
class ZAL_EXPORT VertexData : public IDwgSerializable
{
public:
    VertexData();
    VertexData(const VertexData& other);
    VertexData(VertexData&& other) noexcept;
    VertexData& operator=(const VertexData& other);
    VertexData& operator=(VertexData&& other) noexcept;
    ~VertexData() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    unsigned count() const { return m_normals.size(); }
    void appendData(const OdGeVector3d& normal, const OdGePoint3d& point);
    // `index` must be below count().
    void setData(unsigned index, const OdGeVector3d& normal, const OdGePoint3d& point);
    void reserve(unsigned n);
    void resize(unsigned n);
    void clear();

    OdArray<OdGeVector3d>& normals() { return m_normals; }
    const OdArray<OdGeVector3d>& getNormals() const { return m_normals; }
    OdArray<OdGePoint3d>& points() { return m_points; }
    const OdArray<OdGePoint3d>& getPoints() const { return m_points; }

private:
    OdArray<OdGeVector3d> m_normals;
    OdArray<OdGePoint3d> m_points;
};

} // namespace polymesh
} // namespace zal
