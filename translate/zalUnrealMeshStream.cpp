#include "translate/zalUnrealMeshStream.h"

#include <cmath>
#include <cstddef>

namespace {

// Inline geometry for the fill loop (the database layer's versions live in another library).
inline double dot(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline OdGeVector3d cross(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return OdGeVector3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline bool samePoint(const OdGePoint3d& a, const OdGePoint3d& b)
{
    const double tol = OdGeContext::gTol.equalPoint();
    const OdGeVector3d d = a - b;
    return dot(d, d) <= tol * tol;
}

inline void writeNormal(const PendingFace& face, int k, float* out)
{
    const double tol = OdGeContext::gTol.equalVector();
    // Fewer normals than points: (1, 1, 1), normalised below.
    OdGeVector3d n = k < face.normals.size() ? face.normals[k] : OdGeVector3d(1.0, 1.0, 1.0);
    if (dot(n, n) <= tol * tol) {
        // The plane of the face's first three points; a degenerate face keeps the zero vector.
        n = OdGeVector3d();
        if (face.points.size() >= 3) {
            const OdGeVector3d e1 = face.points[1] - face.points[0];
            const OdGeVector3d e2 = face.points[2] - face.points[0];
            const OdGeVector3d c = cross(e1, e2);
            if (dot(e1, e1) > tol * tol && dot(e2, e2) > tol * tol &&
                dot(c, c) > tol * tol * dot(e1, e1) * dot(e2, e2))
                n = c;
        }
    }
    const double length = std::sqrt(dot(n, n));
    if (length > tol) n /= length;
    out[0] = float(n.x);
    out[1] = float(n.y);
    out[2] = float(n.z);
}

} // namespace

void zalUnrealMeshStream::build(const std::vector<PendingFace>& faces,
                                const std::vector<std::int32_t>& faceIndices)
{
    m_kept.clear();
    m_firstVertex.clear();
    std::int32_t vertices = 0;
    for (std::int32_t index : faceIndices) {
        const PendingFace& face = faces[std::size_t(index)];
        const int k = face.points.size();
        if (k < 3 || samePoint(face.points[0], face.points[1]) || samePoint(face.points[0], face.points[2]) ||
            samePoint(face.points[1], face.points[2]))
            continue;
        m_kept.push_back(index);
        m_firstVertex.push_back(vertices);
        vertices += k;
    }
    // Sized once before the fill: the parallel loop below only writes into its own slots.
    m_positions.resize(std::size_t(vertices) * 3);
    m_normals.resize(std::size_t(vertices) * 3);
    m_uvs.resize(std::size_t(vertices) * 2);
    m_flags.assign(std::size_t(vertices), 1);
    m_faceSizes.resize(m_kept.size());

    const std::int64_t count = std::int64_t(m_kept.size());
    float* positions = m_positions.data();
    float* normals = m_normals.data();
    float* uvs = m_uvs.data();
    std::int32_t* sizes = m_faceSizes.data();
    const std::int32_t* kept = m_kept.data();
    const std::int32_t* first = m_firstVertex.data();
    const PendingFace* all = faces.data();
    // One iteration per face: a face of three vertices is too little work for a parallel loop of its own.
#pragma omp parallel for schedule(static) if (count > 4096)
    for (std::int64_t f = 0; f < count; ++f) {
        const PendingFace& face = all[kept[f]];
        const int k = face.points.size();
        sizes[f] = face.reversed ? -k : k;
        const std::size_t v0 = std::size_t(first[f]);
        for (int i = 0; i < k; ++i) {
            const std::size_t v = v0 + std::size_t(i);
            const OdGePoint3d& p = face.points[i];
            positions[v * 3 + 0] = float(p.x);
            positions[v * 3 + 1] = float(p.y);
            positions[v * 3 + 2] = float(p.z);
            writeNormal(face, i, normals + v * 3);
            if (i < face.textureCoordinates.size()) {
                uvs[v * 2 + 0] = float(face.textureCoordinates[i].x);
                uvs[v * 2 + 1] = float(-face.textureCoordinates[i].y);
            } else {
                uvs[v * 2 + 0] = float(p.x);
                uvs[v * 2 + 1] = float(-p.y);
            }
        }
    }
}
