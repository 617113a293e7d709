#pragma once

#include "zalOdDbExExport.h"

#include "Ge/GeMatrix3d.h"
#include "Ge/GePoint3d.h"

#include <QString>

// Implemented by entities that stand for a viewer asset: the viewer places the asset at the transform and
// runs the command on it.
class ZALODDBEX_EXPORT zalIUEAssetPlaceHolder
{
public:
    virtual ~zalIUEAssetPlaceHolder() = default;
    // Arguments of the viewer command run on the placed asset.
    virtual QString getCommand() const = 0;
    // The viewer asset the entity stands for.
    virtual QString getAssetPath() const = 0;
    // Placement of the asset in drawing coordinates.
    virtual OdGeMatrix3d getAssetTransform() const = 0;
    // Where the host shows the entity's grip; the asset's origin unless the entity has a place of its own.
    virtual OdGePoint3d gripPoint() const
    {
        OdGePoint3d point = OdGePoint3d::kOrigin;
        return point.transformBy(getAssetTransform());
    }
};
