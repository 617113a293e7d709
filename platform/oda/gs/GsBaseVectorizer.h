#pragma once

#include "GiConveyorGeometry.h"
#include "GiSubEntityTraitsData.h"
#include "GiWorldDraw.h"

#include <vector>

class OdDbDatabase;

// Turns drawables into conveyor geometry: it is the world draw, the geometry and the traits a drawable
// draws into, keeps the model transform stack and the traits, and forwards each primitive (in world
// coordinates) to its output's destination.
class ODGS_EXPORT OdGsBaseVectorizer : public OdGiWorldDraw,
                                       public OdGiWorldGeometry,
                                       public OdGiSubEntityTraits,
                                       public OdGiConveyorContext
{
public:
    OdGsBaseVectorizer();
    ~OdGsBaseVectorizer() override;

    OdGiConveyorOutput& output() { return m_output; }

    // Context of the drawing (the database); not owned.
    void setGiContext(OdGiContext* context) { m_context = context; }
    OdGiContext* giContext() const override { return m_context; }
    OdDbDatabase* database() const;

    // OdGiWorldDraw
    OdGiWorldGeometry& geometry() const override;
    OdGiSubEntityTraits& subEntityTraits() const override;
    OdGiRegenType regenType() const override { return kOdGiRenderCommand; }
    OdGiContext* context() const override { return m_context; }

    // OdGiSubEntityTraits: the traits being set by the drawable.
    void setColor(std::uint16_t aciIndex) override;
    void setTrueColor(const OdCmEntityColor& color) override;
    void setLayer(OdDbObjectId layerId) override;
    void setMaterial(OdDbObjectId materialId) override;
    void setFillType(OdGiFillType fillType) override;
    std::uint16_t color() const override { return m_traits.color(); }
    OdCmEntityColor trueColor() const override { return m_traits.trueColor(); }
    OdDbObjectId layer() const override { return m_traits.layer(); }
    OdDbObjectId material() const override { return m_traits.material(); }
    OdGiFillType fillType() const override { return m_traits.fillType(); }

    // The traits with ByLayer resolved from the layer and ByBlock from the enclosing drawable.
    const OdGiSubEntityTraitsData& effectiveTraits() const override;

    // OdGiGeometry
    void polyline(std::int32_t numVertices, const OdGePoint3d* vertexList,
                  const OdGeVector3d* normal = nullptr, OdGsMarker baseSubEntMarker = -1) override;
    void polygon(std::int32_t numVertices, const OdGePoint3d* vertexList) override;
    void circle(const OdGePoint3d& center, double radius, const OdGeVector3d& normal) override;
    void circularArc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                     const OdGeVector3d& startVector, double sweepAngle,
                     OdGiArcType arcType = kOdGiArcSimple) override;
    void ellipArc(const OdGePoint3d& center, const OdGeVector3d& majorAxis, const OdGeVector3d& minorAxis,
                  double startAngle, double endAngle) override;
    void text(const OdGePoint3d& position, const OdGeVector3d& normal, const OdGeVector3d& direction,
              double height, double widthFactor, double oblique, const OdString& message) override;
    void mesh(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
              const OdGiEdgeData* edgeData = nullptr, const OdGiFaceData* faceData = nullptr,
              const OdGiVertexData* vertexData = nullptr) override;
    void shell(std::int32_t numVertices, const OdGePoint3d* vertexList, std::int32_t faceListSize,
               const std::int32_t* faceList, const OdGiEdgeData* edgeData = nullptr,
               const OdGiFaceData* faceData = nullptr, const OdGiVertexData* vertexData = nullptr) override;
    void pushModelTransform(const OdGeMatrix3d& xfm) override;
    void popModelTransform() override;
    OdGeMatrix3d getModelToWorldTransform() const override;

    // Draws a drawable: its attributes become the traits, then its world draw feeds the output.
    // Nested drawables come back through this virtual, so a view can intercept every one.
    void draw(const OdGiDrawable* drawable) override;

    // Attribute flags of the drawable being drawn.
    std::uint32_t drawableAttributes() const { return m_drawableFlags; }
    // How deep in nested draws the vectorizer is (0 outside any draw).
    int drawNesting() const { return int(m_traitsStack.size()); }

protected:
    // Called before geometry is output when the traits changed since the last output.
    virtual void onTraitsModified();

private:
    void flushTraits();
    void resolveTraits() const;
    const OdGePoint3d* toWorld(std::int32_t count, const OdGePoint3d* points);
    const OdGeVector3d* toWorld(std::int32_t count, const OdGeVector3d* vectors,
                                std::vector<OdGeVector3d>& out);

    struct Frame
    {
        OdGiSubEntityTraitsData traits;
        OdGiSubEntityTraitsData effective;
        std::uint32_t flags;
    };

    OdGiConveyorOutput m_output;
    OdGiContext* m_context = nullptr;
    OdGiSubEntityTraitsData m_traits;
    mutable OdGiSubEntityTraitsData m_effective;
    mutable bool m_effectiveValid = false;
    bool m_traitsChanged = true;
    std::uint32_t m_drawableFlags = 0;
    std::vector<Frame> m_traitsStack;
    std::vector<OdGeMatrix3d> m_modelTransforms;
    bool m_identityTransform = true;
    std::vector<OdGePoint3d> m_points;
    std::vector<OdGeVector3d> m_faceNormals;
    std::vector<OdGeVector3d> m_vertexNormals;
};
