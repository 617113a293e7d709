#include "zalDragTracker.h"

#include "GsView.h"

ODRX_CONS_DEFINE_MEMBERS(zalDragTracker, OdEdPointTracker, RXIMPL_CONSTR)

namespace {

// The library registers its classes when it is loaded into a running platform (as the module file does
// for the entities); a tracker is not an entity, so it only needs the editor's classes.
struct AutoRegister
{
    AutoRegister()
    {
        if (OdEdPointTracker::desc() && !zalDragTracker::desc()) zalDragTracker::rxInit();
    }
};
AutoRegister g_autoRegister;

} // namespace

zalDragTracker::zalDragTracker() = default;

zalDragTracker::~zalDragTracker()
{
    if (m_view) removeDrawables(m_view);
}

int zalDragTracker::addDrawables(OdGsView* view)
{
    OdGiDrawable* shown = drawable.get();
    if (!view || !shown) return 0;
    if (m_view && m_view != view) removeDrawables(m_view);
    if (!view->add(shown)) return 0;
    m_view = view;
    return 1;
}

void zalDragTracker::removeDrawables(OdGsView* view)
{
    if (!view || view != m_view) return;
    if (!drawable.isNull()) view->erase(drawable.get());
    m_view = nullptr;
}

void zalDragTracker::constrainPoint(OdGePoint3d& point)
{
    double elevation = point.z;
    OdDbEntityPtr entity = drawable.isNull() ? OdDbEntityPtr() : drawable->entity;
    if (getElevationAt(entity, point, elevation)) point.z = elevation;
}

void zalDragTracker::setValue(const OdGePoint3d& value)
{
    OdGePoint3d point = value;
    constrainPoint(point);
    // Only the step since the last point is applied: the entity already carries the earlier ones.
    const OdGeVector3d step = point - m_lastPoint;
    m_lastPoint = point;
    dragTransform = OdGeMatrix3d::translation(point - basePoint);
    // The entity is reached through the drawable's field: getEntity is the dragging module's.
    OdDbEntity* entity = drawable.isNull() ? nullptr : drawable->entity.get();
    if (entity && !step.isZeroLength()) entity->transformBy(OdGeMatrix3d::translation(step));
}
