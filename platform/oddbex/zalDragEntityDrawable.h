#pragma once

#include "zalOdDbExExport.h"

#include "DbDatabase.h"
#include "DbEntity.h"
#include "GiDrawableImpl.h"
#include "GiWorldDraw.h"

// The drawable a drag tracker shows in the view: the dragged entity, drawn as it is. Reference counted
// through OdRxObjectImpl<zalDragEntityDrawable>; the tracker owns it. Every member is inline: the
// library that holds the tracker must not need type information from the module that drags.
class ZALODDBEX_EXPORT zalDragEntityDrawable : public OdGiDrawableImpl<OdGiDrawable>
{
public:
    OdDbDatabase* database = nullptr;
    OdSmartPtr<OdDbEntity> entity;

protected:
    // The entity sets its own traits when it is drawn; the drawable only says it is one.
    OdUInt32 subSetAttributes(OdGiDrawableTraits*) const override
    {
        return kDrawableIsAnEntity | kDrawableRegenDraw;
    }
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override
    {
        if (worldDraw && !entity.isNull()) worldDraw->geometry().draw(entity.get());
        return true;
    }
};
typedef OdSmartPtr<zalDragEntityDrawable> zalDragEntityDrawablePtr;
