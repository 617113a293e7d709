#include "zalDrawingView.h"

#include "zalSketchDevice.h"
#include "zalSketchView.h"

#include "DbAbstractViewTableRecord.h"
#include "DbBlockTableRecord.h"
#include "DbEntity.h"
#include "DbLight.h"
#include "DbObjectIterator.h"
#include "RxObjectImpl.h"

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

double segmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double len2 = ab.x() * ab.x() + ab.y() * ab.y();
    double t = len2 > 0 ? ((p - a).x() * ab.x() + (p - a).y() * ab.y()) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF q = a + ab * t - p;
    return std::sqrt(q.x() * q.x() + q.y() * q.y());
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
    update();
}

void zalDrawingView::vectorize() const
{
    if (!m_dirty) return;
    m_view->update();
    m_dirty = false;
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
    OdGePoint3d origin, dummy;
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

void zalDrawingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(32, 36, 40));
    painter.setRenderHint(QPainter::Antialiasing, true);
    vectorize();
    const auto& primitives = static_cast<zalSketchView*>(m_view.get())->primitives();

    // Faces whose farthest corner is farthest from the camera first, so nearer ones cover them (by
    // the farthest corner rather than the centre: a large ground face then stays under what stands on it).
    const OdGeMatrix3d toEye = m_view->worldToEyeTransform();
    struct Item
    {
        const zalSketchPrimitive* primitive;
        double depth;
    };
    std::vector<Item> items;
    items.reserve(primitives.size());
    for (const zalSketchPrimitive& p : primitives) {
        double z = 0;
        bool first = true;
        for (const OdGePoint3d& point : p.points) {
            OdGePoint3d e = point;
            e.transformBy(toEye);
            z = first ? e.z : std::min(z, e.z);
            first = false;
        }
        items.push_back({&p, z});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.depth < b.depth; });

    OdGeVector3d light = (m_view->position() - m_view->target()).normal() + OdGeVector3d(0.3, 0.2, 0.6);
    light.normalize();
    QPolygonF polygon;
    for (const Item& item : items) {
        const zalSketchPrimitive& p = *item.primitive;
        polygon.clear();
        bool visible = true;
        for (const OdGePoint3d& point : p.points) {
            QPointF q;
            if (!project(point, q)) {
                visible = false;
                break;
            }
            polygon << q;
        }
        if (!visible || polygon.isEmpty()) continue;
        const QColor color = QColor::fromRgb(p.color);
        if (p.kind == zalSketchPrimitive::Marker) {
            painter.setPen(QPen(color, 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(polygon.first(), 5, 5);
            painter.drawLine(polygon.first() - QPointF(8, 0), polygon.first() + QPointF(8, 0));
            painter.drawLine(polygon.first() - QPointF(0, 8), polygon.first() + QPointF(0, 8));
        } else if (p.kind == zalSketchPrimitive::Face && m_shaded) {
            OdGeVector3d n = (p.points[1] - p.points[0]).crossProduct(p.points[2] - p.points[0]);
            const double shade =
                n.isZeroLength() ? 0.8 : 0.45 + 0.55 * std::fabs(n.normal().dotProduct(light));
            painter.setPen(QPen(color.darker(160), 0));
            painter.setBrush(
                QColor::fromRgbF(color.redF() * shade, color.greenF() * shade, color.blueF() * shade));
            painter.drawPolygon(polygon);
        } else {
            painter.setPen(QPen(color, 0));
            painter.setBrush(Qt::NoBrush);
            if (p.closed || p.kind == zalSketchPrimitive::Face)
                painter.drawPolygon(polygon);
            else
                painter.drawPolyline(polygon);
        }
    }
}

OdDbObjectId zalDrawingView::entityAt(const QPoint& point) const
{
    vectorize();
    const auto& primitives = static_cast<zalSketchView*>(m_view.get())->primitives();
    OdDbObjectId best;
    double bestDistance = 6.0;
    for (const zalSketchPrimitive& p : primitives) {
        QPolygonF polygon;
        bool visible = true;
        for (const OdGePoint3d& world : p.points) {
            QPointF q;
            if (!project(world, q)) {
                visible = false;
                break;
            }
            polygon << q;
        }
        if (!visible || polygon.isEmpty()) continue;
        if (p.kind == zalSketchPrimitive::Face && polygon.containsPoint(point, Qt::OddEvenFill)) {
            if (bestDistance > 0.5) {
                best = p.entity;
                bestDistance = 0.5;
            }
            continue;
        }
        const int n = polygon.size();
        for (int i = 0; i < n; ++i) {
            const QPointF& a = polygon[i];
            const QPointF& b = polygon[(i + 1) % n];
            if (i + 1 == n && !(p.closed || p.kind == zalSketchPrimitive::Face) && n > 1) break;
            const double d =
                n == 1 ? std::hypot(point.x() - a.x(), point.y() - a.y()) : segmentDistance(point, a, b);
            if (d < bestDistance) {
                bestDistance = d;
                best = p.entity;
            }
        }
    }
    return best;
}

void zalDrawingView::resizeEvent(QResizeEvent*)
{
    setCamera(m_view->position(), m_view->target(), m_view->upVector(), m_view->fieldWidth());
}

void zalDrawingView::mousePressEvent(QMouseEvent* event)
{
    m_lastMouse = m_pressMouse = event->pos();
    m_dragButton = event->button();
}

void zalDrawingView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragButton == Qt::NoButton) return;
    const QPoint delta = event->pos() - m_lastMouse;
    m_lastMouse = event->pos();
    if (m_dragButton == Qt::LeftButton)
        orbit(-delta.x() * 0.01, -delta.y() * 0.01);
    else
        pan(QPointF(delta));
}

void zalDrawingView::mouseReleaseEvent(QMouseEvent* event)
{
    // A click without a drag picks.
    if (m_dragButton == Qt::LeftButton && (event->pos() - m_pressMouse).manhattanLength() < 3) {
        const OdDbObjectId id = entityAt(event->pos());
        if (!id.isNull()) emit entityPicked(id);
    }
    m_dragButton = Qt::NoButton;
}

void zalDrawingView::wheelEvent(QWheelEvent* event)
{
    zoom(std::pow(1.2, event->angleDelta().y() / 120.0));
}
