#pragma once

#include "DbObjectId.h"
#include "Ge/GePoint3d.h"

#include <QObject>
#include <QPointer>

#include <vector>

class zalCommandLine;
class zalDrawingView;
class zalHostApplication;

// What a click in a drawing view means: at an entity prompt the entity answers it, at a point prompt
// the point under the cursor (put on the terrain by the elevation service) answers it, otherwise the
// entity becomes the selection, drawn highlighted. Escape in the view cancels the prompt or clears
// the selection. Owned by the main window; one per window, shared by its drawing views.
class zalSelectionController : public QObject
{
    Q_OBJECT
public:
    zalSelectionController(zalHostApplication* app, zalCommandLine* commandLine, QObject* parent = nullptr);

    void attach(zalDrawingView* view);
    const std::vector<OdDbObjectId>& selection() const { return m_selection; }
    void setSelection(zalDrawingView* view, const std::vector<OdDbObjectId>& ids);
    // The point a click at a world point answers a point prompt with.
    OdGePoint3d promptPoint(zalDrawingView* view, const OdGePoint3d& world) const;

signals:
    void selectionChanged(zalDrawingView* view);

public slots:
    // Drops erased entities from the selection (after a command).
    void pruneSelection();

private:
    void clicked(zalDrawingView* view, const OdDbObjectId& entity, const OdGePoint3d& world, bool hasPoint);

    zalHostApplication* m_app;
    zalCommandLine* m_commandLine;
    QPointer<zalDrawingView> m_view; // the view the selection belongs to
    std::vector<OdDbObjectId> m_selection;
};
