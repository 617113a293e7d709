#pragma once

#include "GiConveyorGeometry.h"

#include <vector>

// The end of a conveyor that breaks geometry into simple pieces: curves into polylines, shells and meshes
// into faces and faces into triangles (convex faces by a fan, faces with holes and non-convex faces by the
// GLU tessellator). Subclasses override the *Out operations to collect what they need.
class ODGS_EXPORT OdGiGeometrySimplifier : public OdGiConveyorGeometry
{
public:
    OdGiGeometrySimplifier();
    ~OdGiGeometrySimplifier() override;

    void setDrawContext(OdGiConveyorContext* drawContext) { m_drawContext = drawContext; }
    OdGiConveyorContext* drawContext() const { return m_drawContext; }

    // Vertex list and data of the shell or mesh being processed; indices in the *Out calls refer to them.
    void setVertexData(std::int32_t numVertices, const OdGePoint3d* vertexList,
                       const OdGiVertexData* vertexData = nullptr);
    const OdGePoint3d* vertexDataList() const { return m_vertexList; }
    std::int32_t vertexDataCount() const { return m_vertexCount; }
    const OdGiVertexData* vertexData() const { return m_vertexData; }

    // Number of segments a full circle is broken into.
    void setCircleSegments(int segments) { m_circleSegments = segments < 4 ? 4 : segments; }

    void polylineProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                      const OdGeVector3d* normal = nullptr) override;
    void polygonProc(std::int32_t numPoints, const OdGePoint3d* vertexList,
                     const OdGeVector3d* normal = nullptr) override;
    void xlineProc(const OdGePoint3d& firstPoint, const OdGePoint3d& secondPoint) override;
    void rayProc(const OdGePoint3d& basePoint, const OdGePoint3d& throughPoint) override;
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
    void xlineProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) override;
    void rayProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) override;

    // Faces of a mesh: one quad per grid cell, row by row.
    virtual void generateMeshFaces(std::int32_t numRows, std::int32_t numColumns,
                                   const OdGiFaceData* faceData);
    virtual void generateMeshWires(std::int32_t numRows, std::int32_t numColumns,
                                   const OdGiEdgeData* edgeData);
    // faceList holds the 4 vertex indices of one cell.
    virtual void meshFaceOut(const std::int32_t* faceList, const OdGeVector3d* normal);

    // Faces of a shell: each face with the hole loops that follow it.
    virtual void generateShellFaces(std::int32_t faceListSize, const std::int32_t* faceList,
                                    const OdGiEdgeData* edgeData, const OdGiFaceData* faceData);
    virtual void generateShellWires(std::int32_t faceListSize, const std::int32_t* faceList,
                                    const OdGiEdgeData* edgeData);
    // One face in face-list form (its outer loop, then its holes with negative counts).
    virtual void shellFaceOut(std::int32_t faceListSize, const std::int32_t* faceList,
                              const OdGeVector3d* normal);

    // One triangle: three indices into vertexDataList() and the face normal when the face has one.
    virtual void triangleOut(const std::int32_t* indices, const OdGeVector3d* normal);

    virtual void polylineOut(std::int32_t numPoints, const OdGePoint3d* points);
    virtual void polygonOut(std::int32_t numPoints, const OdGePoint3d* points, const OdGeVector3d* normal);

    // Triangulates one face in face-list form into index triples; exposed for the tests and benchmarks.
    // Answers false when the face has fewer than three usable vertices.
    bool triangulateFace(std::int32_t faceListSize, const std::int32_t* faceList,
                         std::vector<std::int32_t>& triangles);

private:
    class Tessellator;
    // Triangulates one face and hands its triangles to triangleOut.
    void outputFace(std::int32_t faceListSize, const std::int32_t* faceList, const OdGeVector3d* normal);

    OdGiConveyorContext* m_drawContext = nullptr;
    const OdGePoint3d* m_vertexList = nullptr;
    std::int32_t m_vertexCount = 0;
    const OdGiVertexData* m_vertexData = nullptr;
    int m_circleSegments = 64;
    Tessellator* m_tessellator = nullptr;
    std::vector<std::int32_t> m_triangles;
    std::vector<OdGePoint3d> m_points;
};
