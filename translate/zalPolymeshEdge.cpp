#include "translate/zalPolymeshEdge.h"
#include "translate/zalPolymeshFiling.h"

#include <QDebug>

namespace zal {
namespace polymesh {

Edge::Edge() = default;
Edge::Edge(Id startVertexId, Id endVertexId) : m_startVertexId(startVertexId), m_endVertexId(endVertexId) {}
Edge::Edge(const Edge& other) = default;
Edge::Edge(Edge&& other) noexcept = default;
Edge& Edge::operator=(const Edge& other) = default;
Edge& Edge::operator=(Edge&& other) noexcept = default;
Edge::~Edge() = default;

void Edge::appendFaceId(Id faceId, bool unique)
{
    if (unique && m_faceIds.contains(faceId)) return;
    m_faceIds.append(faceId);
}

OdGiVisibility Edge::visibilityAsGiVisibility() const
{
    switch (m_visibility) {
    case kInvisible:
        return kOdGiInvisible;
    case kSilhouette:
        return kOdGiSilhouette;
    case kVisible:
        break;
    }
    return kOdGiVisible;
}

void Edge::printDebug() const
{
    QDebug out = qDebug().nospace();
    out << "Edge " << m_startVertexId << " -> " << m_endVertexId << " visibility " << int(m_visibility)
        << (m_hasSmooth ? " smooth" : "") << " faces:";
    for (unsigned i = 0; i < m_faceIds.size(); ++i)
        out << ' ' << m_faceIds[i];
}

void Edge::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filer->wrInt32(OdInt32(m_startVertexId));
    filer->wrInt32(OdInt32(m_endVertexId));
    filing::writeIds(filer, m_faceIds);
    filer->wrInt32(m_visibility);
    filer->wrBool(m_hasSmooth);
}

OdResult Edge::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    const Id start = Id(filer->rdInt32());
    const Id end = Id(filer->rdInt32());
    IdArray faces;
    if (!filing::readIds(filer, faces)) return eInvalidInput;
    const OdInt32 visibility = filer->rdInt32();
    const bool smooth = filer->rdBool();
    m_startVertexId = start;
    m_endVertexId = end;
    m_faceIds = faces;
    m_visibility = Visibility(visibility);
    m_hasSmooth = smooth;
    return eOk;
}

} // namespace polymesh
} // namespace zal
