#include "GiGeometrySimplifier.h"

#include <GL/glu.h>

#include <cmath>

// The GLU tessellator, kept for the simplifier's lifetime: creating one per face costs more than the
// triangulation of a small face.
class OdGiGeometrySimplifier::Tessellator
{
public:
    Tessellator()
    {
        m_tess = gluNewTess();
        if (!m_tess) return;
        gluTessProperty(m_tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
        gluTessCallback(m_tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<void (*)()>(&Tessellator::onBegin));
        gluTessCallback(m_tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<void (*)()>(&Tessellator::onVertex));
        // An edge-flag callback makes GLU emit independent triangles only (no strips or fans).
        gluTessCallback(m_tess, GLU_TESS_EDGE_FLAG_DATA,
                        reinterpret_cast<void (*)()>(&Tessellator::onEdgeFlag));
        gluTessCallback(m_tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<void (*)()>(&Tessellator::onCombine));
        gluTessCallback(m_tess, GLU_TESS_ERROR_DATA, reinterpret_cast<void (*)()>(&Tessellator::onError));
    }
    ~Tessellator()
    {
        if (m_tess) gluDeleteTess(m_tess);
    }

    // Loops as (count, indices...) with negative counts for holes; coordinates one triple per vertex.
    bool run(std::int32_t faceListSize, const std::int32_t* faceList, const OdGePoint3d* vertices,
             const OdGeVector3d& normal, std::vector<std::int32_t>& triangles)
    {
        if (!m_tess) return false;
        m_out = &triangles;
        m_vertices = vertices;
        m_failed = false;
        m_coords.clear();
        m_coords.reserve(std::size_t(faceListSize) * 3);
        for (std::int32_t i = 0; i < faceListSize;) {
            const std::int32_t n = std::abs(faceList[i]);
            for (std::int32_t k = 0; k < n; ++k) {
                const OdGePoint3d& p = vertices[faceList[i + 1 + k]];
                m_coords.push_back(p.x);
                m_coords.push_back(p.y);
                m_coords.push_back(p.z);
            }
            i += n + 1;
        }
        gluTessNormal(m_tess, normal.x, normal.y, normal.z);
        gluTessBeginPolygon(m_tess, this);
        std::size_t c = 0;
        for (std::int32_t i = 0; i < faceListSize;) {
            const std::int32_t n = std::abs(faceList[i]);
            gluTessBeginContour(m_tess);
            for (std::int32_t k = 0; k < n; ++k, c += 3) {
                gluTessVertex(m_tess, &m_coords[c],
                              reinterpret_cast<void*>(static_cast<std::intptr_t>(faceList[i + 1 + k])));
            }
            gluTessEndContour(m_tess);
            i += n + 1;
        }
        gluTessEndPolygon(m_tess);
        m_out = nullptr;
        return !m_failed;
    }

private:
    static void onBegin(GLenum, void*) {}
    static void onEdgeFlag(GLboolean, void*) {}
    static void onVertex(void* vertex, void* self)
    {
        auto* t = static_cast<Tessellator*>(self);
        t->m_out->push_back(std::int32_t(reinterpret_cast<std::intptr_t>(vertex)));
    }
    // Self-intersecting loops make GLU ask for a new vertex; the face's vertex list cannot grow, so the
    // intersection takes the nearest of the vertices it was made from.
    static void onCombine(GLdouble coords[3], void* data[4], GLfloat weight[4], void** out, void* self)
    {
        auto* t = static_cast<Tessellator*>(self);
        double best = -1.0;
        void* chosen = data[0];
        for (int i = 0; i < 4; ++i) {
            if (!data[i]) continue;
            const OdGePoint3d& p = t->m_vertices[reinterpret_cast<std::intptr_t>(data[i])];
            const double d = (p.x - coords[0]) * (p.x - coords[0]) + (p.y - coords[1]) * (p.y - coords[1]) +
                             (p.z - coords[2]) * (p.z - coords[2]);
            if (best < 0.0 || d < best || (d == best && weight[i] > 0.5f)) {
                best = d;
                chosen = data[i];
            }
        }
        *out = chosen;
    }
    static void onError(GLenum, void* self) { static_cast<Tessellator*>(self)->m_failed = true; }

    GLUtesselator* m_tess = nullptr;
    std::vector<std::int32_t>* m_out = nullptr;
    const OdGePoint3d* m_vertices = nullptr;
    std::vector<double> m_coords;
    bool m_failed = false;
};

namespace {

inline double dot(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline OdGeVector3d cross(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return OdGeVector3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

OdGeVector3d newellNormal(std::int32_t n, const std::int32_t* loop, const OdGePoint3d* v)
{
    OdGeVector3d normal;
    const OdGePoint3d* a = &v[loop[n - 1]];
    for (std::int32_t i = 0; i < n; ++i) {
        const OdGePoint3d* b = &v[loop[i]];
        normal.x += (a->y - b->y) * (a->z + b->z);
        normal.y += (a->z - b->z) * (a->x + b->x);
        normal.z += (a->x - b->x) * (a->y + b->y);
        a = b;
    }
    return normal;
}

// A loop is convex when every turn goes the same way around the normal and the turns add up to one
// full revolution (a star has same-way turns that add up to two).
bool isConvexLoop(std::int32_t n, const std::int32_t* loop, const OdGePoint3d* v, const OdGeVector3d& normal)
{
    const double normalSquared = dot(normal, normal);
    if (normalSquared <= 0.0) return false;
    // Only turns that go the wrong way and the turning sum of longer loops need the length itself.
    double normalLength = -1.0;
    const auto length = [&] {
        return normalLength < 0.0 ? normalLength = std::sqrt(normalSquared) : normalLength;
    };
    double turning = 0.0;
    const OdGePoint3d* a = &v[loop[n - 2]];
    const OdGePoint3d* b = &v[loop[n - 1]];
    for (std::int32_t i = 0; i < n; ++i) {
        const OdGePoint3d* c = &v[loop[i]];
        const OdGeVector3d e1 = *b - *a;
        const OdGeVector3d e2 = *c - *b;
        // The sine against the unit normal, scaled by the normal's length; the tolerance only matters
        // for turns that go the wrong way, so the root is taken only for those.
        const double sine = dot(cross(e1, e2), normal);
        if (sine < 0.0 && sine < -1e-12 * (std::sqrt(dot(e1, e1) * dot(e2, e2)) + 1e-300) * length())
            return false;
        if (n > 4) turning += std::atan2(sine / length(), dot(e1, e2));
        a = b;
        b = c;
    }
    return n <= 4 || std::fabs(turning - 2.0 * M_PI) < 1e-3;
}

} // namespace

OdGiGeometrySimplifier::OdGiGeometrySimplifier() = default;

OdGiGeometrySimplifier::~OdGiGeometrySimplifier()
{
    delete m_tessellator;
}

void OdGiGeometrySimplifier::setVertexData(std::int32_t numVertices, const OdGePoint3d* vertexList,
                                           const OdGiVertexData* vertexData)
{
    m_vertexCount = numVertices;
    m_vertexList = vertexList;
    m_vertexData = vertexData;
}

void OdGiGeometrySimplifier::polylineProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                                          const OdGeVector3d*)
{
    if (numPoints > 0 && vertexList) polylineOut(numPoints, vertexList);
}

void OdGiGeometrySimplifier::polygonProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                                         const OdGeVector3d* normal)
{
    if (numPoints > 0 && vertexList) polygonOut(numPoints, vertexList, normal);
}

void OdGiGeometrySimplifier::xlineProc(const OdGePoint3d& firstPoint, const OdGePoint3d& secondPoint)
{
    const OdGePoint3d points[2] = {firstPoint, secondPoint};
    polylineOut(2, points);
}

void OdGiGeometrySimplifier::rayProc(const OdGePoint3d& basePoint, const OdGePoint3d& throughPoint)
{
    const OdGePoint3d points[2] = {basePoint, throughPoint};
    polylineOut(2, points);
}

void OdGiGeometrySimplifier::xlineProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction)
{
    xlineProc(basePoint, basePoint + direction);
}

void OdGiGeometrySimplifier::rayProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction)
{
    rayProc(basePoint, basePoint + direction);
}

void OdGiGeometrySimplifier::meshProc(std::int32_t numRows, std::int32_t numColumns,
                                      const OdGePoint3d* vertexList, const OdGiEdgeData* edgeData,
                                      const OdGiFaceData* faceData, const OdGiVertexData* vertexData)
{
    if (numRows < 2 || numColumns < 2 || !vertexList) return;
    setVertexData(numRows * numColumns, vertexList, vertexData);
    generateMeshFaces(numRows, numColumns, faceData);
    generateMeshWires(numRows, numColumns, edgeData);
    setVertexData(0, nullptr, nullptr);
}

void OdGiGeometrySimplifier::shellProc(std::int32_t numVertices, const OdGePoint3d* vertexList,
                                       std::int32_t faceListSize, const std::int32_t* faceList,
                                       const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                                       const OdGiVertexData* vertexData)
{
    if (numVertices <= 0 || !vertexList || faceListSize <= 0 || !faceList) return;
    setVertexData(numVertices, vertexList, vertexData);
    generateShellFaces(faceListSize, faceList, edgeData, faceData);
    generateShellWires(faceListSize, faceList, edgeData);
    setVertexData(0, nullptr, nullptr);
}

void OdGiGeometrySimplifier::circleProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal)
{
    circularArcProc(center, radius, normal, normal.perpVector(), 2.0 * M_PI, kOdGiArcSimple);
}

void OdGiGeometrySimplifier::circularArcProc(const OdGePoint3d& center, double radius,
                                             const OdGeVector3d& normal, const OdGeVector3d& startVector,
                                             double sweepAngle, OdGiArcType)
{
    OdGeVector3d z = normal.normal();
    OdGeVector3d x = startVector.normal();
    if (z.isZeroLength() || x.isZeroLength()) return;
    const OdGeVector3d y = z.crossProduct(x).normal();
    const int segments = std::max(
        2, int(std::ceil(m_circleSegments * std::min(std::fabs(sweepAngle), 2.0 * M_PI) / (2.0 * M_PI))));
    m_points.resize(std::size_t(segments) + 1);
    for (int i = 0; i <= segments; ++i) {
        const double a = sweepAngle * i / segments;
        m_points[std::size_t(i)] = center + x * (radius * std::cos(a)) + y * (radius * std::sin(a));
    }
    polylineOut(std::int32_t(m_points.size()), m_points.data());
}

void OdGiGeometrySimplifier::ellipArcProc(const OdGePoint3d& center, const OdGeVector3d& majorAxis,
                                          const OdGeVector3d& minorAxis, double startAngle, double endAngle)
{
    const double sweep = endAngle - startAngle;
    const int segments =
        std::max(2, int(std::ceil(m_circleSegments * std::min(std::fabs(sweep), 2.0 * M_PI) / (2.0 * M_PI))));
    m_points.resize(std::size_t(segments) + 1);
    for (int i = 0; i <= segments; ++i) {
        const double a = startAngle + sweep * i / segments;
        m_points[std::size_t(i)] = center + majorAxis * std::cos(a) + minorAxis * std::sin(a);
    }
    polylineOut(std::int32_t(m_points.size()), m_points.data());
}

void OdGiGeometrySimplifier::textProc(const OdGePoint3d&, const OdGeVector3d&, const OdGeVector3d&, double,
                                      const OdString&)
{
    // No fonts here: text has no filled geometry to give.
}

void OdGiGeometrySimplifier::generateMeshFaces(std::int32_t numRows, std::int32_t numColumns,
                                               const OdGiFaceData* faceData)
{
    const OdGeVector3d* normals = faceData ? faceData->normals() : nullptr;
    std::int32_t face = 0;
    for (std::int32_t r = 0; r + 1 < numRows; ++r) {
        for (std::int32_t c = 0; c + 1 < numColumns; ++c, ++face) {
            const std::int32_t cell[4] = {r * numColumns + c, r * numColumns + c + 1,
                                          (r + 1) * numColumns + c + 1, (r + 1) * numColumns + c};
            meshFaceOut(cell, normals ? normals + face : nullptr);
        }
    }
}

void OdGiGeometrySimplifier::generateMeshWires(std::int32_t numRows, std::int32_t numColumns,
                                               const OdGiEdgeData*)
{
    for (std::int32_t r = 0; r < numRows; ++r)
        polylineOut(numColumns, m_vertexList + std::size_t(r) * std::size_t(numColumns));
    m_points.resize(std::size_t(numRows));
    for (std::int32_t c = 0; c < numColumns; ++c) {
        for (std::int32_t r = 0; r < numRows; ++r)
            m_points[std::size_t(r)] =
                m_vertexList[std::size_t(r) * std::size_t(numColumns) + std::size_t(c)];
        polylineOut(numRows, m_points.data());
    }
}

void OdGiGeometrySimplifier::meshFaceOut(const std::int32_t* faceList, const OdGeVector3d* normal)
{
    const std::int32_t face[5] = {4, faceList[0], faceList[1], faceList[2], faceList[3]};
    outputFace(5, face, normal);
}

void OdGiGeometrySimplifier::generateShellFaces(std::int32_t faceListSize, const std::int32_t* faceList,
                                                const OdGiEdgeData*, const OdGiFaceData* faceData)
{
    const OdGeVector3d* normals = faceData ? faceData->normals() : nullptr;
    std::int32_t face = 0;
    std::int32_t i = 0;
    while (i < faceListSize) {
        const std::int32_t n = faceList[i];
        if (n <= 0) {
            // A hole without a face before it: nothing to cut it from.
            i += 1 - n;
            continue;
        }
        std::int32_t end = i + 1 + n;
        while (end < faceListSize && faceList[end] < 0)
            end += 1 - faceList[end];
        if (end > faceListSize) break; // truncated face list
        shellFaceOut(end - i, faceList + i, normals ? normals + face : nullptr);
        ++face;
        i = end;
    }
}

void OdGiGeometrySimplifier::generateShellWires(std::int32_t faceListSize, const std::int32_t* faceList,
                                                const OdGiEdgeData*)
{
    std::int32_t i = 0;
    while (i < faceListSize) {
        const std::int32_t n = std::abs(faceList[i]);
        if (i + 1 + n > faceListSize) break;
        m_points.clear();
        for (std::int32_t k = 0; k < n; ++k) {
            const std::int32_t index = faceList[i + 1 + k];
            if (index >= 0 && index < m_vertexCount) m_points.push_back(m_vertexList[index]);
        }
        if (!m_points.empty()) {
            m_points.push_back(m_points.front());
            polylineOut(std::int32_t(m_points.size()), m_points.data());
        }
        i += n + 1;
    }
}

bool OdGiGeometrySimplifier::triangulateFace(std::int32_t faceListSize, const std::int32_t* faceList,
                                             std::vector<std::int32_t>& triangles)
{
    triangles.clear();
    if (faceListSize < 4 || faceList[0] < 3 || !m_vertexList) return false;
    // Every index must name a vertex: outside input never reads past the list.
    bool hasHoles = false;
    for (std::int32_t i = 0; i < faceListSize;) {
        const std::int32_t n = std::abs(faceList[i]);
        if (i + 1 + n > faceListSize) return false;
        if (i > 0) hasHoles = true;
        for (std::int32_t k = 0; k < n; ++k) {
            const std::int32_t index = faceList[i + 1 + k];
            if (index < 0 || index >= m_vertexCount) return false;
        }
        i += n + 1;
    }
    const std::int32_t n = faceList[0];
    const std::int32_t* loop = faceList + 1;
    if (!hasHoles && n == 3) {
        triangles.assign(loop, loop + 3);
        return true;
    }
    const OdGeVector3d normal = newellNormal(n, loop, m_vertexList);
    if (!hasHoles && isConvexLoop(n, loop, m_vertexList, normal)) {
        triangles.reserve(std::size_t(n - 2) * 3);
        for (std::int32_t k = 1; k + 1 < n; ++k) {
            triangles.push_back(loop[0]);
            triangles.push_back(loop[k]);
            triangles.push_back(loop[k + 1]);
        }
        return true;
    }
    if (dot(normal, normal) <= 0.0) return false; // no area at all
    if (!m_tessellator) m_tessellator = new Tessellator();
    if (!m_tessellator->run(faceListSize, faceList, m_vertexList, normal, triangles)) triangles.clear();
    triangles.resize(triangles.size() - triangles.size() % 3);
    return !triangles.empty();
}

void OdGiGeometrySimplifier::shellFaceOut(std::int32_t faceListSize, const std::int32_t* faceList,
                                          const OdGeVector3d* normal)
{
    outputFace(faceListSize, faceList, normal);
}

void OdGiGeometrySimplifier::outputFace(std::int32_t faceListSize, const std::int32_t* faceList,
                                        const OdGeVector3d* normal)
{
    // Triangles and convex quads, which make up most meshes, without the general path's buffer.
    if ((faceListSize == 4 && faceList[0] == 3) || (faceListSize == 5 && faceList[0] == 4)) {
        const std::int32_t n = faceList[0];
        const std::int32_t* loop = faceList + 1;
        bool valid = m_vertexList != nullptr;
        for (std::int32_t k = 0; k < n; ++k)
            valid = valid && loop[k] >= 0 && loop[k] < m_vertexCount;
        if (!valid) return;
        if (n == 3) {
            triangleOut(loop, normal);
            return;
        }
        // The fan from the first corner is a triangulation when both halves turn the way the whole quad does
        // (their sum is the quad's area vector): true of every convex quad and of darts whose reflex corner
        // is the first or the third. Other quads take the general path.
        const OdGePoint3d& p0 = m_vertexList[loop[0]];
        const OdGeVector3d d2 = m_vertexList[loop[2]] - p0;
        const OdGeVector3d half1 = cross(m_vertexList[loop[1]] - p0, d2);
        const OdGeVector3d half2 = cross(d2, m_vertexList[loop[3]] - p0);
        const double both = dot(half1, half2);
        if (dot(half1, half1) + both >= 0.0 && dot(half2, half2) + both >= 0.0 &&
            dot(half1, half1) + 2.0 * both + dot(half2, half2) > 0.0) {
            const std::int32_t first[3] = {loop[0], loop[1], loop[2]};
            const std::int32_t second[3] = {loop[0], loop[2], loop[3]};
            triangleOut(first, normal);
            triangleOut(second, normal);
            return;
        }
    }
    // The face's triangles go into a member buffer; triangulateFace may run again from triangleOut
    // overrides only through another face, so the buffer is moved aside first.
    std::vector<std::int32_t> triangles;
    triangles.swap(m_triangles);
    if (triangulateFace(faceListSize, faceList, triangles)) {
        for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
            triangleOut(triangles.data() + t, normal);
    }
    triangles.swap(m_triangles);
}

void OdGiGeometrySimplifier::triangleOut(const std::int32_t* indices, const OdGeVector3d* normal)
{
    const OdGePoint3d points[3] = {m_vertexList[indices[0]], m_vertexList[indices[1]],
                                   m_vertexList[indices[2]]};
    polygonOut(3, points, normal);
}

void OdGiGeometrySimplifier::polylineOut(std::int32_t, const OdGePoint3d*) {}

void OdGiGeometrySimplifier::polygonOut(std::int32_t, const OdGePoint3d*, const OdGeVector3d*) {}
