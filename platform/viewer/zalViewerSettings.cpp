#include "zalViewerSettings.h"

#include <QJsonArray>

namespace {

QJsonObject mapJson(const QMap<QString, QString>& map)
{
    QJsonObject o;
    for (auto it = map.begin(); it != map.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QJsonArray vec(const QVector3D& v)
{
    return QJsonArray{double(v.x()), double(v.y()), double(v.z())};
}

} // namespace

QJsonObject zalViewerSettings::toJson() const
{
    QJsonObject actorsJson;
    for (auto it = actors.begin(); it != actors.end(); ++it)
        actorsJson.insert(it.key(), mapJson(it.value()));
    QJsonObject fountainsJson;
    for (auto it = fountains.begin(); it != fountains.end(); ++it)
        fountainsJson.insert(it.key(), it.value());
    QJsonArray inputs;
    for (const QJsonObject& record : lastInputs)
        inputs.append(record);

    QJsonObject o;
    o.insert("consoleVariables", mapJson(consoleVariables));
    o.insert("actors", actorsJson);
    o.insert("postProcess", mapJson(postProcess));
    o.insert("actorCalls", mapJson(actorCalls));
    o.insert("fountains", fountainsJson);
    o.insert("aoColour", aoColourSet ? QJsonValue(vec(aoColour)) : QJsonValue());
    o.insert("sun", QJsonObject{{"mode", sunMode},
                                {"northOffset", sunNorthOffset},
                                {"azimuth", double(sunAzimuth)},
                                {"elevation", double(sunElevation)},
                                {"latitude", double(sunLatitude)},
                                {"longitude", double(sunLongitude)},
                                {"year", sunYear},
                                {"month", sunMonth},
                                {"day", sunDay},
                                {"solarTime", double(sunSolarTime)}});
    o.insert("toneMapper", QJsonObject{{"set", toneMapperSet},
                                       {"exposure", double(exposure)},
                                       {"contrast", double(contrast)},
                                       {"saturation", double(saturation)},
                                       {"autoExposure", autoExposure},
                                       {"gamma", double(gamma)}});
    o.insert("gameTime", gameTime);
    o.insert("gamePaused", gamePaused);
    o.insert("pathTracing", pathTracing);
    o.insert("renderPaused", renderPaused);
    o.insert("drawingStepMs", drawingStepMs);
    o.insert("transactionFrameHoldMs", transactionFrameHoldMs);
    o.insert("vr", vr);
    o.insert("camera", QJsonObject{{"set", cameraSet},
                                   {"aim", vec(cameraAim)},
                                   {"position", vec(cameraPosition)},
                                   {"up", vec(cameraUp)},
                                   {"animate", cameraAnimate},
                                   {"orthographic", cameraOrthographic},
                                   {"fieldOfView", double(fieldOfView)},
                                   {"aspectRatio", double(aspectRatio)},
                                   {"viewIndex", cameraViewIndex},
                                   {"flags", cameraFlags},
                                   {"name", cameraName}});
    o.insert("navigationType", navigationType);
    o.insert("navigationSpeed", navigationSpeed);
    o.insert("input", QJsonObject{{"count", double(inputCount)}, {"last", inputs}});
    o.insert("consoleLog", QJsonArray::fromStringList(consoleLog));
    o.insert("unknownCommands", QJsonArray::fromStringList(unknownCommands));
    o.insert("uiRequests", QJsonArray::fromStringList(uiRequests));
    o.insert("highlighted", QJsonArray::fromStringList(highlighted));
    o.insert("materialRefreshes", materialRefreshes);
    o.insert("screenshots", QJsonArray::fromStringList(screenshots));
    o.insert("materialMaps", QJsonArray::fromStringList(materialMaps));
    o.insert("messages", QJsonArray::fromStringList(messages));
    return o;
}
