#include "translate/zalPolymeshIDwgSerializable.h"

namespace zal {
namespace polymesh {

IDwgSerializable::~IDwgSerializable() = default;

OdResult IDwgSerializable::dwgInFields(OdDbDwgFiler*)
{
    return eNotImplementedYet;
}

void IDwgSerializable::dwgOutFields(OdDbDwgFiler*) const {}

} // namespace polymesh
} // namespace zal
