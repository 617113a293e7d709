#include "PropBase.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdPropSource, OdRxObject)
ODRX_NO_CONS_DEFINE_MEMBERS(OdPropBase, OdPropSource)

bool OdPropBase::getPropertyValues(OdString& text)
{
    OdPropContext context;
    if (!getPropertyValues(context)) return false;
    text += context.text();
    return true;
}

bool OdPropBase::overrideClassName(OdString&) const
{
    return false;
}
