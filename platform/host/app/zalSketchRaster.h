#pragma once

#include "zalSketchPrimitive.h"

#include "Ge/GeMatrix3d.h"
#include "Ge/GePoint3d.h"

#include <QImage>
#include <QPointF>

#include <functional>
#include <vector>

// A small software rasterizer for the drawing view: faces and lines of the sketch primitives with a
// depth buffer, so nearer surfaces cover farther ones whatever order they come in, and an index
// buffer that names the primitive seen at each pixel (picking answers with what the user sees).
class zalSketchRaster
{
public:
    struct Camera
    {
        OdGeMatrix3d worldToEye; // target at the origin, camera on +Z at `distance`
        double distance = 1.0;
        double fieldWidth = 1.0;
    };

    // Draws primitives into an image of the given size. highlighted(i) marks primitives drawn in the
    // selection colour; shaded false draws every edge without hiding.
    void render(const std::vector<zalSketchPrimitive>& primitives, const Camera& camera, const QSize& size,
                bool shaded, const std::function<bool(const zalSketchPrimitive&)>& highlighted);

    const QImage& image() const { return m_image; }
    // Index of the primitive seen at a pixel, -1 for none.
    int primitiveAt(const QPoint& pixel) const;
    // The nearest primitive within radius pixels (the one under the pixel first), -1 for none.
    int primitiveNear(const QPoint& pixel, int radius) const;
    // The world point of the surface seen at a pixel; false where nothing is drawn.
    bool surfacePoint(const QPoint& pixel, OdGePoint3d& world) const;

    static QRgb highlightColor() { return qRgb(255, 160, 40); }

private:
    struct Vertex
    {
        double x, y, w; // screen position and 1/depth
    };
    bool toScreen(const OdGePoint3d& eye, Vertex& out) const;
    // The primitive's points in eye coordinates, into m_eye.
    void toEye(const zalSketchPrimitive& p);
    // Whether m_eye lies wholly in front of the camera and outside the image.
    bool offScreen() const;
    void fillTriangle(const Vertex& a, const Vertex& b, const Vertex& c, QRgb color, int index);
    void drawLine(Vertex a, Vertex b, QRgb color, int index, bool depthTest);
    void clipAndDraw(std::vector<OdGePoint3d>& eye, bool face, bool closed, QRgb color, int index,
                     bool depthTest);

    Camera m_camera;
    int m_width = 0;
    int m_height = 0;
    QImage m_image;
    QRgb* m_pixels = nullptr;   // m_image's pixels while a frame is drawn
    int m_stride = 0;           // pixels per row of m_image
    std::vector<float> m_depth; // 1/depth, 0 where nothing is drawn
    std::vector<int> m_index;
    // Scratch space kept between primitives and frames.
    std::vector<OdGePoint3d> m_eye, m_clipped;
    std::vector<Vertex> m_screen;
    std::vector<char> m_lit;
};
