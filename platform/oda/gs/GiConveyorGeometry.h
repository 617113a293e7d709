#pragma once

#include "GiGeometry.h"

class OdGiSubEntityTraitsData;
class OdGiContext;

// What a stage of the conveyor can ask about the drawing it is fed from.
class ODGS_EXPORT OdGiConveyorContext
{
public:
    virtual ~OdGiConveyorContext() = default;
    // Traits in force for the geometry being fed, with ByLayer and ByBlock resolved.
    virtual const OdGiSubEntityTraitsData& effectiveTraits() const = 0;
    virtual OdGiContext* giContext() const = 0;
};

// The primitive entry points of a conveyor stage. Points arrive in world coordinates.
class ODGS_EXPORT OdGiConveyorGeometry
{
public:
    virtual ~OdGiConveyorGeometry() = default;

    virtual void polylineProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                              const OdGeVector3d* normal = nullptr) = 0;
    virtual void polygonProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                             const OdGeVector3d* normal = nullptr) = 0;
    virtual void xlineProc(const OdGePoint3d& firstPoint, const OdGePoint3d& secondPoint) = 0;
    virtual void rayProc(const OdGePoint3d& basePoint, const OdGePoint3d& throughPoint) = 0;
    virtual void meshProc(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
                          const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                          const OdGiVertexData* vertexData) = 0;
    virtual void shellProc(std::int32_t numVertices, const OdGePoint3d* vertexList, std::int32_t faceListSize,
                           const std::int32_t* faceList, const OdGiEdgeData* edgeData,
                           const OdGiFaceData* faceData, const OdGiVertexData* vertexData) = 0;
    virtual void circleProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal) = 0;
    virtual void circularArcProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                                 const OdGeVector3d& startVector, double sweepAngle, OdGiArcType arcType) = 0;
    virtual void ellipArcProc(const OdGePoint3d& center, const OdGeVector3d& majorAxis,
                              const OdGeVector3d& minorAxis, double startAngle, double endAngle) = 0;
    virtual void textProc(const OdGePoint3d& position, const OdGeVector3d& direction,
                          const OdGeVector3d& upVector, double height, const OdString& message) = 0;
    // (point, direction) forms of the infinite lines.
    virtual void xlineProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) = 0;
    virtual void rayProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) = 0;
};

// The vectorizer's end of the conveyor: where its geometry goes.
class ODGS_EXPORT OdGiConveyorOutput
{
public:
    void setDestGeometry(OdGiConveyorGeometry& destGeometry) { m_dest = &destGeometry; }
    OdGiConveyorGeometry* destGeometry() const { return m_dest; }

private:
    OdGiConveyorGeometry* m_dest = nullptr;
};
