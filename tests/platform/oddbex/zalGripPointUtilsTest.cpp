// Generic grips: the grip data they carry, their glyphs in eye space and their callbacks.
#include "zalGripPointUtils.h"
#include "GenericGripData.h"

#include "tests/common/zalRecordingDraw.h"

#include "DbEntity.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;
using U = zalGripPointUtils;

void expectPoint(const OdGePoint3d& actual, double x, double y, double z)
{
    EXPECT_NEAR(actual.x, x, 1e-9);
    EXPECT_NEAR(actual.y, y, 1e-9);
    EXPECT_NEAR(actual.z, z, 1e-9);
}

class GenericGrips : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!GenericGripData::desc()) GenericGripData::rxInit();
    }

    void TearDown() override
    {
        // The grips' payloads go back as an ended edit would give them.
        for (auto& grip : grips)
            U::gripPointOpStatus(grip.get(), nullptr, OdDbGripOperations::kGripEnd);
    }

    OdDbGripData* make(const OdGePoint3d& point, int shape)
    {
        OdArray<OdVariant> values;
        values.append(OdVariant(OdInt32(7)));
        values.append(OdVariant(OdString(L"seven")));
        grips.push_back(U::createGripData(point, U::GripShape(shape), values, OdString(L"payload")));
        return grips.back().get();
    }

    static GenericGripData* payload(OdDbGripData* grip)
    {
        return static_cast<GenericGripData*>(grip->appData());
    }

    std::vector<OdSharedPtr<OdDbGripData>> grips;
};

TEST_F(GenericGrips, createGripDataFillsPointPayloadCallbacksAndOptionBits)
{
    OdDbGripData* grip = make(OdGePoint3d(1, 2, 3), U::kCircle);
    expectPoint(grip->gripPoint(), 1, 2, 3);
    EXPECT_EQ(grip->appDataOdRxClass(), GenericGripData::desc());
    ASSERT_NE(grip->appData(), nullptr);
    EXPECT_EQ(payload(grip)->state, 0);
    ASSERT_EQ(payload(grip)->values.size(), 2u);
    EXPECT_EQ(payload(grip)->values[0].getInt32(), 7);
    EXPECT_EQ(payload(grip)->name, OdString(L"payload"));
    EXPECT_EQ(payload(grip)->isA()->name(), OdString(L"GenericGripData"));
    EXPECT_EQ(grip->hotGripFunc(), &U::gripPointSetHotGrip);
    EXPECT_EQ(grip->gripOpStatFunc(), &U::gripPointOpStatus);
    EXPECT_EQ(grip->viewportDraw(), &U::gripPointCircleViewportDraw);
    EXPECT_EQ(grip->bitFlags(), 0x180u);
    EXPECT_TRUE(grip->gizmosEnabled());
    EXPECT_TRUE(grip->gripIsPerViewport());
}

TEST_F(GenericGrips, shapesPickTheirDrawCallbackAndUnknownShapesDrawSquares)
{
    EXPECT_EQ(make(OdGePoint3d(), 0)->viewportDraw(), &U::gripPointSquareViewportDraw);
    EXPECT_EQ(make(OdGePoint3d(), 1)->viewportDraw(), &U::gripPointCircleViewportDraw);
    EXPECT_EQ(make(OdGePoint3d(), 2)->viewportDraw(), &U::gripPointTriangleViewportDraw);
    EXPECT_EQ(make(OdGePoint3d(), 3)->viewportDraw(), &U::gripPointSquareViewportDraw);
    EXPECT_EQ(make(OdGePoint3d(), 17)->viewportDraw(), &U::gripPointSquareViewportDraw);
}

TEST_F(GenericGrips, theSingleValueFormYieldsExactlyOneValue)
{
    grips.push_back(U::createGripData(OdGePoint3d(), U::kSquare, OdVariant(2.5), OdString(L"one")));
    GenericGripData* data = payload(grips.back().get());
    ASSERT_EQ(data->values.size(), 1u);
    EXPECT_DOUBLE_EQ(data->values[0].getDouble(), 2.5);
    EXPECT_EQ(data->name, OdString(L"one"));
}

TEST_F(GenericGrips, setHotGripMarksGenericPayloadsAndRefusesForeignOnes)
{
    OdDbGripData* grip = make(OdGePoint3d(), U::kSquare);
    EXPECT_EQ(U::gripPointSetHotGrip(grip, nullptr, 0), eOk);
    EXPECT_EQ(payload(grip)->state, 2);

    // Grip data of another entity class: its payload is a generic payload's look-alike under another class.
    GenericGripDataPtr foreign = GenericGripData::createObject();
    OdDbGripData other;
    other.setAppData(foreign.get());
    other.setAppDataOdRxClass(OdDbEntity::desc());
    EXPECT_EQ(U::gripPointSetHotGrip(&other, nullptr, 0), OdResult(317));
    EXPECT_EQ(foreign->state, 0);
    EXPECT_EQ(other.appData(), foreign.get());
    EXPECT_EQ(other.appDataOdRxClass(), OdDbEntity::desc());

    OdDbGripData empty;
    EXPECT_EQ(U::gripPointSetHotGrip(&empty, nullptr, 0), eWrongObjectType);
}

TEST_F(GenericGrips, opStatusReleasesThePayloadOnlyWhenTheEditEndsOrAborts)
{
    for (OdDbGripOperations::GripStatus ending :
         {OdDbGripOperations::kGripEnd, OdDbGripOperations::kGripAbort}) {
        OdDbGripData* grip = make(OdGePoint3d(), U::kSquare);
        GenericGripDataPtr watcher(payload(grip));
        ASSERT_EQ(watcher->numRefs(), 2);
        for (OdDbGripOperations::GripStatus other :
             {OdDbGripOperations::kGripStart, OdDbGripOperations::kStretch, OdDbGripOperations::kMove})
            U::gripPointOpStatus(grip, nullptr, other);
        EXPECT_EQ(watcher->numRefs(), 2);
        U::gripPointOpStatus(grip, nullptr, ending);
        EXPECT_EQ(grip->appData(), nullptr);
        EXPECT_EQ(watcher->numRefs(), 1);
    }

    GenericGripDataPtr foreign = GenericGripData::createObject();
    OdDbGripData other;
    other.setAppData(foreign.get());
    other.setAppDataOdRxClass(OdDbEntity::desc());
    U::gripPointOpStatus(&other, nullptr, OdDbGripOperations::kGripEnd);
    EXPECT_EQ(other.appData(), foreign.get());
    EXPECT_EQ(foreign->numRefs(), 1);
}

TEST_F(GenericGrips, registrationFailuresRaiseTheirCodes)
{
    try {
        GenericGripData::rxInit();
        FAIL() << "registered twice";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), OdResult(314));
    }
    GenericGripData::rxUninit();
    try {
        GenericGripData::createObject();
        FAIL() << "created without a class";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), OdResult(255));
    }
    try {
        GenericGripData::rxUninit();
        FAIL() << "unregistered twice";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), OdResult(255));
    }
    GenericGripData::rxInit();
    EXPECT_NE(GenericGripData::desc(), nullptr);
}

// The viewport-draw callbacks, on a camera with 100 pixels per drawing unit and eye = world.
class GripDrawing : public GenericGrips
{
protected:
    void draw(OdDbGripData* grip, OdDbGripOperations::DrawType type, OdGePoint3d* image = nullptr,
              int size = 5)
    {
        grip->viewportDraw()(grip, &vd, nullptr, type, image, size);
    }
    std::vector<zalRecordedPrimitive> glyphs() { return vd.recorded.ofKind("polygonEye"); }

    zalRecordingViewportDraw vd;
};

TEST_F(GripDrawing, colourFollowsDrawTypeAndShape)
{
    struct Row
    {
        int type;
        std::uint16_t square, circle, triangle;
    };
    const Row rows[] = {{0, 5, 3, 2}, {1, 1, 1, 1}, {2, 6, 6, 6}, {3, 5, 3, 2}};
    for (const Row& row : rows) {
        const std::uint16_t expected[3] = {row.square, row.circle, row.triangle};
        for (int shape = 0; shape < 3; ++shape) {
            vd.primitives().clear();
            vd.traits.setColor(77);
            draw(make(OdGePoint3d(), shape), OdDbGripOperations::DrawType(row.type));
            ASSERT_FALSE(glyphs().empty());
            EXPECT_EQ(glyphs().back().color, expected[shape]) << "type " << row.type << " shape " << shape;
        }
    }
}

TEST_F(GripDrawing, drawTypeFourAndAboveLeavesTheColour)
{
    for (int type : {4, 9}) {
        for (int shape = 0; shape < 3; ++shape) {
            vd.primitives().clear();
            vd.traits.setColor(77);
            vd.traits.colorCalls.clear();
            draw(make(OdGePoint3d(), shape), OdDbGripOperations::DrawType(type));
            ASSERT_FALSE(glyphs().empty());
            EXPECT_EQ(glyphs().back().color, 77);
            EXPECT_TRUE(vd.traits.colorCalls.empty());
        }
    }
}

TEST_F(GripDrawing, aSquareGripIsAFilledSquareOfHalfSizeFromThePixelDensity)
{
    draw(make(OdGePoint3d(2, 3, 1), U::kSquare), OdDbGripOperations::kWarmGrip, nullptr, 5);
    ASSERT_EQ(glyphs().size(), 1u);
    const zalRecordedPrimitive square = glyphs()[0];
    EXPECT_EQ(square.fillType, kOdGiFillAlways);
    ASSERT_EQ(square.points.size(), 4u);
    const double s = 5.0 / 100.0;
    expectPoint(square.points[0], 2 - s, 3 - s, 1);
    expectPoint(square.points[1], 2 - s, 3 + s, 1);
    expectPoint(square.points[2], 2 + s, 3 + s, 1);
    expectPoint(square.points[3], 2 + s, 3 - s, 1);
}

TEST_F(GripDrawing, aDragImagePointMovesTheGlyphAndTheRubberBand)
{
    OdDbGripData* grip = make(OdGePoint3d(2, 3, 0), U::kSquare);
    OdGePoint3d base(10, 10, 4);
    grip->setAlternateBasePoint(&base);
    OdGePoint3d image(7, 8, 0);
    draw(grip, OdDbGripOperations::kDragImageGrip, &image, 5);

    const std::vector<zalRecordedPrimitive> drawn = glyphs();
    ASSERT_EQ(drawn.size(), 2u);
    // The rubber band from the image point to the base point at the grip's elevation, unfilled.
    ASSERT_EQ(drawn[0].points.size(), 2u);
    EXPECT_EQ(drawn[0].fillType, kOdGiFillNever);
    expectPoint(drawn[0].points[0], 7, 8, 0);
    expectPoint(drawn[0].points[1], 10, 10, 0);
    // The glyph about the image point, filled.
    EXPECT_EQ(drawn[1].fillType, kOdGiFillAlways);
    expectPoint(drawn[1].points[0], 7 - 0.05, 8 - 0.05, 0);
    expectPoint(drawn[1].points[2], 7 + 0.05, 8 + 0.05, 0);
    EXPECT_EQ(vd.traits.fillCalls, std::vector<OdGiFillType>({kOdGiFillNever, kOdGiFillAlways}));
}

TEST_F(GripDrawing, aWarmGripDrawsNoRubberBand)
{
    OdDbGripData* grip = make(OdGePoint3d(2, 3, 0), U::kSquare);
    OdGePoint3d base(10, 10, 0);
    grip->setAlternateBasePoint(&base);
    draw(grip, OdDbGripOperations::kWarmGrip);
    EXPECT_EQ(glyphs().size(), 1u);
    EXPECT_TRUE(vd.recorded.ofKind("polylineEye").empty());
}

TEST_F(GripDrawing, aCircleGripDrawsItsBandAndTheCircleItMovesOn)
{
    OdDbGripData* grip = make(OdGePoint3d(3, 0, 0), U::kCircle);
    OdGePoint3d base(0, 0, 0);
    grip->setAlternateBasePoint(&base);
    draw(grip, OdDbGripOperations::kHotGrip);

    const std::vector<zalRecordedPrimitive> lines = vd.recorded.ofKind("polylineEye");
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].points.size(), 2u);
    expectPoint(lines[0].points[0], 3, 0, 0);
    expectPoint(lines[0].points[1], 0, 0, 0);
    ASSERT_EQ(lines[1].points.size(), 32u);
    for (const OdGePoint3d& p : lines[1].points)
        EXPECT_NEAR(p.distanceTo(base), 3.0, 1e-9);
    // The glyph: eight points on a circle of the grip's half-size.
    const std::vector<zalRecordedPrimitive> glyph = glyphs();
    ASSERT_EQ(glyph.size(), 1u);
    ASSERT_EQ(glyph[0].points.size(), 8u);
    for (const OdGePoint3d& p : glyph[0].points)
        EXPECT_NEAR(p.distanceTo(OdGePoint3d(3, 0, 0)), 0.05, 1e-9);
}

TEST_F(GripDrawing, theGlyphKeepsItsSizeOnScreenWhenTheViewZooms)
{
    // A turned camera: the eye frame is not the world's.
    vd.camera.worldToEye = OdGeMatrix3d::rotation(0.7, OdGeVector3d(1, 2, 3).normal()) *
                           OdGeMatrix3d::translation(OdGeVector3d(-4, 5, 1));
    OdDbGripData* grip = make(OdGePoint3d(1, 1, 1), U::kSquare);
    double eyeWidths[2] = {0.0, 0.0};
    const double fieldWidths[2] = {10.0, 40.0};
    for (int zoom = 0; zoom < 2; ++zoom) {
        vd.primitives().clear();
        vd.camera.fieldWidth = fieldWidths[zoom];
        draw(grip, OdDbGripOperations::kWarmGrip, nullptr, 7);
        ASSERT_EQ(glyphs().size(), 1u);
        const zalRecordedPrimitive square = glyphs()[0];
        eyeWidths[zoom] = square.points[2].x - square.points[0].x;
        EXPECT_NEAR(eyeWidths[zoom] * vd.camera.pixelsPerUnit(), 14.0, 1e-9);
    }
    EXPECT_NEAR(eyeWidths[1] / eyeWidths[0], 4.0, 1e-9);
}

TEST_F(GripDrawing, underPerspectiveAFartherGripIsLargerInTheDrawingBySeenDepth)
{
    vd.camera.perspective = true;
    vd.camera.focalLength = 100.0;
    // Grip points are given in the eye frame; eye = world here. Depths 0 and -300 ahead of the eye.
    double widths[2] = {0.0, 0.0};
    const double depths[2] = {0.0, -300.0};
    for (int i = 0; i < 2; ++i) {
        vd.primitives().clear();
        draw(make(OdGePoint3d(1, 1, depths[i]), U::kSquare), OdDbGripOperations::kWarmGrip, nullptr, 5);
        ASSERT_EQ(glyphs().size(), 1u);
        widths[i] = glyphs()[0].points[2].x - glyphs()[0].points[0].x;
    }
    // Seen at a quarter of the density, the far grip is four times as wide: the same 10 pixels.
    EXPECT_NEAR(widths[0], 2 * 5.0 / 100.0, 1e-9);
    EXPECT_NEAR(widths[1] / widths[0], 4.0, 1e-9);
}

TEST_F(GripDrawing, theTriangleGripPointsUp)
{
    draw(make(OdGePoint3d(0, 0, 0), U::kTriangle), OdDbGripOperations::kWarmGrip, nullptr, 10);
    const std::vector<zalRecordedPrimitive> glyph = glyphs();
    ASSERT_EQ(glyph.size(), 1u);
    const std::vector<OdGePoint3d>& v = glyph[0].points;
    ASSERT_EQ(v.size(), 3u);
    const double s = 0.1;
    expectPoint(v[0], 0, s, 0);
    expectPoint(v[1], s * std::cos(kPi / 2 + 3 * kPi / 4), s * std::sin(kPi / 2 + 3 * kPi / 4), 0);
    expectPoint(v[2], s * std::cos(kPi / 2 + 5 * kPi / 4), s * std::sin(kPi / 2 + 5 * kPi / 4), 0);
}

TEST_F(GripDrawing, crossMenuTriangleAndFlipArrowGlyphs)
{
    const double s = 0.1;
    U::drawCross(&vd, OdGePoint3d(1, 1, 0), 10);
    std::vector<zalRecordedPrimitive> drawn = glyphs();
    ASSERT_EQ(drawn.size(), 6u);
    expectPoint(drawn[0].points[0], 1 - 2 * s, 1, 0);
    expectPoint(drawn[0].points[1], 1 + 2 * s, 1, 0);
    expectPoint(drawn[1].points[0], 1, 1 - 2 * s, 0);
    // The arrow heads point outwards: the first vertex lies beyond the segment's end.
    expectPoint(drawn[2].points[0], 1 + 3 * s, 1, 0);
    expectPoint(drawn[3].points[0], 1 - 3 * s, 1, 0);
    expectPoint(drawn[4].points[0], 1, 1 + 3 * s, 0);
    expectPoint(drawn[5].points[0], 1, 1 - 3 * s, 0);

    vd.primitives().clear();
    U::drawMenuTriangle(&vd, OdGePoint3d(0, 0, 0), 10);
    drawn = glyphs();
    ASSERT_EQ(drawn.size(), 2u);
    ASSERT_EQ(drawn[0].points.size(), 4u);
    expectPoint(drawn[0].points[1], -s, s / 6, 0);
    ASSERT_EQ(drawn[1].points.size(), 3u);
    expectPoint(drawn[1].points[2], 0, -2 * s, 0);

    vd.primitives().clear();
    U::drawFlipArrow(&vd, OdGePoint3d(0, 0, 0), 10, OdGeVector3d(2, 0, 0));
    drawn = glyphs();
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].points.size(), 7u);
    expectPoint(drawn[0].points[0], 0, 0.75 * s / 2, 0);
    expectPoint(drawn[0].points[2], s, 0, 0);
    expectPoint(drawn[0].points[5], -s, -0.75 * s / 2, 0);
}

} // namespace
