#include "translate/zalPendingFaces.h"

#include "translate/zalViewerNames.h"

#include <algorithm>
#include <cstring>

void zalFloatBuffer::grow(std::size_t needed)
{
    const std::size_t capacity = std::max<std::size_t>({needed, m_capacity * 2, 1024});
    std::unique_ptr<float[]> data(new float[capacity]);
    if (m_size) std::memcpy(data.get(), m_data.get(), m_size * sizeof(float));
    m_data = std::move(data);
    m_capacity = capacity;
}

void zalPendingFaces::clear()
{
    for (int i = 0; i < m_used; ++i) {
        Group& g = *m_groups[std::size_t(i)];
        g.materialKey.clear();
        g.positions.clear();
        g.normals.clear();
        g.textureCoordinates.clear();
        g.faceCount = 0;
    }
    m_used = 0;
    m_runs.clear();
    m_faces = 0;
    m_lastKey.clear();
    m_lastKeyGroup = -1;
    m_lastMaterial = OdDbObjectId();
    m_lastMaterialGroup = -1;
    m_materials.clear();
}

int zalPendingFaces::groupOf(const QString& materialKey)
{
    for (int i = 0; i < m_used; ++i) {
        if (m_groups[std::size_t(i)]->materialKey == materialKey) return i;
    }
    if (std::size_t(m_used) == m_groups.size()) m_groups.push_back(std::make_unique<Group>());
    m_groups[std::size_t(m_used)]->materialKey = materialKey;
    return m_used++;
}

int zalPendingFaces::lookUpKey(const QString& materialKey)
{
    m_lastKeyGroup = groupOf(materialKey);
    m_lastKey = materialKey;
    return m_lastKeyGroup;
}

int zalPendingFaces::lookUpMaterial(const OdDbObjectId& material)
{
    // Faces may alternate between materials: each id is named by the host once per entity.
    auto known = std::find_if(m_materials.begin(), m_materials.end(),
                              [&](const std::pair<OdDbObjectId, int>& m) { return m.first == material; });
    if (known != m_materials.end()) {
        m_lastMaterialGroup = known->second;
    } else {
        m_lastMaterialGroup = groupOf(zalViewerNames::ofId(material));
        m_materials.emplace_back(material, m_lastMaterialGroup);
    }
    m_lastMaterial = material;
    return m_lastMaterialGroup;
}

void zalPendingFaces::makeRoom(Group& g)
{
    const std::size_t triangles = std::max<std::size_t>(2 * std::size_t(g.room), 128);
    g.positions.reserve(9 * triangles);
    g.normals.reserve(9 * triangles);
    g.textureCoordinates.reserve(6 * triangles);
    g.room = std::int32_t(triangles);
}

void zalPendingFaces::merge(const std::vector<int>& groups, Group& target) const
{
    target.positions.clear();
    target.normals.clear();
    target.textureCoordinates.clear();
    target.faceCount = 0;
    std::vector<std::size_t> next(m_groups.size(), 0); // next triangle of each group
    std::vector<char> wanted(m_groups.size(), 0);
    for (int g : groups)
        wanted[std::size_t(g)] = 1;
    for (const Run& run : m_runs) {
        if (!wanted[run.group]) continue;
        const Group& source = *m_groups[run.group];
        const std::size_t t = next[run.group];
        next[run.group] += run.faces;
        std::memcpy(target.positions.append(9 * std::size_t(run.faces)), source.positions.data() + t * 9,
                    9 * sizeof(float) * run.faces);
        std::memcpy(target.normals.append(9 * std::size_t(run.faces)), source.normals.data() + t * 9,
                    9 * sizeof(float) * run.faces);
        std::memcpy(target.textureCoordinates.append(6 * std::size_t(run.faces)),
                    source.textureCoordinates.data() + t * 6, 6 * sizeof(float) * run.faces);
        target.faceCount += std::int32_t(run.faces);
    }
}
