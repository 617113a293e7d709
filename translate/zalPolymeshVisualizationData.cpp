#include "translate/zalPolymeshVisualizationData.h"
#include "translate/zalPolymeshFiling.h"

#include <utility>

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

void VisualizationData::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    m_vertexData.dwgOutFields(filer);
    m_edgeData.dwgOutFields(filer);
    m_faceData.dwgOutFields(filer);
}

OdResult VisualizationData::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    VisualizationData in;
    OdResult result = in.m_vertexData.dwgInFields(filer);
    if (result == eOk) result = in.m_edgeData.dwgInFields(filer);
    if (result == eOk) result = in.m_faceData.dwgInFields(filer);
    if (result != eOk) return result;
    *this = std::move(in);
    return eOk;
}

} // namespace polymesh
} // namespace zal
