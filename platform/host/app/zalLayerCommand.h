#pragma once

#include "zalHostCommand.h"

// "layer": asks for a layer and a state (On, Off, Freeze, Thaw) and sets it.
class zalLayerCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("layer"); }
    void execute(OdEdCommandContext* context) override;
};
