// The path tracer on small scenes built through real content messages, its pictures checked by
// measurable properties: noise, energy, where light and shadow fall, reproducibility.
#include "zalViewerPathTracer.h"
#include "XoRemoteRenderMessage.h"
#include "zalViewerDenoiser.h"
#include "zalViewerMaterialModel.h"
#include "zalViewerPathTraceSettings.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

#include <QMatrix4x4>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

// The host sends X mirrored; the scenes here are written in the drawing's frame and mirrored on
// the way in, as the host does.
const QMatrix4x4 kMirror(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

std::shared_ptr<const XoRemoteRenderMessage> received(const XoRemoteRenderMessage& sent)
{
    auto m = std::make_shared<XoRemoteRenderMessage>();
    std::string error;
    EXPECT_TRUE(XoRemoteRenderMessage::decode(sent.frameBytes(), *m, error)) << error;
    return m;
}

std::vector<float> rowMajor(const QMatrix4x4& m)
{
    const QMatrix4x4 t = m.transposed();
    return std::vector<float>(t.constData(), t.constData() + 16);
}

class Builder
{
public:
    zalViewerScene scene;

    void apply(const XoRemoteRenderMessage& m)
    {
        std::vector<zalViewerScene::Key> lost;
        QStringList errors;
        scene.apply(received(m), lost, errors);
        EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    }
    void material(const char* name, std::uint32_t rgb, const char* parameters = "", float opacity = 1,
                  const char* base = "M_Base", const QString& texture = QString())
    {
        // The wire colour is 0x00BBGGRR.
        const std::uint32_t colour = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
        XoRemoteRenderMessage m(XoMessageType::AddMaterial);
        m.addString(name)
            .addString(base)
            .addString(texture.toStdString())
            .addUInt(colour)
            .addFloat(opacity)
            .addString("")
            .addString(parameters);
        apply(m);
    }
    // Triangles in the drawing's frame, with one normal per triangle.
    void mesh(const char* name, const char* parent, const std::vector<QVector3D>& triangles,
              const char* material, const std::vector<float>& uv = {})
    {
        std::vector<float> p, n;
        std::vector<std::int32_t> faces;
        for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
            const QVector3D normal =
                QVector3D::crossProduct(triangles[i + 1] - triangles[i], triangles[i + 2] - triangles[i])
                    .normalized();
            for (int k = 0; k < 3; ++k) {
                const QVector3D v = kMirror.map(triangles[i + std::size_t(k)]);
                p.insert(p.end(), {v.x(), v.y(), v.z()});
                n.insert(n.end(), {-normal.x(), normal.y(), normal.z()});
            }
            faces.push_back(3);
        }
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(name).addString(parent).addString("");
        m.addFloatArray(p.data(), p.size()).addFloatArray(n.data(), n.size());
        m.addFloatArray(uv.data(), uv.size()).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
        m.addIntArray(faces.data(), faces.size()).addInt(int(faces.size())).addInt(int(p.size() / 3));
        m.addString(material).addString(material);
        apply(m);
    }
    void quad(std::vector<QVector3D>& t, QVector3D a, QVector3D b, QVector3D c, QVector3D d)
    {
        t.insert(t.end(), {a, b, c, a, c, d});
    }
    std::vector<QVector3D> box(QVector3D lo, QVector3D hi)
    {
        std::vector<QVector3D> t;
        const QVector3D p[8] = {{lo.x(), lo.y(), lo.z()}, {hi.x(), lo.y(), lo.z()}, {hi.x(), hi.y(), lo.z()},
                                {lo.x(), hi.y(), lo.z()}, {lo.x(), lo.y(), hi.z()}, {hi.x(), lo.y(), hi.z()},
                                {hi.x(), hi.y(), hi.z()}, {lo.x(), hi.y(), hi.z()}};
        quad(t, p[0], p[3], p[2], p[1]);
        quad(t, p[4], p[5], p[6], p[7]);
        quad(t, p[0], p[1], p[5], p[4]);
        quad(t, p[2], p[3], p[7], p[6]);
        quad(t, p[1], p[2], p[6], p[5]);
        quad(t, p[3], p[0], p[4], p[7]);
        return t;
    }
    std::vector<QVector3D> ground(float half, float z = 0)
    {
        std::vector<QVector3D> t;
        quad(t, {-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z});
        return t;
    }
    std::vector<QVector3D> sphere(QVector3D centre, float radius, int rings = 48, int segments = 96)
    {
        std::vector<QVector3D> t;
        auto at = [&](int i, int j) {
            const float theta = float(M_PI) * float(i) / float(rings),
                        phi = 2.0f * float(M_PI) * float(j) / float(segments);
            return centre + radius * QVector3D(std::sin(theta) * std::cos(phi),
                                               std::sin(theta) * std::sin(phi), std::cos(theta));
        };
        for (int i = 0; i < rings; ++i)
            for (int j = 0; j < segments; ++j)
                quad(t, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
        return t;
    }
    void instance(const char* name, const char* parent, const char* component, const QMatrix4x4& drawing)
    {
        const std::vector<float> t = rowMajor(kMirror * drawing * kMirror);
        XoRemoteRenderMessage m(XoMessageType::AddInstance);
        m.addString(name)
            .addString(parent)
            .addString(component)
            .addString(name)
            .addFloatArray(t.data(), 16)
            .addString("");
        apply(m);
    }
    // A light whose first axis points back towards it from where it shines, in the drawing's frame.
    void light(const char* name, int type, float intensity, QVector3D position, QVector3D shines,
               float hotspot = 0, float falloff = 0)
    {
        const QVector3D x = -shines.normalized();
        QVector3D y = QVector3D::crossProduct(QVector3D(0, 0, 1), x);
        if (y.lengthSquared() < 1e-6f) y = QVector3D(0, 1, 0);
        y.normalize();
        const QVector3D z = QVector3D::crossProduct(x, y);
        QMatrix4x4 frame;
        frame.setColumn(0, QVector4D(x, 0));
        frame.setColumn(1, QVector4D(y, 0));
        frame.setColumn(2, QVector4D(z, 0));
        frame.setColumn(3, QVector4D(position, 1));
        const std::vector<float> t = rowMajor(kMirror * frame);
        XoRemoteRenderMessage m(XoMessageType::AddLight);
        m.addString(name).addString("Model").addFloat(intensity).addUInt(0xFFFFFF).addInt(type).addFloat(
            hotspot);
        m.addFloat(falloff).addFloat(0).addFloat(0).addBool(true).addFloat(1).addString("").addFloatArray(
            t.data(), 16);
        m.addBool(true);
        apply(m);
    }
};

zalViewerPathTraceEnvironment uniformSky(QVector3D radiance)
{
    zalViewerPathTraceEnvironment e;
    e.sunOn = false;
    e.sky = [radiance](const QVector3D&) { return radiance; };
    return e;
}

// The sun at an azimuth and elevation in degrees, north along +y.
zalViewerPathTraceEnvironment sunAt(float azimuth, float elevation)
{
    zalViewerSettings settings;
    settings.sunMode = "position";
    settings.sunNorthOffset = 90;
    settings.sunAzimuth = azimuth;
    settings.sunElevation = elevation;
    return zalViewerPathTraceSettings::environment(settings);
}

zalViewerPathTraceCamera lookAt(QVector3D eye, QVector3D target, QVector3D up = {0, 0, 1}, float fov = 40)
{
    zalViewerPathTraceCamera c;
    c.eye = eye;
    c.target = target;
    c.up = up;
    c.fieldOfView = fov;
    return c;
}

float lum(const QVector3D& c)
{
    return (c.x() + c.y() + c.z()) / 3.0f;
}

// Mean and standard deviation of the luminance over a rectangle of pixels.
void stats(const zalViewerPathTraceFrame& f, QRect r, float& mean, float& deviation)
{
    double s = 0, s2 = 0;
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const float l = lum(f.radiance(x, y));
            s += l;
            s2 += double(l) * l;
            ++n;
        }
    mean = float(s / n);
    deviation = float(std::sqrt(std::max(0.0, s2 / n - (s / n) * (s / n))));
}

QVector3D meanColour(const zalViewerPathTraceFrame& f, QRect r)
{
    QVector3D s;
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x, ++n)
            s += f.radiance(x, y);
    return s / float(n);
}

zalViewerPathTraceOptions withSamples(int spp, int bounces = 8)
{
    zalViewerPathTraceOptions o;
    o.samplesPerPixel = spp;
    o.maxBounces = bounces;
    o.maxPathExposure = 1000;
    o.seed = 1234;
    return o;
}

} // namespace

TEST(PathTracer, NoiseOfAFlatRegionFallsWithTheSampleCount)
{
    Builder b;
    b.material("Grey", 0xB0B0B0);
    b.mesh("Ground_Grey", "Model", b.ground(5000), "Grey");
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(sunAt(30, 50));
    const auto camera = lookAt({0, -10, 800}, {0, 0, 0}, {0, 1, 0});
    zalViewerPathTraceFrame few, many;
    tracer.render(camera, QSize(64, 64), withSamples(4), &few);
    tracer.render(camera, QSize(64, 64), withSamples(64), &many);
    float meanFew, devFew, meanMany, devMany;
    stats(few, QRect(12, 12, 40, 40), meanFew, devFew);
    stats(many, QRect(12, 12, 40, 40), meanMany, devMany);
    RecordProperty("deviation4", std::to_string(devFew));
    RecordProperty("deviation64", std::to_string(devMany));
    std::printf("flat region: 4 spp mean %.4f sd %.4f; 64 spp mean %.4f sd %.4f; ratio %.2f\n", meanFew,
                devFew, meanMany, devMany, devFew / devMany);
    EXPECT_GT(meanMany, 0.1f);
    EXPECT_NEAR(meanFew, meanMany, 0.1f * meanMany); // the same picture, only less noisy
    EXPECT_GE(devFew / devMany, 3.0f);
}

TEST(PathTracer, WhiteFurnaceNeitherLosesNorGainsEnergy)
{
    Builder b;
    b.material("White", 0xFFFFFF, ",RoughnessMap:1;1;1:1,MetallicMap:0;0;0:0");
    b.mesh("Ball_White", "Model", b.sphere({0, 0, 0}, 100), "White");
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(uniformSky({1, 1, 1}));
    zalViewerPathTraceFrame f;
    tracer.render(lookAt({0, -600, 0}, {0, 0, 0}), QSize(48, 48), withSamples(64, 64), &f);
    // The sphere covers the middle of the picture; its rim aside, every pixel should read the sky.
    float mean, deviation;
    stats(f, QRect(18, 18, 12, 12), mean, deviation);
    std::printf("white furnace: sphere mean %.4f sd %.4f\n", mean, deviation);
    EXPECT_NEAR(mean, 1.0f, 0.03f);
    float skyMean, skyDeviation;
    stats(f, QRect(0, 0, 4, 4), skyMean, skyDeviation);
    EXPECT_NEAR(skyMean, 1.0f, 1e-4f);
}

TEST(PathTracer, GlassLetsTheGroundBehindShow)
{
    // A green ground seen from above through a glass slab; the same slab made opaque hides it.
    auto render = [](const char* base, const char* parameters, float opacity) {
        Builder b;
        b.material("Green", 0x20C020);
        b.material("Pane", 0xFFFFFF, parameters, opacity, base);
        b.mesh("Ground_Green", "Model", b.ground(3000), "Green");
        b.mesh("Slab_Pane", "Model", b.box({-300, -300, 200}, {300, 300, 220}), "Pane");
        zalViewerPathTracer tracer;
        tracer.setScene(b.scene);
        tracer.setEnvironment(sunAt(0, 70));
        zalViewerPathTraceFrame f;
        tracer.render(lookAt({0, -1, 900}, {0, 0, 0}, {0, 1, 0}), QSize(32, 32), withSamples(32), &f);
        return meanColour(f, QRect(12, 12, 8, 8));
    };
    const QVector3D glass = render("M_Glass [ConfigurableMaterialTranslucentSimple]",
                                   ",ShaderType:1,IORMap:1.5;1.5;1.5:1", 0.35f);
    const QVector3D opaque = render("M_Base", "", 1.0f);
    std::printf("through glass %.3f %.3f %.3f; opaque slab %.3f %.3f %.3f\n", glass.x(), glass.y(), glass.z(),
                opaque.x(), opaque.y(), opaque.z());
    EXPECT_GT(glass.y(), 1.8f * glass.x()); // the ground's green dominates
    EXPECT_GT(glass.y(), 1.8f * glass.z());
    EXPECT_LT(opaque.y(), 1.2f * opaque.x()); // the white slab hides it
}

TEST(PathTracer, TheSunCastsItsShadowOnTheFarSide)
{
    Builder b;
    b.material("Grey", 0xC0C0C0);
    b.mesh("Ground_Grey", "Model", b.ground(3000), "Grey");
    b.mesh("Tower_Grey", "Model", b.box({-50, -50, 0}, {50, 50, 300}), "Grey");
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(sunAt(90, 35)); // east: the shadow lies west
    // From straight above with north up, east is to the right of the picture.
    zalViewerPathTraceFrame f;
    tracer.render(lookAt({0, 0, 2000}, {0, 0, 0}, {0, 1, 0}, 30), QSize(80, 80), withSamples(16), &f);
    const float pixelsPerCm = 80.0f / (2.0f * 2000.0f * std::tan(float(M_PI) / 12.0f));
    auto at = [&](float x, float y) {
        return lum(meanColour(f, QRect(int(40 + x * pixelsPerCm) - 1, int(40 - y * pixelsPerCm) - 1, 3, 3)));
    };
    const float west = at(-200, 0), east = at(200, 0), north = at(0, 200);
    std::printf("ground west %.3f east %.3f north %.3f\n", west, east, north);
    EXPECT_LT(west, 0.5f * east);
    EXPECT_LT(west, 0.5f * north);
    EXPECT_NEAR(east, north, 0.15f * north);
}

TEST(PathTracer, MoreBouncesBrightenAnIndirectlyLitRoom)
{
    // A closed white room; a narrow spot lights the floor only. The ceiling sees light only once
    // it has bounced off the floor and walls.
    Builder b;
    b.material("White", 0xE0E0E0);
    std::vector<QVector3D> walls = b.box({-300, -300, 0}, {300, 300, 300});
    b.mesh("Room_White", "Model", walls, "White");
    b.light("Spot", 1, 1e7f, {0, 0, 290}, {0, 0, -1}, 0.5f, 0.6f);
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(uniformSky({0, 0, 0}));
    const auto camera = lookAt({0, -250, 50}, {0, 100, 300}, {0, 0, 1}, 60);
    auto ceiling = [&](int bounces) {
        zalViewerPathTraceFrame f;
        tracer.render(camera, QSize(40, 30), withSamples(32, bounces), &f);
        return lum(meanColour(f, QRect(0, 0, 40, 8)));
    };
    const float one = ceiling(1), two = ceiling(2), eight = ceiling(8);
    std::printf("ceiling with 1, 2, 8 bounces: %.4f %.4f %.4f\n", one, two, eight);
    EXPECT_LT(one, 1e-4f);
    EXPECT_GT(two, 1e-3f);
    EXPECT_GT(eight, 1.2f * two);
}

TEST(PathTracer, SeededSamplingGivesTheSameImageWhicheverWayItIsGathered)
{
    Builder b;
    b.material("Grey", 0xA0A0A0);
    b.material("Red", 0xC02020, ",RoughnessMap:0.3;0.3;0.3:0.3");
    b.mesh("Ground_Grey", "Model", b.ground(2000), "Grey");
    b.mesh("Ball_Red", "Model", b.sphere({0, 0, 100}, 100, 16, 32), "Red");
    const zalViewerPathTraceEnvironment sun = sunAt(200, 40);
    const auto camera = lookAt({300, -500, 300}, {0, 0, 80});
    zalViewerPathTraceOptions options = withSamples(8);
    options.seed = zalViewerPathTraceSettings::seedForTime(2.5);

    // A still in one process...
    zalViewerPathTraceFrame still;
    {
        zalViewerPathTracer tracer;
        tracer.setScene(b.scene);
        tracer.setEnvironment(sun);
        tracer.render(camera, QSize(24, 16), options, &still);
    }
    // ...and the same time as a frame of an animation in another, after other frames, one
    // sample at a time as the window gathers them.
    zalViewerPathTracer animation;
    animation.setScene(b.scene);
    animation.setEnvironment(sun);
    zalViewerPathTraceOptions earlier = options;
    earlier.seed = zalViewerPathTraceSettings::seedForTime(2.0);
    zalViewerPathTraceFrame previous;
    animation.render(camera, QSize(24, 16), earlier, &previous);
    zalViewerPathTraceFrame progressive;
    progressive.reset(QSize(24, 16));
    for (int i = 0; i < 8; ++i)
        animation.accumulate(progressive, camera, options, 1);
    ASSERT_EQ(progressive.samples, still.samples);
    EXPECT_EQ(
        0, std::memcmp(progressive.colour.data(), still.colour.data(), still.colour.size() * sizeof(float)));
    EXPECT_EQ(animation.image(progressive, options), animation.image(still, options));
    // Another time samples differently.
    EXPECT_NE(0,
              std::memcmp(previous.colour.data(), still.colour.data(), still.colour.size() * sizeof(float)));
}

TEST(PathTracer, RebuildsOnlyTheMeshesATransactionChanged)
{
    Builder b;
    b.material("Grey", 0xA0A0A0);
    b.mesh("Ground_Grey", "Model", b.ground(1000), "Grey");
    b.mesh("Column_Grey", "ColumnBlock", b.box({-10, -10, 0}, {10, 10, 200}), "Grey");
    for (int i = 0; i < 3; ++i) {
        QMatrix4x4 t;
        t.translate(100.0f * float(i), 0, 0);
        b.instance(QString("Column%1").arg(i).toUtf8().constData(), "Model", "ColumnBlock", t);
    }
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    EXPECT_EQ(tracer.statistics().meshBuilds, 2); // the block's mesh once for its three references
    EXPECT_EQ(tracer.statistics().placements, 4);
    EXPECT_EQ(tracer.statistics().triangles, 2u + 12u);

    tracer.setScene(b.scene); // nothing changed
    EXPECT_EQ(tracer.statistics().totalMeshBuilds, 2u);

    b.mesh("Column_Grey", "ColumnBlock", b.box({-20, -20, 0}, {20, 20, 250}), "Grey");
    tracer.setScene(b.scene);
    EXPECT_EQ(tracer.statistics().meshBuilds, 1);
    EXPECT_EQ(tracer.statistics().meshesKept, 1);
    EXPECT_EQ(tracer.statistics().placements, 4);

    // The new column is what the tracer hits: 250 high now, seen from the side at 225.
    tracer.setEnvironment(uniformSky({1, 1, 1}));
    zalViewerPathTraceFrame f;
    tracer.render(lookAt({0, -1000, 225}, {0, 0, 225}, {0, 0, 1}, 5), QSize(9, 9), withSamples(1, 0), &f);
    EXPECT_LT(lum(f.radiance(4, 4)), 0.95f); // a surface, not the sky
}

TEST(PathTracer, EmissiveMaterialsGlowOnlyWhenEnabled)
{
    Builder b;
    b.material("Lamp", 0xFFFFFF, ",EmissionMap:1;0.5;0.25:50000");
    b.mesh("Panel_Lamp", "Model", b.ground(500), "Lamp");
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(uniformSky({0, 0, 0}));
    zalViewerPathTraceOptions on = withSamples(4), off = withSamples(4);
    off.emissive = false;
    zalViewerPathTraceFrame a, c;
    const auto camera = lookAt({0, -1, 600}, {0, 0, 0}, {0, 1, 0}, 20);
    tracer.render(camera, QSize(8, 8), on, &a);
    tracer.render(camera, QSize(8, 8), off, &c);
    const QVector3D glow = a.radiance(4, 4);
    EXPECT_GT(glow.x(), 1.0f);
    EXPECT_NEAR(glow.y() / glow.x(), zalViewerLinearFromSrgb(0.5f), 0.02f); // the emission's colour
    EXPECT_LT(lum(c.radiance(4, 4)), 1e-6f);

    // The exposure clamp caps a path's luminance.
    zalViewerPathTraceOptions clamped = on;
    clamped.maxPathExposure = 0.5f;
    tracer.render(camera, QSize(8, 8), clamped, &a);
    EXPECT_NEAR(0.2126f * a.radiance(4, 4).x() + 0.7152f * a.radiance(4, 4).y() +
                    0.0722f * a.radiance(4, 4).z(),
                0.5f, 1e-3f);
}

TEST(PathTracer, TheDenoiserBringsSixteenSamplesTowardsAReference)
{
    Builder b;
    b.material("Grey", 0xB0B0B0);
    b.material("Red", 0xC03020);
    b.mesh("Ground_Grey", "Model", b.ground(3000), "Grey");
    b.mesh("Ball_Red", "Model", b.sphere({0, 0, 100}, 100, 16, 32), "Red");
    b.mesh("Wall_Grey", "Model", b.box({-400, 150, 0}, {400, 180, 300}), "Grey");
    zalViewerPathTracer tracer;
    tracer.setScene(b.scene);
    tracer.setEnvironment(sunAt(150, 35));
    const auto camera = lookAt({250, -600, 300}, {0, 0, 80});
    const QSize size(64, 48);
    zalViewerPathTraceFrame reference, noisy;
    zalViewerPathTraceOptions options = withSamples(1024);
    tracer.render(camera, size, options, &reference);
    options.samplesPerPixel = 16;
    options.seed = 99; // independent of the reference's samples
    tracer.render(camera, size, options, &noisy);
    // Compared in linear radiance, relative to the reference's mean, before any 8-bit rounding.
    auto means = [](const std::vector<float>& sums, int samples) {
        std::vector<float> out(sums.size());
        for (std::size_t i = 0; i < sums.size(); ++i)
            out[i] = sums[i] / float(samples);
        return out;
    };
    const std::vector<float> ref = means(reference.colour, reference.samples);
    const std::vector<float> raw = means(noisy.colour, noisy.samples);
    const std::vector<float> filtered =
        zalViewerDenoiser::denoise(size.width(), size.height(), raw, means(noisy.albedo, noisy.samples),
                                   means(noisy.normal, noisy.samples));
    double refMean = 0;
    for (float v : ref)
        refMean += v;
    refMean /= double(ref.size());
    auto rmse = [&](const std::vector<float>& image) {
        double s = 0;
        for (std::size_t i = 0; i < ref.size(); ++i)
            s += double(image[i] - ref[i]) * double(image[i] - ref[i]);
        return std::sqrt(s / double(ref.size())) / refMean;
    };
    const double before = rmse(raw), after = rmse(filtered);
    std::printf("relative RMSE against 1024 spp: 16 spp %.4f, 16 spp denoised %.4f\n", before, after);
    RecordProperty("rmse16", std::to_string(before));
    RecordProperty("rmse16denoised", std::to_string(after));
    // The picture the viewer shows goes through the same filter.
    options.denoise = true;
    const QImage shown = tracer.image(noisy, options);
    options.denoise = false;
    EXPECT_NE(shown, tracer.image(noisy, options));
    EXPECT_LT(after, 0.7 * before);
}

TEST(PathTracer, MaterialsShadeByTextureAndMetalness)
{
    const zalViewerPathTraceEnvironment sun = sunAt(160, 60);
    auto countReddish = [](const zalViewerPathTraceFrame& f, QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QVector3D c = f.radiance(x, y);
                n += c.x() > 2.0f * c.y() && c.x() > 2.0f * c.z() ? 1 : 0;
            }
        return n;
    };

    // A texture of a red left half and a blue right half, mapped once across a ground seen from above.
    QTemporaryDir dir;
    QImage texture(2, 1, QImage::Format_RGB32);
    texture.setPixel(0, 0, qRgb(220, 20, 20));
    texture.setPixel(1, 0, qRgb(20, 20, 220));
    const QString file = dir.filePath("halves.png");
    ASSERT_TRUE(texture.save(file));
    {
        Builder b;
        b.material("Painted", 0xFFFFFF, "", 1, "M_Base", file);
        b.mesh("Ground_Painted", "Model", b.ground(500), "Painted", {0, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 1});
        zalViewerPathTracer tracer;
        tracer.setScene(b.scene);
        tracer.setEnvironment(sun);
        zalViewerPathTraceFrame f;
        tracer.render(lookAt({0, 0, 2000}, {0, 0, 0}, {0, 1, 0}, 20), QSize(32, 32), withSamples(4), &f);
        const QVector3D left = meanColour(f, QRect(4, 4, 10, 24)),
                        right = meanColour(f, QRect(18, 4, 10, 24));
        EXPECT_GT(left.x(), 4 * left.z());
        EXPECT_GT(right.z(), 4 * right.x());
    }

    // A red block on a polished metal floor is mirrored in it; on a matte floor it is not.
    auto reflection = [&](const char* floorParameters) {
        Builder b;
        b.material("Floor", 0xD0D0D0, floorParameters);
        b.material("Red", 0xD02020);
        b.mesh("Ground_Floor", "Model", b.ground(3000), "Floor");
        b.mesh("Block_Red", "Model", b.box({-100, -50, 0}, {100, 50, 200}), "Red");
        zalViewerPathTracer tracer;
        tracer.setScene(b.scene);
        tracer.setEnvironment(sun);
        zalViewerPathTraceFrame f;
        tracer.render(lookAt({0, -800, 100}, {0, 0, 50}), QSize(40, 40), withSamples(8), &f);
        return countReddish(f, QRect(10, 30, 20, 10)); // below the block's foot
    };
    const int mirrored = reflection(",MetallicMap:1;1;1:1,RoughnessMap:0.05;0.05;0.05:1");
    const int matte = reflection(",MetallicMap:0;0;0:0,RoughnessMap:1;1;1:1");
    std::printf("red pixels below the block: metal floor %d, matte floor %d\n", mirrored, matte);
    EXPECT_GT(mirrored, 40);
    EXPECT_EQ(matte, 0);
}

TEST(PathTracerSettings, TheWallClockSecondsInTheSolarTimeDoNotMoveTheSun)
{
    // The module sends 11:00 plus the wall clock's seconds; two runs a few seconds apart must
    // trace the same frame, while a minute later is another time.
    zalViewerSettings a;
    a.sunMode = "time";
    a.sunNorthOffset = 90;
    a.sunLatitude = 41.9f;
    a.sunYear = 2026;
    a.sunMonth = 6;
    a.sunDay = 21;
    a.sunSolarTime = 11.0f + 5.0f / 3600.0f;
    zalViewerSettings b = a;
    b.sunSolarTime = 11.0f + 50.0f / 3600.0f;
    zalViewerSettings later = a;
    later.sunSolarTime = 11.0f + 65.0f / 3600.0f;
    const auto ea = zalViewerPathTraceSettings::environment(a),
               eb = zalViewerPathTraceSettings::environment(b),
               el = zalViewerPathTraceSettings::environment(later);
    EXPECT_EQ(ea.toSun, eb.toSun);
    EXPECT_EQ(ea.sunIrradiance, eb.sunIrradiance);
    EXPECT_NE(ea.toSun, el.toSun);
    EXPECT_GT(ea.toSun.z(), 0.5f); // a June late morning in Rome: the sun is high
}
