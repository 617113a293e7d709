#pragma once

// The database layer's types the graphics layer is written against, in one place.
#include "OdgsExport.h"

#include "CmEntityColor.h"
#include "DbObjectId.h"
#include "Ge/GeMatrix3d.h"
#include "Ge/GePoint2d.h"
#include "Ge/GePoint3d.h"
#include "Ge/GeVector3d.h"
#include "GiDrawable.h"
#include "OdString.h"
#include "RxObject.h"
#include "SmartPtr.h"

#include <cstdint>

typedef std::int32_t OdGsMarker;
