#pragma once

#include "translate/zalPolymeshIDwgSerializable.h"

#include <unordered_set>

namespace zal {
namespace polymesh {

// A named group of faces of one mesh, kept as a set of face ids.
class ZAL_EXPORT Surface : public IDwgSerializable
{
public:
    using FaceIdSet = std::unordered_set<Id>;

    Surface();
    Surface(const Surface& other);
    Surface(Surface&& other) noexcept;
    Surface& operator=(const Surface& other);
    Surface& operator=(Surface&& other) noexcept;
    ~Surface() override;

    OdResult dwgInFields(OdDbDwgFiler* pFiler) override;
    void dwgOutFields(OdDbDwgFiler* pFiler) const override;

    FaceIdSet& facesIds() { return m_facesIds; }
    const FaceIdSet& facesIds() const { return m_facesIds; }
    bool isIncluded(Id faceId) const;

private:
    FaceIdSet m_facesIds;
};

} // namespace polymesh
} // namespace zal
