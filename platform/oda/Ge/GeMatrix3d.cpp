#include "Ge/GeMatrix3d.h"

#include "OdError.h"

#include <algorithm>
#include <cmath>
#include <utility>

const OdGeMatrix3d OdGeMatrix3d::kIdentity;

OdGeMatrix3d::OdGeMatrix3d()
{
    setToIdentity();
}

OdGeMatrix3d& OdGeMatrix3d::setToIdentity()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            entry[r][c] = r == c ? 1.0 : 0.0;
    return *this;
}

bool OdGeMatrix3d::isIdentity(const OdGeTol& tol) const
{
    return isEqualTo(kIdentity, tol);
}

OdGeMatrix3d OdGeMatrix3d::operator*(const OdGeMatrix3d& m) const
{
    OdGeMatrix3d r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k)
                s += entry[i][k] * m.entry[k][j];
            r.entry[i][j] = s;
        }
    return r;
}

OdGeMatrix3d& OdGeMatrix3d::operator*=(const OdGeMatrix3d& m)
{
    return *this = *this * m;
}

OdGeMatrix3d& OdGeMatrix3d::preMultBy(const OdGeMatrix3d& left)
{
    return *this = left * *this;
}

OdGeMatrix3d& OdGeMatrix3d::postMultBy(const OdGeMatrix3d& right)
{
    return *this = *this * right;
}

OdGeMatrix3d& OdGeMatrix3d::setToProduct(const OdGeMatrix3d& a, const OdGeMatrix3d& b)
{
    return *this = a * b;
}

bool OdGeMatrix3d::isEqualTo(const OdGeMatrix3d& m, const OdGeTol& tol) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (std::fabs(entry[r][c] - m.entry[r][c]) > tol.equalVector()) return false;
    return true;
}

bool OdGeMatrix3d::inverse(OdGeMatrix3d& inv, double tol) const
{
    // Gauss-Jordan elimination with partial pivoting.
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = entry[r][c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (std::fabs(a[pivot][col]) <= tol) return false;
        if (pivot != col)
            for (int c = 0; c < 8; ++c)
                std::swap(a[pivot][c], a[col][c]);
        double d = a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            double f = a[r][col];
            if (f != 0.0)
                for (int c = 0; c < 8; ++c)
                    a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            inv.entry[r][c] = a[r][c + 4];
    return true;
}

OdGeMatrix3d OdGeMatrix3d::inverse() const
{
    return inverse(OdGeContext::gZeroTol);
}

OdGeMatrix3d OdGeMatrix3d::inverse(const OdGeTol& tol) const
{
    OdGeMatrix3d inv;
    if (!inverse(inv, tol.equalPoint())) throw OdError(eInvalidInput, L"Singular matrix has no inverse");
    return inv;
}

OdGeMatrix3d& OdGeMatrix3d::invert()
{
    return *this = inverse();
}

bool OdGeMatrix3d::isSingular(const OdGeTol& tol) const
{
    OdGeMatrix3d inv;
    return !inverse(inv, tol.equalPoint());
}

double OdGeMatrix3d::det() const
{
    double a[4][4];
    std::copy(&entry[0][0], &entry[0][0] + 16, &a[0][0]);
    double d = 1.0;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0.0) return 0.0;
        if (pivot != col) {
            for (int c = 0; c < 4; ++c)
                std::swap(a[pivot][c], a[col][c]);
            d = -d;
        }
        d *= a[col][col];
        for (int r = col + 1; r < 4; ++r) {
            double f = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c)
                a[r][c] -= f * a[col][c];
        }
    }
    return d;
}

OdGeMatrix3d OdGeMatrix3d::transpose() const
{
    OdGeMatrix3d t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.entry[r][c] = entry[c][r];
    return t;
}

OdGeMatrix3d& OdGeMatrix3d::transposeIt()
{
    return *this = transpose();
}

OdGeMatrix3d& OdGeMatrix3d::setToTranslation(const OdGeVector3d& v)
{
    setToIdentity();
    return setTranslation(v);
}

OdGeMatrix3d& OdGeMatrix3d::setTranslation(const OdGeVector3d& v)
{
    entry[0][3] = v.x;
    entry[1][3] = v.y;
    entry[2][3] = v.z;
    return *this;
}

OdGeVector3d OdGeMatrix3d::translation() const
{
    return {entry[0][3], entry[1][3], entry[2][3]};
}

OdGeMatrix3d& OdGeMatrix3d::setToScaling(double scale, const OdGePoint3d& center)
{
    return setToScaling(OdGeScale3d(scale), center);
}

OdGeMatrix3d& OdGeMatrix3d::setToScaling(const OdGeScale3d& s, const OdGePoint3d& c)
{
    setToIdentity();
    entry[0][0] = s.sx;
    entry[1][1] = s.sy;
    entry[2][2] = s.sz;
    entry[0][3] = c.x * (1.0 - s.sx);
    entry[1][3] = c.y * (1.0 - s.sy);
    entry[2][3] = c.z * (1.0 - s.sz);
    return *this;
}

OdGeMatrix3d& OdGeMatrix3d::setToRotation(double angle, const OdGeVector3d& axis, const OdGePoint3d& center)
{
    setToIdentity();
    OdGeVector3d u = axis.normal();
    if (u.isZeroLength()) return *this;
    double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    entry[0][0] = t * u.x * u.x + c;
    entry[0][1] = t * u.x * u.y - s * u.z;
    entry[0][2] = t * u.x * u.z + s * u.y;
    entry[1][0] = t * u.x * u.y + s * u.z;
    entry[1][1] = t * u.y * u.y + c;
    entry[1][2] = t * u.y * u.z - s * u.x;
    entry[2][0] = t * u.x * u.z - s * u.y;
    entry[2][1] = t * u.y * u.z + s * u.x;
    entry[2][2] = t * u.z * u.z + c;
    // Keep the center fixed: t = c - R c.
    OdGeVector3d rc = *this * center.asVector();
    setTranslation(center.asVector() - rc);
    return *this;
}

OdGeMatrix3d& OdGeMatrix3d::setToMirroring(const OdGePlane& plane)
{
    setToIdentity();
    OdGeVector3d n = plane.normal().normal();
    double d = plane.pointOnPlane().asVector().dotProduct(n);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            entry[r][c] -= 2.0 * n[r] * n[c];
    setTranslation(n * (2.0 * d));
    return *this;
}

OdGeMatrix3d& OdGeMatrix3d::setToMirroring(const OdGePoint3d& point)
{
    setToScaling(-1.0, point);
    return *this;
}

OdGeMatrix3d& OdGeMatrix3d::setToPlaneToWorld(const OdGeVector3d& normal)
{
    OdGeVector3d z = normal.normal();
    OdGeVector3d x = z.perpVector();
    OdGeVector3d y = z.crossProduct(x).normal();
    return setCoordSystem(OdGePoint3d::kOrigin, x, y, z);
}

OdGeMatrix3d& OdGeMatrix3d::setToWorldToPlane(const OdGeVector3d& normal)
{
    setToPlaneToWorld(normal);
    return transposeIt(); // orthonormal: inverse is the transpose
}

OdGeMatrix3d& OdGeMatrix3d::setCoordSystem(const OdGePoint3d& origin, const OdGeVector3d& xAxis,
                                           const OdGeVector3d& yAxis, const OdGeVector3d& zAxis)
{
    setToIdentity();
    for (int r = 0; r < 3; ++r) {
        entry[r][0] = xAxis[r];
        entry[r][1] = yAxis[r];
        entry[r][2] = zAxis[r];
        entry[r][3] = origin[r];
    }
    return *this;
}

void OdGeMatrix3d::getCoordSystem(OdGePoint3d& origin, OdGeVector3d& xAxis, OdGeVector3d& yAxis,
                                  OdGeVector3d& zAxis) const
{
    origin = getCsOrigin();
    xAxis = getCsXAxis();
    yAxis = getCsYAxis();
    zAxis = getCsZAxis();
}

OdGePoint3d OdGeMatrix3d::getCsOrigin() const
{
    return {entry[0][3], entry[1][3], entry[2][3]};
}

OdGeVector3d OdGeMatrix3d::getCsXAxis() const
{
    return {entry[0][0], entry[1][0], entry[2][0]};
}

OdGeVector3d OdGeMatrix3d::getCsYAxis() const
{
    return {entry[0][1], entry[1][1], entry[2][1]};
}

OdGeVector3d OdGeMatrix3d::getCsZAxis() const
{
    return {entry[0][2], entry[1][2], entry[2][2]};
}

OdGeMatrix3d& OdGeMatrix3d::setToAlignCoordSys(const OdGePoint3d& fromOrigin, const OdGeVector3d& fromXAxis,
                                               const OdGeVector3d& fromYAxis, const OdGeVector3d& fromZAxis,
                                               const OdGePoint3d& toOrigin, const OdGeVector3d& toXAxis,
                                               const OdGeVector3d& toYAxis, const OdGeVector3d& toZAxis)
{
    OdGeMatrix3d from, to;
    from.setCoordSystem(fromOrigin, fromXAxis, fromYAxis, fromZAxis);
    to.setCoordSystem(toOrigin, toXAxis, toYAxis, toZAxis);
    return *this = to * from.inverse();
}

double OdGeMatrix3d::scale() const
{
    return std::max({getCsXAxis().length(), getCsYAxis().length(), getCsZAxis().length()});
}

bool OdGeMatrix3d::isScaledOrtho(const OdGeTol& tol) const
{
    OdGeVector3d x = getCsXAxis(), y = getCsYAxis(), z = getCsZAxis();
    if (x.isZeroLength(tol) || y.isZeroLength(tol) || z.isZeroLength(tol)) return false;
    return x.isPerpendicularTo(y, tol) && y.isPerpendicularTo(z, tol) && z.isPerpendicularTo(x, tol);
}

bool OdGeMatrix3d::isUniScaledOrtho(const OdGeTol& tol) const
{
    if (!isScaledOrtho(tol)) return false;
    double lx = getCsXAxis().length(), ly = getCsYAxis().length(), lz = getCsZAxis().length();
    return std::fabs(lx - ly) <= tol.equalPoint() && std::fabs(ly - lz) <= tol.equalPoint();
}

bool OdGeMatrix3d::isPerspective(const OdGeTol& tol) const
{
    return std::fabs(entry[3][0]) > tol.equalPoint() || std::fabs(entry[3][1]) > tol.equalPoint() ||
           std::fabs(entry[3][2]) > tol.equalPoint() || std::fabs(entry[3][3] - 1.0) > tol.equalPoint();
}

OdGeMatrix3d OdGeMatrix3d::translation(const OdGeVector3d& v)
{
    return OdGeMatrix3d().setToTranslation(v);
}

OdGeMatrix3d OdGeMatrix3d::scaling(double scale, const OdGePoint3d& center)
{
    return OdGeMatrix3d().setToScaling(scale, center);
}

OdGeMatrix3d OdGeMatrix3d::scaling(const OdGeScale3d& scale, const OdGePoint3d& center)
{
    return OdGeMatrix3d().setToScaling(scale, center);
}

OdGeMatrix3d OdGeMatrix3d::rotation(double angle, const OdGeVector3d& axis, const OdGePoint3d& center)
{
    return OdGeMatrix3d().setToRotation(angle, axis, center);
}

OdGeMatrix3d OdGeMatrix3d::mirroring(const OdGePlane& plane)
{
    return OdGeMatrix3d().setToMirroring(plane);
}

OdGeMatrix3d OdGeMatrix3d::mirroring(const OdGePoint3d& point)
{
    return OdGeMatrix3d().setToMirroring(point);
}

OdGeMatrix3d OdGeMatrix3d::worldToPlane(const OdGeVector3d& normal)
{
    return OdGeMatrix3d().setToWorldToPlane(normal);
}

OdGeMatrix3d OdGeMatrix3d::planeToWorld(const OdGeVector3d& normal)
{
    return OdGeMatrix3d().setToPlaneToWorld(normal);
}

OdGeMatrix3d OdGeMatrix3d::alignCoordSys(const OdGePoint3d& fromOrigin, const OdGeVector3d& fromXAxis,
                                         const OdGeVector3d& fromYAxis, const OdGeVector3d& fromZAxis,
                                         const OdGePoint3d& toOrigin, const OdGeVector3d& toXAxis,
                                         const OdGeVector3d& toYAxis, const OdGeVector3d& toZAxis)
{
    return OdGeMatrix3d().setToAlignCoordSys(fromOrigin, fromXAxis, fromYAxis, fromZAxis, toOrigin, toXAxis,
                                             toYAxis, toZAxis);
}
