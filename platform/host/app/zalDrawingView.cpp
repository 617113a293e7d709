#include "zalDrawingView.h"

#include "zalSketchDevice.h"
#include "zalSketchView.h"

#include "DbAbstractViewTableRecord.h"
#include "DbBlockTableRecord.h"
#include "DbEntity.h"
#include "DbLight.h"
#include "DbObjectIterator.h"
#include "RxObjectImpl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// A 50 mm lens: the camera stands at 50/36 of the field width from the target.
const double kLens = 50.0;

double distanceFor(double width)
{
    return width * kLens / 36.0;
}

} // namespace

zalDrawingView::zalDrawingView(OdDbDatabase* db, QWidget* parent) : QWidget(parent), m_db(db)
{
    setMinimumSize(200, 150);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_context = OdRxObjectImpl<OdGiContextForDbDatabase>::createObject();
    m_context->setDatabase(db);
    m_device = zalSketchDevice::createObject();
    m_device->setUserGiContext(m_context.get());
    OdGsClientViewInfo info;
    info.viewportId = 0;
    info.viewportObjectId = db ? db->activeViewportId() : OdDbObjectId();
    m_view = m_device->createView(&info);
    m_view->setMode(OdGsView::kFlatShaded);
    m_view->setLensLength(kLens);
    m_device->addView(m_view.get());
    if (db) {
        OdDbObjectPtr modelSpace = db->getModelSpaceId().safeOpenObject();
        m_view->add(static_cast<OdDbBlockTableRecord*>(modelSpace.get()));
    }
    zoomExtents();
}

zalDrawingView::~zalDrawingView()
{
    if (m_view) m_view->eraseAll();
    if (m_device) m_device->eraseAllViews();
}

OdGsView* zalDrawingView::gsView() const
{
    return m_view.get();
}

void zalDrawingView::setShaded(bool shaded)
{
    m_shaded = shaded;
    m_view->setMode(shaded ? OdGsView::kFlatShaded : OdGsView::kWireframe);
    m_rasterDirty = true;
    update();
}

int zalDrawingView::primitiveCount() const
{
    vectorize();
    return int(static_cast<zalSketchView*>(m_view.get())->primitives().size());
}

void zalDrawingView::refreshDrawing()
{
    m_dirty = true;
    m_rasterDirty = true;
    update();
}

void zalDrawingView::vectorize() const
{
    if (!m_dirty) return;
    m_view->update();
    m_dirty = false;
    m_rasterDirty = true;
}

OdGeExtents3d zalDrawingView::modelExtents() const
{
    OdGeExtents3d extents;
    if (!m_db) return extents;
    OdDbBlockTableRecordPtr modelSpace = m_db->getModelSpaceId().safeOpenObject();
    for (OdDbObjectIteratorPtr it = modelSpace->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        // A far light (the sun) would leave the model a dot in the middle of the view.
        if (e.isNull() || dynamic_cast<OdDbLight*>(e.get())) continue;
        OdGeExtents3d ext;
        if (e->getGeomExtents(ext) == eOk) extents.addExt(ext);
    }
    return extents;
}

void zalDrawingView::setCamera(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& up,
                               double width)
{
    const double aspect = height() > 0 && this->width() > 0 ? double(height()) / this->width() : 0.75;
    m_view->setView(position, target, up, width, width * aspect, OdGsView::kPerspective);
    m_rasterDirty = true;
    update();
    emit cameraChanged();
}

void zalDrawingView::zoomExtents()
{
    if (m_db) {
        OdDbObjectPtr object = m_db->activeViewportId().openObject();
        auto* record = dynamic_cast<OdDbAbstractViewTableRecord*>(object.get());
        if (record && record->isPerspectiveEnabled()) {
            const double distance = record->viewDirection().length();
            if (distance > 1e-9) {
                setCamera(record->viewPosition(), record->target(), record->upVector(),
                          distance * 36.0 / kLens);
                return;
            }
        }
    }
    const OdGeExtents3d ext = modelExtents();
    OdGePoint3d target(0, 0, 0);
    double size = 10.0;
    if (ext.isValidExtents()) {
        target = ext.minPoint() + (ext.maxPoint() - ext.minPoint()) * 0.5;
        size = std::max(1e-6, (ext.maxPoint() - ext.minPoint()).length());
    }
    const double width = size * 1.2;
    const OdGeVector3d direction = OdGeVector3d(-1.0, -1.4, 0.9).normal();
    setCamera(target + direction * distanceFor(width), target, OdGeVector3d::kZAxis, width);
}

void zalDrawingView::orbit(double yaw, double pitch)
{
    const OdGePoint3d target = m_view->target();
    OdGeVector3d eye = m_view->position() - target;
    OdGeVector3d up = m_view->upVector();
    const OdGeMatrix3d turn = OdGeMatrix3d::rotation(yaw, OdGeVector3d::kZAxis);
    eye.transformBy(turn);
    up.transformBy(turn);
    const OdGeVector3d right = up.crossProduct(eye).normal();
    OdGeVector3d tilted = eye;
    tilted.transformBy(OdGeMatrix3d::rotation(pitch, right));
    // Never over the top: the camera keeps the world's Z upwards.
    if (std::fabs(tilted.normal().z) < 0.995) {
        eye = tilted;
        up.transformBy(OdGeMatrix3d::rotation(pitch, right));
    }
    if (up.z < 0) up = -up;
    setCamera(target + eye, target, OdGeVector3d::kZAxis, m_view->fieldWidth());
}

void zalDrawingView::pan(const QPointF& pixels)
{
    if (width() <= 0) return;
    const OdGeMatrix3d eyeToWorld = m_view->eyeToWorldTransform();
    OdGePoint3d origin;
    OdGeVector3d x, y, z;
    eyeToWorld.getCoordSystem(origin, x, y, z);
    const double scale = m_view->fieldWidth() / width();
    const OdGeVector3d move = x * (-pixels.x() * scale) + y * (pixels.y() * scale);
    setCamera(m_view->position() + move, m_view->target() + move, m_view->upVector(), m_view->fieldWidth());
}

void zalDrawingView::zoom(double factor)
{
    if (factor <= 0) return;
    const double width = m_view->fieldWidth() / factor;
    const OdGePoint3d target = m_view->target();
    const OdGeVector3d eye = (m_view->position() - target).normal();
    setCamera(target + eye * distanceFor(width), target, m_view->upVector(), width);
}

bool zalDrawingView::project(const OdGePoint3d& world, QPointF& out) const
{
    OdGePoint3d e = world;
    e.transformBy(m_view->worldToEyeTransform());
    const double distance = (m_view->position() - m_view->target()).length();
    const double depth = distance - e.z;
    if (depth <= distance * 1e-3) return false;
    const double scale = width() / m_view->fieldWidth() * distance / depth;
    out = QPointF(width() / 2.0 + e.x * scale, height() / 2.0 - e.y * scale);
    return true;
}

void zalDrawingView::rasterize() const
{
    vectorize();
    if (!m_rasterDirty && m_raster.image().size() == size()) return;
    zalSketchRaster::Camera camera;
    camera.worldToEye = m_view->worldToEyeTransform();
    camera.distance = (m_view->position() - m_view->target()).length();
    camera.fieldWidth = m_view->fieldWidth();
    const auto& selected = m_highlighted;
    m_raster.render(static_cast<zalSketchView*>(m_view.get())->primitives(), camera, size(), m_shaded,
                    [&selected](const zalSketchPrimitive& p) {
                        return !p.entity.isNull() &&
                               std::find(selected.begin(), selected.end(), p.entity) != selected.end();
                    });
    m_rasterDirty = false;
}

QImage zalDrawingView::renderedImage() const
{
    rasterize();
    return m_raster.image();
}

void zalDrawingView::setHighlighted(const std::vector<OdDbObjectId>& ids)
{
    if (ids == m_highlighted) return;
    m_highlighted = ids;
    m_rasterDirty = true;
    update();
}

void zalDrawingView::setPaintingModel(bool paint)
{
    if (paint == m_paintModel) return;
    m_paintModel = paint;
    update();
}

void zalDrawingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_paintModel) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    rasterize();
    painter.drawImage(0, 0, m_raster.image());
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Lights stand on top as markers, whatever is in front of them.
    for (const zalSketchPrimitive& p : static_cast<zalSketchView*>(m_view.get())->primitives()) {
        QPointF q;
        if (p.kind != zalSketchPrimitive::Marker || p.points.empty() || !project(p.points.front(), q))
            continue;
        const bool lit =
            std::find(m_highlighted.begin(), m_highlighted.end(), p.entity) != m_highlighted.end();
        painter.setPen(QPen(QColor::fromRgb(lit ? zalSketchRaster::highlightColor() : p.color), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(q, 5, 5);
        painter.drawLine(q - QPointF(8, 0), q + QPointF(8, 0));
        painter.drawLine(q - QPointF(0, 8), q + QPointF(0, 8));
    }
    if (!m_window.isEmpty()) {
        painter.setPen(QPen(QColor(120, 190, 255), 1, Qt::DashLine));
        painter.setBrush(QColor(120, 190, 255, 40));
        painter.drawRect(m_window);
    }
    emit painted(&painter);
}

OdDbObjectId zalDrawingView::entityAt(const QPoint& point) const
{
    rasterize();
    const auto& primitives = static_cast<zalSketchView*>(m_view.get())->primitives();
    // A light's marker is drawn over everything, so it is picked first.
    for (const zalSketchPrimitive& p : primitives) {
        QPointF q;
        if (p.kind == zalSketchPrimitive::Marker && !p.points.empty() && project(p.points.front(), q) &&
            std::hypot(q.x() - point.x(), q.y() - point.y()) <= 6.0)
            return p.entity;
    }
    const int index = m_raster.primitiveNear(point, 4);
    return index >= 0 && size_t(index) < primitives.size() ? primitives[size_t(index)].entity
                                                           : OdDbObjectId();
}

bool zalDrawingView::pointAt(const QPoint& point, OdGePoint3d& world) const
{
    rasterize();
    if (m_raster.surfacePoint(point, world)) return true;
    // Nothing drawn there: the ray through the pixel meets the ground plane.
    return pointOnPlane(point, 0.0, world);
}

bool zalDrawingView::pointOnPlane(const QPoint& point, double z, OdGePoint3d& world) const
{
    if (width() <= 0 || m_view->fieldWidth() <= 0) return false;
    const OdGeMatrix3d eyeToWorld = m_view->eyeToWorldTransform();
    const double distance = (m_view->position() - m_view->target()).length();
    const double scale = width() / m_view->fieldWidth();
    const OdGePoint3d onTarget((point.x() + 0.5 - width() / 2.0) / scale,
                               (height() / 2.0 - point.y() - 0.5) / scale, 0.0);
    OdGePoint3d from(0, 0, distance), through = onTarget;
    from.transformBy(eyeToWorld);
    through.transformBy(eyeToWorld);
    const OdGeVector3d ray = through - from;
    if (std::fabs(ray.z) < 1e-12) return false;
    const double t = (z - from.z) / ray.z;
    if (t <= 0) return false;
    world = from + ray * t;
    return true;
}

std::vector<OdDbObjectId> zalDrawingView::entitiesInside(const QRect& rect) const
{
    vectorize();
    std::vector<OdDbObjectId> inside, outside;
    for (const zalSketchPrimitive& p : static_cast<zalSketchView*>(m_view.get())->primitives()) {
        if (p.entity.isNull()) continue;
        bool all = !p.points.empty();
        for (const OdGePoint3d& world : p.points) {
            QPointF q;
            if (!project(world, q) || !QRectF(rect).contains(q)) {
                all = false;
                break;
            }
        }
        std::vector<OdDbObjectId>& list = all ? inside : outside;
        if (std::find(list.begin(), list.end(), p.entity) == list.end()) list.push_back(p.entity);
    }
    // An entity counts only when every piece of it is inside.
    std::vector<OdDbObjectId> result;
    for (const OdDbObjectId& id : inside)
        if (std::find(outside.begin(), outside.end(), id) == outside.end()) result.push_back(id);
    return result;
}

void zalDrawingView::resizeEvent(QResizeEvent*)
{
    setCamera(m_view->position(), m_view->target(), m_view->upVector(), m_view->fieldWidth());
}

void zalDrawingView::mousePressEvent(QMouseEvent* event)
{
    m_lastMouse = m_pressMouse = event->pos();
    m_dragButton = event->button();
    m_selecting = m_dragButton == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier);
}

void zalDrawingView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragButton == Qt::NoButton) {
        OdGePoint3d world;
        if (hasMouseTracking() && pointAt(event->pos(), world)) emit cursorMoved(world);
        return;
    }
    if (m_selecting) {
        m_window = QRect(m_pressMouse, event->pos()).normalized();
        update();
        return;
    }
    const QPoint delta = event->pos() - m_lastMouse;
    m_lastMouse = event->pos();
    if (m_dragButton == Qt::LeftButton)
        orbit(-delta.x() * 0.01, -delta.y() * 0.01);
    else
        pan(QPointF(delta));
}

void zalDrawingView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = (event->pos() - m_pressMouse).manhattanLength() < 3;
    if (m_dragButton == Qt::LeftButton && click) {
        const OdDbObjectId id = entityAt(event->pos());
        OdGePoint3d world;
        const bool hasPoint = pointAt(event->pos(), world);
        if (!id.isNull()) emit entityPicked(id);
        emit clicked(event->pos(), id, world, hasPoint);
    } else if (m_selecting) {
        const QRect window = QRect(m_pressMouse, event->pos()).normalized();
        m_window = QRect();
        update();
        emit windowSelected(entitiesInside(window));
    }
    m_selecting = false;
    m_window = QRect();
    m_dragButton = Qt::NoButton;
}

void zalDrawingView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    QWidget::keyPressEvent(event);
}

void zalDrawingView::wheelEvent(QWheelEvent* event)
{
    zoom(std::pow(1.2, event->angleDelta().y() / 120.0));
}
