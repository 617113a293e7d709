#pragma once

#include "translate/zalPolymeshVertex.h"

#include "DbObjectId.h"
#include "Ge/GeVector3d.h"

namespace zal {
namespace polymesh {

// A planar mesh face: one outer loop and any number of inner loops (holes), each kept both as vertex ids
// and as edge ids. Owned by value by the mesh's face array; the material is a database stub it does not own.
class ZAL_EXPORT Face : public IDwgSerializable
{
public:
    Face();
    Face(const Face& other);
    Face(Face&& other) noexcept;
    Face& operator=(const Face& other);
    Face& operator=(Face&& other) noexcept;
    ~Face() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    IdArray& outerLoop() { return m_outerLoop; }
    const IdArray& getOuterLoop() const { return m_outerLoop; }
    IdArray& outerLoopEdges() { return m_outerLoopEdges; }
    const IdArray& getOuterLoopEdges() const { return m_outerLoopEdges; }
    OdArray<IdArray>& innerLoops() { return m_innerLoops; }
    const OdArray<IdArray>& getInnerLoops() const { return m_innerLoops; }
    OdArray<IdArray>& innerLoopsEdges() { return m_innerLoopsEdges; }
    const OdArray<IdArray>& getInnerLoopsEdges() const { return m_innerLoopsEdges; }

    // The first call orients the loops about the normal, using the positions of `vertices`; later calls
    // trust that result. Raise OdError_InvalidIndex, changing nothing, when a loop names a missing vertex.
    const IdArray& getOuterLoopCCW(const OdArray<Vertex>& vertices);
    const IdArray& getOuterLoopEdgesCCW(const OdArray<Vertex>& vertices);
    const OdArray<IdArray>& getInnerLoopsCW(const OdArray<Vertex>& vertices);
    const OdArray<IdArray>& getInnerLoopsEdgesCW(const OdArray<Vertex>& vertices);

    OdGeVector3d& normal() { return m_normal; }
    const OdGeVector3d& getNormal() const { return m_normal; }
    OdArray<OdGePoint3d>& uvqs() { return m_uvqs; }
    const OdArray<OdGePoint3d>& getUvqs() const { return m_uvqs; }

    OdDbStub* materialId() const { return m_material; }
    void setMaterialId(OdDbStub* material) { m_material = material; }
    OdDbObjectId materialObjectId() const { return OdDbObjectId(m_material); }

    void printDebug() const;

private:
    void orientOuterLoop(const OdArray<Vertex>& vertices);
    void orientInnerLoops(const OdArray<Vertex>& vertices);

    IdArray m_outerLoopEdges;
    IdArray m_outerLoop;
    OdArray<IdArray> m_innerLoopsEdges;
    OdArray<IdArray> m_innerLoops;
    OdGeVector3d m_normal;
    OdArray<OdGePoint3d> m_uvqs;
    OdDbStub* m_material = nullptr;
    bool m_outerLoopCCW = false;
    bool m_innerLoopsCW = false;
};

} // namespace polymesh
} // namespace zal
