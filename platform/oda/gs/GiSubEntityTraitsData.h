#pragma once

#include "GiSubEntityTraits.h"

// A value snapshot of sub-entity traits (used for the effective traits).
class ODGS_EXPORT OdGiSubEntityTraitsData
{
public:
    OdCmEntityColor trueColor() const { return m_color; }
    void setTrueColor(const OdCmEntityColor& color) { m_color = color; }
    std::uint16_t color() const { return std::uint16_t(m_color.colorIndex()); }
    void setColor(std::uint16_t index) { m_color.setColorIndex(index); }
    OdDbObjectId layer() const { return m_layer; }
    void setLayer(OdDbObjectId layer) { m_layer = layer; }
    OdDbObjectId material() const { return m_material; }
    void setMaterial(OdDbObjectId material) { m_material = material; }
    OdGiFillType fillType() const { return m_fillType; }
    void setFillType(OdGiFillType fillType) { m_fillType = fillType; }

private:
    OdCmEntityColor m_color{OdCmEntityColor::kByLayer};
    OdDbObjectId m_layer;
    OdDbObjectId m_material;
    OdGiFillType m_fillType = kOdGiFillNever;
};
