#pragma once

#include "module/zalExport.h"
#include "translate/PendingFace.h"

#include <cstdint>
#include <vector>

// The vertex stream of one addMesh: a triangle soup, no shared vertices. Buffers are kept between builds so
// that a long run of entities allocates only when a mesh is larger than every one before it.
class ZAL_EXPORT zalUnrealMeshStream
{
public:
    // Builds the stream from the faces listed in faceIndices (indices into faces, in arrival order).
    // Faces whose first three points contain an equal pair are left out.
    void build(const std::vector<PendingFace>& faces, const std::vector<std::int32_t>& faceIndices);

    const std::vector<float>& positions() const { return m_positions; }
    const std::vector<float>& normals() const { return m_normals; }
    const std::vector<float>& textureCoordinates() const { return m_uvs; }
    const std::vector<std::int32_t>& flags() const { return m_flags; }
    const std::vector<std::int32_t>& faceSizes() const { return m_faceSizes; }
    int vertexCount() const { return int(m_positions.size() / 3); }
    bool isEmpty() const { return m_positions.empty() || m_faceSizes.empty(); }

private:
    std::vector<float> m_positions;
    std::vector<float> m_normals;
    std::vector<float> m_uvs;
    std::vector<std::int32_t> m_flags;
    std::vector<std::int32_t> m_faceSizes;
    std::vector<std::int32_t> m_kept;
    std::vector<std::int32_t> m_firstVertex;
};
