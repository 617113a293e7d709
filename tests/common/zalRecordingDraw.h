#pragma once

// World and viewport draws that record what a drawable emits: primitives with their points and the
// traits in force when each was drawn. The viewport is a camera with a fixed pixel width.

#include "GiViewportDraw.h"
#include "GiWorldDraw.h"

#include <string>
#include <vector>

struct zalRecordedPrimitive
{
    std::string kind; // "polyline", "polygon", "polylineEye", "polygonEye", "ellipArc", "draw", ...
    std::vector<OdGePoint3d> points;
    OdGePoint3d center;
    OdGeVector3d majorAxis, minorAxis;
    double startAngle = 0.0, endAngle = 0.0;
    const OdGiDrawable* drawable = nullptr;
    std::uint16_t color = 0;
    OdCmEntityColor trueColor;
    OdGiFillType fillType = kOdGiFillNever;
};

class zalRecordingTraits : public OdGiSubEntityTraits
{
public:
    void setColor(std::uint16_t aciIndex) override
    {
        m_color = aciIndex;
        colorCalls.push_back(aciIndex);
    }
    void setTrueColor(const OdCmEntityColor& color) override
    {
        m_trueColor = color;
        trueColorCalls.push_back(color);
    }
    void setLayer(OdDbObjectId layerId) override { m_layer = layerId; }
    void setMaterial(OdDbObjectId materialId) override { m_material = materialId; }
    void setFillType(OdGiFillType fillType) override
    {
        m_fill = fillType;
        fillCalls.push_back(fillType);
    }
    std::uint16_t color() const override { return m_color; }
    OdCmEntityColor trueColor() const override { return m_trueColor; }
    OdDbObjectId layer() const override { return m_layer; }
    OdDbObjectId material() const override { return m_material; }
    OdGiFillType fillType() const override { return m_fill; }

    std::vector<std::uint16_t> colorCalls;
    std::vector<OdCmEntityColor> trueColorCalls;
    std::vector<OdGiFillType> fillCalls;

private:
    std::uint16_t m_color = 0;
    OdCmEntityColor m_trueColor;
    OdDbObjectId m_layer, m_material;
    OdGiFillType m_fill = kOdGiFillNever;
};

class zalRecordingGeometry : public OdGiViewportGeometry
{
public:
    explicit zalRecordingGeometry(zalRecordingTraits& traits) : m_traits(traits) {}

    void polyline(std::int32_t n, const OdGePoint3d* points, const OdGeVector3d*, OdGsMarker) override
    {
        add("polyline", n, points);
    }
    void polygon(std::int32_t n, const OdGePoint3d* points) override { add("polygon", n, points); }
    void polylineEye(std::uint32_t n, const OdGePoint3d* points) override
    {
        add("polylineEye", int(n), points);
    }
    void polygonEye(std::uint32_t n, const OdGePoint3d* points) override
    {
        add("polygonEye", int(n), points);
    }
    void circle(const OdGePoint3d& center, double, const OdGeVector3d&) override
    {
        add("circle", 1, &center);
    }
    void circularArc(const OdGePoint3d& center, double, const OdGeVector3d&, const OdGeVector3d&, double,
                     OdGiArcType) override
    {
        add("circularArc", 1, &center);
    }
    void ellipArc(const OdGePoint3d& center, const OdGeVector3d& majorAxis, const OdGeVector3d& minorAxis,
                  double startAngle, double endAngle) override
    {
        zalRecordedPrimitive& p = add("ellipArc", 1, &center);
        p.center = center;
        p.majorAxis = majorAxis;
        p.minorAxis = minorAxis;
        p.startAngle = startAngle;
        p.endAngle = endAngle;
    }
    void text(const OdGePoint3d& position, const OdGeVector3d&, const OdGeVector3d&, double, double, double,
              const OdString&) override
    {
        add("text", 1, &position);
    }
    void mesh(std::int32_t rows, std::int32_t columns, const OdGePoint3d* points, const OdGiEdgeData*,
              const OdGiFaceData*, const OdGiVertexData*) override
    {
        add("mesh", rows * columns, points);
    }
    void shell(std::int32_t n, const OdGePoint3d* points, std::int32_t, const std::int32_t*,
               const OdGiEdgeData*, const OdGiFaceData*, const OdGiVertexData*) override
    {
        add("shell", n, points);
    }
    void pushModelTransform(const OdGeMatrix3d&) override {}
    void popModelTransform() override {}
    OdGeMatrix3d getModelToWorldTransform() const override { return OdGeMatrix3d(); }
    void draw(const OdGiDrawable* drawable) override { add("draw", 0, nullptr).drawable = drawable; }

    std::vector<zalRecordedPrimitive> primitives;

    std::vector<zalRecordedPrimitive> ofKind(const std::string& kind) const
    {
        std::vector<zalRecordedPrimitive> found;
        for (const zalRecordedPrimitive& p : primitives)
            if (p.kind == kind) found.push_back(p);
        return found;
    }

private:
    zalRecordedPrimitive& add(const char* kind, int n, const OdGePoint3d* points)
    {
        zalRecordedPrimitive p;
        p.kind = kind;
        if (points) p.points.assign(points, points + n);
        p.color = m_traits.color();
        p.trueColor = m_traits.trueColor();
        p.fillType = m_traits.fillType();
        primitives.push_back(p);
        return primitives.back();
    }
    zalRecordingTraits& m_traits;
};

class zalRecordingWorldDraw : public OdGiWorldDraw
{
public:
    zalRecordingWorldDraw() : recorded(traits) {}
    OdGiWorldGeometry& geometry() const override { return const_cast<Geometry&>(recorded); }
    OdGiSubEntityTraits& subEntityTraits() const override { return const_cast<zalRecordingTraits&>(traits); }
    OdGiRegenType regenType() const override { return kOdGiStandardDisplay; }
    OdGiContext* context() const override { return nullptr; }

    // The world geometry interface over the same recorder.
    class Geometry : public OdGiWorldGeometry
    {
    public:
        explicit Geometry(zalRecordingTraits& traits) : rec(traits) {}
        void polyline(std::int32_t n, const OdGePoint3d* p, const OdGeVector3d* v, OdGsMarker m) override
        {
            rec.polyline(n, p, v, m);
        }
        void polygon(std::int32_t n, const OdGePoint3d* p) override { rec.polygon(n, p); }
        void circle(const OdGePoint3d& c, double r, const OdGeVector3d& n) override { rec.circle(c, r, n); }
        void circularArc(const OdGePoint3d& c, double r, const OdGeVector3d& n, const OdGeVector3d& s,
                         double a, OdGiArcType t) override
        {
            rec.circularArc(c, r, n, s, a, t);
        }
        void ellipArc(const OdGePoint3d& c, const OdGeVector3d& a, const OdGeVector3d& b, double s,
                      double e) override
        {
            rec.ellipArc(c, a, b, s, e);
        }
        void text(const OdGePoint3d& p, const OdGeVector3d& n, const OdGeVector3d& d, double h, double w,
                  double o, const OdString& m) override
        {
            rec.text(p, n, d, h, w, o, m);
        }
        void mesh(std::int32_t r, std::int32_t c, const OdGePoint3d* p, const OdGiEdgeData* e,
                  const OdGiFaceData* f, const OdGiVertexData* v) override
        {
            rec.mesh(r, c, p, e, f, v);
        }
        void shell(std::int32_t n, const OdGePoint3d* p, std::int32_t s, const std::int32_t* l,
                   const OdGiEdgeData* e, const OdGiFaceData* f, const OdGiVertexData* v) override
        {
            rec.shell(n, p, s, l, e, f, v);
        }
        void pushModelTransform(const OdGeMatrix3d& m) override { rec.pushModelTransform(m); }
        void popModelTransform() override { rec.popModelTransform(); }
        OdGeMatrix3d getModelToWorldTransform() const override { return rec.getModelToWorldTransform(); }
        void draw(const OdGiDrawable* d) override { rec.draw(d); }
        zalRecordingGeometry rec;
    };

    zalRecordingTraits traits;
    Geometry recorded;
    std::vector<zalRecordedPrimitive>& primitives() { return recorded.rec.primitives; }
    std::vector<zalRecordedPrimitive> ofKind(const std::string& kind) const
    {
        return recorded.rec.ofKind(kind);
    }
};

// A camera: world to eye is a rigid motion, and fieldWidth drawing units span pixelWidth pixels at
// the eye plane. With perspective, a point at eye depth z (negative ahead) is seen at
// focalLength / (focalLength - z) of that density, when the caller asks for perspective.
class zalTestViewport : public OdGiViewport
{
public:
    OdGeMatrix3d worldToEye;
    double fieldWidth = 10.0;
    double pixelWidth = 1000.0;
    bool perspective = false;
    double focalLength = 100.0;

    OdGeMatrix3d getModelToEyeTransform() const override { return worldToEye; }
    OdGeMatrix3d getEyeToModelTransform() const override { return worldToEye.inverse(); }
    OdGeMatrix3d getWorldToEyeTransform() const override { return worldToEye; }
    OdGeMatrix3d getEyeToWorldTransform() const override { return worldToEye.inverse(); }
    bool isPerspective() const override { return perspective; }
    void getNumPixelsInUnitSquare(const OdGePoint3d& worldPoint, OdGePoint2d& pixelArea,
                                  bool usePerspective) const override
    {
        double density = pixelWidth / fieldWidth;
        if (perspective && usePerspective) {
            const double z = OdGePoint3d(worldPoint).transformBy(worldToEye).z;
            density *= focalLength / (focalLength - z);
        }
        pixelArea = OdGePoint2d(density, density);
    }
    double pixelsPerUnit() const { return pixelWidth / fieldWidth; }
};

class zalRecordingViewportDraw : public OdGiViewportDraw
{
public:
    zalRecordingViewportDraw() : recorded(traits) {}
    OdGiViewport& viewport() const override { return const_cast<zalTestViewport&>(camera); }
    OdGiViewportGeometry& geometry() const override { return const_cast<zalRecordingGeometry&>(recorded); }
    OdGiSubEntityTraits& subEntityTraits() const override { return const_cast<zalRecordingTraits&>(traits); }

    zalTestViewport camera;
    zalRecordingTraits traits;
    zalRecordingGeometry recorded;
    std::vector<zalRecordedPrimitive>& primitives() { return recorded.primitives; }
};
