#include "zalSketchRaster.h"

#include <algorithm>
#include <cmath>

namespace {

// Lines win against the surface they lie on: a relative tolerance on 1/depth.
const float kLineBias = 0.004f;

QRgb shadeOf(QRgb color, double shade)
{
    return qRgb(int(qRed(color) * shade), int(qGreen(color) * shade), int(qBlue(color) * shade));
}

QRgb mix(QRgb a, QRgb b, double t)
{
    return qRgb(int(qRed(a) * (1 - t) + qRed(b) * t), int(qGreen(a) * (1 - t) + qGreen(b) * t),
                int(qBlue(a) * (1 - t) + qBlue(b) * t));
}

} // namespace

bool zalSketchRaster::toScreen(const OdGePoint3d& eye, Vertex& out) const
{
    const double depth = m_camera.distance - eye.z;
    if (depth <= 0) return false;
    const double scale = m_width / m_camera.fieldWidth * m_camera.distance / depth;
    out = {m_width / 2.0 + eye.x * scale, m_height / 2.0 - eye.y * scale, 1.0 / depth};
    return true;
}

void zalSketchRaster::render(const std::vector<zalSketchPrimitive>& primitives, const Camera& camera,
                             const QSize& size, bool shaded,
                             const std::function<bool(const zalSketchPrimitive&)>& highlighted)
{
    m_camera = camera;
    m_width = std::max(1, size.width());
    m_height = std::max(1, size.height());
    if (m_image.size() != QSize(m_width, m_height)) m_image = QImage(m_width, m_height, QImage::Format_RGB32);
    m_image.fill(QColor(32, 36, 40));
    m_depth.assign(size_t(m_width) * m_height, 0.0f);
    m_index.assign(size_t(m_width) * m_height, -1);

    const OdGeMatrix3d eyeToWorld = camera.worldToEye.inverse();
    OdGeVector3d light = OdGeVector3d(0, 0, 1).transformBy(eyeToWorld) + OdGeVector3d(0.3, 0.2, 0.6);
    light.normalize();

    std::vector<OdGePoint3d> eye;
    // Faces first, so their edges and the lines can be tested against every surface.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < primitives.size(); ++i) {
            const zalSketchPrimitive& p = primitives[i];
            if (p.kind == zalSketchPrimitive::Marker || p.points.empty()) continue;
            const bool face = p.kind == zalSketchPrimitive::Face;
            const bool lit = highlighted && highlighted(p);
            eye.assign(p.points.begin(), p.points.end());
            for (OdGePoint3d& point : eye)
                point.transformBy(camera.worldToEye);
            if (pass == 0) {
                if (!face || !shaded || p.points.size() < 3) continue;
                const OdGeVector3d n = (p.points[1] - p.points[0]).crossProduct(p.points[2] - p.points[0]);
                const double shade =
                    n.isZeroLength() ? 0.8 : 0.45 + 0.55 * std::fabs(n.normal().dotProduct(light));
                QRgb color = shadeOf(p.color, shade);
                if (lit) color = mix(color, highlightColor(), 0.55);
                clipAndDraw(eye, true, true, color, int(i), true);
            } else {
                QRgb color = face && shaded ? QColor::fromRgb(p.color).darker(160).rgb() : p.color;
                if (lit) color = highlightColor();
                clipAndDraw(eye, false, p.closed || face, color, int(i), shaded);
            }
        }
    }
}

void zalSketchRaster::clipAndDraw(std::vector<OdGePoint3d>& eye, bool face, bool closed, QRgb color,
                                  int index, bool depthTest)
{
    const double nearZ = m_camera.distance * (1.0 - 1e-3);
    if (face) {
        // Cut the polygon at the near plane (eye z above nearZ is behind or too close to the camera).
        std::vector<OdGePoint3d> clipped;
        clipped.reserve(eye.size() + 2);
        for (size_t k = 0; k < eye.size(); ++k) {
            const OdGePoint3d& a = eye[k];
            const OdGePoint3d& b = eye[(k + 1) % eye.size()];
            const bool aIn = a.z <= nearZ, bIn = b.z <= nearZ;
            if (aIn) clipped.push_back(a);
            if (aIn != bIn) clipped.push_back(a + (b - a) * ((nearZ - a.z) / (b.z - a.z)));
        }
        if (clipped.size() < 3) return;
        std::vector<Vertex> v(clipped.size());
        for (size_t k = 0; k < clipped.size(); ++k)
            toScreen(clipped[k], v[k]);
        // A fan: the faces the Gi layer hands on are triangles and convex polygons.
        for (size_t k = 1; k + 1 < v.size(); ++k)
            fillTriangle(v[0], v[k], v[k + 1], color, index);
        return;
    }
    const size_t n = eye.size();
    if (n == 1) {
        Vertex v;
        if (eye[0].z <= nearZ && toScreen(eye[0], v)) drawLine(v, v, color, index, depthTest);
        return;
    }
    const size_t segments = closed ? n : n - 1;
    for (size_t k = 0; k < segments; ++k) {
        OdGePoint3d a = eye[k], b = eye[(k + 1) % n];
        if (a.z > nearZ && b.z > nearZ) continue;
        if (a.z > nearZ) a = a + (b - a) * ((nearZ - a.z) / (b.z - a.z));
        if (b.z > nearZ) b = b + (a - b) * ((nearZ - b.z) / (a.z - b.z));
        Vertex va, vb;
        if (toScreen(a, va) && toScreen(b, vb)) drawLine(va, vb, color, index, depthTest);
    }
}

void zalSketchRaster::fillTriangle(const Vertex& a, const Vertex& b, const Vertex& c, QRgb color, int index)
{
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (std::fabs(area) < 1e-12) return;
    const int x0 = std::max(0, int(std::floor(std::min({a.x, b.x, c.x}))));
    const int x1 = std::min(m_width - 1, int(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(0, int(std::floor(std::min({a.y, b.y, c.y}))));
    const int y1 = std::min(m_height - 1, int(std::ceil(std::max({a.y, b.y, c.y}))));
    if (x0 > x1 || y0 > y1) return;
    const double inv = 1.0 / area;
    for (int y = y0; y <= y1; ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        const double py = y + 0.5;
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5;
            // Barycentric weights; the sign of the area makes both windings fill.
            const double wa = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) * inv;
            const double wb = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) * inv;
            const double wc = 1.0 - wa - wb;
            if (wa < 0 || wb < 0 || wc < 0) continue;
            // 1/depth is linear in screen space, so interpolating it is exact under perspective.
            const float w = float(wa * a.w + wb * b.w + wc * c.w);
            const size_t i = size_t(y) * m_width + x;
            if (w <= m_depth[i]) continue;
            m_depth[i] = w;
            m_index[i] = index;
            row[x] = color;
        }
    }
}

void zalSketchRaster::drawLine(Vertex a, Vertex b, QRgb color, int index, bool depthTest)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const int steps = std::max(1, int(std::ceil(std::max(std::fabs(dx), std::fabs(dy)))));
    if (steps > 100000) return; // a segment that reaches far off screen: not worth the walk
    for (int s = 0; s <= steps; ++s) {
        const double t = double(s) / steps;
        const int x = int(std::floor(a.x + dx * t));
        const int y = int(std::floor(a.y + dy * t));
        if (x < 0 || y < 0 || x >= m_width || y >= m_height) continue;
        const float w = float(a.w + (b.w - a.w) * t);
        const size_t i = size_t(y) * m_width + x;
        if (depthTest && w < m_depth[i] * (1.0f - kLineBias)) continue;
        m_depth[i] = std::max(m_depth[i], w);
        m_index[i] = index;
        reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = color;
    }
}

int zalSketchRaster::primitiveAt(const QPoint& pixel) const
{
    if (pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= m_width || pixel.y() >= m_height) return -1;
    if (m_index.empty()) return -1;
    return m_index[size_t(pixel.y()) * m_width + pixel.x()];
}

int zalSketchRaster::primitiveNear(const QPoint& pixel, int radius) const
{
    const int here = primitiveAt(pixel);
    if (here >= 0) return here;
    int best = -1;
    int bestDistance = radius * radius + 1;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int d = dx * dx + dy * dy;
            if (d >= bestDistance) continue;
            const int found = primitiveAt(pixel + QPoint(dx, dy));
            if (found < 0) continue;
            best = found;
            bestDistance = d;
        }
    return best;
}

bool zalSketchRaster::surfacePoint(const QPoint& pixel, OdGePoint3d& world) const
{
    if (primitiveAt(pixel) < 0) return false;
    const float w = m_depth[size_t(pixel.y()) * m_width + pixel.x()];
    if (w <= 0) return false;
    const double depth = 1.0 / w;
    const double scale = m_width / m_camera.fieldWidth * m_camera.distance / depth;
    OdGePoint3d eye((pixel.x() + 0.5 - m_width / 2.0) / scale, (m_height / 2.0 - pixel.y() - 0.5) / scale,
                    m_camera.distance - depth);
    world = eye.transformBy(m_camera.worldToEye.inverse());
    return true;
}
