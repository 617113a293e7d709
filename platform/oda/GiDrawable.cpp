#include "GiDrawable.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdGiDrawable, OdRxObject)

OdUInt32 OdGiDrawable::subSetAttributes(OdGiDrawableTraits*) const
{
    return kDrawableNone;
}

bool OdGiDrawable::subWorldDraw(OdGiWorldDraw*) const
{
    return true;
}

void OdGiDrawable::subViewportDraw(OdGiViewportDraw*) const {}
