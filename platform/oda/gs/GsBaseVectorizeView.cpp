#include "GsBaseVectorizeView.h"

#include "GsBaseVectorizeDevice.h"

#include "DbObject.h"

#include <algorithm>
#include <cmath>

OdGsBaseVectorizeView::OdGsBaseVectorizeView() = default;

OdGsBaseVectorizeView::~OdGsBaseVectorizeView() = default;

void OdGsBaseVectorizeView::init(OdGsBaseVectorizeDevice* device, const OdGsClientViewInfo* viewInfo)
{
    m_device = device;
    if (viewInfo) m_viewInfo = *viewInfo;
}

OdGsDevice* OdGsBaseVectorizeView::device() const
{
    return m_device;
}

bool OdGsBaseVectorizeView::add(OdGiDrawable* sceneGraph)
{
    if (!sceneGraph) return false;
    Entry e;
    if (sceneGraph->isPersistent() && sceneGraph->id())
        e.id = OdDbObjectId(sceneGraph->id());
    else
        e.transient = OdGiDrawablePtr(sceneGraph);
    m_drawables.push_back(e);
    return true;
}

bool OdGsBaseVectorizeView::erase(OdGiDrawable* sceneGraph)
{
    const OdDbObjectId id =
        sceneGraph && sceneGraph->isPersistent() ? OdDbObjectId(sceneGraph->id()) : OdDbObjectId();
    auto it = std::find_if(m_drawables.begin(), m_drawables.end(), [&](const Entry& e) {
        return e.transient.get() == sceneGraph || (!id.isNull() && e.id == id);
    });
    if (it == m_drawables.end()) return false;
    m_drawables.erase(it);
    return true;
}

void OdGsBaseVectorizeView::eraseAll()
{
    m_drawables.clear();
}

OdGiDrawablePtr OdGsBaseVectorizeView::drawableAt(int index) const
{
    if (index < 0 || index >= int(m_drawables.size())) return OdGiDrawablePtr();
    const Entry& e = m_drawables[std::size_t(index)];
    if (e.transient) return e.transient;
    OdDbObjectPtr object = e.id.openObject();
    return OdGiDrawablePtr(static_cast<OdGiDrawable*>(object.get()));
}

void OdGsBaseVectorizeView::update()
{
    beginViewVectorization();
    // By index: a drawable may change the view's list while it is drawn.
    for (int i = 0; i < int(m_drawables.size()); ++i) {
        OdGiDrawablePtr d = drawableAt(i);
        if (d) drawViewDrawable(d.get());
    }
    endViewVectorization();
}

void OdGsBaseVectorizeView::setView(const OdGePoint3d& position, const OdGePoint3d& target,
                                    const OdGeVector3d& upVector, double fieldWidth, double fieldHeight,
                                    Projection projection)
{
    m_position = position;
    m_target = target;
    m_upVector = upVector;
    m_fieldWidth = fieldWidth;
    m_fieldHeight = fieldHeight;
    m_projection = projection;
}

double OdGsBaseVectorizeView::focalLength() const
{
    // A 35 mm frame is 36 mm wide: the focal distance that shows fieldWidth with this lens.
    return m_fieldWidth * m_lensLength / 36.0;
}

OdGeMatrix3d OdGsBaseVectorizeView::eyeToWorldTransform() const
{
    OdGeVector3d z = m_position - m_target;
    if (z.isZeroLength()) z = OdGeVector3d::kZAxis;
    z.normalize();
    OdGeVector3d x = m_upVector.crossProduct(z);
    if (x.isZeroLength()) x = z.perpVector();
    x.normalize();
    const OdGeVector3d y = z.crossProduct(x).normal();
    OdGeMatrix3d m;
    m.setCoordSystem(m_target, x, y, z);
    return m;
}

OdGeMatrix3d OdGsBaseVectorizeView::worldToEyeTransform() const
{
    return eyeToWorldTransform().inverse();
}

void OdGsBaseVectorizeView::beginViewVectorization()
{
    m_vectorizing = true;
}

void OdGsBaseVectorizeView::endViewVectorization()
{
    m_vectorizing = false;
}
