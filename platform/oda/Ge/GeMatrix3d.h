// 4x4 transformation matrix acting on column vectors: p' = M * p. entry[row][col]; the
// translation sits in entry[0][3], entry[1][3], entry[2][3]. A * B applies B first.
#pragma once

#include "Ge/GePlane.h"
#include "Ge/GePoint3d.h"
#include "Ge/GeScale3d.h"

class ODKIT_EXPORT OdGeMatrix3d
{
public:
    OdGeMatrix3d();
    static const OdGeMatrix3d kIdentity;

    OdGeMatrix3d& setToIdentity();
    bool isIdentity(const OdGeTol& tol = OdGeContext::gTol) const;

    double operator()(unsigned int row, unsigned int col) const { return entry[row][col]; }
    double& operator()(unsigned int row, unsigned int col) { return entry[row][col]; }
    const double* operator[](unsigned int row) const { return entry[row]; }
    double* operator[](unsigned int row) { return entry[row]; }

    OdGeMatrix3d operator*(const OdGeMatrix3d& m) const;
    OdGeMatrix3d& operator*=(const OdGeMatrix3d& m);
    // this = left * this
    OdGeMatrix3d& preMultBy(const OdGeMatrix3d& left);
    // this = this * right
    OdGeMatrix3d& postMultBy(const OdGeMatrix3d& right);
    OdGeMatrix3d& setToProduct(const OdGeMatrix3d& a, const OdGeMatrix3d& b);
    bool isEqualTo(const OdGeMatrix3d& m, const OdGeTol& tol = OdGeContext::gTol) const;
    bool operator==(const OdGeMatrix3d& m) const { return isEqualTo(m); }
    bool operator!=(const OdGeMatrix3d& m) const { return !isEqualTo(m); }

    // Inverse; OdError(eInvalidInput) for a singular matrix.
    OdGeMatrix3d inverse() const;
    OdGeMatrix3d inverse(const OdGeTol& tol) const;
    // Answers false (and leaves inv unchanged) for a singular matrix.
    bool inverse(OdGeMatrix3d& inv, double tol) const;
    OdGeMatrix3d& invert();
    bool isSingular(const OdGeTol& tol = OdGeContext::gTol) const;
    double det() const;
    OdGeMatrix3d transpose() const;
    OdGeMatrix3d& transposeIt();

    OdGeMatrix3d& setToTranslation(const OdGeVector3d& v);
    OdGeMatrix3d& setTranslation(const OdGeVector3d& v);
    OdGeVector3d translation() const;
    OdGeMatrix3d& setToScaling(double scale, const OdGePoint3d& center = OdGePoint3d::kOrigin);
    OdGeMatrix3d& setToScaling(const OdGeScale3d& scale, const OdGePoint3d& center = OdGePoint3d::kOrigin);
    // Rotation by angle (radians, counter-clockwise looking against axis) about the line through center.
    OdGeMatrix3d& setToRotation(double angle, const OdGeVector3d& axis,
                                const OdGePoint3d& center = OdGePoint3d::kOrigin);
    OdGeMatrix3d& setToMirroring(const OdGePlane& plane);
    OdGeMatrix3d& setToMirroring(const OdGePoint3d& point);
    // Maps world coordinates to the plane's own system (normal becomes +Z) and back.
    OdGeMatrix3d& setToWorldToPlane(const OdGeVector3d& normal);
    OdGeMatrix3d& setToPlaneToWorld(const OdGeVector3d& normal);
    // Maps (0,0,0), X, Y, Z to origin, xAxis, yAxis, zAxis (the axes become the columns).
    OdGeMatrix3d& setCoordSystem(const OdGePoint3d& origin, const OdGeVector3d& xAxis,
                                 const OdGeVector3d& yAxis, const OdGeVector3d& zAxis);
    void getCoordSystem(OdGePoint3d& origin, OdGeVector3d& xAxis, OdGeVector3d& yAxis,
                        OdGeVector3d& zAxis) const;
    OdGePoint3d getCsOrigin() const;
    OdGeVector3d getCsXAxis() const;
    OdGeVector3d getCsYAxis() const;
    OdGeVector3d getCsZAxis() const;
    // Maps the "from" coordinate system onto the "to" coordinate system.
    OdGeMatrix3d& setToAlignCoordSys(const OdGePoint3d& fromOrigin, const OdGeVector3d& fromXAxis,
                                     const OdGeVector3d& fromYAxis, const OdGeVector3d& fromZAxis,
                                     const OdGePoint3d& toOrigin, const OdGeVector3d& toXAxis,
                                     const OdGeVector3d& toYAxis, const OdGeVector3d& toZAxis);

    // Largest axis scale of the linear part.
    double scale() const;
    bool isUniScaledOrtho(const OdGeTol& tol = OdGeContext::gTol) const;
    bool isScaledOrtho(const OdGeTol& tol = OdGeContext::gTol) const;
    bool isPerspective(const OdGeTol& tol = OdGeContext::gTol) const;

    static OdGeMatrix3d translation(const OdGeVector3d& v);
    static OdGeMatrix3d scaling(double scale, const OdGePoint3d& center = OdGePoint3d::kOrigin);
    static OdGeMatrix3d scaling(const OdGeScale3d& scale, const OdGePoint3d& center = OdGePoint3d::kOrigin);
    static OdGeMatrix3d rotation(double angle, const OdGeVector3d& axis,
                                 const OdGePoint3d& center = OdGePoint3d::kOrigin);
    static OdGeMatrix3d mirroring(const OdGePlane& plane);
    static OdGeMatrix3d mirroring(const OdGePoint3d& point);
    static OdGeMatrix3d worldToPlane(const OdGeVector3d& normal);
    static OdGeMatrix3d planeToWorld(const OdGeVector3d& normal);
    static OdGeMatrix3d alignCoordSys(const OdGePoint3d& fromOrigin, const OdGeVector3d& fromXAxis,
                                      const OdGeVector3d& fromYAxis, const OdGeVector3d& fromZAxis,
                                      const OdGePoint3d& toOrigin, const OdGeVector3d& toXAxis,
                                      const OdGeVector3d& toYAxis, const OdGeVector3d& toZAxis);

    double entry[4][4];
};
