// The reference viewer's stand-in for the fountain asset: droplets shaped by the parameters.
#include "zalViewerFountainMarker.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

namespace M = zalViewerFountainMarker;

QJsonObject parameters(bool active, double lifetime, double spawnRate, double spreadWidth, double jetPower)
{
    return QJsonObject{{"active", active},           {"colour", QJsonArray{0.2, 0.4, 1.0, 5.0}},
                       {"lifetime", lifetime},       {"spawnRate", spawnRate},
                       {"spreadWidth", spreadWidth}, {"spreadStartWidth", 0.5},
                       {"jetPower", jetPower}};
}

// Highest and farthest (from the fountain's centre in the asset frame) vertex.
void extent(const std::vector<float>& t, float& top, float& reach)
{
    top = reach = 0.0f;
    for (size_t i = 0; i + 2 < t.size(); i += 3) {
        top = std::max(top, t[i + 2]);
        reach = std::max(reach, std::max(std::abs(t[i] + 100.0f), std::abs(t[i + 1])));
    }
}

TEST(FountainMarker, onlyTheFountainAssetIsOne)
{
    EXPECT_TRUE(M::isFountain("ConfigurableWaterFountain"));
    EXPECT_FALSE(M::isFountain("Tree_01"));
    EXPECT_FALSE(M::isFountain(""));
}

TEST(FountainMarker, strongerJetsRiseHigherAndWiderSpreadsReachFarther)
{
    float weakTop, weakReach, strongTop, strongReach, wideTop, wideReach;
    extent(M::triangles(parameters(true, 1, 7500, 1, 1)), weakTop, weakReach);
    extent(M::triangles(parameters(true, 1, 7500, 1, 3)), strongTop, strongReach);
    extent(M::triangles(parameters(true, 1, 7500, 4, 1)), wideTop, wideReach);
    EXPECT_GT(strongTop, weakTop * 2.0f);
    EXPECT_GT(wideReach, weakReach * 3.0f);
    EXPECT_NEAR(weakReach, 100.0f + 4.0f, 1.0f); // one metre of spread plus a drop
}

TEST(FountainMarker, spawnRateSetsTheNumberOfDropsWithinLimits)
{
    const size_t perDrop = 8 * 3 * 3;
    EXPECT_EQ(M::triangles(parameters(true, 1, 7500, 1, 1)).size(), 4 * 15 * perDrop);
    EXPECT_EQ(M::triangles(parameters(true, 1, 10, 1, 1)).size(), 4 * 4 * perDrop);
    EXPECT_EQ(M::triangles(parameters(true, 1, 1e9, 1, 1)).size(), 4 * 24 * perDrop);
}

TEST(FountainMarker, aFountainThatIsOffKeepsStillDropsOnTheGround)
{
    const std::vector<float> off = M::triangles(parameters(false, 1, 7500, 1, 1.5));
    EXPECT_EQ(off.size(), 4u * 8 * 3 * 3);
    float top, reach;
    extent(off, top, reach);
    EXPECT_LT(top, 10.0f);
}

TEST(FountainMarker, colourComesFromTheParametersOrIsLightBlue)
{
    EXPECT_EQ(M::colour(parameters(true, 1, 1, 1, 1)), QVector3D(0.2f, 0.4f, 1.0f));
    EXPECT_EQ(M::colour(QJsonObject()), QVector3D(0.55f, 0.75f, 1.0f));
    // Without parameters the defaults give a running fountain.
    EXPECT_FALSE(M::triangles(QJsonObject()).empty());
    // Broken numbers fall back to the defaults instead of spoiling the geometry.
    QJsonObject broken = parameters(true, 1, 7500, 1, 1);
    broken.insert("jetPower", "lots");
    for (float v : M::triangles(broken))
        ASSERT_TRUE(std::isfinite(v));
}

} // namespace
