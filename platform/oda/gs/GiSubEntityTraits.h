#pragma once

#include "GiDrawableTraits.h"

enum OdGiFillType
{
    kOdGiFillAlways = 1,
    kOdGiFillNever = 2
};

// Traits of the geometry that follows: colour, true colour, material, layer and fill type.
class ODGS_EXPORT OdGiSubEntityTraits : public OdGiDrawableTraits
{
public:
    virtual void setColor(std::uint16_t aciIndex) = 0;
    virtual void setTrueColor(const OdCmEntityColor& color) = 0;
    virtual void setLayer(OdDbObjectId layerId) = 0;
    virtual void setMaterial(OdDbObjectId materialId) = 0;
    virtual void setFillType(OdGiFillType fillType) = 0;

    virtual std::uint16_t color() const = 0;
    virtual OdCmEntityColor trueColor() const = 0;
    virtual OdDbObjectId layer() const = 0;
    virtual OdDbObjectId material() const = 0;
    virtual OdGiFillType fillType() const = 0;
};
