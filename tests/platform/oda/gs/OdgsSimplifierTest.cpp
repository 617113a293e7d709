#include "OdgsRecordingSimplifier.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Orientation of a triangle against a direction: positive when counter-clockwise seen from it.
double orientation(const OdgsRecordingSimplifier::Triangle& t, const OdGeVector3d& towards)
{
    return (t.p[1] - t.p[0]).crossProduct(t.p[2] - t.p[0]).dotProduct(towards);
}

class OdgsSimplifier : public ::testing::Test
{
protected:
    void shell(const std::vector<OdGePoint3d>& points, const std::vector<std::int32_t>& faces,
               const OdGiFaceData* faceData = nullptr)
    {
        simplifier.shellProc(std::int32_t(points.size()), points.data(), std::int32_t(faces.size()),
                             faces.data(), nullptr, faceData, nullptr);
    }
    OdgsRecordingSimplifier simplifier;
};

} // namespace

TEST_F(OdgsSimplifier, TriangleIsPassedAsItIs)
{
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3, 0, 1, 2});
    ASSERT_EQ(simplifier.triangles.size(), 1u);
    EXPECT_EQ(simplifier.triangles[0].index[0], 0);
    EXPECT_EQ(simplifier.triangles[0].index[1], 1);
    EXPECT_EQ(simplifier.triangles[0].index[2], 2);
    EXPECT_FALSE(simplifier.triangles[0].hasNormal);
}

TEST_F(OdgsSimplifier, ConvexFaceIsFannedKeepingItsOrientation)
{
    // A regular hexagon, counter-clockwise seen from +Z.
    std::vector<OdGePoint3d> points;
    std::vector<std::int32_t> face = {6};
    for (int i = 0; i < 6; ++i) {
        points.emplace_back(std::cos(i * OdaPI / 3), std::sin(i * OdaPI / 3), 2.0);
        face.push_back(i);
    }
    shell(points, face);
    ASSERT_EQ(simplifier.triangles.size(), 4u);
    for (const auto& t : simplifier.triangles) {
        EXPECT_EQ(t.index[0], 0) << "fan around the first vertex";
        EXPECT_GT(orientation(t, OdGeVector3d::kZAxis), 0.0);
    }
    EXPECT_NEAR(simplifier.area(), 3.0 * std::sqrt(3.0) / 2.0, 1e-9);
}

TEST_F(OdgsSimplifier, QuadsSplitAlongTheRightDiagonal)
{
    // Convex, clockwise seen from +Z: the fan from the first corner, both halves keeping the winding.
    shell({{0, 0, 1}, {0, 2, 1}, {3, 2, 1}, {3, 0, 1}}, {4, 0, 1, 2, 3});
    ASSERT_EQ(simplifier.triangles.size(), 2u);
    const std::int32_t expected[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int t = 0; t < 2; ++t) {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(simplifier.triangles[std::size_t(t)].index[k], expected[t][k]);
        EXPECT_LT(orientation(simplifier.triangles[std::size_t(t)], OdGeVector3d::kZAxis), 0.0);
    }
    // Darts: whatever corner is the reflex one, both halves lie inside, keep the winding and share the
    // reflex corner (the only diagonal inside a dart starts there).
    const OdGePoint3d dart[4] = {{0, 0, 0}, {4, 0, 0}, {1, 1, 0}, {0, 4, 0}};
    for (int reflex = 0; reflex < 4; ++reflex) {
        simplifier.triangles.clear();
        std::vector<OdGePoint3d> points;
        for (int k = 0; k < 4; ++k)
            points.push_back(dart[(k + 2 - reflex + 4) % 4]);
        shell(points, {4, 0, 1, 2, 3});
        ASSERT_EQ(simplifier.triangles.size(), 2u) << "reflex corner " << reflex;
        EXPECT_NEAR(simplifier.area(), 4.0, 1e-9) << "reflex corner " << reflex;
        for (const auto& t : simplifier.triangles) {
            EXPECT_GT(orientation(t, OdGeVector3d::kZAxis), 0.0) << "reflex corner " << reflex;
            EXPECT_TRUE(t.index[0] == reflex || t.index[1] == reflex || t.index[2] == reflex)
                << "reflex corner " << reflex;
        }
    }
    // A quad naming a vertex that is not there, and one without area, give nothing.
    simplifier.triangles.clear();
    shell({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {4, 0, 1, 2, 4});
    shell({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {4, 0, 1, 2, 3});
    EXPECT_TRUE(simplifier.triangles.empty());
}

TEST_F(OdgsSimplifier, NonConvexFaceIsTessellatedOverItsArea)
{
    // An L: 3 x 3 square without its upper right 2 x 2 corner, area 5, clockwise seen from +Z.
    shell({{0, 0, 0}, {0, 3, 0}, {1, 3, 0}, {1, 1, 0}, {3, 1, 0}, {3, 0, 0}}, {6, 0, 1, 2, 3, 4, 5});
    ASSERT_EQ(simplifier.triangles.size(), 4u);
    EXPECT_NEAR(simplifier.area(), 5.0, 1e-9);
    for (const auto& t : simplifier.triangles) {
        EXPECT_LT(orientation(t, OdGeVector3d::kZAxis), 0.0) << "the face's own winding is kept";
        const OdGePoint3d c((t.p[0].x + t.p[1].x + t.p[2].x) / 3, (t.p[0].y + t.p[1].y + t.p[2].y) / 3, 0);
        EXPECT_FALSE(c.x > 1.0 && c.y > 1.0) << "nothing in the cut-out corner";
    }
}

TEST_F(OdgsSimplifier, FaceWithAHoleLeavesTheHoleOpen)
{
    // 4 x 4 square with a 2 x 2 hole in its middle: area 12.
    shell({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}},
          {4, 0, 1, 2, 3, -4, 4, 5, 6, 7});
    ASSERT_FALSE(simplifier.triangles.empty());
    EXPECT_NEAR(simplifier.area(), 12.0, 1e-9);
    for (const auto& t : simplifier.triangles) {
        const OdGePoint3d c((t.p[0].x + t.p[1].x + t.p[2].x) / 3, (t.p[0].y + t.p[1].y + t.p[2].y) / 3, 0);
        EXPECT_FALSE(c.x > 1.0 && c.x < 3.0 && c.y > 1.0 && c.y < 3.0) << "no triangle inside the hole";
        EXPECT_GT(orientation(t, OdGeVector3d::kZAxis), 0.0);
    }
}

TEST_F(OdgsSimplifier, FacesAreCountedAcrossHolesForTheirData)
{
    // Face 0 has a hole; face 1 follows it and must get the second normal.
    const OdGeVector3d normals[2] = {{0, 0, 1}, {0, 0, -1}};
    OdGiFaceData data;
    data.setNormals(normals);
    shell({{0, 0, 0},
           {4, 0, 0},
           {4, 4, 0},
           {0, 4, 0},
           {1, 1, 0},
           {1, 3, 0},
           {3, 3, 0},
           {3, 1, 0},
           {5, 0, 0},
           {6, 0, 0},
           {5, 1, 0}},
          {4, 0, 1, 2, 3, -4, 4, 5, 6, 7, 3, 8, 9, 10}, &data);
    ASSERT_FALSE(simplifier.triangles.empty());
    const auto& last = simplifier.triangles.back();
    EXPECT_EQ(last.index[0], 8);
    ASSERT_TRUE(last.hasNormal);
    EXPECT_EQ(last.normal, normals[1]);
    EXPECT_EQ(simplifier.triangles.front().normal, normals[0]);
}

TEST_F(OdgsSimplifier, BadFaceListsProduceNothingAndDoNotCrash)
{
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3, 0, 1, 7});
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3, 0, -1, 2});
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {4, 0, 1, 2});
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {2, 0, 1});
    shell({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {-3, 0, 1, 2});
    EXPECT_TRUE(simplifier.triangles.empty());
    // A face without area gives no triangles either.
    shell({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, {5, 0, 1, 2, 3, 4});
    EXPECT_TRUE(simplifier.triangles.empty());
}

TEST_F(OdgsSimplifier, MeshCellsBecomeTwoTrianglesEach)
{
    std::vector<OdGePoint3d> grid;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            grid.emplace_back(c, r, 0.5 * c);
    simplifier.meshProc(3, 4, grid.data(), nullptr, nullptr, nullptr);
    EXPECT_EQ(simplifier.triangles.size(), 12u);
    double expected = 2 * 3 * std::sqrt(1.25);
    EXPECT_NEAR(simplifier.area(), expected, 1e-9);
    // Wires: 3 rows and 4 columns.
    EXPECT_EQ(simplifier.polylines.size(), 7u);
}

TEST_F(OdgsSimplifier, CurvesBecomePolylinesOnTheCurve)
{
    simplifier.setCircleSegments(32);
    simplifier.circleProc(OdGePoint3d(1, 2, 3), 2.0, OdGeVector3d::kZAxis);
    ASSERT_EQ(simplifier.polylines.size(), 1u);
    const auto& circle = simplifier.polylines[0];
    EXPECT_EQ(circle.size(), 33u);
    for (const OdGePoint3d& p : circle) {
        EXPECT_NEAR(p.distanceTo(OdGePoint3d(1, 2, 3)), 2.0, 1e-9);
        EXPECT_NEAR(p.z, 3.0, 1e-12);
    }
    EXPECT_TRUE(circle.front().isEqualTo(circle.back(), OdGeTol(1e-9)));

    simplifier.circularArcProc(OdGePoint3d(), 1.0, OdGeVector3d::kZAxis, OdGeVector3d::kXAxis, OdaPI / 2,
                               kOdGiArcSimple);
    ASSERT_EQ(simplifier.polylines.size(), 2u);
    EXPECT_TRUE(simplifier.polylines[1].front().isEqualTo(OdGePoint3d(1, 0, 0), OdGeTol(1e-9)));
    EXPECT_TRUE(simplifier.polylines[1].back().isEqualTo(OdGePoint3d(0, 1, 0), OdGeTol(1e-9)));
    EXPECT_TRUE(simplifier.triangles.empty());
}

TEST_F(OdgsSimplifier, TriangulateFaceAnswersIndexTriples)
{
    const OdGePoint3d points[5] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 0.5, 0}, {0, 2, 0}};
    simplifier.setVertexData(5, points);
    const std::int32_t face[6] = {5, 0, 1, 2, 3, 4};
    std::vector<std::int32_t> triangles;
    ASSERT_TRUE(simplifier.triangulateFace(6, face, triangles));
    EXPECT_EQ(triangles.size(), 9u);
    for (std::int32_t i : triangles) {
        EXPECT_GE(i, 0);
        EXPECT_LT(i, 5);
    }
}
