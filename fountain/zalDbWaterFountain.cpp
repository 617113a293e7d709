#include "zalDbWaterFountain.h"

#include "DbFiler.h"

ODRX_DEFINE_MEMBERS_EX(zalDbWaterFountain, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0,
                       OdString(L"ZALWATERFOUNTAIN"), OdString(L"zalUnrealRender"),
                       OdString(L"zalDbWaterFountain"))

zalDbWaterFountain::zalDbWaterFountain() = default;

// The property page arrives with the property services; until then there is nothing to register.
void zalDbWaterFountain::registerPropertySources() {}
void zalDbWaterFountain::unregisterPropertySources() {}
