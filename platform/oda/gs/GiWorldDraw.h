#pragma once

#include "GiGeometry.h"
#include "GiSubEntityTraits.h"

class OdGiContext;

enum OdGiRegenType
{
    eOdGiRegenTypeInvalid = 0,
    kOdGiStandardDisplay = 2,
    kOdGiHideOrShadeCommand = 3,
    kOdGiRenderCommand = 4,
    kOdGiForExplode = 5,
    kOdGiSaveWorldDrawForProxy = 6
};

// What a drawable draws into: its geometry, the traits of that geometry and the drawing context.
class ODGS_EXPORT OdGiWorldDraw
{
public:
    virtual ~OdGiWorldDraw() = default;
    virtual OdGiWorldGeometry& geometry() const = 0;
    virtual OdGiSubEntityTraits& subEntityTraits() const = 0;
    virtual OdGiRegenType regenType() const = 0;
    virtual OdGiContext* context() const = 0;
    // Deviation for curve tessellation, in drawing units.
    virtual double deviation() const { return 0.0; }
};
