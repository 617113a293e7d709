#pragma once

#include "zalSketchPrimitive.h"

#include "GiConveyorGeometry.h"
#include "GsBaseVectorizeViewDef.h"

#include <vector>

// The host's own graphics view of a drawing: it vectorizes the model space through the Gi layer
// (expanding block references and leaving out entities on layers that are off or frozen) into
// primitives that zalDrawingView paints. Its camera is the one the render view follows.
class zalSketchView : public OdGsBaseVectorizeViewDef, public OdGiConveyorGeometry
{
public:
    zalSketchView();
    ~zalSketchView() override;

    const std::vector<zalSketchPrimitive>& primitives() const { return m_primitives; }

    void beginViewVectorization() override;
    void draw(const OdGiDrawable* drawable) override;

    // OdGiConveyorGeometry: what the vectorizer hands on, in world coordinates.
    void polylineProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                      const OdGeVector3d* normal) override;
    void polygonProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                     const OdGeVector3d* normal) override;
    void xlineProc(const OdGePoint3d&, const OdGePoint3d&) override {}
    void rayProc(const OdGePoint3d&, const OdGePoint3d&) override {}
    void meshProc(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
                  const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                  const OdGiVertexData* vertexData) override;
    void shellProc(std::int32_t numVertices, const OdGePoint3d* vertexList, std::int32_t faceListSize,
                   const std::int32_t* faceList, const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                   const OdGiVertexData* vertexData) override;
    void circleProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal) override;
    void circularArcProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                         const OdGeVector3d& startVector, double sweepAngle, OdGiArcType arcType) override;
    void ellipArcProc(const OdGePoint3d& center, const OdGeVector3d& majorAxis, const OdGeVector3d& minorAxis,
                      double startAngle, double endAngle) override;
    void textProc(const OdGePoint3d& position, const OdGeVector3d& direction, const OdGeVector3d& upVector,
                  double height, const OdString& message) override;
    void xlineProc2(const OdGePoint3d&, const OdGeVector3d&) override {}
    void rayProc2(const OdGePoint3d&, const OdGeVector3d&) override {}

private:
    bool isLayerShown(const OdDbObjectId& layerId) const;
    QRgb primitiveColor() const;
    void addPrimitive(zalSketchPrimitive::Kind kind, std::vector<OdGePoint3d> points, bool closed);
    void addEllipse(const OdGePoint3d& center, const OdGeVector3d& major, const OdGeVector3d& minor,
                    double start, double sweep, bool closed);

    std::vector<zalSketchPrimitive> m_primitives;
    OdDbObjectId m_entity; // the top-level entity being drawn
    int m_depth = 0;
};
