#pragma once

#include "zalExport.h"

#include "DbObjectId.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// A float buffer that grows without initialising what it adds: the hot path writes every slot it takes.
class ZAL_EXPORT zalFloatBuffer
{
public:
    // Room for n more floats at the end; the pointer is valid until the next append.
    float* append(std::size_t n)
    {
        if (m_size + n > m_capacity) grow(m_size + n);
        float* out = m_data.get() + m_size;
        m_size += n;
        return out;
    }
    // The same for a buffer with room made beforehand.
    float* appendInRoom(std::size_t n)
    {
        float* out = m_data.get() + m_size;
        m_size += n;
        return out;
    }
    // Room for `total` floats in all.
    void reserve(std::size_t total)
    {
        if (total > m_capacity) grow(total);
    }
    void clear() { m_size = 0; }
    const float* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }

private:
    void grow(std::size_t needed);

    std::unique_ptr<float[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// The accepted triangles of the entity being drawn, already in the viewer frame and in the layout addMesh
// sends: one group per material key, each holding positions (x, y, z), unit normals (x, y, z) and texture
// coordinates (u, -v) per vertex, three vertices per triangle, nothing shared. Building the stream while the
// triangles arrive spares a second pass over per-face records, which cost more than the vectorizing itself.
// Buffers are kept between entities, so a long run of entities allocates only for its largest ones.
class ZAL_EXPORT zalPendingFaces
{
public:
    struct Group
    {
        QString materialKey; // id string of an OdDbMaterial, or empty for the traits' material
        zalFloatBuffer positions;
        zalFloatBuffer normals;
        zalFloatBuffer textureCoordinates;
        std::int32_t faceCount = 0;
        std::int32_t room = 0; // triangles all three buffers have room for
    };

    // Forgets the faces, keeps the buffers.
    void clear();
    bool isEmpty() const { return m_faces == 0; }
    std::size_t faceCount() const { return m_faces; }

    // The group of a material key, made on first use.
    int groupOf(const QString& materialKey);
    // The same for the triangle path: runs of faces share a key, so the last answer is checked first.
    int groupOfKey(const QString& materialKey)
    {
        if (m_lastKeyGroup >= 0 && materialKey.constData() == m_lastKey.constData()) return m_lastKeyGroup;
        return lookUpKey(materialKey);
    }
    // The group of a face material (neither ByBlock nor ByLayer), named by its id string.
    int groupOfMaterial(const OdDbObjectId& material)
    {
        if (m_lastMaterialGroup >= 0 && material == m_lastMaterial) return m_lastMaterialGroup;
        return lookUpMaterial(material);
    }
    int groupCount() const { return m_used; }
    const Group& group(int index) const { return *m_groups[std::size_t(index)]; }

    // One triangle for a group: 9 position, 9 normal and 6 texture floats to fill.
    struct Slots
    {
        float* positions;
        float* normals;
        float* textureCoordinates;
    };
    Slots appendTriangle(int groupIndex)
    {
        Group& g = *m_groups[std::size_t(groupIndex)];
        if (g.faceCount == g.room) makeRoom(g);
        ++g.faceCount;
        ++m_faces;
        if (m_runs.empty() || m_runs.back().group != std::uint32_t(groupIndex))
            m_runs.push_back({std::uint32_t(groupIndex), 0});
        ++m_runs.back().faces;
        return {g.positions.appendInRoom(9), g.normals.appendInRoom(9), g.textureCoordinates.appendInRoom(6)};
    }

    // Merges the given groups into target, faces in arrival order.
    void merge(const std::vector<int>& groups, Group& target) const;

private:
    void makeRoom(Group& g);
    int lookUpKey(const QString& materialKey);
    int lookUpMaterial(const OdDbObjectId& material);

    std::vector<std::unique_ptr<Group>> m_groups;
    int m_used = 0;
    // Faces in arrival order, as runs of one group: groups that resolve to one viewer material are merged
    // in this order.
    struct Run
    {
        std::uint32_t group;
        std::uint32_t faces;
    };
    std::vector<Run> m_runs;
    std::size_t m_faces = 0;
    // The copy keeps the last key's data alive, so an equal data pointer means an equal key.
    QString m_lastKey;
    int m_lastKeyGroup = -1;
    OdDbObjectId m_lastMaterial;
    int m_lastMaterialGroup = -1;
    std::vector<std::pair<OdDbObjectId, int>> m_materials; // this entity's face materials and their groups
};
