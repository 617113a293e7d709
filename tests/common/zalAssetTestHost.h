#pragma once

// The module's host for asset tests (its material library lives in the temporary folder too).

#include "tests/common/zalModuleTestHost.h"

#include "zalHostPhysicsMaterials.h"

class zalAssetTestHost : public zalModuleTestHost
{
protected:
    // Lines of one operation whose "name" field is name.
    static QStringList linesNamed(const XoRecordingMessagesManager* recorder, const QString& operation,
                                  const QString& name)
    {
        QStringList found;
        for (const QString& line : recorder->lines(operation))
            if (field(line, "name") == name) found << line;
        return found;
    }
};
