// How settings become exposure and post-processing, how a frame is finished on the CPU, and the
// clip planes that keep a scene between them.
#include "zalViewerLook.h"
#include "zalViewerConsole.h"
#include "zalViewerFinish.h"
#include "zalViewerRenderer.h"
#include "zalViewerSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Look : public ::testing::Test
{
protected:
    zalViewerLook read(float lux = 100000) { return zalViewerLookFromSettings(settings, lux); }
    void run(const QString& line) { console.execute(line); }
    zalViewerSettings settings;
    zalViewerConsole console{settings};
};

TEST_F(Look, ExposureBiasAndTheToneMapperMoveTheExposureInStops)
{
    run("Set PostProcessVolume Settings (AutoExposureMethod=AEM_Manual,AutoExposureBias=0)");
    const float base = read().ev100;
    run("Set PostProcessVolume Settings (AutoExposureMethod=AEM_Manual,AutoExposureBias=2)");
    EXPECT_FLOAT_EQ(read().ev100, base - 2); // brighter: a lower exposure value
    settings.toneMapperSet = true;
    settings.exposure = 4;
    EXPECT_FLOAT_EQ(read().ev100, base - 4);
    settings.exposure = 0; // nonsense leaves it alone
    EXPECT_FLOAT_EQ(read().ev100, base - 2);
}

TEST_F(Look, AutomaticExposureFollowsTheLightOnlyPartly)
{
    run("Set PostProcessVolume Settings (AutoExposureMethod=AEM_Histogram,AutoExposureBias=0)");
    const float day = read(90000).ev100, dusk = read(3000).ev100, night = read(0.01f).ev100;
    EXPECT_LT(dusk, day);
    EXPECT_GE(dusk, day - 2.0f);
    EXPECT_NEAR(night, day - 2.0f, 0.1f); // two stops at most
    // 30 times less light (about five stops) is compensated by less than half.
    EXPECT_LT(day - dusk, 0.5f * std::log2(90000.0f / 3000.0f));
    run("Set PostProcessVolume Settings (AutoExposureMethod=AEM_Manual)");
    EXPECT_FLOAT_EQ(read(3000).ev100, read(90000).ev100);
}

TEST_F(Look, PostProcessFieldsAsTheModuleWritesThem)
{
    run("Set PostProcessVolume Settings (bOverride_BloomIntensity = True,BloomMethod = BM_SOG,BloomIntensity "
        "= "
        "0.675,BloomThreshold = -1,AmbientOcclusionIntensity=0.5,AmbientOcclusionRadius=200,WhiteTemp=9750,"
        "ColorSaturation=(X=0.5,Y=0.5,Z=0.5,W=1.000000),ColorContrast=(X=1.2,Y=1.2,Z=1.2,W=1.000000),"
        "ColorGamma=(X=1.1,Y=1.1,Z=1.1,W=1.000000),DepthOfFieldFocalDistance=500,"
        "RayTracingReflectionsMaxBounces=3)");
    const zalViewerLook l = read();
    EXPECT_TRUE(l.bloom);
    EXPECT_FALSE(l.bloomThreshold);
    EXPECT_NEAR(l.aoRadiusMetres, 2.0f, 1e-5);
    EXPECT_NEAR(l.whiteTemperature, 0.5f, 1e-5);
    EXPECT_NEAR(l.saturation, 0.5f, 1e-5);
    EXPECT_NEAR(l.contrast, 1.2f, 1e-5);
    EXPECT_NEAR(l.gamma, 1.1f, 1e-5);
    EXPECT_TRUE(l.depthOfField);
    EXPECT_NEAR(l.focusDistanceMetres, 5.0f, 1e-5);
    EXPECT_EQ(l.quality, 3);
    EXPECT_EQ(l.shadowMapSize, 4096);
    EXPECT_EQ(l.shadowCascades, 4);
    run("Set PostProcessVolume Settings (BloomIntensity = 0,DepthOfFieldFocalDistance=0,"
        "RayTracingReflectionsMaxBounces=0)");
    const zalViewerLook off = read();
    EXPECT_FALSE(off.bloom);
    EXPECT_FALSE(off.depthOfField);
    EXPECT_EQ(off.quality, 0);
    EXPECT_LT(off.shadowMapSize, l.shadowMapSize);
}

std::vector<float> flat(int w, int h, float r, float g, float b)
{
    std::vector<float> p(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i] = r;
        p[i + 1] = g;
        p[i + 2] = b;
        p[i + 3] = 1;
    }
    return p;
}

TEST(Finish, TonesGradesAndEncodes)
{
    zalViewerLook look;
    look.bloom = false;
    auto px = flat(8, 8, 0.18f, 0.18f, 0.18f);
    const QColor grey = zalViewerFinishFrame(px, 8, 8, 1, look).pixelColor(3, 3);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_GT(grey.red(), 90); // mid grey lands in the middle after the curve and sRGB
    EXPECT_LT(grey.red(), 160);
    auto bright = flat(8, 8, 100, 100, 100);
    EXPECT_GE(zalViewerFinishFrame(bright, 8, 8, 1, look).pixelColor(0, 0).red(), 250); // no wrap-around
    EXPECT_LT(zalViewerAces(0.5f), zalViewerAces(1.0f));

    auto colour = flat(8, 8, 0.5f, 0.1f, 0.05f);
    look.saturation = 0;
    const QColor desaturated = zalViewerFinishFrame(colour, 8, 8, 1, look).pixelColor(1, 1);
    EXPECT_NEAR(desaturated.red(), desaturated.blue(), 1);
    look.saturation = 1;
    look.whiteTemperature = 1;
    auto white = flat(8, 8, 0.3f, 0.3f, 0.3f);
    const QColor warm = zalViewerFinishFrame(white, 8, 8, 1, look).pixelColor(1, 1);
    EXPECT_GT(warm.red(), warm.blue() + 20);
}

TEST(Finish, VignetteBloomAndSupersampling)
{
    zalViewerLook look;
    look.vignette = true;
    look.vignetteAmount = 0.8f;
    auto px = flat(64, 64, 0.3f, 0.3f, 0.3f);
    const QImage v = zalViewerFinishFrame(px, 64, 64, 1, look);
    EXPECT_LT(v.pixelColor(0, 0).red(), v.pixelColor(32, 32).red() - 30);

    // One very bright pixel block glows onto its dark neighbours only with bloom.
    zalViewerLook bloom;
    auto spot = flat(64, 64, 0.01f, 0.01f, 0.01f);
    for (int y = 28; y < 36; ++y)
        for (int x = 28; x < 36; ++x)
            for (int k = 0; k < 3; ++k)
                spot[(std::size_t(y) * 64 + x) * 4 + k] = 200;
    auto copy = spot;
    const int without = zalViewerFinishFrame(spot, 64, 64, 1, bloom).pixelColor(24, 32).red();
    bloom.bloom = true;
    bloom.bloomStrength = 0.5f;
    const int with = zalViewerFinishFrame(copy, 64, 64, 1, bloom).pixelColor(24, 32).red();
    EXPECT_GT(with, without + 10);

    // A 2x supersampled checkerboard of black and white averages to one grey.
    std::vector<float> checker(std::size_t(8) * 8 * 4, 0.0f);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            for (int k = 0; k < 3; ++k)
                checker[(std::size_t(y) * 8 + x) * 4 + k] = (x + y) % 2 ? 0.4f : 0.0f;
    const QImage half = zalViewerFinishFrame(checker, 8, 8, 2, zalViewerLook());
    EXPECT_EQ(half.size(), QSize(4, 4));
    auto grey = flat(4, 4, 0.2f, 0.2f, 0.2f);
    EXPECT_EQ(half.pixelColor(1, 2).red(),
              zalViewerFinishFrame(grey, 4, 4, 1, zalViewerLook()).pixelColor(0, 0).red());
}

TEST(ClipPlanes, KeepTheWholeSceneBetweenThemFromOutsideAndInside)
{
    const QVector3D low(-1000, -1000, 0), high(1000, 1000, 500);
    for (const QVector3D& eye : {QVector3D(0, -5000, 1000), QVector3D(0, 0, 100), QVector3D(900, 900, 10)}) {
        zalViewerRenderer::View v;
        v.eye = eye;
        v.target = QVector3D(0, 0, 100);
        if ((v.target - v.eye).length() < 1) v.target = eye + QVector3D(0, 1, 0);
        float near = 0, far = 0;
        zalViewerRenderer::clipPlanes(v, low, high, true, near, far);
        const QVector3D forward = (v.target - v.eye).normalized();
        float deepest = 0;
        for (int i = 0; i < 8; ++i) {
            const QVector3D c(i & 1 ? high.x() : low.x(), i & 2 ? high.y() : low.y(),
                              i & 4 ? high.z() : low.z());
            deepest = std::max(deepest, QVector3D::dotProduct(c - eye, forward));
        }
        EXPECT_GT(near, 0);
        EXPECT_GE(far, deepest) << "the far corner is clipped";
        EXPECT_LE(far / near, 1.0e5f + 1); // depth precision kept
    }
    // From outside, the near plane comes up to the scene instead of staying at the far / 1e5 floor.
    zalViewerRenderer::View outside;
    outside.eye = QVector3D(0, -50000, 0);
    outside.target = QVector3D(0, 0, 0);
    float near = 0, far = 0;
    zalViewerRenderer::clipPlanes(outside, low, high, true, near, far);
    EXPECT_GT(near, 40000);
    EXPECT_LT(near, 49000);
}

} // namespace
