#include "translate/zalUnrealMeshStream.h"

#include <cstddef>

namespace {

inline void writeNormal(const PendingFace& face, int k, float* out)
{
    OdGeVector3d n = k < face.normals.size() ? face.normals[k] : OdGeVector3d::kIdentity;
    if (n.isZeroLength()) {
        // The plane of the face's first three points; a degenerate face keeps the zero vector.
        n = OdGeVector3d();
        if (face.points.size() >= 3) {
            const OdGeVector3d e1 = face.points[1] - face.points[0];
            const OdGeVector3d e2 = face.points[2] - face.points[0];
            if (!e1.isZeroLength() && !e2.isZeroLength() && !e1.isParallelTo(e2)) n = e1.crossProduct(e2);
        }
    }
    n.normalize();
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
        if (k < 3 || face.points[0].isEqualTo(face.points[1]) || face.points[0].isEqualTo(face.points[2]) ||
            face.points[1].isEqualTo(face.points[2]))
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
