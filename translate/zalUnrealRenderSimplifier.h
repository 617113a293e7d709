#pragma once

#include "zalExport.h"

#include "gs/GiGeometrySimplifier.h"

#include "DbObjectId.h"

#include <cstdint>
#include <vector>

class OdGiFaceData;
class zalPendingFaces;

// The end of the device's conveyor: keeps only filled faces. Every triangle of a shell or mesh joins the
// pending faces of the entity being drawn, in the viewer's frame and already in the layout of the mesh
// stream; lines, curves, text and points produce nothing. Owned by the device.
class ZAL_EXPORT zalUnrealRenderSimplifier : public OdGiGeometrySimplifier
{
public:
    zalUnrealRenderSimplifier();
    ~zalUnrealRenderSimplifier() override;

    void polylineProc(std::int32_t, const OdGePoint3d*, const OdGeVector3d* = nullptr) override {}
    void polygonProc(std::int32_t, const OdGePoint3d*, const OdGeVector3d* = nullptr) override {}
    void xlineProc(const OdGePoint3d&, const OdGePoint3d&) override {}
    void rayProc(const OdGePoint3d&, const OdGePoint3d&) override {}
    void circleProc(const OdGePoint3d&, double, const OdGeVector3d&) override {}
    void circularArcProc(const OdGePoint3d&, double, const OdGeVector3d&, const OdGeVector3d&, double,
                         OdGiArcType) override
    {
    }
    void ellipArcProc(const OdGePoint3d&, const OdGeVector3d&, const OdGeVector3d&, double, double) override
    {
    }
    void textProc(const OdGePoint3d&, const OdGeVector3d&, const OdGeVector3d&, double,
                  const OdString&) override
    {
    }
    // (point, direction) becomes (point, point + direction) for the two-point forms.
    void xlineProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) override;
    void rayProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction) override;

    void generateMeshFaces(std::int32_t numRows, std::int32_t numColumns,
                           const OdGiFaceData* faceData) override;
    void meshFaceOut(const std::int32_t* faceList, const OdGeVector3d* normal) override;
    void generateShellFaces(std::int32_t faceListSize, const std::int32_t* faceList,
                            const OdGiEdgeData* edgeData, const OdGiFaceData* faceData) override;
    void shellFaceOut(std::int32_t faceListSize, const std::int32_t* faceList,
                      const OdGeVector3d* normal) override;
    void generateMeshWires(std::int32_t, std::int32_t, const OdGiEdgeData*) override {}
    void generateShellWires(std::int32_t, const std::int32_t*, const OdGiEdgeData*) override {}
    void triangleOut(const std::int32_t* indices, const OdGeVector3d* normal) override;

    // Adds one triangle of the current vertex list to the pending faces, unless it is degenerate.
    void acceptTriangle(const std::int32_t* indices, const OdGeVector3d* faceNormal);

    // Box-mapped texture coordinates (u, v, 0) of a point with its normal, in the viewer frame.
    static OdGePoint3d boxMappingUV(const OdGePoint3d& point, const OdGeVector3d& normal);

    std::uint32_t faceCounter() const { return m_faceCounter; }

    struct Edges;

private:
    // The pending group the current face's triangles go to: every triangle of a face shares its material,
    // so it is worked out once per face.
    int currentGroup()
    {
        if (m_groupFace == m_faceCounter) return m_group;
        return lookUpGroup();
    }
    int lookUpGroup();
    void accept(const std::int32_t* indices, const OdGeVector3d* faceNormal);
    // A triangle or quad of a shell straight into the pending faces; false for faces the conveyor
    // triangulates (more corners, holes, quads the fan does not cover).
    template <bool plain>
    bool simpleFace(std::int32_t faceListSize, const std::int32_t* faceList, const OdGeVector3d* normal);
    // One triangle of the current vertex list; `cached` takes its corners from cacheViewerCorners(),
    // `plain` is for shells without vertex normals, texture coordinates and face normals.
    template <bool cached, bool plain>
    void addTriangle(const std::int32_t* indices, const OdGeVector3d* faceNormal, const Edges& edges);
    // Every vertex of the current list in the viewer frame, in doubles and as sent.
    void cacheViewerCorners();
    zalPendingFaces* m_pending;
    std::vector<double> m_viewerCorners;
    std::vector<float> m_viewerPositions;

    static constexpr std::uint32_t kNoFace = ~0u;
    const OdGiFaceData* m_currentFaceData = nullptr;
    std::uint32_t m_faceCounter = 0;
    std::uint32_t m_groupFace = kNoFace;
    bool m_inFaces = false; // inside generateShellFaces or generateMeshFaces
    int m_group = -1;
    OdDbObjectId m_groupMaterial; // the face material m_group was worked out for
};
