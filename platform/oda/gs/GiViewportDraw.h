#pragma once

#include "GiSubEntityTraits.h"
#include "GiViewport.h"
#include "GiViewportGeometry.h"
#include "GiWorldDraw.h"

// What a drawable draws into for one viewport: view-dependent geometry, its traits and the viewport.
class ODGS_EXPORT OdGiViewportDraw
{
public:
    virtual ~OdGiViewportDraw() = default;
    virtual OdGiViewport& viewport() const = 0;
    virtual OdGiViewportGeometry& geometry() const = 0;
    virtual OdGiSubEntityTraits& subEntityTraits() const = 0;
    virtual OdGiRegenType regenType() const { return kOdGiStandardDisplay; }
    virtual OdGiContext* context() const { return nullptr; }
};
