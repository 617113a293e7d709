#pragma once

#include "zalHostCommand.h"

// "setmaterial": asks for an entity and a material name and gives the entity that material.
class zalSetMaterialCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("setmaterial"); }
    void execute(OdEdCommandContext* context) override;
};
