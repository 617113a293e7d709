#pragma once

#include "zalHostCommand.h"

// "erase": asks for an entity and erases it.
class zalEraseCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("erase"); }
    void execute(OdEdCommandContext* context) override;
};
