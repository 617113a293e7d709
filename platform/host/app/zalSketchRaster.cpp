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

void zalSketchRaster::toEye(const zalSketchPrimitive& p)
{
    // The camera is rigid, so the row-by-row product is the whole transform; a projective one (never
    // made by the view) goes through the general product.
    const OdGeMatrix3d& m = m_camera.worldToEye;
    m_eye.resize(p.points.size());
    if (m[3][0] != 0 || m[3][1] != 0 || m[3][2] != 0 || m[3][3] != 1) {
        for (size_t k = 0; k < p.points.size(); ++k)
            m_eye[k] = OdGePoint3d(p.points[k]).transformBy(m);
        return;
    }
    for (size_t k = 0; k < p.points.size(); ++k) {
        const OdGePoint3d& w = p.points[k];
        m_eye[k].set(m[0][0] * w.x + m[0][1] * w.y + m[0][2] * w.z + m[0][3],
                     m[1][0] * w.x + m[1][1] * w.y + m[1][2] * w.z + m[1][3],
                     m[2][0] * w.x + m[2][1] * w.y + m[2][2] * w.z + m[2][3]);
    }
}

bool zalSketchRaster::offScreen() const
{
    // Only when every point is in front of the camera: what crosses the near plane is clipped first.
    const double nearZ = m_camera.distance * (1.0 - 1e-3);
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (const OdGePoint3d& e : m_eye) {
        Vertex v;
        if (e.z > nearZ || !toScreen(e, v)) return false;
        x0 = std::min(x0, v.x);
        x1 = std::max(x1, v.x);
        y0 = std::min(y0, v.y);
        y1 = std::max(y1, v.y);
    }
    return x1 < -1 || y1 < -1 || x0 > m_width + 1 || y0 > m_height + 1;
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
    // One detach for the frame; RGB32 rows are whole pixels apart.
    m_pixels = reinterpret_cast<QRgb*>(m_image.bits());
    m_stride = m_image.bytesPerLine() / int(sizeof(QRgb));
    m_depth.assign(size_t(m_width) * m_height, 0.0f);
    m_index.assign(size_t(m_width) * m_height, -1);

    const OdGeMatrix3d eyeToWorld = camera.worldToEye.inverse();
    OdGeVector3d light = OdGeVector3d(0, 0, 1).transformBy(eyeToWorld) + OdGeVector3d(0.3, 0.2, 0.6);
    light.normalize();

    // Asked once per primitive, not once per pass.
    m_lit.assign(primitives.size(), 0);
    if (highlighted)
        for (size_t i = 0; i < primitives.size(); ++i)
            m_lit[i] = highlighted(primitives[i]) ? 1 : 0;

    QRgb edgeOf = 0, edge = QColor::fromRgb(0).darker(160).rgb();
    // Faces first, so their edges and the lines can be tested against every surface.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < primitives.size(); ++i) {
            const zalSketchPrimitive& p = primitives[i];
            if (p.kind == zalSketchPrimitive::Marker || p.points.empty()) continue;
            const bool face = p.kind == zalSketchPrimitive::Face;
            if (pass == 0 && (!face || !shaded || p.points.size() < 3)) continue;
            const bool lit = m_lit[i] != 0;
            toEye(p);
            if (offScreen()) continue;
            if (pass == 0) {
                const OdGeVector3d n = (p.points[1] - p.points[0]).crossProduct(p.points[2] - p.points[0]);
                const double shade =
                    n.isZeroLength() ? 0.8 : 0.45 + 0.55 * std::fabs(n.normal().dotProduct(light));
                QRgb color = shadeOf(p.color, shade);
                if (lit) color = mix(color, highlightColor(), 0.55);
                clipAndDraw(m_eye, true, true, color, int(i), true);
            } else {
                QRgb color = p.color;
                if (face && shaded) {
                    // Neighbouring faces mostly share a colour: darken each colour once.
                    if (p.color != edgeOf) {
                        edgeOf = p.color;
                        edge = QColor::fromRgb(p.color).darker(160).rgb();
                    }
                    color = edge;
                }
                if (lit) color = highlightColor();
                clipAndDraw(m_eye, false, p.closed || face, color, int(i), shaded);
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
        std::vector<OdGePoint3d>& clipped = m_clipped;
        clipped.clear();
        for (size_t k = 0; k < eye.size(); ++k) {
            const OdGePoint3d& a = eye[k];
            const OdGePoint3d& b = eye[(k + 1) % eye.size()];
            const bool aIn = a.z <= nearZ, bIn = b.z <= nearZ;
            if (aIn) clipped.push_back(a);
            if (aIn != bIn) clipped.push_back(a + (b - a) * ((nearZ - a.z) / (b.z - a.z)));
        }
        if (clipped.size() < 3) return;
        std::vector<Vertex>& v = m_screen;
        v.resize(clipped.size());
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
    // The barycentric weights are affine in the pixel position: one step right adds a constant.
    const double stepA = -(c.y - b.y) * inv, stepB = -(a.y - c.y) * inv;
    for (int y = y0; y <= y1; ++y) {
        QRgb* row = m_pixels + size_t(y) * m_stride;
        float* depth = m_depth.data() + size_t(y) * m_width;
        int* ids = m_index.data() + size_t(y) * m_width;
        const double py = y + 0.5;
        const double px0 = x0 + 0.5;
        double wa = ((b.x - px0) * (c.y - py) - (b.y - py) * (c.x - px0)) * inv;
        double wb = ((c.x - px0) * (a.y - py) - (c.y - py) * (a.x - px0)) * inv;
        for (int x = x0; x <= x1; ++x, wa += stepA, wb += stepB) {
            // The sign of the area makes both windings fill.
            const double wc = 1.0 - wa - wb;
            if (wa < 0 || wb < 0 || wc < 0) continue;
            // 1/depth is linear in screen space, so interpolating it is exact under perspective.
            const float w = float(wa * a.w + wb * b.w + wc * c.w);
            if (w <= depth[x]) continue;
            depth[x] = w;
            ids[x] = index;
            row[x] = color;
        }
    }
}

void zalSketchRaster::drawLine(Vertex a, Vertex b, QRgb color, int index, bool depthTest)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const int steps = std::max(1, int(std::ceil(std::max(std::fabs(dx), std::fabs(dy)))));
    if (steps > 100000) return; // a segment that reaches far off screen: not worth the walk
    // Only the steps whose pixel can be on screen are walked (a margin of one step either side).
    double t0 = 0, t1 = 1;
    const auto clip = [&t0, &t1](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        return t0 <= t1;
    };
    if (!clip(-dx, a.x + 1) || !clip(dx, m_width + 1 - a.x) || !clip(-dy, a.y + 1) ||
        !clip(dy, m_height + 1 - a.y))
        return;
    const int s0 = std::max(0, int(std::floor(t0 * steps)) - 1);
    const int s1 = std::min(steps, int(std::ceil(t1 * steps)) + 1);
    // Within the clipped steps a coordinate is above -3, so flooring is truncating a shifted value.
    const auto floorOf = [](double v) { return int(v + 1024.0) - 1024; };
    for (int s = s0; s <= s1; ++s) {
        const double t = double(s) / steps;
        const int x = floorOf(a.x + dx * t);
        const int y = floorOf(a.y + dy * t);
        if (x < 0 || y < 0 || x >= m_width || y >= m_height) continue;
        const float w = float(a.w + (b.w - a.w) * t);
        const size_t i = size_t(y) * m_width + x;
        if (depthTest && w < m_depth[i] * (1.0f - kLineBias)) continue;
        m_depth[i] = std::max(m_depth[i], w);
        m_index[i] = index;
        m_pixels[size_t(y) * m_stride + x] = color;
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
