#include "translate/zalPolymeshEdge.h"

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

} // namespace polymesh
} // namespace zal
