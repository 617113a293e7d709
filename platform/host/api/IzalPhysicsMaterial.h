#pragma once

#include "zalHostApiExport.h"

#include <QJsonObject>
#include <QString>

// The physical description of one drawing material. Channel values are JSON objects with
// "valueType" (0 unset, 1 colour or scalar, 2 texture), "scalarValue" [4], "stringValue",
// "mapScale" [2] and "mapOffset" [2].
class ZAL_HOSTAPI IzalPhysicsMaterial
{
public:
    virtual ~IzalPhysicsMaterial() = default;

    // False when the description could not be built; nothing else is meaningful then.
    virtual bool isValid() const = 0;
    virtual QString baseMaterial() const = 0;
    // Name of the texture set the material was made from; empty when none.
    virtual QString textureMaterial() const = 0;
    // "shaderType", "shaderTags" and the channels "diffuseColor", "opacity", "normal", "emissiveColor",
    // "roughness", "ior", "metalness", "specularColor", "clearcoat", "clearcoatRoughness".
    virtual QJsonObject body() const = 0;
    virtual QJsonObject lighting() const = 0;
    virtual QJsonObject displacement() const = 0;
    // 0 without animation, else 1 to 3.
    virtual int animationType() const = 0;
    virtual double animationSpeed() const = 0;
    virtual double animationPower() const = 0;
    // The texture name to send for a channel's "stringValue" (an absolute file path when the texture
    // exists in the material library, otherwise the name unchanged).
    virtual QString resolveTexture(const QString& name) const = 0;
};
