#pragma once

#include "zalHostCommand.h"

// "undo": takes the drawing's last command back; "redo": does the last undone command again.
// Each host command is one step (the console opens the step before the command runs).
class zalUndoCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("undo"); }
    void execute(OdEdCommandContext* context) override;
};

class zalRedoCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("redo"); }
    void execute(OdEdCommandContext* context) override;
};
