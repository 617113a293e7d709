#pragma once

#include <QString>
#include <QVector3D>

#include <cstdint>

// The shading description the tracer needs of a viewer material: what the host sends as colour,
// opacity and the "Key:value" parameter string.
struct zalViewerPathTraceMaterial
{
    QVector3D baseColour{0.72f, 0.72f, 0.72f};
    float opacity = 1;
    float roughness = 1;
    float metalness = 0;
    float ior = 1.5f;
    bool glass = false; // translucent shader: refracts with `ior`
    QVector3D emission; // radiance, before the emissive switch
    QString texture;    // base colour texture file, as sent

    // `baseMaterial` carries the host's bracketed tags ("[ConfigurableMaterialTranslucentSimple]").
    static zalViewerPathTraceMaterial fromViewer(const QString& baseMaterial, std::uint32_t colour,
                                                 float opacity, const QString& texture,
                                                 const QString& parameters);
};
