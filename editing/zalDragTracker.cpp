#include "zalDragTracker.h"

// The dragging side of the tracker: the sibling library holds the class and its core, the module fills
// the drawable it shows.

void zalDragTracker::init(OdSmartPtr<OdDbEntity> entity, OdGePoint3d point)
{
    drawable = OdRxObjectImpl<zalDragEntityDrawable>::createObject();
    drawable->database = entity.isNull() ? nullptr : entity->database();
    drawable->entity = entity;
    dragTransform.setToIdentity();
    basePoint = point;
    m_lastPoint = point;
}

void zalDragTracker::update()
{
    if (drawable.isNull() || drawable->entity.isNull()) return;
    subUpdate(drawable->entity);
}

OdSmartPtr<OdDbEntity> zalDragTracker::getEntity()
{
    return drawable.isNull() ? OdSmartPtr<OdDbEntity>() : drawable->entity;
}

const OdGePoint3d& zalDragTracker::lastPoint() const
{
    return m_lastPoint;
}
