// Global geometry settings.
#pragma once

#include "Ge/GeTol.h"

struct ODKIT_EXPORT OdGeContext
{
    // Default tolerance (1e-10 for points and vectors).
    static OdGeTol gTol;
    static OdGeTol gZeroTol;
};

#define OdaPI 3.14159265358979323846
#define OdaPI2 (OdaPI / 2.0)
#define Oda2PI (OdaPI * 2.0)
inline double OdaToRadian(double deg)
{
    return deg * OdaPI / 180.0;
}
inline double OdaToDegree(double rad)
{
    return rad * 180.0 / OdaPI;
}
inline bool OdZero(double x, double tol = 1.e-10)
{
    return x <= tol && x >= -tol;
}
inline bool OdEqual(double a, double b, double tol = 1.e-10)
{
    return OdZero(a - b, tol);
}
