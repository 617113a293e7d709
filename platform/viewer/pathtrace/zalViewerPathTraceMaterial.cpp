#include "zalViewerPathTraceMaterial.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// Emission arrives scaled by 500 (the engine's nits for a unit colour); this brings it to the
// tracer's scale, where the sun gives an irradiance of about 3.
constexpr float kEmissionScale = 4.0f / 500.0f;

bool colourSegment(const QStringList& parts, QVector3D& rgb, float& last)
{
    if (parts.size() != 3) return false;
    const QStringList c = parts[1].split(QLatin1Char(';'));
    if (c.size() != 3) return false;
    bool ok[4] = {false, false, false, false};
    rgb = QVector3D(c[0].toFloat(&ok[0]), c[1].toFloat(&ok[1]), c[2].toFloat(&ok[2]));
    last = parts[2].toFloat(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3] && std::isfinite(rgb.x()) && std::isfinite(rgb.y()) &&
           std::isfinite(rgb.z()) && std::isfinite(last);
}

float clamp01(float v)
{
    return std::min(std::max(v, 0.0f), 1.0f);
}

} // namespace

zalViewerPathTraceMaterial zalViewerPathTraceMaterial::fromViewer(const QString& baseMaterial,
                                                                  std::uint32_t colour, float opacity,
                                                                  const QString& texture,
                                                                  const QString& parameters)
{
    zalViewerPathTraceMaterial m;
    m.baseColour =
        QVector3D(float(colour & 0xFF), float((colour >> 8) & 0xFF), float((colour >> 16) & 0xFF)) / 255.0f;
    m.opacity = std::isfinite(opacity) ? clamp01(opacity) : 1.0f;
    m.texture = texture;
    int shaderType = 0;
    for (const QString& segment : parameters.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = segment.split(QLatin1Char(':'));
        const QString key = parts.value(0).trimmed();
        if (key == QLatin1String("ShaderType")) {
            shaderType = parts.value(1).toInt();
            continue;
        }
        QVector3D rgb;
        float last = 0;
        if (!colourSegment(parts, rgb, last)) continue; // textures of these channels are not sampled
        if (key == QLatin1String("RoughnessMap"))
            m.roughness = clamp01(rgb.x());
        else if (key == QLatin1String("MetallicMap"))
            m.metalness = clamp01(rgb.x());
        else if (key == QLatin1String("IORMap"))
            m.ior = std::min(std::max(rgb.x(), 1.0f), 3.0f);
        else if (key == QLatin1String("EmissionMap"))
            m.emission =
                QVector3D(std::max(rgb.x(), 0.0f), std::max(rgb.y(), 0.0f), std::max(rgb.z(), 0.0f)) *
                std::max(last, 0.0f) * kEmissionScale;
    }
    // Water (shader 2) refracts; so do translucent materials, which the host marks by tag.
    m.glass = shaderType == 2 || baseMaterial.contains(QLatin1String("Translucent"), Qt::CaseInsensitive);
    return m;
}
