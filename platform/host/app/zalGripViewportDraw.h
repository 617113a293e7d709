#pragma once

#include "GiViewportDraw.h"

#include "Ge/GeMatrix3d.h"

#include <QColor>
#include <QPointF>
#include <QSize>

#include <vector>

class QPainter;

// The viewport draw grips draw themselves into in the drawing view: the view's camera as eye frame and
// pixel density, eye-space polygons and polylines recorded with their colour and fill, then painted over
// the picture. World geometry is not taken (grips draw in eye space).
class zalGripViewportDraw : public OdGiViewportDraw,
                            public OdGiViewport,
                            public OdGiViewportGeometry,
                            public OdGiSubEntityTraits
{
public:
    // The camera: world to eye with the target at the origin and the camera on +Z at `distance`.
    zalGripViewportDraw(const OdGeMatrix3d& worldToEye, double distance, double fieldWidth,
                        const QSize& pixels);

    struct Shape
    {
        std::vector<OdGePoint3d> eye;
        std::uint16_t color = 7;
        bool filled = false;
        bool closed = true;
    };
    const std::vector<Shape>& shapes() const { return m_shapes; }
    void paint(QPainter* painter) const;
    static QColor aciColor(std::uint16_t aci);

    // OdGiViewportDraw
    OdGiViewport& viewport() const override { return const_cast<zalGripViewportDraw&>(*this); }
    OdGiViewportGeometry& geometry() const override { return const_cast<zalGripViewportDraw&>(*this); }
    OdGiSubEntityTraits& subEntityTraits() const override { return const_cast<zalGripViewportDraw&>(*this); }

    // OdGiViewport
    OdGeMatrix3d getModelToEyeTransform() const override { return m_worldToEye; }
    OdGeMatrix3d getEyeToModelTransform() const override { return m_eyeToWorld; }
    OdGeMatrix3d getWorldToEyeTransform() const override { return m_worldToEye; }
    OdGeMatrix3d getEyeToWorldTransform() const override { return m_eyeToWorld; }
    bool isPerspective() const override { return true; }
    void getNumPixelsInUnitSquare(const OdGePoint3d& worldPoint, OdGePoint2d& pixelArea,
                                  bool includePerspective = true) const override;

    // OdGiViewportGeometry
    void polylineEye(std::uint32_t numVertices, const OdGePoint3d* vertexList) override;
    void polygonEye(std::uint32_t numVertices, const OdGePoint3d* vertexList) override;
    void polyline(std::int32_t, const OdGePoint3d*, const OdGeVector3d*, OdGsMarker) override {}
    void polygon(std::int32_t, const OdGePoint3d*) override {}
    void circle(const OdGePoint3d&, double, const OdGeVector3d&) override {}
    void circularArc(const OdGePoint3d&, double, const OdGeVector3d&, const OdGeVector3d&, double,
                     OdGiArcType) override
    {
    }
    void ellipArc(const OdGePoint3d&, const OdGeVector3d&, const OdGeVector3d&, double, double) override {}
    void text(const OdGePoint3d&, const OdGeVector3d&, const OdGeVector3d&, double, double, double,
              const OdString&) override
    {
    }
    void mesh(std::int32_t, std::int32_t, const OdGePoint3d*, const OdGiEdgeData*, const OdGiFaceData*,
              const OdGiVertexData*) override
    {
    }
    void shell(std::int32_t, const OdGePoint3d*, std::int32_t, const std::int32_t*, const OdGiEdgeData*,
               const OdGiFaceData*, const OdGiVertexData*) override
    {
    }
    void pushModelTransform(const OdGeMatrix3d&) override {}
    void popModelTransform() override {}
    OdGeMatrix3d getModelToWorldTransform() const override { return OdGeMatrix3d(); }
    void draw(const OdGiDrawable*) override {}

    // OdGiSubEntityTraits
    void setColor(std::uint16_t aciIndex) override { m_color = aciIndex; }
    void setTrueColor(const OdCmEntityColor&) override {}
    void setLayer(OdDbObjectId) override {}
    void setMaterial(OdDbObjectId) override {}
    void setFillType(OdGiFillType fillType) override { m_fill = fillType; }
    std::uint16_t color() const override { return m_color; }
    OdCmEntityColor trueColor() const override { return OdCmEntityColor(); }
    OdDbObjectId layer() const override { return OdDbObjectId(); }
    OdDbObjectId material() const override { return OdDbObjectId(); }
    OdGiFillType fillType() const override { return m_fill; }

private:
    bool toScreen(const OdGePoint3d& eye, QPointF& out) const;

    OdGeMatrix3d m_worldToEye, m_eyeToWorld;
    double m_distance, m_fieldWidth;
    QSize m_pixels;
    std::uint16_t m_color = 7;
    OdGiFillType m_fill = kOdGiFillNever;
    std::vector<Shape> m_shapes;
};
