// Texture map of a material channel.
#pragma once

#include "OdString.h"

class ODKIT_EXPORT OdGiMaterialMap
{
public:
    enum Source
    {
        kScene = 0,
        kFile = 1,
        kProcedural = 2
    };
    OdGiMaterialMap() = default;

    Source source() const { return m_source; }
    void setSource(Source source) { m_source = source; }
    const OdString& sourceFileName() const { return m_fileName; }
    void setSourceFileName(const OdString& fileName) { m_fileName = fileName; }
    double blendFactor() const { return m_blendFactor; }
    void setBlendFactor(double factor) { m_blendFactor = factor; }
    // Texture scale and offset (u, v).
    double uScale() const { return m_uScale; }
    double vScale() const { return m_vScale; }
    double uOffset() const { return m_uOffset; }
    double vOffset() const { return m_vOffset; }
    void setScale(double u, double v)
    {
        m_uScale = u;
        m_vScale = v;
    }
    void setOffset(double u, double v)
    {
        m_uOffset = u;
        m_vOffset = v;
    }
    bool operator==(const OdGiMaterialMap& m) const
    {
        return m_source == m.m_source && m_fileName == m.m_fileName && m_blendFactor == m.m_blendFactor &&
               m_uScale == m.m_uScale && m_vScale == m.m_vScale && m_uOffset == m.m_uOffset &&
               m_vOffset == m.m_vOffset;
    }

private:
    Source m_source = kFile;
    OdString m_fileName;
    double m_blendFactor = 1.0;
    double m_uScale = 1.0;
    double m_vScale = 1.0;
    double m_uOffset = 0.0;
    double m_vOffset = 0.0;
};
