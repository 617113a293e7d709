#include "zalDragEntityDrawable.h"

#include "GiWorldDraw.h"

// The entity sets its own traits when it is drawn; the drawable only says it is one.
OdUInt32 zalDragEntityDrawable::subSetAttributes(OdGiDrawableTraits*) const
{
    return kDrawableIsAnEntity | kDrawableRegenDraw;
}

bool zalDragEntityDrawable::subWorldDraw(OdGiWorldDraw* worldDraw) const
{
    if (worldDraw && !entity.isNull()) worldDraw->geometry().draw(entity.get());
    return true;
}
