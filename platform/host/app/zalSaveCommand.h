#pragma once

#include "zalHostCommand.h"

// "save": asks for a DXF file name (empty: the drawing's own file) and writes the drawing to it.
class zalSaveCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("save"); }
    void execute(OdEdCommandContext* context) override;
};
