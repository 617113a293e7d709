#include "zalViewerPathTracer.h"

#include "zalViewerDenoiser.h"
#include "zalViewerMaterialModel.h"
#include "zalViewerScene.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMatrix4x4>
#include <QVector2D>
#include <QtMath>

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace {

// The host mirrors X (and scales to centimetres); the tracer undoes the mirror like the raster
// renderer, so both show the drawing the same way round.
const QMatrix4x4 kUnmirror(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
constexpr int kMaxDepth = 24;
constexpr float kPi = 3.14159265358979f;
constexpr int kRussianRouletteAfter = 3;
constexpr int kShadowLayers = 16;
// Light intensities arrive with per-type factors folded in (point 1e6, spot 1e7 per unit of the
// drawing's intensity, distant 1e3); these bring them to the tracer's scale, where a lamp of
// intensity 1 lights a surface 3 m away about as much as a tenth of the sun.
constexpr float kPointScale = 0.03f;
constexpr float kSpotScale = 0.003f;
constexpr float kDistantScale = 0.0005f;

float luminance(const QVector3D& c)
{
    return 0.2126f * c.x() + 0.7152f * c.y() + 0.0722f * c.z();
}

float maxComponent(const QVector3D& c)
{
    return std::max(c.x(), std::max(c.y(), c.z()));
}

// Sampling that depends only on (seed, pixel, sample index), never on the thread or the order
// pixels are visited in: that is what makes frames reproducible across processes.
std::uint64_t mix64(std::uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct Rng
{
    std::uint64_t state;
    Rng(std::uint64_t seed, std::uint64_t pixel, std::uint64_t sample)
        : state(mix64(seed ^ mix64(pixel * 0x100000001B3ull + mix64(sample))))
    {
    }
    float next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const std::uint32_t x = std::uint32_t(((state >> 18) ^ state) >> 27);
        const std::uint32_t rot = std::uint32_t(state >> 59);
        const std::uint32_t r = (x >> rot) | (x << ((32 - rot) & 31));
        return float(r >> 8) * (1.0f / 16777216.0f);
    }
};

void basis(const QVector3D& n, QVector3D& t, QVector3D& b)
{
    // Frisvad's branchless frame (revised by Duff et al.).
    const float sign = std::copysign(1.0f, n.z());
    const float a = -1.0f / (sign + n.z());
    const float c = n.x() * n.y() * a;
    t = QVector3D(1.0f + sign * n.x() * n.x() * a, sign * c, -sign * n.x());
    b = QVector3D(c, sign + n.y() * n.y() * a, -n.y());
}

QVector3D reflect(const QVector3D& v, const QVector3D& n)
{
    return v - 2.0f * QVector3D::dotProduct(v, n) * n;
}

float pow5(float x)
{
    const float x2 = x * x;
    return x2 * x2 * x;
}

QVector3D schlick(const QVector3D& f0, float cosine)
{
    const float m = pow5(std::max(0.0f, 1.0f - cosine));
    return f0 + (QVector3D(1, 1, 1) - f0) * m;
}

float dielectricFresnel(float cosI, float eta, float& cosT)
{
    const float sin2T = eta * eta * std::max(0.0f, 1.0f - cosI * cosI);
    if (sin2T >= 1.0f) {
        cosT = 0;
        return 1.0f;
    }
    cosT = std::sqrt(1.0f - sin2T);
    const float rs = (eta * cosI - cosT) / (eta * cosI + cosT);
    const float rp = (cosI - eta * cosT) / (cosI + eta * cosT);
    return 0.5f * (rs * rs + rp * rp);
}

float ggxD(float cosH, float a2)
{
    const float d = cosH * cosH * (a2 - 1.0f) + 1.0f;
    return a2 / (kPi * d * d);
}

float smithG1(float cosine, float a2)
{
    const float c2 = cosine * cosine;
    return 2.0f * cosine / (cosine + std::sqrt(a2 + (1.0f - a2) * c2));
}

struct Texture
{
    QImage image; // RGB32, empty when the file could not be read
};

struct Material
{
    zalViewerMaterialModel m;
    bool glass = false; // refracts with m.ior; its opacity is the rasteriser's blending, not ours
    QVector3D emission; // tracer scale
    const Texture* texture = nullptr;
};

struct Light
{
    int type = 0;                  // 0 point, 1 spot, 2 rectangle, 3 distant
    QVector3D position, direction; // direction: where it shines
    QVector3D intensity;           // rgb, tracer scale
    QVector3D side, up;            // rectangle half extents
    float cosHotspot = -1, cosFalloff = -1;
};

} // namespace

struct zalViewerPathTracer::Impl
{
    RTCDevice device = nullptr;
    RTCScene top = nullptr;

    struct MeshBvh
    {
        std::uint64_t revision = 0;
        RTCScene scene = nullptr;
        std::vector<float> positions; // padded by one float: Embree reads vertices 16 bytes at a time
        std::vector<float> normals;
        std::vector<float> uv;
        QString material;
        std::size_t triangles = 0;
        bool used = false;
    };
    std::map<const void*, MeshBvh> meshes;

    struct Placement
    {
        const MeshBvh* mesh = nullptr;
        float normalMatrix[9];
        int material = -1;
    };
    std::vector<Placement> placements;
    std::vector<Material> materials;
    std::map<QString, std::unique_ptr<Texture>> textures;
    std::vector<Light> lights;
    zalViewerPathTraceEnvironment environment;
    std::uint64_t sceneRevision = ~std::uint64_t(0);
    const zalViewerScene* scene = nullptr;

    Impl()
    {
        device = rtcNewDevice(nullptr);
        top = rtcNewScene(device);
        rtcCommitScene(top);
    }
    ~Impl()
    {
        for (auto& e : meshes)
            if (e.second.scene) rtcReleaseScene(e.second.scene);
        if (top) rtcReleaseScene(top);
        if (device) rtcReleaseDevice(device);
    }

    void build(MeshBvh& bvh, const zalViewerScene::Mesh& mesh)
    {
        const std::size_t n = std::size_t(std::max(mesh.vertexCount, 0));
        bvh.triangles = n / 3;
        bvh.positions.assign(3 * n + 1, 0.0f);
        if (n) std::memcpy(bvh.positions.data(), mesh.positions.data, n * 12);
        bvh.normals.clear();
        if (mesh.normals.count == 3 * n && n) {
            bvh.normals.resize(3 * n);
            std::memcpy(bvh.normals.data(), mesh.normals.data, n * 12);
        }
        bvh.uv.clear();
        if (mesh.uv0.count == 2 * n && n) {
            bvh.uv.resize(2 * n);
            std::memcpy(bvh.uv.data(), mesh.uv0.data, n * 8);
        }
        bvh.material = mesh.material;
        bvh.revision = mesh.revision;
        if (bvh.scene) rtcReleaseScene(bvh.scene);
        bvh.scene = rtcNewScene(device);
        if (bvh.triangles) {
            RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
            rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, bvh.positions.data(),
                                       0, 12, n);
            auto* index = static_cast<unsigned*>(
                rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 12, bvh.triangles));
            for (unsigned i = 0; i < unsigned(3 * bvh.triangles); ++i)
                index[i] = i;
            rtcCommitGeometry(g);
            rtcAttachGeometry(bvh.scene, g);
            rtcReleaseGeometry(g);
        }
        rtcCommitScene(bvh.scene);
    }

    int materialIndex(const QString& name, std::map<QString, int>& known)
    {
        auto it = known.find(name);
        if (it != known.end()) return it->second;
        Material mat;
        auto found = scene->materials().find(name);
        if (found != scene->materials().end()) {
            const zalViewerScene::Material& s = found->second;
            mat.m = zalViewerInterpretMaterial(s.texture, s.colour, s.opacity, s.secondTexture, s.parameters);
            mat.glass = mat.m.kind == zalViewerMaterialModel::Kind::Glass ||
                        mat.m.kind == zalViewerMaterialModel::Kind::Water;
            mat.emission = mat.m.emission * zalViewerPathTracer::kTracerUnitsPerNit;
            const QString file = mat.m.baseColourMap.file;
            if (!file.isEmpty() && QFileInfo(file).isFile()) {
                std::unique_ptr<Texture>& t = textures[file];
                if (!t) {
                    t = std::make_unique<Texture>();
                    t->image = QImage(file).convertToFormat(QImage::Format_RGB32);
                }
                if (!t->image.isNull()) mat.texture = t.get();
            }
        }
        materials.push_back(mat);
        known.emplace(name, int(materials.size()) - 1);
        return int(materials.size()) - 1;
    }

    void place(const zalViewerScene::Mesh& mesh, const QMatrix4x4& frame, Statistics& stats,
               std::map<QString, int>& known)
    {
        if (mesh.vertexCount < 3) return;
        MeshBvh& bvh = meshes[&mesh];
        if (!bvh.scene || bvh.revision != mesh.revision) {
            build(bvh, mesh);
            ++stats.meshBuilds;
        } else if (!bvh.used) {
            ++stats.meshesKept;
        }
        if (!bvh.used) stats.triangles += bvh.triangles;
        bvh.used = true;
        Placement p;
        p.mesh = &bvh;
        const QMatrix3x3 nm = frame.normalMatrix();
        std::memcpy(p.normalMatrix, nm.constData(), sizeof p.normalMatrix); // column-major
        p.material = materialIndex(bvh.material, known);

        RTCGeometry inst = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_INSTANCE);
        rtcSetGeometryInstancedScene(inst, bvh.scene);
        rtcSetGeometryTransform(inst, 0, RTC_FORMAT_FLOAT4X4_COLUMN_MAJOR, frame.constData());
        rtcCommitGeometry(inst);
        rtcAttachGeometryByID(top, inst, unsigned(placements.size()));
        rtcReleaseGeometry(inst);
        placements.push_back(p);
    }

    void walk(const QString& owner, const QMatrix4x4& frame, int depth, Statistics& stats,
              std::map<QString, int>& known)
    {
        if (depth > kMaxDepth) return;
        for (const zalViewerScene::Mesh* mesh : scene->meshesOf(owner))
            place(*mesh, frame, stats, known);
        for (const auto& entry : scene->instancesUnder(owner)) {
            const QString& name = entry.first->name;
            const zalViewerScene::Instance& inst = *entry.second;
            const QMatrix4x4 placed = frame * inst.transform;
            walk(name, placed, depth + 1, stats, known);
            if (!inst.component.isEmpty() && inst.component != name)
                walk(inst.component, placed, depth + 1, stats, known);
        }
        for (const auto& entry : scene->spawnsUnder(owner))
            if (!entry.second->component.isEmpty())
                for (const QMatrix4x4& t : entry.second->transforms)
                    walk(entry.second->component, frame * t, depth + 1, stats, known);
    }

    void readLights()
    {
        lights.clear();
        for (const auto& entry : scene->lights()) {
            const zalViewerScene::Light& l = entry.second;
            if (!l.on || !(l.intensity > 0) || !std::isfinite(l.intensity)) continue;
            const QMatrix4x4 m = kUnmirror * l.transform;
            Light light;
            light.type = std::min(std::max(l.type, 0), 3);
            light.position = m.column(3).toVector3D();
            // The light's frame points its first axis back at the light from where it shines.
            light.direction = -m.column(0).toVector3D().normalized();
            const QVector3D colour = QVector3D(float(l.colour & 0xFF), float((l.colour >> 8) & 0xFF),
                                               float((l.colour >> 16) & 0xFF)) /
                                     255.0f;
            const float scale = light.type == 3 ? kDistantScale : light.type == 0 ? kPointScale : kSpotScale;
            light.intensity = colour * l.intensity * scale;
            if (light.type == 1 || light.type == 2) {
                const float hot = std::isfinite(l.hotspotAngle) ? std::fabs(l.hotspotAngle) : 0.0f;
                const float fall = std::isfinite(l.falloffAngle) ? std::fabs(l.falloffAngle) : 0.0f;
                // Angles arrive as the drawing keeps them (radians), as full cone angles.
                light.cosFalloff = std::cos(std::min(std::max(fall, hot) * 0.5f, kPi * 0.5f));
                light.cosHotspot = std::cos(std::min(hot * 0.5f, kPi * 0.5f));
                if (light.cosHotspot <= light.cosFalloff) light.cosHotspot = light.cosFalloff + 1e-4f;
            }
            if (light.type == 2) {
                const float w = std::isfinite(l.size1) ? std::fabs(l.size1) * 50.0f : 0.0f; // half, in cm
                const float h = std::isfinite(l.size2) ? std::fabs(l.size2) * 50.0f : 0.0f;
                light.side = m.column(1).toVector3D().normalized() * std::max(w, 1.0f);
                light.up = m.column(2).toVector3D().normalized() * std::max(h, 1.0f);
            }
            if (!std::isfinite(light.position.x()) || !std::isfinite(light.direction.x())) continue;
            lights.push_back(light);
        }
    }

    struct Hit
    {
        QVector3D p, ng, ns; // ng and ns face the incoming ray
        QVector2D uv;
        const Material* material = nullptr;
        QVector3D base;
    };

    static QVector3D mulNormal(const float* m, const QVector3D& v)
    {
        return QVector3D(m[0] * v.x() + m[3] * v.y() + m[6] * v.z(),
                         m[1] * v.x() + m[4] * v.y() + m[7] * v.z(),
                         m[2] * v.x() + m[5] * v.y() + m[8] * v.z());
    }

    bool intersect(const QVector3D& origin, const QVector3D& dir, float tfar, Hit& hit, float& t) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit rh;
        rh.ray.org_x = origin.x();
        rh.ray.org_y = origin.y();
        rh.ray.org_z = origin.z();
        rh.ray.dir_x = dir.x();
        rh.ray.dir_y = dir.y();
        rh.ray.dir_z = dir.z();
        rh.ray.tnear = 0;
        rh.ray.tfar = tfar;
        rh.ray.time = 0;
        rh.ray.mask = ~0u;
        rh.ray.id = 0;
        rh.ray.flags = 0;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(top, &context, &rh);
        if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID || rh.hit.instID[0] >= placements.size()) return false;
        t = rh.ray.tfar;
        const Placement& pl = placements[rh.hit.instID[0]];
        const MeshBvh& mesh = *pl.mesh;
        const std::size_t i0 = std::size_t(rh.hit.primID) * 3;
        const float* P = mesh.positions.data() + i0 * 3;
        const QVector3D a(P[0], P[1], P[2]), b(P[3], P[4], P[5]), c(P[6], P[7], P[8]);
        QVector3D ng = mulNormal(pl.normalMatrix, QVector3D::crossProduct(b - a, c - a)).normalized();
        const float u = rh.hit.u, v = rh.hit.v, w = 1.0f - u - v;
        QVector3D ns = ng;
        if (!mesh.normals.empty()) {
            const float* N = mesh.normals.data() + i0 * 3;
            const QVector3D n = QVector3D(N[0], N[1], N[2]) * w + QVector3D(N[3], N[4], N[5]) * u +
                                QVector3D(N[6], N[7], N[8]) * v;
            const QVector3D world = mulNormal(pl.normalMatrix, n);
            if (world.lengthSquared() > 1e-12f) ns = world.normalized();
        }
        if (QVector3D::dotProduct(ng, dir) > 0) ng = -ng;
        // Two-sided: the host's faces have no reliable winding after its mirroring.
        if (QVector3D::dotProduct(ns, ng) < 0) ns = -ns;
        if (!std::isfinite(ng.x())) ng = -dir;
        if (!std::isfinite(ns.x())) ns = ng;
        hit.ng = ng;
        hit.ns = ns;
        hit.p = origin + dir * t;
        hit.material = pl.material >= 0 ? &materials[std::size_t(pl.material)] : nullptr;
        hit.base = hit.material ? hit.material->m.baseColour : QVector3D(0.72f, 0.72f, 0.72f);
        if (hit.material && hit.material->texture && !mesh.uv.empty()) {
            const float* U = mesh.uv.data() + i0 * 2;
            const zalViewerMaterialModel::Map& map = hit.material->m.baseColourMap;
            const float s = (U[0] * w + U[2] * u + U[4] * v) * map.scale.x() + map.offset.x();
            const float r = (U[1] * w + U[3] * u + U[5] * v) * map.scale.y() + map.offset.y();
            const QImage& img = hit.material->texture->image;
            if (std::isfinite(s) && std::isfinite(r)) {
                const int x = int(std::floor((s - std::floor(s)) * img.width())) % img.width();
                const int y = int(std::floor((r - std::floor(r)) * img.height())) % img.height();
                const QRgb px = reinterpret_cast<const QRgb*>(img.constScanLine(img.height() - 1 - y))[x];
                hit.base = QVector3D(zalViewerLinearFromSrgb(float(qRed(px)) / 255.0f),
                                     zalViewerLinearFromSrgb(float(qGreen(px)) / 255.0f),
                                     zalViewerLinearFromSrgb(float(qBlue(px)) / 255.0f));
            }
        }
        return true;
    }

    static float offsetScale(const QVector3D& p)
    {
        return 1e-4f * (1.0f + std::max(std::fabs(p.x()), std::max(std::fabs(p.y()), std::fabs(p.z()))));
    }

    // How much light gets from `p` to a point `distance` away along `dir`: transparent and glass
    // surfaces let their tint through (their refraction is not followed, so shadows behind glass
    // stay where the light points).
    QVector3D transmittance(QVector3D p, const QVector3D& dir, float distance, std::uint64_t& rays) const
    {
        QVector3D through(1, 1, 1);
        for (int layer = 0; layer < kShadowLayers; ++layer) {
            Hit hit;
            float t = 0;
            ++rays;
            if (!intersect(p, dir, distance, hit, t)) return through;
            const Material* m = hit.material;
            if (!m) return QVector3D();
            if (m->glass)
                through *= glassTint(hit.base);
            else if (m->m.opacity < 1.0f)
                through *= 1.0f - m->m.opacity;
            else
                return QVector3D();
            if (maxComponent(through) < 1e-4f) return QVector3D();
            const float step = t + offsetScale(hit.p) * 2.0f;
            p += dir * step;
            distance -= step;
            if (distance <= 0) return through;
        }
        return QVector3D();
    }

    // Glass is tinted lightly by its colour, as thin architectural glass is.
    static QVector3D glassTint(const QVector3D& base) { return QVector3D(0.7f, 0.7f, 0.7f) + base * 0.3f; }

    struct Lobe
    {
        QVector3D diffuse; // albedo of the diffuse part
        QVector3D f0;
        float a2 = 1;
        float specularChance = 0.15f;
    };

    static Lobe lobeOf(const Hit& hit)
    {
        Lobe lobe;
        const zalViewerMaterialModel* m = hit.material ? &hit.material->m : nullptr;
        const float metal = m ? m->metalness : 0.0f;
        const float rough = m ? std::max(m->roughness, 0.03f) : 1.0f;
        lobe.diffuse = hit.base * (1.0f - metal);
        lobe.f0 = QVector3D(0.04f, 0.04f, 0.04f) * (1.0f - metal) + hit.base * metal;
        lobe.a2 = rough * rough * rough * rough;
        lobe.specularChance = std::min(0.9f, 0.15f + 0.75f * metal + (rough < 0.4f ? 0.25f : 0.0f));
        return lobe;
    }

    // BSDF times cosine, and the pdf with which sampleBsdf would pick wi.
    static QVector3D evalBsdf(const Lobe& lobe, const Hit& hit, const QVector3D& wo, const QVector3D& wi,
                              float& pdf)
    {
        pdf = 0;
        const QVector3D& n = hit.ns;
        const float cosI = QVector3D::dotProduct(n, wi), cosO = QVector3D::dotProduct(n, wo);
        if (cosI <= 0 || cosO <= 0 || QVector3D::dotProduct(hit.ng, wi) <= 0) return QVector3D();
        const float fo = pow5(1.0f - cosO);
        // The diffuse part gets what the specular layer does not reflect.
        const QVector3D diffuse = lobe.diffuse * ((1.0f - (0.04f + 0.96f * fo)) / kPi);
        const QVector3D h = (wo + wi).normalized();
        const float cosH = std::max(QVector3D::dotProduct(n, h), 0.0f);
        const float hDotI = std::max(QVector3D::dotProduct(h, wi), 1e-6f);
        const float d = ggxD(cosH, lobe.a2);
        const QVector3D glossy = schlick(lobe.f0, hDotI) *
                               (d * smithG1(cosI, lobe.a2) * smithG1(cosO, lobe.a2) / (4.0f * cosI * cosO));
        pdf = (1.0f - lobe.specularChance) * cosI / kPi + lobe.specularChance * d * cosH / (4.0f * hDotI);
        return (diffuse + glossy) * cosI;
    }

    static bool sampleBsdf(const Lobe& lobe, const Hit& hit, const QVector3D& wo, Rng& rng, QVector3D& wi,
                           QVector3D& weight)
    {
        QVector3D t, b;
        basis(hit.ns, t, b);
        const float u1 = rng.next(), u2 = rng.next(), choose = rng.next();
        const float phi = 2.0f * kPi * u2;
        if (choose < lobe.specularChance) {
            const float cos2 = (1.0f - u1) / (1.0f + (lobe.a2 - 1.0f) * u1);
            const float cosH = std::sqrt(std::max(cos2, 0.0f)), sinH = std::sqrt(std::max(1.0f - cos2, 0.0f));
            const QVector3D h = t * (sinH * std::cos(phi)) + b * (sinH * std::sin(phi)) + hit.ns * cosH;
            wi = reflect(-wo, h);
        } else {
            const float r = std::sqrt(u1);
            wi = t * (r * std::cos(phi)) + b * (r * std::sin(phi)) +
                 hit.ns * std::sqrt(std::max(0.0f, 1.0f - u1));
        }
        float pdf = 0;
        const QVector3D f = evalBsdf(lobe, hit, wo, wi, pdf);
        if (!(pdf > 1e-8f)) return false;
        weight = f / pdf;
        return std::isfinite(weight.x()) && std::isfinite(weight.y()) && std::isfinite(weight.z());
    }

    QVector3D sunRadiance() const
    {
        const float cosMax = std::cos(qDegreesToRadians(std::max(environment.sunAngularRadiusDeg, 0.01f)));
        return environment.sunIrradiance / (2.0f * kPi * (1.0f - cosMax));
    }

    QVector3D direct(const Lobe& lobe, const Hit& hit, const QVector3D& wo, Rng& rng,
                     std::uint64_t& rays) const
    {
        QVector3D sum;
        const QVector3D origin = hit.p + hit.ng * offsetScale(hit.p);
        const float u1 = rng.next(), u2 = rng.next();
        if (environment.sunOn && environment.toSun.lengthSquared() > 0) {
            // A direction in the sun's disc: soft shadows with its size.
            const float cosMax =
                std::cos(qDegreesToRadians(std::max(environment.sunAngularRadiusDeg, 0.01f)));
            const float cosT = 1.0f - u1 * (1.0f - cosMax),
                        sinT = std::sqrt(std::max(0.0f, 1.0f - cosT * cosT));
            QVector3D t, b;
            const QVector3D axis = environment.toSun.normalized();
            basis(axis, t, b);
            const QVector3D wi =
                t * (sinT * std::cos(2 * kPi * u2)) + b * (sinT * std::sin(2 * kPi * u2)) + axis * cosT;
            float pdf;
            const QVector3D f = evalBsdf(lobe, hit, wo, wi, pdf);
            if (maxComponent(f) > 0)
                sum += f * environment.sunIrradiance * transmittance(origin, wi, 1e30f, rays);
        }
        for (const Light& light : lights) {
            QVector3D wi, radiantIntensity = light.intensity;
            float distance = 1e30f;
            if (light.type == 3) {
                wi = -light.direction;
            } else {
                QVector3D at = light.position;
                float cosLight = 1.0f;
                if (light.type == 2) {
                    at += light.side * (2.0f * rng.next() - 1.0f) + light.up * (2.0f * rng.next() - 1.0f);
                }
                QVector3D to = at - origin;
                const float d2 = std::max(to.lengthSquared(), 1e-4f);
                distance = std::sqrt(d2);
                wi = to / distance;
                if (light.type == 1 || light.type == 2) {
                    const float c = QVector3D::dotProduct(-wi, light.direction);
                    if (c <= light.cosFalloff) continue;
                    const float s =
                        std::min(1.0f, (c - light.cosFalloff) / (light.cosHotspot - light.cosFalloff));
                    cosLight = s * s * (3.0f - 2.0f * s);
                    if (light.type == 2) cosLight *= std::max(c, 0.0f);
                }
                radiantIntensity = light.intensity * (cosLight / d2);
                distance *= 0.999f;
            }
            float pdf;
            const QVector3D f = evalBsdf(lobe, hit, wo, wi, pdf);
            if (maxComponent(f) <= 0) continue;
            sum += f * radiantIntensity * transmittance(origin, wi, distance, rays);
        }
        return sum;
    }

    struct First
    {
        QVector3D albedo, normal;
        float depth = 0;
        bool set = false;
    };

    QVector3D trace(QVector3D origin, QVector3D dir, Rng& rng, const zalViewerPathTraceOptions& options,
                    First& first, std::uint64_t& rays) const
    {
        QVector3D radiance, throughput(1, 1, 1);
        bool seesSunDisc = true; // camera rays and specular bounces see the sun itself
        // Whether the path is inside glass: the host's mirroring leaves triangle winding unreliable,
        // so the side a refraction enters from is tracked rather than read off the normal.
        bool insideGlass = false;
        float travelled = 0;
        const float cosSun = std::cos(qDegreesToRadians(std::max(environment.sunAngularRadiusDeg, 0.01f)));
        for (int bounce = 0;; ++bounce) {
            Hit hit;
            float t = 0;
            ++rays;
            if (!intersect(origin, dir, std::numeric_limits<float>::infinity(), hit, t)) {
                if (environment.sky) radiance += throughput * environment.sky(dir);
                if (seesSunDisc && environment.sunOn &&
                    QVector3D::dotProduct(dir, environment.toSun.normalized()) >= cosSun)
                    radiance += throughput * sunRadiance();
                if (!first.set) {
                    first.set = true;
                    first.albedo = QVector3D(1, 1, 1);
                    first.normal = -dir;
                }
                break;
            }
            travelled += t;
            const QVector3D wo = -dir;
            const Material* mat = hit.material;
            if (options.emissive && mat && maxComponent(mat->emission) > 0)
                radiance += throughput * mat->emission;
            if (bounce >= options.maxBounces) {
                if (!first.set) {
                    first.set = true;
                    first.albedo = hit.base;
                    first.normal = hit.ns;
                    first.depth = travelled;
                }
                break;
            }
            const float eps = offsetScale(hit.p);
            if (mat && mat->glass) {
                const float cosI = QVector3D::dotProduct(wo, hit.ng);
                const float eta = insideGlass ? mat->m.ior : 1.0f / mat->m.ior;
                float cosT = 0;
                const float fresnel = dielectricFresnel(cosI, eta, cosT);
                if (rng.next() < fresnel) {
                    dir = reflect(dir, hit.ng);
                    origin = hit.p + hit.ng * eps;
                } else {
                    dir = (dir * eta + hit.ng * (eta * cosI - cosT)).normalized();
                    origin = hit.p - hit.ng * eps;
                    throughput *= glassTint(hit.base);
                    insideGlass = !insideGlass;
                }
                seesSunDisc = true;
                continue;
            }
            if (mat && !mat->glass && mat->m.opacity < 1.0f && rng.next() >= mat->m.opacity) {
                origin = hit.p - hit.ng * eps;
                continue;
            }
            if (!first.set) {
                first.set = true;
                first.albedo = hit.base;
                first.normal = hit.ns;
                first.depth = travelled;
            }
            const Lobe lobe = lobeOf(hit);
            radiance += throughput * direct(lobe, hit, wo, rng, rays);
            QVector3D wi, weight;
            if (!sampleBsdf(lobe, hit, wo, rng, wi, weight)) break;
            throughput *= weight;
            seesSunDisc = false;
            if (bounce >= kRussianRouletteAfter) {
                const float keep = std::min(maxComponent(throughput), 0.95f);
                if (!(rng.next() < keep)) break;
                throughput /= keep;
            }
            origin = hit.p + hit.ng * eps;
            dir = wi;
        }
        if (!std::isfinite(radiance.x()) || !std::isfinite(radiance.y()) || !std::isfinite(radiance.z()))
            return QVector3D();
        // The path exposure clamp: a single path brighter than this is a firefly, not a feature.
        const float lum = luminance(radiance);
        if (options.maxPathExposure > 0 && lum > options.maxPathExposure)
            radiance *= options.maxPathExposure / lum;
        return radiance;
    }
};

void zalViewerPathTraceFrame::reset(QSize pixels)
{
    size = pixels;
    samples = 0;
    const std::size_t n =
        std::size_t(std::max(pixels.width(), 0)) * std::size_t(std::max(pixels.height(), 0));
    colour.assign(3 * n, 0.0f);
    albedo.assign(3 * n, 0.0f);
    normal.assign(3 * n, 0.0f);
    depth.assign(n, 0.0f);
}

QVector3D zalViewerPathTraceFrame::radiance(int x, int y) const
{
    if (samples <= 0 || x < 0 || y < 0 || x >= size.width() || y >= size.height()) return QVector3D();
    const std::size_t i = 3 * (std::size_t(y) * std::size_t(size.width()) + std::size_t(x));
    return QVector3D(colour[i], colour[i + 1], colour[i + 2]) / float(samples);
}

zalViewerPathTracer::zalViewerPathTracer() : d(std::make_unique<Impl>()) {}

zalViewerPathTracer::~zalViewerPathTracer() = default;

void zalViewerPathTracer::setScene(const zalViewerScene& scene)
{
    if (d->scene == &scene && d->sceneRevision == scene.revision()) return;
    QElapsedTimer timer;
    timer.start();
    d->scene = &scene;
    d->sceneRevision = scene.revision();
    const std::uint64_t builds = m_statistics.totalMeshBuilds;
    m_statistics = Statistics();
    m_statistics.totalMeshBuilds = builds;
    for (auto& e : d->meshes)
        e.second.used = false;
    // The top level is only instances, cheap to rebuild whole; mesh BVHs are kept by revision.
    rtcReleaseScene(d->top);
    d->top = rtcNewScene(d->device);
    d->placements.clear();
    d->materials.clear();
    d->materials.reserve(scene.materials().size() + 1);
    std::map<QString, int> known;
    d->walk(QStringLiteral("Model"), kUnmirror, 0, m_statistics, known);
    d->walk(QString(), kUnmirror, 0, m_statistics, known);
    for (auto it = d->meshes.begin(); it != d->meshes.end();) {
        if (it->second.used) {
            ++it;
            continue;
        }
        if (it->second.scene) rtcReleaseScene(it->second.scene);
        it = d->meshes.erase(it);
    }
    rtcCommitScene(d->top);
    d->readLights();
    m_statistics.placements = int(d->placements.size());
    m_statistics.totalMeshBuilds += std::uint64_t(m_statistics.meshBuilds);
    m_statistics.buildSeconds = timer.nsecsElapsed() * 1e-9;
}

void zalViewerPathTracer::setEnvironment(const zalViewerPathTraceEnvironment& environment)
{
    d->environment = environment;
    if (d->environment.toSun.lengthSquared() > 0) d->environment.toSun.normalize();
}

namespace {

struct CameraRays
{
    QVector3D eye, forward, right, up;
    float tanHalf = 0.5f, aspect = 1;
    CameraRays(const zalViewerPathTraceCamera& camera, QSize size)
    {
        eye = camera.eye;
        forward = (camera.target - camera.eye).normalized();
        right = QVector3D::crossProduct(forward, camera.up).normalized();
        if (right.lengthSquared() < 0.5f)
            right = QVector3D::crossProduct(forward, QVector3D(0, 1, 0)).normalized();
        up = QVector3D::crossProduct(right, forward);
        const float fov = camera.fieldOfView > 1 && camera.fieldOfView < 170 ? camera.fieldOfView : 60.0f;
        aspect = float(size.width()) / float(std::max(size.height(), 1));
        tanHalf = std::tan(qDegreesToRadians(fov * 0.5f));
        if (camera.horizontal) tanHalf /= aspect;
    }
    QVector3D direction(float x, float y, QSize size) const
    {
        const float sx = (2.0f * x / float(size.width()) - 1.0f) * tanHalf * aspect;
        const float sy = (1.0f - 2.0f * y / float(size.height())) * tanHalf;
        return (forward + right * sx + up * sy).normalized();
    }
};

} // namespace

void zalViewerPathTracer::accumulate(zalViewerPathTraceFrame& frame, const zalViewerPathTraceCamera& camera,
                                     const zalViewerPathTraceOptions& options, int count)
{
    QElapsedTimer timer;
    timer.start();
    const QSize size = frame.size;
    const int w = size.width(), h = size.height();
    std::uint64_t rays = 0;
    if (w > 0 && h > 0 && count > 0) {
        const CameraRays cam(camera, size);
        const int first = frame.samples;
        const Impl& impl = *d;
#pragma omp parallel for schedule(dynamic, 1) reduction(+ : rays)
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::size_t pixel = std::size_t(y) * std::size_t(w) + std::size_t(x);
                for (int s = first; s < first + count; ++s) {
                    Rng rng(options.seed, pixel, std::uint64_t(s));
                    const float jx = rng.next(), jy = rng.next();
                    Impl::First hit;
                    const QVector3D dir = cam.direction(float(x) + jx, float(y) + jy, size);
                    const QVector3D c = impl.trace(cam.eye, dir, rng, options, hit, rays);
                    float* col = &frame.colour[3 * pixel];
                    col[0] += c.x();
                    col[1] += c.y();
                    col[2] += c.z();
                    float* alb = &frame.albedo[3 * pixel];
                    alb[0] += hit.albedo.x();
                    alb[1] += hit.albedo.y();
                    alb[2] += hit.albedo.z();
                    float* nor = &frame.normal[3 * pixel];
                    nor[0] += hit.normal.x();
                    nor[1] += hit.normal.y();
                    nor[2] += hit.normal.z();
                    frame.depth[pixel] += hit.depth;
                }
            }
        }
        frame.samples += count;
    }
    m_statistics.rays = rays;
    m_statistics.seconds = timer.nsecsElapsed() * 1e-9;
}

QImage zalViewerPathTracer::image(const zalViewerPathTraceFrame& frame,
                                  const zalViewerPathTraceOptions& options) const
{
    const int w = frame.size.width(), h = frame.size.height();
    QImage out(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    out.fill(Qt::black);
    if (w <= 0 || h <= 0 || frame.samples <= 0) return out;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    const float inv = 1.0f / float(frame.samples);
    std::vector<float> colour(3 * n), albedo(3 * n), normal(3 * n);
    for (std::size_t i = 0; i < 3 * n; ++i) {
        colour[i] = frame.colour[i] * inv;
        albedo[i] = frame.albedo[i] * inv;
        normal[i] = frame.normal[i] * inv;
    }
    if (options.denoise) colour = zalViewerDenoiser::denoise(w, h, colour, albedo, normal);
    float exposure = options.exposure > 0 ? options.exposure : 1.0f;
    if (options.autoExposure) {
        // Average-luminance metering: the picture's geometric mean luminance goes to middle
        // grey, shifted by the exposure bias in stops.
        double logSum = 0;
        for (std::size_t i = 0; i < n; ++i)
            logSum += std::log(
                1e-4 + double(luminance(QVector3D(colour[3 * i], colour[3 * i + 1], colour[3 * i + 2]))));
        const double average = std::exp(logSum / double(n));
        exposure = float(0.18 * std::pow(2.0, double(options.exposureBias)) / std::max(average, 1e-4));
    }
    const float gamma = options.gamma > 0 ? options.gamma : 1.0f;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float* c = &colour[3 * (std::size_t(y) * std::size_t(w) + std::size_t(x))];
            QVector3D v(c[0], c[1], c[2]);
            v *= exposure;
            const float l = QVector3D::dotProduct(v, QVector3D(0.299f, 0.587f, 0.114f));
            v = QVector3D(l, l, l) + (v - QVector3D(l, l, l)) * options.saturation;
            auto channel = [gamma](float f) {
                // The filmic curve (Narkowicz's fit of the ACES reference transform): highlights roll off
                // instead of clipping.
                f = std::max(f, 0.0f);
                f = std::min(f * (2.51f * f + 0.03f) / (f * (2.43f * f + 0.59f) + 0.14f), 1.0f);
                f = f <= 0.0031308f ? f * 12.92f : 1.055f * std::pow(f, 1.0f / 2.4f) - 0.055f;
                if (gamma != 1.0f) f = std::pow(f, 1.0f / gamma);
                return int(f * 255.0f + 0.5f);
            };
            line[x] = qRgb(channel(v.x()), channel(v.y()), channel(v.z()));
        }
    }
    return out;
}

QImage zalViewerPathTracer::render(const zalViewerPathTraceCamera& camera, QSize size,
                                   const zalViewerPathTraceOptions& options, zalViewerPathTraceFrame* keep)
{
    zalViewerPathTraceFrame local;
    zalViewerPathTraceFrame& frame = keep ? *keep : local;
    frame.reset(size);
    accumulate(frame, camera, options, std::max(options.samplesPerPixel, 1));
    return image(frame, options);
}

std::uint64_t zalViewerPathTracer::castPrimary(const zalViewerPathTraceCamera& camera, QSize size,
                                               Statistics& statistics)
{
    QElapsedTimer timer;
    timer.start();
    const int w = size.width(), h = size.height();
    std::uint64_t hits = 0;
    const CameraRays cam(camera, size);
    RTCScene top = d->top;
#pragma omp parallel for schedule(dynamic, 1) reduction(+ : hits)
    for (int y = 0; y < h; ++y) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        for (int x = 0; x < w; ++x) {
            const QVector3D dir = cam.direction(float(x) + 0.5f, float(y) + 0.5f, size);
            RTCRayHit rh;
            rh.ray.org_x = cam.eye.x();
            rh.ray.org_y = cam.eye.y();
            rh.ray.org_z = cam.eye.z();
            rh.ray.dir_x = dir.x();
            rh.ray.dir_y = dir.y();
            rh.ray.dir_z = dir.z();
            rh.ray.tnear = 0;
            rh.ray.tfar = std::numeric_limits<float>::infinity();
            rh.ray.time = 0;
            rh.ray.mask = ~0u;
            rh.ray.id = 0;
            rh.ray.flags = 0;
            rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
            rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
            rtcIntersect1(top, &context, &rh);
            if (rh.hit.geomID != RTC_INVALID_GEOMETRY_ID) ++hits;
        }
    }
    statistics.rays = std::uint64_t(w) * std::uint64_t(std::max(h, 0));
    statistics.seconds = timer.nsecsElapsed() * 1e-9;
    return hits;
}
