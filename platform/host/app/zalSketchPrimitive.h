#pragma once

#include "DbObjectId.h"
#include "Ge/GePoint3d.h"

#include <QRgb>

#include <vector>

// One piece of what the drawing view shows, in world coordinates: a line string, a face or a marker
// (a light), with its colour and the top-level entity it came from (for picking).
struct zalSketchPrimitive
{
    enum Kind
    {
        Lines,
        Face,
        Marker
    };
    Kind kind = Lines;
    bool closed = false;
    QRgb color = 0xffffffff;
    OdDbObjectId entity;
    std::vector<OdGePoint3d> points;
};
