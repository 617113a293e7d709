// Reading a viewer material: the parameter string, colour, opacity and texture names as the
// module sends them, into what shading needs.
#include "zalViewerMaterialModel.h"

#include <gtest/gtest.h>

namespace {

using Kind = zalViewerMaterialModel::Kind;

const char* kMatte = "ShaderType:0,DiffuseMap:0.8;0.2;0.1:0.5,AlphaMap:1;1;1:1,EmissionMap:0;0;0:500,"
                     "SpecularMap:0;0;0:1,NormalsMap:0;0;1:1,RoughnessMap:1;1;1:1,LightingMap:0.5;0.5;0.5:1,"
                     "DisplacementMap:0;0;0:1,IORMap:1.05;1.05;1.05:1";

TEST(MaterialModel, ReadsAnOpaqueColouredMaterial)
{
    // 0xRRGGBB bytes: red 204, green 51, blue 25.
    const auto m = zalViewerInterpretMaterial(QString(), 204 | 51 << 8 | 25 << 16, 1.0f, QString(), kMatte);
    EXPECT_EQ(m.kind, Kind::Opaque);
    EXPECT_NEAR(m.baseColour.x(), zalViewerLinearFromSrgb(0.8f), 1e-3);
    EXPECT_NEAR(m.baseColour.y(), zalViewerLinearFromSrgb(0.2f), 1e-3);
    EXPECT_LT(m.baseColour.y(), 0.2f); // decoded, not the display value
    EXPECT_FLOAT_EQ(m.opacity, 1);
    EXPECT_FLOAT_EQ(m.roughness, 1);
    EXPECT_FLOAT_EQ(m.metalness, 0);
    EXPECT_FLOAT_EQ(m.ior, 1.5f); // 1.05 is the placeholder
    EXPECT_EQ(m.emission, QVector3D(0, 0, 0));
    EXPECT_FALSE(m.isBlended());
    EXPECT_FALSE(m.baseColourMap.isTextured());
}

TEST(MaterialModel, ReadsTexturesWithOffsetsScalesAndDriveLetters)
{
    const auto m = zalViewerInterpretMaterial(
        "/lib/brick.png", 0xFFFFFF, 1.0f, QString(),
        "ShaderType:0,DiffuseMap:/lib/brick.png:1:0.25;0.5;2;4,NormalsMap:C///maps/brick_n.png:0.7:0;0;1;1,"
        "RoughnessMap:/lib/r.jpg:1:0;0;3;3,EmissionMap:1;0.5;0:200");
    EXPECT_EQ(m.baseColourMap.file, "/lib/brick.png");
    EXPECT_EQ(m.baseColourMap.offset, QVector2D(0.25f, 0.5f));
    EXPECT_EQ(m.baseColourMap.scale, QVector2D(2, 4));
    EXPECT_EQ(m.normalMap.file, "C:/maps/brick_n.png");
    EXPECT_FLOAT_EQ(m.normalMap.strength, 0.7f);
    EXPECT_EQ(m.roughnessMap.file, "/lib/r.jpg");
    EXPECT_EQ(m.roughnessMap.scale, QVector2D(3, 3));
    EXPECT_NEAR(m.emission.x(), 200, 1e-3);
    EXPECT_NEAR(m.emission.y(), 200 * zalViewerLinearFromSrgb(0.5f), 1e-2);
    EXPECT_EQ(m.emission.z(), 0);
    // The diffuse file in the parameters fills in when the texture argument is empty.
    const auto n = zalViewerInterpretMaterial(QString(), 0, 1, QString(), "DiffuseMap:/x/y.jpg:1:0;0;1;1");
    EXPECT_EQ(n.baseColourMap.file, "/x/y.jpg");
}

TEST(MaterialModel, GlassStaysSeeThrough)
{
    // The module scales a translucent material's alpha parameter by a quarter.
    const auto glass = zalViewerInterpretMaterial(
        QString(), 0xFFEEDD, 1.0f, QString(),
        "ShaderType:1,DiffuseMap:0.001;0.001;0.001:0.5,AlphaMap:0.25;0.25;0.25:0.25,"
        "IORMap:1.52;1.52;1.52:1");
    EXPECT_EQ(glass.kind, Kind::Glass);
    EXPECT_TRUE(glass.isBlended());
    EXPECT_LT(glass.opacity, 0.3f);
    EXPECT_NEAR(glass.ior, 1.52f, 1e-4);
    // Even an opaque-looking translucent material without an alpha parameter stays see-through.
    const auto thick = zalViewerInterpretMaterial(QString(), 0xFFFFFF, 1.0f, QString(), "ShaderType:1");
    EXPECT_LE(thick.opacity, 0.5f);
    const auto half = zalViewerInterpretMaterial(QString(), 0xFFFFFF, 0.5f, QString(),
                                                 "ShaderType:0,AlphaMap:0.5;0.5;0.5:1");
    EXPECT_EQ(half.kind, Kind::Opaque);
    EXPECT_TRUE(half.isBlended());
    const auto cutout =
        zalViewerInterpretMaterial(QString(), 0xFFFFFF, 1.0f, "/leaf_alpha.png", "ShaderType:0");
    EXPECT_TRUE(cutout.isBlended());
}

TEST(MaterialModel, MetalsAndClearCoat)
{
    const auto mirror =
        zalViewerInterpretMaterial(QString(), 0xC0C0C0, 1, QString(), "ShaderType:3,RoughnessMap:1;1;1:0.3");
    EXPECT_EQ(mirror.kind, Kind::Metal);
    EXPECT_FLOAT_EQ(mirror.metalness, 1);
    EXPECT_NEAR(mirror.roughness, 0.3f, 1e-5);
    const auto painted =
        zalViewerInterpretMaterial(QString(), 0x0000FF, 1, QString(),
                                   "ShaderType:0,MetallicMap:0.5;0.5;0.5:0.9,GlossyMap:1;1;1:0.8,"
                                   "GlossyRoughnessMap:0.2;0.2;0.2:1");
    EXPECT_NEAR(painted.metalness, 0.45f, 1e-5);
    EXPECT_NEAR(painted.clearCoat, 0.8f, 1e-5);
    EXPECT_NEAR(painted.clearCoatRoughness, 0.2f, 1e-5);
}

TEST(MaterialModel, ToleratesGarbage)
{
    const auto m =
        zalViewerInterpretMaterial(QString(), 0x808080, std::numeric_limits<float>::quiet_NaN(), QString(),
                                   ",,RoughnessMap:,:x;y;z:q,ShaderType:9,MetallicMap:2;0;0:5,::");
    EXPECT_EQ(m.kind, Kind::Opaque);
    EXPECT_FLOAT_EQ(m.opacity, 1);
    EXPECT_FLOAT_EQ(m.metalness, 1); // clamped
    EXPECT_GE(m.roughness, 0);
    EXPECT_LE(m.roughness, 1);
}

} // namespace
