#pragma once

#include "ColorMapping.h"
#include "GiCommon.h"

class OdGiDrawable;
class OdGiTextStyle;

// Per-face data of a shell or mesh; every pointer is optional and, when set, holds one entry per face
// (holes are not faces).
class ODGS_EXPORT OdGiFaceData
{
public:
    void setColors(const std::uint16_t* colors) { m_colors = colors; }
    void setTrueColors(const OdCmEntityColor* colors) { m_trueColors = colors; }
    void setLayers(const OdDbObjectId* layers) { m_layers = layers; }
    void setNormals(const OdGeVector3d* normals) { m_normals = normals; }
    void setMaterials(const OdDbObjectId* materials) { m_materials = materials; }
    void setVisibility(const std::uint8_t* visibility) { m_visibility = visibility; }

    const std::uint16_t* colors() const { return m_colors; }
    const OdCmEntityColor* trueColors() const { return m_trueColors; }
    const OdDbObjectId* layers() const { return m_layers; }
    const OdGeVector3d* normals() const { return m_normals; }
    const OdDbObjectId* materials() const { return m_materials; }
    const std::uint8_t* visibility() const { return m_visibility; }

private:
    const std::uint16_t* m_colors = nullptr;
    const OdCmEntityColor* m_trueColors = nullptr;
    const OdDbObjectId* m_layers = nullptr;
    const OdGeVector3d* m_normals = nullptr;
    const OdDbObjectId* m_materials = nullptr;
    const std::uint8_t* m_visibility = nullptr;
};

// Per-edge data of a shell or mesh; one entry per edge when set.
class ODGS_EXPORT OdGiEdgeData
{
public:
    void setColors(const std::uint16_t* colors) { m_colors = colors; }
    void setVisibility(const std::uint8_t* visibility) { m_visibility = visibility; }
    const std::uint16_t* colors() const { return m_colors; }
    const std::uint8_t* visibility() const { return m_visibility; }

private:
    const std::uint16_t* m_colors = nullptr;
    const std::uint8_t* m_visibility = nullptr;
};

enum OdGiOrientationType
{
    kOdGiCounterClockwise = -1,
    kOdGiNoOrientation = 0,
    kOdGiClockwise = 1
};

// Per-vertex data of a shell or mesh; one entry per vertex when set.
class ODGS_EXPORT OdGiVertexData
{
public:
    void setNormals(const OdGeVector3d* normals) { m_normals = normals; }
    void setTrueColors(const OdCmEntityColor* colors) { m_trueColors = colors; }
    // Mapping (texture) coordinates u, v, w.
    void setMappingCoords(const OdGePoint3d* coords) { m_mappingCoords = coords; }
    void setOrientationFlag(OdGiOrientationType orientation) { m_orientation = orientation; }

    const OdGeVector3d* normals() const { return m_normals; }
    const OdCmEntityColor* trueColors() const { return m_trueColors; }
    const OdGePoint3d* mappingCoords() const { return m_mappingCoords; }
    OdGiOrientationType orientationFlag() const { return m_orientation; }

private:
    const OdGeVector3d* m_normals = nullptr;
    const OdCmEntityColor* m_trueColors = nullptr;
    const OdGePoint3d* m_mappingCoords = nullptr;
    OdGiOrientationType m_orientation = kOdGiNoOrientation;
};

enum OdGiArcType
{
    kOdGiArcSimple = 0,
    kOdGiArcSector = 1,
    kOdGiArcChord = 2
};

// Geometry a drawable emits. A shell's face list is a sequence of loops: a count n followed by n vertex
// indices; a negative count -n makes the loop a hole of the face before it. A mesh is a grid of
// rows x columns vertices, row by row.
class ODGS_EXPORT OdGiGeometry
{
public:
    virtual ~OdGiGeometry() = default;

    virtual void polyline(std::int32_t numVertices, const OdGePoint3d* vertexList,
                          const OdGeVector3d* normal = nullptr, OdGsMarker baseSubEntMarker = -1) = 0;
    virtual void polygon(std::int32_t numVertices, const OdGePoint3d* vertexList) = 0;
    virtual void circle(const OdGePoint3d& center, double radius, const OdGeVector3d& normal) = 0;
    virtual void circularArc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                             const OdGeVector3d& startVector, double sweepAngle,
                             OdGiArcType arcType = kOdGiArcSimple) = 0;
    // Elliptical arc: centre, major and minor axes (with their lengths), start and end angles.
    virtual void ellipArc(const OdGePoint3d& center, const OdGeVector3d& majorAxis,
                          const OdGeVector3d& minorAxis, double startAngle, double endAngle) = 0;
    virtual void text(const OdGePoint3d& position, const OdGeVector3d& normal, const OdGeVector3d& direction,
                      double height, double widthFactor, double oblique, const OdString& message) = 0;
    virtual void mesh(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
                      const OdGiEdgeData* edgeData = nullptr, const OdGiFaceData* faceData = nullptr,
                      const OdGiVertexData* vertexData = nullptr) = 0;
    virtual void shell(std::int32_t numVertices, const OdGePoint3d* vertexList, std::int32_t faceListSize,
                       const std::int32_t* faceList, const OdGiEdgeData* edgeData = nullptr,
                       const OdGiFaceData* faceData = nullptr,
                       const OdGiVertexData* vertexData = nullptr) = 0;

    // Transforms apply to everything drawn until the matching pop, nested ones multiplied in.
    virtual void pushModelTransform(const OdGeMatrix3d& xfm) = 0;
    virtual void popModelTransform() = 0;
    virtual OdGeMatrix3d getModelToWorldTransform() const = 0;

    // Nested drawing: the drawable's geometry joins what is being drawn.
    virtual void draw(const OdGiDrawable* drawable) = 0;
};

// Geometry of a world draw (view-independent).
class ODGS_EXPORT OdGiWorldGeometry : public OdGiGeometry
{
};
