#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector3D>

#include <vector>

// What the reference viewer shows for the particle asset "ConfigurableWaterFountain": droplets along
// four jets shaped by the fountain's parameters (as the console parsed them from SetFountainParams).
namespace zalViewerFountainMarker {

bool isFountain(const QString& asset);

// Triangles (three floats per vertex) of the droplets in the asset's own frame, in centimetres. The
// fountain stands one drawing unit (100 cm) from the asset's origin, where the module places it. A
// fountain that is off shows only a ring of still drops; without parameters the defaults apply.
std::vector<float> triangles(const QJsonObject& parameters);

// The water colour of the parameters; light blue without them.
QVector3D colour(const QJsonObject& parameters);

} // namespace zalViewerFountainMarker
