#pragma once

#include <QString>
#include <QVector2D>
#include <QVector3D>

#include <cstdint>

// What a viewer material means for shading, read from what addMaterial carries: its colour,
// opacity, texture names and parameter string ("ShaderType:1,DiffuseMap:r;g;b:f,RoughnessMap:
// file:strength:offsetU;offsetV;scaleU;scaleV,..."). Renderer-independent: the rasteriser and the
// path tracer shade from the same reading.
struct zalViewerMaterialModel
{
    enum class Kind
    {
        Opaque, // ShaderType 0 (and anything unknown)
        Glass,  // ShaderType 1: translucent, stays see-through
        Water,  // ShaderType 2
        Metal,  // ShaderType 3: mirror-like and metals
    };
    // Texture coordinates used for a map: uv * scale + offset.
    struct Map
    {
        QString file; // empty: no texture
        QVector2D offset{0, 0};
        QVector2D scale{1, 1};
        float strength = 1;
        bool isTextured() const { return !file.isEmpty(); }
    };

    Kind kind = Kind::Opaque;
    QVector3D baseColour{0.5f, 0.5f, 0.5f}; // linear RGB, 0..1
    Map baseColourMap;
    float opacity = 1;      // 0 clear .. 1 solid
    Map opacityMap;         // grey levels are opacity
    float roughness = 0.8f; // perceptual, 0..1
    Map roughnessMap;
    float metalness = 0;
    Map metalnessMap;
    Map normalMap;
    float clearCoat = 0, clearCoatRoughness = 0.1f;
    float ior = 1.5f;
    QVector3D emission{0, 0, 0}; // linear RGB luminance in cd/m^2
    Map emissionMap;

    // Drawn blended over what lies behind (glass, water, partly opaque or opacity-mapped).
    bool isBlended() const
    {
        return kind == Kind::Glass || kind == Kind::Water || opacity < 0.999f || opacityMap.isTextured();
    }
};

// colour: red | green << 8 | blue << 16, display (sRGB) values.
zalViewerMaterialModel zalViewerInterpretMaterial(const QString& texture, std::uint32_t colour, float opacity,
                                                  const QString& secondTexture, const QString& parameters);

// sRGB display value (0..1) to linear.
float zalViewerLinearFromSrgb(float value);
