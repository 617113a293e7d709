#pragma once

#include "zalViewerSettings.h"

#include <QString>

#include <algorithm>

// How many frames a high-resolution screenshot waits, so that a path-traced picture can gather
// samples first: the last value given to the console variable "r.HighresScreenshotDelay" (letter
// case ignored, as for every console variable), 0 when unset or not a number, at most maxFrames.
inline int zalViewerScreenshotDelayFrames(const zalViewerSettings& settings, int maxFrames = 100000)
{
    // The console keeps variables under the name as typed; the log tells which spelling came last.
    static const QString name = QStringLiteral("r.HighresScreenshotDelay");
    for (auto it = settings.consoleLog.crbegin(); it != settings.consoleLog.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.startsWith(name, Qt::CaseInsensitive) ||
            (line.size() > name.size() && !line.at(name.size()).isSpace()))
            continue;
        bool ok = false;
        const int frames = line.mid(name.size()).trimmed().toInt(&ok);
        return ok ? std::clamp(frames, 0, maxFrames) : 0;
    }
    return 0;
}
