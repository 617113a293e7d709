#pragma once

#include "zalOdDbExExport.h"

#include "zalDragEntityDrawable.h"

#include "DbEntity.h"
#include "Ed/EdPointTracker.h"
#include "Ge/GeMatrix3d.h"

// A point tracker that shows one entity following the cursor while a point is asked. This library
// supplies the core (construction, the view hooks, setValue, constrainPoint); the members a dragging
// module calls to fill it (init, update, getEntity, lastPoint) are inline, so this library's type
// information never depends on the module.
// Create with createObject(); the tracker lives for one prompt and owns its drawable.
class ZALODDBEX_EXPORT zalDragTracker : public OdEdPointTracker
{
public:
    ODRX_DECLARE_MEMBERS(zalDragTracker);
    zalDragTracker();
    ~zalDragTracker() override;

    int addDrawables(OdGsView* view) override;
    void removeDrawables(OdGsView* view) override;
    // Moves the entity so that the start point follows value (after constrainPoint).
    void setValue(const OdGePoint3d& value) override;
    // Puts the point on the elevation getElevationAt reports, when it reports one.
    virtual void constrainPoint(OdGePoint3d& point);

    // A new drawable for entity; the entity is moved from point on.
    void init(OdSmartPtr<OdDbEntity> entity, OdGePoint3d point)
    {
        drawable = OdRxObjectImpl<zalDragEntityDrawable>::createObject();
        drawable->database = entity.isNull() ? nullptr : entity->database();
        drawable->entity = entity;
        dragTransform.setToIdentity();
        basePoint = point;
        m_lastPoint = point;
    }
    // Lets the subclass refresh the entity (subUpdate); nothing without an entity.
    void update()
    {
        if (drawable.isNull() || drawable->entity.isNull()) return;
        subUpdate(drawable->entity);
    }
    // The dragged entity; null before init.
    OdSmartPtr<OdDbEntity> getEntity()
    {
        return drawable.isNull() ? OdSmartPtr<OdDbEntity>() : drawable->entity;
    }
    const OdGePoint3d& lastPoint() const { return m_lastPoint; }

protected:
    // Subclasses that call update refresh the entity here; the default refuses.
    virtual void subUpdate(OdSmartPtr<OdDbEntity> entity)
    {
        (void)entity;
        throw OdError(eNotImplementedYet);
    }
    // The terrain's elevation under point; false (elevation untouched) when there is none.
    virtual bool getElevationAt(OdSmartPtr<OdDbEntity> entity, OdGePoint3d point, double& elevation)
    {
        (void)entity;
        (void)point;
        (void)elevation;
        return false;
    }

    OdSmartPtr<zalDragEntityDrawable> drawable;
    OdGeMatrix3d dragTransform;
    OdGePoint3d basePoint;
    OdGePoint3d m_lastPoint;

private:
    OdGsView* m_view = nullptr;
};
typedef OdSmartPtr<zalDragTracker> zalDragTrackerPtr;
