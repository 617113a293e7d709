#pragma once

#include "GiGeometrySimplifier.h"

#include <vector>

// A simplifier that keeps what reaches its outputs, in world coordinates.
class OdgsRecordingSimplifier : public OdGiGeometrySimplifier
{
public:
    struct Triangle
    {
        OdGePoint3d p[3];
        std::int32_t index[3];
        bool hasNormal = false;
        OdGeVector3d normal;
        OdDbObjectId faceMaterial;
    };

    void triangleOut(const std::int32_t* indices, const OdGeVector3d* normal) override
    {
        Triangle t;
        for (int k = 0; k < 3; ++k) {
            t.index[k] = indices[k];
            t.p[k] = vertexDataList()[indices[k]];
        }
        t.hasNormal = normal != nullptr;
        if (normal) t.normal = *normal;
        if (m_faceData && m_faceData->materials()) t.faceMaterial = m_faceData->materials()[m_face];
        triangles.push_back(t);
    }
    void generateShellFaces(std::int32_t size, const std::int32_t* list, const OdGiEdgeData* edges,
                            const OdGiFaceData* faces) override
    {
        m_faceData = faces;
        m_face = 0;
        OdGiGeometrySimplifier::generateShellFaces(size, list, edges, faces);
        m_faceData = nullptr;
    }
    void shellFaceOut(std::int32_t size, const std::int32_t* list, const OdGeVector3d* normal) override
    {
        OdGiGeometrySimplifier::shellFaceOut(size, list, normal);
        ++m_face;
    }
    void shellProc(std::int32_t numVertices, const OdGePoint3d* vertexList, std::int32_t faceListSize,
                   const std::int32_t* faceList, const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                   const OdGiVertexData* vertexData) override
    {
        ++shells;
        if (vertexData) {
            lastVertexNormals = vertexData->normals() != nullptr;
            lastMappingCoords = vertexData->mappingCoords() != nullptr;
        }
        OdGiGeometrySimplifier::shellProc(numVertices, vertexList, faceListSize, faceList, edgeData, faceData,
                                          vertexData);
    }
    void meshProc(std::int32_t rows, std::int32_t columns, const OdGePoint3d* vertexList,
                  const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                  const OdGiVertexData* vertexData) override
    {
        ++meshes;
        meshRows = rows;
        meshColumns = columns;
        OdGiGeometrySimplifier::meshProc(rows, columns, vertexList, edgeData, faceData, vertexData);
    }
    void polylineOut(std::int32_t n, const OdGePoint3d* points) override
    {
        polylines.emplace_back(points, points + n);
    }
    void textProc(const OdGePoint3d& position, const OdGeVector3d&, const OdGeVector3d&, double height,
                  const OdString& message) override
    {
        texts.push_back(message);
        textPositions.push_back(position);
        textHeights.push_back(height);
    }

    double area() const
    {
        double a = 0.0;
        for (const Triangle& t : triangles)
            a += 0.5 * (t.p[1] - t.p[0]).crossProduct(t.p[2] - t.p[0]).length();
        return a;
    }

    std::vector<Triangle> triangles;
    std::vector<std::vector<OdGePoint3d>> polylines;
    std::vector<OdString> texts;
    std::vector<OdGePoint3d> textPositions;
    std::vector<double> textHeights;
    int shells = 0;
    int meshes = 0;
    int meshRows = 0;
    int meshColumns = 0;
    bool lastVertexNormals = false;
    bool lastMappingCoords = false;

private:
    const OdGiFaceData* m_faceData = nullptr;
    std::int32_t m_face = 0;
};
