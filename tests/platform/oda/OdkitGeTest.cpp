#include "odkit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
OdGeMatrix3d sample()
{
    // Rotation, non-uniform scale and translation: a general affine matrix.
    return OdGeMatrix3d::translation(OdGeVector3d(3, -2, 5)) *
           OdGeMatrix3d::rotation(0.7, OdGeVector3d(1, 2, 3)) * OdGeMatrix3d::scaling(OdGeScale3d(2, 0.5, 3));
}

void expectPoint(const OdGePoint3d& p, double x, double y, double z)
{
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
    EXPECT_NEAR(p.z, z, 1e-9);
}
} // namespace

TEST(OdkitMatrix, InverseTimesMatrixIsIdentity)
{
    OdGeMatrix3d m = sample();
    EXPECT_TRUE((m * m.inverse()).isEqualTo(OdGeMatrix3d::kIdentity, OdGeTol(1e-9)));
    EXPECT_TRUE((m.inverse() * m).isEqualTo(OdGeMatrix3d::kIdentity, OdGeTol(1e-9)));
    OdGePoint3d p(1, 2, 3);
    OdGePoint3d back = m.inverse() * (m * p);
    expectPoint(back, 1, 2, 3);
    EXPECT_NEAR(m.det(), 2 * 0.5 * 3, 1e-9);
}

TEST(OdkitMatrix, SingularMatrixHasNoInverse)
{
    OdGeMatrix3d flat = OdGeMatrix3d::scaling(OdGeScale3d(1, 1, 0));
    EXPECT_TRUE(flat.isSingular());
    EXPECT_THROW(flat.inverse(), OdError);
    OdGeMatrix3d out;
    EXPECT_FALSE(flat.inverse(out, 1e-12));
    EXPECT_NEAR(flat.det(), 0.0, 1e-15);
}

TEST(OdkitMatrix, ProductAppliesTheRightFactorFirst)
{
    OdGeMatrix3d t = OdGeMatrix3d::translation(OdGeVector3d(10, 0, 0));
    OdGeMatrix3d r = OdGeMatrix3d::rotation(OdaPI / 2, OdGeVector3d::kZAxis);
    OdGePoint3d p(1, 0, 0);
    expectPoint((t * r) * p, 10, 1, 0); // rotate, then move
    expectPoint((r * t) * p, 0, 11, 0); // move, then rotate
    OdGeMatrix3d m = t;
    m.postMultBy(r);
    EXPECT_TRUE(m.isEqualTo(t * r));
    m = t;
    m.preMultBy(r);
    EXPECT_TRUE(m.isEqualTo(r * t));
    EXPECT_EQ((t * r)(0, 3), 10.0);
    EXPECT_EQ((t * r)[0][3], 10.0);
    EXPECT_TRUE(OdGeVector3d(1, 0, 0).transformBy(t).isEqualTo(OdGeVector3d::kXAxis))
        << "vectors ignore translation";
}

TEST(OdkitMatrix, RotationAboutACenterKeepsTheCenter)
{
    OdGePoint3d c(5, 5, 0);
    OdGeMatrix3d r = OdGeMatrix3d::rotation(OdaPI, OdGeVector3d::kZAxis, c);
    expectPoint(r * c, 5, 5, 0);
    expectPoint(r * OdGePoint3d(6, 5, 0), 4, 5, 0);
    expectPoint(OdGeMatrix3d::scaling(2.0, c) * OdGePoint3d(6, 5, 1), 7, 5, 2);
}

TEST(OdkitMatrix, CoordinateSystemsRoundTrip)
{
    OdGePoint3d o(1, 2, 3);
    OdGeVector3d x(0, 1, 0), y(-1, 0, 0), z(0, 0, 1);
    OdGeMatrix3d cs;
    cs.setCoordSystem(o, x, y, z);
    expectPoint(cs * OdGePoint3d(1, 0, 0), 1, 3, 3);
    OdGePoint3d o2;
    OdGeVector3d x2, y2, z2;
    cs.getCoordSystem(o2, x2, y2, z2);
    EXPECT_TRUE(o2 == o && x2 == x && y2 == y && z2 == z);
    EXPECT_EQ(cs.getCsOrigin(), o);

    OdGeMatrix3d align = OdGeMatrix3d::alignCoordSys(o, x, y, z, OdGePoint3d::kOrigin, OdGeVector3d::kXAxis,
                                                     OdGeVector3d::kYAxis, OdGeVector3d::kZAxis);
    expectPoint(align * OdGePoint3d(1, 3, 3), 1, 0, 0);
    EXPECT_TRUE((align * cs).isEqualTo(OdGeMatrix3d::kIdentity, OdGeTol(1e-12)));

    OdGeVector3d normal(1, 1, 1);
    OdGeMatrix3d p2w = OdGeMatrix3d::planeToWorld(normal);
    EXPECT_TRUE(p2w.getCsZAxis().isEqualTo(normal.normal(), OdGeTol(1e-12)));
    EXPECT_TRUE(
        (OdGeMatrix3d::worldToPlane(normal) * p2w).isEqualTo(OdGeMatrix3d::kIdentity, OdGeTol(1e-12)));
    EXPECT_TRUE(p2w.isUniScaledOrtho());
    EXPECT_TRUE(OdGeMatrix3d::planeToWorld(OdGeVector3d::kZAxis).isIdentity());
}

TEST(OdkitMatrix, MirroringInTheYzPlaneNegatesX)
{
    OdGeMatrix3d mirror = OdGeMatrix3d::mirroring(OdGePlane(OdGePoint3d::kOrigin, OdGeVector3d::kXAxis));
    expectPoint(mirror * OdGePoint3d(2, 3, 4), -2, 3, 4);
    EXPECT_NEAR(mirror.det(), -1.0, 1e-12);
    EXPECT_TRUE((mirror * mirror).isIdentity());
    // A plane away from the origin: x = 1.
    OdGeMatrix3d shifted = OdGeMatrix3d::mirroring(OdGePlane(OdGePoint3d(1, 0, 0), OdGeVector3d(2, 0, 0)));
    expectPoint(shifted * OdGePoint3d(3, 1, 1), -1, 1, 1);
    expectPoint(OdGeMatrix3d::mirroring(OdGePoint3d(1, 1, 1)) * OdGePoint3d(2, 2, 2), 0, 0, 0);
}

TEST(OdkitMatrix, ViewerFrameConjugationScalesTranslations)
{
    // F * M * F^-1 with F = diag(-100, 100, 100): how transforms cross to the viewer.
    OdGeMatrix3d f = OdGeMatrix3d::mirroring(OdGePlane::kYZPlane) * OdGeMatrix3d::scaling(100.0);
    OdGeMatrix3d m = OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3));
    OdGeMatrix3d v = f * m * f.inverse();
    EXPECT_NEAR(v(0, 3), -100.0, 1e-9);
    EXPECT_NEAR(v(1, 3), 200.0, 1e-9);
    EXPECT_NEAR(v(2, 3), 300.0, 1e-9);
    EXPECT_NEAR(v(0, 0), 1.0, 1e-12);
}

TEST(OdkitGe, ToleranceDecidesEqualityOnBothSides)
{
    OdGePoint3d a(1, 1, 1);
    EXPECT_TRUE(a.isEqualTo(OdGePoint3d(1 + 0.9e-10, 1, 1)));
    EXPECT_FALSE(a.isEqualTo(OdGePoint3d(1 + 1.1e-10, 1, 1)));
    EXPECT_TRUE(a.isEqualTo(OdGePoint3d(1.001, 1, 1), OdGeTol(0.01)));
    EXPECT_EQ(OdGeContext::gTol.equalPoint(), 1e-10);
}

TEST(OdkitGe, VectorOperations)
{
    OdGeVector3d x = OdGeVector3d::kXAxis, y = OdGeVector3d::kYAxis;
    EXPECT_EQ(x.crossProduct(y), OdGeVector3d::kZAxis);
    EXPECT_NEAR(x.angleTo(y), OdaPI / 2, 1e-12);
    EXPECT_NEAR(y.angleTo(x, OdGeVector3d::kZAxis), 3 * OdaPI / 2, 1e-12);
    EXPECT_NEAR(OdGeVector3d(3, 4, 0).length(), 5.0, 1e-12);
    EXPECT_TRUE(OdGeVector3d(3, 4, 0).normal().isUnitLength());
    EXPECT_TRUE(OdGeVector3d(0, 0, 0).normal().isZeroLength()) << "zero vector stays zero";
    EXPECT_TRUE(x.isParallelTo(-x));
    EXPECT_FALSE(x.isCodirectionalTo(-x));
    EXPECT_TRUE(x.isPerpendicularTo(y));
    OdGeVector3d r = x;
    r.rotateBy(OdaPI / 2, OdGeVector3d::kZAxis);
    EXPECT_TRUE(r.isEqualTo(y, OdGeTol(1e-12)));
    EXPECT_TRUE(OdGeVector3d(0, 0, 1).perpVector().isPerpendicularTo(OdGeVector3d::kZAxis));
    // The identity vector is all ones (the stream's fallback normal before normalising).
    EXPECT_EQ(OdGeVector3d::kIdentity, OdGeVector3d(1, 1, 1));
    EXPECT_EQ(OdGeVector2d::kIdentity, OdGeVector2d(1, 1));
}

TEST(OdkitGe, ExtentsStartEmptyAndGrow)
{
    OdGeExtents3d e;
    EXPECT_FALSE(e.isValidExtents());
    EXPECT_EQ(e.minPoint().x, 1e20);
    EXPECT_EQ(e.maxPoint().x, -1e20);
    e.addPoint(OdGePoint3d(1, 2, 3));
    EXPECT_TRUE(e.isValidExtents());
    EXPECT_NEAR(e.diagonal().length(), 0.0, 0.0);
    e.addPoint(OdGePoint3d(-1, 0, 5));
    EXPECT_EQ(e.minPoint(), OdGePoint3d(-1, 0, 3));
    EXPECT_EQ(e.maxPoint(), OdGePoint3d(1, 2, 5));
    e.transformBy(OdGeMatrix3d::rotation(OdaPI / 2, OdGeVector3d::kZAxis));
    EXPECT_TRUE(e.minPoint().isEqualTo(OdGePoint3d(-2, -1, 3), OdGeTol(1e-9)));
    EXPECT_TRUE(e.maxPoint().isEqualTo(OdGePoint3d(0, 1, 5), OdGeTol(1e-9)));
    EXPECT_TRUE(e.contains(OdGePoint3d(-1, 0, 4)));
    EXPECT_FALSE(e.contains(OdGePoint3d(1, 0, 4)));
    OdGeExtents3d empty;
    e.addExt(empty);
    EXPECT_TRUE(e.maxPoint().isEqualTo(OdGePoint3d(0, 1, 5), OdGeTol(1e-9))) << "an empty box adds nothing";

    // A run of points gives the box their one-by-one additions give, into an empty box and into a full one.
    const OdGePoint3d run[] = {OdGePoint3d(4, -7, 0.5), OdGePoint3d(-3, 8, 2), OdGePoint3d(0, 0, -9)};
    for (OdGeExtents3d start : {OdGeExtents3d(), e}) {
        OdGeExtents3d byOne = start, byRun = start;
        for (const OdGePoint3d& p : run)
            byOne.addPoint(p);
        byRun.addPoints(run, 3);
        EXPECT_EQ(byRun.minPoint(), byOne.minPoint());
        EXPECT_EQ(byRun.maxPoint(), byOne.maxPoint());
        byRun.addPoints(run, 0);
        EXPECT_EQ(byRun.maxPoint(), byOne.maxPoint());
    }
}
