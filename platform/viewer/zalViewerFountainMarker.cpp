#include "zalViewerFountainMarker.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;
// The fountain's position in the asset frame: the module moves the asset back one unit along X, and
// the viewer frame mirrors X and counts centimetres.
const QVector3D kCentre(-100.0f, 0.0f, 0.0f);

double number(const QJsonObject& parameters, const char* key, double fallback)
{
    const QJsonValue value = parameters.value(QLatin1String(key));
    return value.isDouble() && std::isfinite(value.toDouble()) ? value.toDouble() : fallback;
}

// A drop: an octahedron of the given radius, eight triangles.
void addDrop(std::vector<float>& out, const QVector3D& at, float radius)
{
    const QVector3D axes[6] = {{radius, 0, 0},  {-radius, 0, 0}, {0, radius, 0},
                               {0, -radius, 0}, {0, 0, radius},  {0, 0, -radius}};
    const int faces[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                             {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    for (const auto& face : faces) {
        for (int corner : face) {
            const QVector3D p = at + axes[corner];
            out.push_back(p.x());
            out.push_back(p.y());
            out.push_back(p.z());
        }
    }
}

} // namespace

bool zalViewerFountainMarker::isFountain(const QString& asset)
{
    return asset == QLatin1String("ConfigurableWaterFountain");
}

std::vector<float> zalViewerFountainMarker::triangles(const QJsonObject& parameters)
{
    const bool active = parameters.isEmpty() ? true : parameters.value(QLatin1String("active")).toBool();
    const double lifetime = number(parameters, "lifetime", 1.0);
    const double spawnRate = number(parameters, "spawnRate", 7500.0);
    const double spreadWidth = std::clamp(number(parameters, "spreadWidth", 1.0), 0.05, 10.0);
    const double startWidth = std::clamp(number(parameters, "spreadStartWidth", 0.5), 0.0, spreadWidth);
    const double power = std::clamp(number(parameters, "jetPower", 1.5) * lifetime, 0.1, 10.0);

    // Sizes in centimetres: the jets rise 1.5 m per unit of power and land at the spread width.
    const double height = 150.0 * power;
    const double reach = 100.0 * spreadWidth;
    const double start = 100.0 * startWidth / 2.0;
    const int dropsPerJet = std::clamp(int(spawnRate / 500.0), 4, 24);
    const float radius = float(std::clamp(reach * 0.04, 3.0, 15.0));

    std::vector<float> out;
    out.reserve(size_t(4 * (dropsPerJet + 1)) * 8 * 3 * 3);
    for (int jet = 0; jet < 4; ++jet) {
        const double angle = jet * kPi / 2.0;
        const QVector3D direction(float(std::cos(angle)), float(std::sin(angle)), 0.0f);
        if (!active) {
            addDrop(out, kCentre + direction * float(reach), radius);
            continue;
        }
        for (int i = 1; i <= dropsPerJet; ++i) {
            // Along a parabola from the start width up to the jet's top and down to the spread width.
            const double t = double(i) / dropsPerJet;
            const double along = start + (reach - start) * t;
            const double up = 4.0 * height * t * (1.0 - t);
            addDrop(out, kCentre + direction * float(along) + QVector3D(0, 0, float(up)), radius);
        }
    }
    return out;
}

QVector3D zalViewerFountainMarker::colour(const QJsonObject& parameters)
{
    const QJsonArray rgba = parameters.value(QLatin1String("colour")).toArray();
    if (rgba.size() < 3) return QVector3D(0.55f, 0.75f, 1.0f);
    auto channel = [&](int i) { return float(std::clamp(rgba.at(i).toDouble(), 0.0, 1.0)); };
    return QVector3D(channel(0), channel(1), channel(2));
}
