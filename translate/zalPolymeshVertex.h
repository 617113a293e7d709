#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

#include "Ge/GePoint3d.h"

namespace zal {
namespace polymesh {

// A mesh vertex: its position and the edges that meet there. Owned by value by the mesh's vertex array.
class ZAL_EXPORT Vertex : public IDwgSerializable
{
public:
    Vertex();
    explicit Vertex(const OdGePoint3d& position);
    Vertex(const Vertex& other);
    Vertex(Vertex&& other) noexcept;
    Vertex& operator=(const Vertex& other);
    Vertex& operator=(Vertex&& other) noexcept;
    ~Vertex() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    OdGePoint3d& position() { return m_position; }
    const OdGePoint3d& getPosition() const { return m_position; }
    IdArray& edgeIds() { return m_edgeIds; }
    const IdArray& getEdgeIds() const { return m_edgeIds; }

    void appendEdgeId(Id edgeId, bool unique);
    void printDebug() const;

private:
    OdGePoint3d m_position;
    IdArray m_edgeIds;
};

} // namespace polymesh
} // namespace zal
