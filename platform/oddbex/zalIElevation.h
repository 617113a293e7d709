#pragma once

#include "zalOdDbExExport.h"

// Implemented by entities that follow the terrain's elevation.
class ZALODDBEX_EXPORT zalIElevation
{
public:
    virtual ~zalIElevation() = default;
    // Version of the entity's build, raised whenever its elevation data changes.
    virtual unsigned int buildVersion() const = 0;
    // Moves the entity onto the terrain under it.
    virtual void updateElevation() = 0;
};
