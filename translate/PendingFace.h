#pragma once

#include "module/zalExport.h"

#include "Ge/GePoint3d.h"
#include "Ge/GeVector3d.h"

#include <QString>
#include <QVarLengthArray>

// One accepted triangle of the entity being drawn, already in the viewer's frame. Inline room for three
// vertices: faces made by the simplifier never allocate.
struct ZAL_EXPORT PendingFace
{
    QVarLengthArray<OdGeVector3d, 3> normals;
    QVarLengthArray<OdGePoint3d, 3> points;
    QVarLengthArray<OdGePoint3d, 3> textureCoordinates; // u, v, w; w unused
    bool reversed = false;
    QString materialKey; // id string of an OdDbMaterial, or empty for the traits' material
};
