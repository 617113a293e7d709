#pragma once

#include "zalHostCommand.h"

#include <QString>

// "renderfarm": renders frames of the drawing's animation on a Slurm farm. Asks for the frame range,
// the frame size, the output folder and the frames per task, submits the job (the same one as
// zalhost --render-frames ... --farm slurm) and shows its progress in a "Render farm" dock. The
// farm renders the drawing's saved file, so the drawing must have one.
class zalRenderFarmCommand : public zalHostCommand
{
public:
    const OdString globalName() const override { return OdString("renderfarm"); }
    void execute(OdEdCommandContext* context) override;

    // The zalhost the tasks run; by default the one beside this program.
    static QString executable();
    static void setExecutable(const QString& path);
};
