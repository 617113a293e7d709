#include "zalGripController.h"

#include "zalCommandLine.h"
#include "zalDocumentManager.h"
#include "zalDrawingView.h"
#include "zalGripViewportDraw.h"
#include "zalHostApplication.h"
#include "zalSelectionController.h"

#include "GenericGripData.h"
#include "zalDragTracker.h"
#include "zalGripPointUtils.h"
#include "zalIUEAssetPlaceHolder.h"

#include "DbDwgMemoryFiler.h"
#include "DbEntity.h"
#include "OdError.h"
#include "RxObjectImpl.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

// A copy of the entity for the drag image, through its own record; null when the class cannot file
// itself (the drag then shows only the grip).
OdDbEntityPtr dragCopy(const OdDbEntity* entity)
{
    try {
        OdRxObjectPtr made = entity->isA()->create();
        auto* copy = dynamic_cast<OdDbEntity*>(made.get());
        if (!copy) return OdDbEntityPtr();
        OdDbDwgMemoryFilerPtr filer = OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject();
        entity->dwgOutFields(filer.get());
        filer->rewind();
        if (copy->dwgInFields(filer.get()) != eOk) return OdDbEntityPtr();
        return OdDbEntityPtr(copy);
    } catch (const OdError&) {
        return OdDbEntityPtr();
    }
}

} // namespace

zalGripController::zalGripController(zalHostApplication* app, zalCommandLine* commandLine,
                                     zalSelectionController* selection, QObject* parent)
    : QObject(parent), m_app(app), m_commandLine(commandLine), m_selection(selection)
{
    connect(selection, &zalSelectionController::selectionChanged, this, &zalGripController::rebuild);
}

zalGripController::~zalGripController()
{
    if (m_view) endDrag(m_view, false);
    clear();
}

void zalGripController::clear()
{
    // The grips release their payloads as an ended edit does.
    for (Grip& grip : m_grips)
        if (OdDbGripData* data = grip.data.get())
            if (data->gripOpStatFunc())
                data->gripOpStatFunc()(data, grip.entity, OdDbGripOperations::kGripEnd);
    m_grips.clear();
    m_hover = m_hot = -1;
}

void zalGripController::rebuild(zalDrawingView* view)
{
    if (m_hot >= 0 && m_view) endDrag(m_view, false);
    clear();
    if (m_view != view) {
        if (m_view) {
            m_view->removeEventFilter(this);
            disconnect(m_view, &zalDrawingView::painted, this, nullptr);
            m_view->update();
        }
        m_view = view;
        if (view) {
            view->installEventFilter(this);
            connect(view, &zalDrawingView::painted, this,
                    [this, view](QPainter* painter) { paint(view, painter); });
        }
    }
    if (!view) return;
    // The payload class is the module's, registered before the first grip; without the module loaded
    // there are no grips.
    zalDocumentManager* documents = zalDocumentManager::instance();
    if (!documents || !documents->renderModule()) {
        view->update();
        return;
    }
    if (!GenericGripData::desc()) GenericGripData::rxInit();
    for (const OdDbObjectId& id : m_selection->selection()) {
        OdDbObjectPtr object = id.openObject();
        auto* entity = dynamic_cast<OdDbEntity*>(object.get());
        if (!entity) continue;
        OdGePoint3d point;
        zalGripPointUtils::GripShape shape = zalGripPointUtils::kCircle;
        if (auto* placeholder = dynamic_cast<zalIUEAssetPlaceHolder*>(entity)) {
            point = placeholder->gripPoint();
            shape = zalGripPointUtils::kSquare;
        } else {
            OdGeExtents3d ext;
            if (entity->getGeomExtents(ext) != eOk || !ext.isValidExtents()) continue;
            point = ext.minPoint() + (ext.maxPoint() - ext.minPoint()) * 0.5;
        }
        try {
            m_grips.push_back({zalGripPointUtils::createGripData(
                                   point, shape, OdVariant(OdString("position")), OdString("position")),
                               id});
        } catch (const OdError&) {
            break; // the payload class is not registered
        }
    }
    view->update();
}

std::vector<OdGePoint3d> zalGripController::gripPoints() const
{
    std::vector<OdGePoint3d> points;
    for (const Grip& grip : m_grips)
        points.push_back(grip.data->gripPoint());
    return points;
}

void zalGripController::paint(zalDrawingView* view, QPainter* painter)
{
    if (m_grips.empty()) return;
    OdGsView* gs = view->gsView();
    zalGripViewportDraw vd(gs->worldToEyeTransform(), (gs->position() - gs->target()).length(),
                           gs->fieldWidth(), view->size());
    // Glyphs keep their size in device pixels on dense screens.
    const int size = int(std::lround(gripSize() * view->devicePixelRatioF()));
    for (int i = 0; i < int(m_grips.size()); ++i) {
        OdDbGripData* data = m_grips[size_t(i)].data.get();
        if (!data->viewportDraw()) continue;
        OdDbGripOperations::DrawType type = i == m_hot     ? OdDbGripOperations::kHotGrip
                                            : i == m_hover ? OdDbGripOperations::kHoverGrip
                                                           : OdDbGripOperations::kWarmGrip;
        OdGePoint3d image = m_dragNow;
        data->viewportDraw()(data, &vd, m_grips[size_t(i)].entity, type, i == m_hot ? &image : nullptr, size);
    }
    vd.paint(painter);
}

int zalGripController::gripAt(zalDrawingView* view, const QPoint& pixel) const
{
    for (int i = 0; i < int(m_grips.size()); ++i) {
        QPointF at;
        if (!view->project(m_grips[size_t(i)].data->gripPoint(), at)) continue;
        if (std::fabs(at.x() - pixel.x()) <= gripSize() + 3 &&
            std::fabs(at.y() - pixel.y()) <= gripSize() + 3)
            return i;
    }
    return -1;
}

OdGePoint3d zalGripController::dragPoint(zalDrawingView* view, const QPoint& pixel) const
{
    // The grip slides on its own level, and lands on the terrain where there is one.
    OdGePoint3d point = m_dragNow;
    if (!view->pointOnPlane(pixel, m_dragBase.z, point)) return m_dragNow;
    if (m_app && view->database()) {
        m_app->beginElevationQuery();
        double elevation = 0.0;
        if (m_app->elevationAt(view->database(), point, elevation)) point.z = elevation;
        m_app->endElevationQuery();
    }
    return point;
}

void zalGripController::beginDrag(zalDrawingView* view, int index, const QPoint&)
{
    Grip& grip = m_grips[size_t(index)];
    OdDbGripData* data = grip.data.get();
    if (data->hotGripFunc()) data->hotGripFunc()(data, grip.entity, 0);
    m_hot = index;
    m_dragBase = m_dragNow = data->gripPoint();
    OdDbObjectPtr object = grip.entity.openObject();
    auto* entity = dynamic_cast<OdDbEntity*>(object.get());
    OdDbEntityPtr copy = entity ? dragCopy(entity) : OdDbEntityPtr();
    if (!copy.isNull()) {
        m_tracker = zalDragTracker::createObject();
        m_tracker->init(copy, m_dragBase);
        m_tracker->addDrawables(view->gsView());
    }
    view->refreshDrawing();
}

void zalGripController::endDrag(zalDrawingView* view, bool apply)
{
    if (m_hot < 0) return;
    const Grip grip = m_grips[size_t(m_hot)];
    if (!m_tracker.isNull()) {
        m_tracker->removeDrawables(view->gsView());
        m_tracker.release();
    }
    const OdGeVector3d move = m_dragNow - m_dragBase;
    m_hot = -1;
    if (apply && !move.isZeroLength()) {
        OdDbEntityPtr entity = grip.entity.safeOpenObject(OdDb::kForWrite);
        const bool moved = entity->transformBy(OdGeMatrix3d::translation(move)) == eOk;
        const QString cls = QString::fromStdString(OdString(entity->isA()->name()).toUtf8());
        entity.release();
        m_commandLine->append(
            moved ? QStringLiteral("Moved %1 %2 by %3,%4,%5.")
                        .arg(cls, QString::fromStdString(grip.entity.getHandle().ascii().toUtf8()),
                             number(move.x), number(move.y), number(move.z))
                  : QStringLiteral("This entity cannot be moved by its grip."));
        if (moved)
            if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(view->database());
    }
    view->refreshDrawing();
    rebuild(view);
}

bool zalGripController::eventFilter(QObject* watched, QEvent* event)
{
    auto* view = qobject_cast<zalDrawingView*>(watched);
    // Grips are for editing between commands; at a prompt a click answers the prompt.
    if (!view || view != m_view || m_grips.empty() || (m_hot < 0 && m_commandLine->isPrompting()))
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || mouse->modifiers() != Qt::NoModifier) break;
        const int index = gripAt(view, mouse->pos());
        if (index < 0) break;
        beginDrag(view, index, mouse->pos());
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_hot >= 0) {
            m_dragNow = dragPoint(view, mouse->pos());
            if (!m_tracker.isNull()) m_tracker->setValue(m_dragNow);
            view->refreshDrawing();
            return true;
        }
        const int hover = gripAt(view, mouse->pos());
        if (hover != m_hover) {
            m_hover = hover;
            view->update();
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (m_hot >= 0) {
            m_dragNow = dragPoint(view, static_cast<QMouseEvent*>(event)->pos());
            endDrag(view, true);
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (m_hot >= 0 && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            endDrag(view, false);
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
