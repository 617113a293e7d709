#pragma once

#include "DbGripData.h"
#include "DbObjectId.h"
#include "Ge/GePoint3d.h"
#include "SharedPtr.h"

#include <QObject>
#include <QPointer>

#include <vector>

class OdDbEntity;
class QPainter;
class zalCommandLine;
class zalDragTracker;
class zalDrawingView;
class zalHostApplication;
class zalSelectionController;

// Grips of the selected entity in the drawing view. Each grip is the render module's generic grip data
// and draws itself through its viewport-draw callback (colour by state, size from the view's pixel
// density). Dragging a grip moves the entity: a drag tracker shows a copy following the cursor on the
// grip's horizontal plane (put on the terrain by the elevation service), and the release moves the
// entity itself, which the render view then sends to the viewer. Asset placeholders (the water
// fountain) offer their position; other entities a grip at the middle of their extents.
class zalGripController : public QObject
{
    Q_OBJECT
public:
    zalGripController(zalHostApplication* app, zalCommandLine* commandLine, zalSelectionController* selection,
                      QObject* parent = nullptr);
    ~zalGripController() override;

    // Where the grips of the selection are, in world coordinates.
    std::vector<OdGePoint3d> gripPoints() const;
    // Glyph half-size in pixels.
    static int gripSize() { return 5; }
    // Where an entity's grip goes: an asset placeholder's position (placed true), else the middle of
    // its extents; false when it has neither.
    static bool anchorOf(OdDbEntity* entity, OdGePoint3d& point, bool* placed = nullptr);
    bool isDragging() const { return m_hot >= 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Grip
    {
        OdSharedPtr<OdDbGripData> data;
        OdDbObjectId entity;
    };
    void rebuild(zalDrawingView* view);
    void clear();
    void paint(zalDrawingView* view, QPainter* painter);
    int gripAt(zalDrawingView* view, const QPoint& pixel) const;
    OdGePoint3d dragPoint(zalDrawingView* view, const QPoint& pixel) const;
    void beginDrag(zalDrawingView* view, int index, const QPoint& pixel);
    void endDrag(zalDrawingView* view, bool apply);

    zalHostApplication* m_app;
    zalCommandLine* m_commandLine;
    zalSelectionController* m_selection;
    QPointer<zalDrawingView> m_view;
    std::vector<Grip> m_grips;
    int m_hover = -1;
    int m_hot = -1;
    OdGePoint3d m_dragBase, m_dragNow;
    OdSmartPtr<zalDragTracker> m_tracker;
};
