#pragma once

#include "ColorMapping.h"
#include "GiCommon.h"

// Traits a drawable sets in setAttributes.
class ODGS_EXPORT OdGiDrawableTraits
{
public:
    virtual ~OdGiDrawableTraits() = default;
};
