#include "translate/zalPolymeshFace.h"
#include "translate/zalPolymeshFiling.h"

#include <utility>

#include "OdError.h"

#include <QDebug>
#include <algorithm>

namespace zal {
namespace polymesh {

namespace {

void checkLoop(const IdArray& loop, const OdArray<Vertex>& vertices)
{
    const unsigned vertexCount = vertices.size();
    for (unsigned i = 0; i < loop.size(); ++i) {
        if (loop[i] >= vertexCount) throw OdError_InvalidIndex();
    }
}

// Twice the loop's area vector (Newell's method) projected on the normal: positive when the loop turns
// counter-clockwise seen from the normal's tip. Works for non-convex loops, unlike a single corner test.
double orientation(const IdArray& loop, const OdArray<Vertex>& vertices, const OdGeVector3d& normal)
{
    const unsigned n = loop.size();
    const Vertex* v = vertices.getPtr();
    const Id* ids = loop.getPtr();
    double x = 0.0, y = 0.0, z = 0.0;
    for (unsigned i = 0; i < n; ++i) {
        const OdGePoint3d& a = v[ids[i]].getPosition();
        const OdGePoint3d& b = v[ids[(i + 1) % n]].getPosition();
        x += (a.y - b.y) * (a.z + b.z);
        y += (a.z - b.z) * (a.x + b.x);
        z += (a.x - b.x) * (a.y + b.y);
    }
    return x * normal.x + y * normal.y + z * normal.z;
}

void reverseLoop(IdArray& loop)
{
    Id* ids = loop.asArrayPtr();
    std::reverse(ids, ids + loop.size());
}

} // namespace

Face::Face() = default;
Face::Face(const Face& other) = default;
Face::Face(Face&& other) noexcept = default;
Face& Face::operator=(const Face& other) = default;
Face& Face::operator=(Face&& other) noexcept = default;
Face::~Face() = default;

void Face::orientOuterLoop(const OdArray<Vertex>& vertices)
{
    if (m_outerLoopCCW) return;
    checkLoop(m_outerLoop, vertices);
    // A degenerate loop (no area, or a zero normal) has no direction and is left as it is.
    if (orientation(m_outerLoop, vertices, m_normal) < 0.0) reverseLoop(m_outerLoop);
    m_outerLoopCCW = true;
}

void Face::orientInnerLoops(const OdArray<Vertex>& vertices)
{
    if (m_innerLoopsCW) return;
    const int count = int(m_innerLoops.size());
    for (int i = 0; i < count; ++i)
        checkLoop(m_innerLoops[i], vertices);
    // Taking the pointer unshares the outer array here, on one thread; each iteration then touches only
    // its own loop, whose own copy-on-write (if it shares a buffer) is confined to that element.
    IdArray* loops = m_innerLoops.asArrayPtr();
    const OdGeVector3d normal = m_normal;
#pragma omp parallel for schedule(static) if (count > 64)
    for (int i = 0; i < count; ++i) {
        if (orientation(loops[i], vertices, normal) > 0.0) reverseLoop(loops[i]);
    }
    m_innerLoopsCW = true;
}

const IdArray& Face::getOuterLoopCCW(const OdArray<Vertex>& vertices)
{
    orientOuterLoop(vertices);
    return m_outerLoop;
}

const IdArray& Face::getOuterLoopEdgesCCW(const OdArray<Vertex>& vertices)
{
    orientOuterLoop(vertices);
    return m_outerLoopEdges;
}

const OdArray<IdArray>& Face::getInnerLoopsCW(const OdArray<Vertex>& vertices)
{
    orientInnerLoops(vertices);
    return m_innerLoops;
}

const OdArray<IdArray>& Face::getInnerLoopsEdgesCW(const OdArray<Vertex>& vertices)
{
    orientInnerLoops(vertices);
    return m_innerLoopsEdges;
}

void Face::printDebug() const
{
    QDebug out = qDebug().nospace();
    out << "Face normal (" << m_normal.x << ", " << m_normal.y << ", " << m_normal.z << ") outer:";
    for (unsigned i = 0; i < m_outerLoop.size(); ++i)
        out << ' ' << m_outerLoop[i];
    for (unsigned l = 0; l < m_innerLoops.size(); ++l) {
        out << " | inner:";
        for (unsigned i = 0; i < m_innerLoops[l].size(); ++i)
            out << ' ' << m_innerLoops[l][i];
    }
    out << " uvqs " << m_uvqs.size() << " material " << static_cast<const void*>(m_material);
}

void Face::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filing::writeIds(filer, m_outerLoopEdges);
    filing::writeIds(filer, m_outerLoop);
    filing::writeLoops(filer, m_innerLoopsEdges);
    filing::writeLoops(filer, m_innerLoops);
    filer->wrVector3d(m_normal);
    filing::writePoints(filer, m_uvqs);
    filing::writeMaterial(filer, m_material);
    // The orientation already made stays made: a loaded face is not turned again.
    filer->wrBool(m_outerLoopCCW);
    filer->wrBool(m_innerLoopsCW);
}

OdResult Face::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    Face in;
    if (!filing::readIds(filer, in.m_outerLoopEdges) || !filing::readIds(filer, in.m_outerLoop) ||
        !filing::readLoops(filer, in.m_innerLoopsEdges) || !filing::readLoops(filer, in.m_innerLoops))
        return eInvalidInput;
    in.m_normal = filer->rdVector3d();
    if (!filing::readPoints(filer, in.m_uvqs)) return eInvalidInput;
    in.m_material = filing::readMaterial(filer);
    in.m_outerLoopCCW = filer->rdBool();
    in.m_innerLoopsCW = filer->rdBool();
    *this = std::move(in);
    return eOk;
}

} // namespace polymesh
} // namespace zal
