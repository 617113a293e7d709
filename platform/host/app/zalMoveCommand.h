#pragma once

#include "zalHostCommand.h"

// "move": asks for an entity and a displacement (x,y,z) and moves the entity by it.
class zalMoveCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("move"); }
    void execute(OdEdCommandContext* context) override;
};
