#pragma once

#include "zalHostCommand.h"

// "open": asks for a file and opens it as a new drawing.
class zalOpenCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("open"); }
    void execute(OdEdCommandContext* context) override;
};
