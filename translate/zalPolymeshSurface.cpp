#include "translate/zalPolymeshSurface.h"

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

} // namespace polymesh
} // namespace zal
