#pragma once

#include "DbDatabase.h"
#include "DbObjectId.h"
#include "Ge/GeExtents3d.h"
#include "Ge/GePoint3d.h"
#include "GiContextForDbDatabase.h"
#include "GsView.h"

#include "zalSketchRaster.h"

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include <vector>

class zalSketchDevice;
class zalSketchView;

// The host's own view of a drawing: the model space drawn through the Gi layer, wireframe or flat
// shaded with a depth buffer. Dragging with the left button orbits, with Shift a selection window,
// with the middle or right button pans, the wheel zooms; each move sets the camera of a real OdGsView
// (gsView()), which the render view follows. A click picks what is seen under the cursor.
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
    // Whether painting draws the model. A headless run shows the window to nobody: its view paints only
    // the background, so the viewer does not share the processor with a picture no one sees. Picking
    // and renderedImage() still draw it when asked.
    bool isPaintingModel() const { return m_paintModel; }
    void setPaintingModel(bool paint);

    // Camera operations (the mouse uses them too): angles in radians, pan in pixels.
    void orbit(double yaw, double pitch);
    void pan(const QPointF& pixels);
    void zoom(double factor);
    // Looks at the whole model from the south-west, or through the drawing's perspective camera.
    void zoomExtents();
    OdGeExtents3d modelExtents() const;

    // The top-level entity seen at a widget point (the nearest surface, or a line or light within a
    // few pixels); null when none.
    OdDbObjectId entityAt(const QPoint& point) const;
    // The world point under a widget point: on the surface seen there, else on the plane z = 0.
    bool pointAt(const QPoint& point, OdGePoint3d& world) const;
    // Where the ray through a widget point meets the horizontal plane at height z.
    bool pointOnPlane(const QPoint& point, double z, OdGePoint3d& world) const;
    // Entities drawn entirely inside a widget rectangle.
    std::vector<OdDbObjectId> entitiesInside(const QRect& rect) const;

    // Entities drawn in the selection colour.
    const std::vector<OdDbObjectId>& highlighted() const { return m_highlighted; }
    void setHighlighted(const std::vector<OdDbObjectId>& ids);
    // The picture as last drawn (the depth-tested faces and lines, without overlays).
    QImage renderedImage() const;
    // Where the selection window is being dragged; empty when none.
    QRect selectionWindow() const { return m_window; }
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
    // A click without a drag: where, the entity seen there (may be null) and the point under it.
    void clicked(const QPoint& pixel, const OdDbObjectId& entity, const OdGePoint3d& world, bool hasPoint);
    void windowSelected(const std::vector<OdDbObjectId>& ids);
    // The cursor moved without a button (point prompts follow it).
    void cursorMoved(const OdGePoint3d& world);
    void escapePressed();
    // After the picture is painted, for overlays drawn by others (grips).
    void painted(QPainter* painter);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCamera(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& up,
                   double width);
    void vectorize() const;
    void rasterize() const;

    OdDbDatabasePtr m_db;
    OdSmartPtr<OdGiContextForDbDatabase> m_context;
    OdSmartPtr<zalSketchDevice> m_device;
    OdGsViewPtr m_view;
    mutable bool m_dirty = true;
    mutable bool m_rasterDirty = true;
    mutable zalSketchRaster m_raster;
    std::vector<OdDbObjectId> m_highlighted;
    QRect m_window;
    bool m_shaded = true;
    bool m_paintModel = true;
    QPoint m_lastMouse;
    QPoint m_pressMouse;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    bool m_selecting = false;
};
