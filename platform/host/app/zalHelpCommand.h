#pragma once

#include "zalHostCommand.h"

#include <QString>

// "help" (also "?"): one line for every registered command, the host's and the modules'.
class zalHelpCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("help"); }
    void execute(OdEdCommandContext* context) override;

    // What a command does, in one line; empty for a command the host knows nothing about.
    static QString describe(const QString& name);
};
