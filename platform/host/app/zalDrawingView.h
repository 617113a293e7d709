#pragma once

#include "DbDatabase.h"
#include "DbObjectId.h"
#include "Ge/GeExtents3d.h"
#include "Ge/GePoint3d.h"
#include "GiContextForDbDatabase.h"
#include "GsView.h"

#include <QPoint>
#include <QPointF>
#include <QWidget>

class zalSketchDevice;
class zalSketchView;

// The host's own view of a drawing: the model space drawn through the Gi layer, wireframe or flat
// shaded. Dragging with the left button orbits, with the middle or right button pans, the wheel
// zooms; each move sets the camera of a real OdGsView (gsView()), which the render view follows.
class zalDrawingView : public QWidget
{
    Q_OBJECT
public:
    explicit zalDrawingView(OdDbDatabase* db, QWidget* parent = nullptr);
    ~zalDrawingView() override;

    OdGsView* gsView() const;
    OdDbDatabase* database() const { return m_db.get(); }

    bool isShaded() const { return m_shaded; }
    void setShaded(bool shaded);

    // Camera operations (the mouse uses them too): angles in radians, pan in pixels.
    void orbit(double yaw, double pitch);
    void pan(const QPointF& pixels);
    void zoom(double factor);
    // Looks at the whole model from the south-west, or through the drawing's perspective camera.
    void zoomExtents();
    OdGeExtents3d modelExtents() const;

    // The top-level entity drawn nearest to a widget point (within a few pixels); null when none.
    OdDbObjectId entityAt(const QPoint& point) const;
    // Where a world point lands in the widget; false when behind the camera.
    bool project(const OdGePoint3d& world, QPointF& out) const;
    // Number of primitives of the last drawing pass.
    int primitiveCount() const;

public slots:
    // Draws the drawing again (after edits).
    void refreshDrawing();

signals:
    void cameraChanged();
    void entityPicked(const OdDbObjectId& id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void setCamera(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& up,
                   double width);
    void vectorize() const;

    OdDbDatabasePtr m_db;
    OdSmartPtr<OdGiContextForDbDatabase> m_context;
    OdSmartPtr<zalSketchDevice> m_device;
    OdGsViewPtr m_view;
    mutable bool m_dirty = true;
    bool m_shaded = true;
    QPoint m_lastMouse;
    QPoint m_pressMouse;
    Qt::MouseButton m_dragButton = Qt::NoButton;
};
