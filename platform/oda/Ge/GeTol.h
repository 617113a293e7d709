// Tolerances for point and vector comparisons.
#pragma once

#include "OdaCommon.h"

class ODKIT_EXPORT OdGeTol
{
public:
    OdGeTol(double t = 1.e-10) : m_equalPoint(t), m_equalVector(t) {}
    OdGeTol(double pointTol, double vectorTol) : m_equalPoint(pointTol), m_equalVector(vectorTol) {}
    double equalPoint() const { return m_equalPoint; }
    double equalVector() const { return m_equalVector; }
    void setEqualPoint(double t) { m_equalPoint = t; }
    void setEqualVector(double t) { m_equalVector = t; }

private:
    double m_equalPoint;
    double m_equalVector;
};
