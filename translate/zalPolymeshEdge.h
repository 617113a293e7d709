#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

namespace zal {
namespace polymesh {

// The graphics layer does not define OdGiVisibility yet; this one carries the same values, and names
// inside this namespace keep meaning it even once the layer's own appears.
enum OdGiVisibility : OdUInt8
{
    kOdGiInvisible = 0,
    kOdGiVisible = 1,
    kOdGiSilhouette = 2
};

// How an edge is drawn; the values match OdGiVisibility.
enum Visibility : OdInt32
{
    kInvisible = 0,
    kVisible = 1,
    kSilhouette = 2
};

// A mesh edge between two vertices, with the faces that use it. Owned by value by the mesh's edge array.
class ZAL_EXPORT Edge : public IDwgSerializable
{
public:
    Edge();
    Edge(Id startVertexId, Id endVertexId);
    Edge(const Edge& other);
    Edge(Edge&& other) noexcept;
    Edge& operator=(const Edge& other);
    Edge& operator=(Edge&& other) noexcept;
    ~Edge() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    Id getStartVertexId() const { return m_startVertexId; }
    void setStartVertexId(Id vertexId) { m_startVertexId = vertexId; }
    Id getEndVertexId() const { return m_endVertexId; }
    void setEndVertexId(Id vertexId) { m_endVertexId = vertexId; }
    IdArray& faceIds() { return m_faceIds; }
    const IdArray& getFaceIds() const { return m_faceIds; }
    void appendFaceId(Id faceId, bool unique);

    Visibility visibility() const { return m_visibility; }
    void setVisibility(Visibility visibility) { m_visibility = visibility; }
    OdGiVisibility visibilityAsGiVisibility() const;
    bool hasSmooth() const { return m_hasSmooth; }
    void setHasSmooth(bool smooth) { m_hasSmooth = smooth; }

    void printDebug() const;

private:
    Id m_startVertexId = 0;
    Id m_endVertexId = 0;
    IdArray m_faceIds;
    Visibility m_visibility = kVisible;
    bool m_hasSmooth = false;
};

} // namespace polymesh
} // namespace zal
