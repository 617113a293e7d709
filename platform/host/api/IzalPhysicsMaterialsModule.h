#pragma once

#include "IzalPhysicsMaterial.h"
#include "zalHostApiExport.h"

#include <QObject>
#include <QString>

#include <memory>

class OdDbObjectId;

#define IzalPhysicsMaterialsModule_id "zal.IPhysicsMaterials"

// The host's physical material library.
class ZAL_HOSTAPI IzalPhysicsMaterialsModule
{
public:
    virtual ~IzalPhysicsMaterialsModule() = default;

    // Root folder of the material library (absolute, without a trailing slash).
    virtual QString materialLibraryRoot() const = 0;
    // The description of the OdDbMaterial with that id; null when the id does not name a material.
    virtual std::shared_ptr<IzalPhysicsMaterial>
    materialDescription(const OdDbObjectId& materialId) const = 0;
};

Q_DECLARE_INTERFACE(IzalPhysicsMaterialsModule, IzalPhysicsMaterialsModule_id)
