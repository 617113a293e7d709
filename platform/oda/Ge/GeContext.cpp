#include "Ge/GeContext.h"
#include "Ge/GePlane.h"

OdGeTol OdGeContext::gTol(1.e-10);
OdGeTol OdGeContext::gZeroTol(1.e-20);

// Here, not in GePlane.cpp: the planes' constructor normalises with gTol, and only within one file is
// the order of initialisation certain (axes spelled out, as other files' constants may not be ready).
const OdGePlane OdGePlane::kXYPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(0, 0, 1));
const OdGePlane OdGePlane::kYZPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(1, 0, 0));
const OdGePlane OdGePlane::kZXPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(0, 1, 0));
