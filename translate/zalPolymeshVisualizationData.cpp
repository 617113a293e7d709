#include "translate/zalPolymeshVisualizationData.h"

namespace zal {
namespace polymesh {

VisualizationData::VisualizationData() = default;
VisualizationData::VisualizationData(const VisualizationData& other) = default;
VisualizationData::VisualizationData(VisualizationData&& other) noexcept = default;
VisualizationData& VisualizationData::operator=(const VisualizationData& other) = default;
VisualizationData& VisualizationData::operator=(VisualizationData&& other) noexcept = default;
VisualizationData::~VisualizationData() = default;

void VisualizationData::clear()
{
    m_vertexData.clear();
    m_edgeData.clear();
    m_faceData.clear();
}

} // namespace polymesh
} // namespace zal
