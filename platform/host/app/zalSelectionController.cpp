#include "zalSelectionController.h"

#include "zalCommandLine.h"
#include "zalDrawingView.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"

#include "DbEntity.h"
#include "DbHandle.h"

namespace {

QString handleText(const OdDbObjectId& id)
{
    return QString::fromStdString(id.getHandle().ascii().toUtf8());
}

QString number(double v)
{
    return QString::number(v, 'g', 12);
}

QString describe(const OdDbObjectId& id)
{
    OdDbObjectPtr object = id.openObject();
    const QString cls = object.isNull() ? QStringLiteral("entity")
                                        : QString::fromStdString(OdString(object->isA()->name()).toUtf8());
    return QStringLiteral("%1 %2").arg(cls, handleText(id));
}

} // namespace

zalSelectionController::zalSelectionController(zalHostApplication* app, zalCommandLine* commandLine,
                                               QObject* parent)
    : QObject(parent), m_app(app), m_commandLine(commandLine)
{
}

void zalSelectionController::attach(zalDrawingView* view)
{
    view->setMouseTracking(true);
    connect(view, &zalDrawingView::clicked, this,
            [this, view](const QPoint&, const OdDbObjectId& entity, const OdGePoint3d& world, bool hasPoint) {
                clicked(view, entity, world, hasPoint);
            });
    connect(view, &zalDrawingView::windowSelected, this, [this, view](const std::vector<OdDbObjectId>& ids) {
        setSelection(view, ids);
        m_commandLine->append(
            QStringLiteral("Selected %1 entit%2.").arg(ids.size()).arg(ids.size() == 1 ? "y" : "ies"));
    });
    connect(view, &zalDrawingView::cursorMoved, this, [this, view](const OdGePoint3d& world) {
        zalHostConsole* console = m_app ? m_app->console() : nullptr;
        if (!m_commandLine->isPrompting() || !console || console->promptKind() != zalHostConsole::PointPrompt)
            return;
        // The dragged entity follows the cursor.
        if (console->trackPoint(promptPoint(view, world))) view->refreshDrawing();
    });
    connect(view, &zalDrawingView::escapePressed, this, [this, view] {
        if (m_commandLine->isPrompting())
            m_commandLine->cancelPrompt();
        else
            setSelection(view, {});
    });
}

OdGePoint3d zalSelectionController::promptPoint(zalDrawingView* view, const OdGePoint3d& world) const
{
    OdGePoint3d point = world;
    if (!m_app || !view->database()) return point;
    m_app->beginElevationQuery();
    double elevation = 0.0;
    if (m_app->elevationAt(view->database(), point, elevation)) point.z = elevation;
    m_app->endElevationQuery();
    return point;
}

void zalSelectionController::clicked(zalDrawingView* view, const OdDbObjectId& entity,
                                     const OdGePoint3d& world, bool hasPoint)
{
    zalHostConsole* console = m_app ? m_app->console() : nullptr;
    if (m_commandLine->isPrompting() && console) {
        switch (console->promptKind()) {
        case zalHostConsole::EntityPrompt:
            if (entity.isNull())
                m_commandLine->append(QStringLiteral("Nothing to pick there."));
            else
                m_commandLine->submit(handleText(entity));
            return;
        case zalHostConsole::PointPrompt:
            if (hasPoint) {
                const OdGePoint3d p = promptPoint(view, world);
                m_commandLine->submit(QStringLiteral("%1,%2,%3").arg(number(p.x), number(p.y), number(p.z)));
            }
            return;
        default:
            return;
        }
    }
    setSelection(view, entity.isNull() ? std::vector<OdDbObjectId>() : std::vector<OdDbObjectId>{entity});
    if (!entity.isNull()) m_commandLine->append(QStringLiteral("Selected %1.").arg(describe(entity)));
}

void zalSelectionController::setSelection(zalDrawingView* view, const std::vector<OdDbObjectId>& ids)
{
    if (m_view && m_view != view) m_view->setHighlighted({});
    m_view = view;
    m_selection = ids;
    if (view) view->setHighlighted(ids);
    emit selectionChanged(view);
}

void zalSelectionController::pruneSelection()
{
    std::vector<OdDbObjectId> kept;
    for (const OdDbObjectId& id : m_selection)
        if (!id.isErased()) kept.push_back(id);
    if (kept.size() != m_selection.size()) setSelection(m_view, kept);
}
