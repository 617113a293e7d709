#pragma once

#include "zalExport.h"

#include <QString>

#include <cstdint>
#include <string>

class IzalPhysicsMaterial;
class OdDbMaterial;
class OdDbDatabase;
class zalEntityRegistry;

// Turns the physical description of a drawing material (the host's "zal.IPhysicsMaterials") into one
// viewer material: a base material with bracketed tags, a colour, an opacity, two texture names and a
// parameter string of ",Key:value" segments. Stateless apart from the parameter strings sent, which the
// viewer sender's material-map callback answers from.
class ZAL_EXPORT zalUnrealMaterialTranslator
{
public:
    // What one addMaterial carries besides the material's name.
    struct Material
    {
        QString baseMaterial;
        QString texture;
        std::uint32_t colour = 0; // red | green << 8 | blue << 16
        float opacity = 1.0f;
        QString secondTexture;
        QString parameters;
    };

    // The viewer material of a description (which the caller has checked to be valid).
    static Material translate(const IzalPhysicsMaterial& description);

    // Sends the material to the registry's viewer unless it is ByBlock or ByLayer, has no usable
    // description, or is already held by the viewer; registers it.
    static void translateMaterial(zalEntityRegistry* registry, const OdDbMaterial* material);
    // The viewer material name for a material key (an id string or ""); sends the material first when
    // needed. Keys that name no material answer the global material of db.
    static QString ensureMaterial(zalEntityRegistry* registry, OdDbDatabase* db, const QString& key);

    // The parameter string last sent for a viewer material; "" for one never sent. Any thread.
    static std::string materialParameters(const std::string& materialName);
};
