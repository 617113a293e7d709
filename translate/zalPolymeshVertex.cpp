#include "translate/zalPolymeshVertex.h"
#include "translate/zalPolymeshFiling.h"

#include <QDebug>

namespace zal {
namespace polymesh {

Vertex::Vertex() = default;
Vertex::Vertex(const OdGePoint3d& position) : m_position(position) {}
Vertex::Vertex(const Vertex& other) = default;
Vertex::Vertex(Vertex&& other) noexcept = default;
Vertex& Vertex::operator=(const Vertex& other) = default;
Vertex& Vertex::operator=(Vertex&& other) noexcept = default;
Vertex::~Vertex() = default;

void Vertex::appendEdgeId(Id edgeId, bool unique)
{
    if (unique && m_edgeIds.contains(edgeId)) return;
    m_edgeIds.append(edgeId);
}

void Vertex::printDebug() const
{
    QDebug out = qDebug().nospace();
    out << "Vertex (" << m_position.x << ", " << m_position.y << ", " << m_position.z << ") edges:";
    for (unsigned i = 0; i < m_edgeIds.size(); ++i)
        out << ' ' << m_edgeIds[i];
}

void Vertex::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt16(filing::kVersion);
    filer->wrPoint3d(m_position);
    filing::writeIds(filer, m_edgeIds);
}

OdResult Vertex::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    const OdGePoint3d position = filer->rdPoint3d();
    IdArray edges;
    if (!filing::readIds(filer, edges)) return eInvalidInput;
    m_position = position;
    m_edgeIds = edges;
    return eOk;
}

} // namespace polymesh
} // namespace zal
