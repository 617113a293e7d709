#pragma once

#include "zalOdDbExExport.h"

#include "DbDatabase.h"
#include "DbEntity.h"
#include "GiDrawableImpl.h"

// The drawable a drag tracker shows in the view: the dragged entity, drawn as it is. Declared here
// because the tracker's core holds it; the module that drags defines its drawing. Reference counted
// through OdRxObjectImpl<zalDragEntityDrawable>; the tracker owns it.
class ZALODDBEX_EXPORT zalDragEntityDrawable : public OdGiDrawableImpl<OdGiDrawable>
{
public:
    OdDbDatabase* database = nullptr;
    OdSmartPtr<OdDbEntity> entity;

protected:
    OdUInt32 subSetAttributes(OdGiDrawableTraits* traits) const override;
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
};
typedef OdSmartPtr<zalDragEntityDrawable> zalDragEntityDrawablePtr;
