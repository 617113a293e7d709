#pragma once

#include "translate/zalPolymeshEdgeData.h"
#include "translate/zalPolymeshFaceData.h"
#include "translate/zalPolymeshVertexData.h"

namespace zal {
namespace polymesh {

// The display data of one mesh, kept together so it is filed as one object.
class ZAL_EXPORT VisualizationData : public IDwgSerializable
{
public:
    VisualizationData();
    VisualizationData(const VisualizationData& other);
    VisualizationData(VisualizationData&& other) noexcept;
    VisualizationData& operator=(const VisualizationData& other);
    VisualizationData& operator=(VisualizationData&& other) noexcept;
    ~VisualizationData() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    VertexData& vertexData() { return m_vertexData; }
    const VertexData& getVertexData() const { return m_vertexData; }
    EdgeData& edgeData() { return m_edgeData; }
    const EdgeData& getEdgeData() const { return m_edgeData; }
    FaceData& faceData() { return m_faceData; }
    const FaceData& getFaceData() const { return m_faceData; }

    void clear();

private:
    VertexData m_vertexData;
    EdgeData m_edgeData;
    FaceData m_faceData;
};

} // namespace polymesh
} // namespace zal
