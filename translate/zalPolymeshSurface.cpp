#include "translate/zalPolymeshSurface.h"
#include "translate/zalPolymeshFiling.h"

#include <algorithm>
#include <vector>

namespace zal {
namespace polymesh {

Surface::Surface() = default;
Surface::Surface(const Surface& other) = default;
Surface::Surface(Surface&& other) noexcept = default;
Surface& Surface::operator=(const Surface& other) = default;
Surface& Surface::operator=(Surface&& other) noexcept = default;
Surface::~Surface() = default;

bool Surface::isIncluded(Id faceId) const
{
    return m_facesIds.count(faceId) != 0;
}

void Surface::dwgOutFields(OdDbDwgFiler* filer) const
{
    // Ascending, so one set always gives one record.
    std::vector<Id> sorted(m_facesIds.begin(), m_facesIds.end());
    std::sort(sorted.begin(), sorted.end());
    filer->wrInt16(filing::kVersion);
    filer->wrInt32(OdInt32(sorted.size()));
    for (Id id : sorted)
        filer->wrInt32(OdInt32(id));
}

OdResult Surface::dwgInFields(OdDbDwgFiler* filer)
{
    if (!filing::readVersion(filer)) return eInvalidInput;
    IdArray ids;
    if (!filing::readIds(filer, ids)) return eInvalidInput;
    FaceIdSet faces;
    for (unsigned i = 0; i < ids.size(); ++i)
        faces.insert(ids[i]);
    m_facesIds = std::move(faces);
    return eOk;
}

} // namespace polymesh
} // namespace zal
