#pragma once

#include "zalViewerSettings.h"

#include <QString>

#include <cmath>

// The sun-and-sky actor "zalSunSky_C": its date properties place the sun by time, as
// setSunByTime does. False for properties that do not move the sun (they stay actor properties)
// and for values that are not numbers.
inline bool zalViewerApplySunSkyProperty(zalViewerSettings& settings, const QString& property,
                                         const QString& value)
{
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) return false;
    // Integral properties arrive as the text of a real ("90"); beyond int they are nonsense.
    const bool integral = std::fabs(number) < 2147483647.0;
    if (property == QLatin1String("SunLongitude"))
        settings.sunLongitude = float(number);
    else if (property == QLatin1String("SunLatitude"))
        settings.sunLatitude = float(number);
    else if (property == QLatin1String("SunNorthOffset") && integral)
        settings.sunNorthOffset = int(number);
    else if (property == QLatin1String("SunDateYear") && integral)
        settings.sunYear = int(number);
    else if (property == QLatin1String("SunDateMonth") && integral)
        settings.sunMonth = int(number);
    else if (property == QLatin1String("SunDateDay") && integral)
        settings.sunDay = int(number);
    else if (property == QLatin1String("SunSolarTime"))
        settings.sunSolarTime = float(number);
    else
        return false;
    settings.sunMode = QStringLiteral("time");
    return true;
}
