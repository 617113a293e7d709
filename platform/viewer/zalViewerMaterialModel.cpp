#include "zalViewerMaterialModel.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// One "Name:value" segment: a colour "r;g;b:factor" or a texture
// "file:strength:offsetU;offsetV;scaleU;scaleV" (the file's own colons written as "//").
struct Segment
{
    bool isTexture = false;
    bool isColour = false;
    float rgb[3] = {0, 0, 0};
    float factor = 1;
    zalViewerMaterialModel::Map map;
};

float number(const QString& text, float fallback)
{
    bool ok = false;
    const float v = text.trimmed().toFloat(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

Segment parseSegment(const QString& value)
{
    Segment s;
    const QStringList parts = value.split(QLatin1Char(':'));
    if (parts.size() == 2 && parts[0].count(QLatin1Char(';')) == 2) {
        const QStringList c = parts[0].split(QLatin1Char(';'));
        for (int i = 0; i < 3; ++i)
            s.rgb[i] = number(c[i], 0);
        s.factor = number(parts[1], 1);
        s.isColour = true;
    } else if (parts.size() >= 3 && parts.last().count(QLatin1Char(';')) == 3) {
        const QStringList t = parts.last().split(QLatin1Char(';'));
        s.map.strength = number(parts[parts.size() - 2], 1);
        s.map.offset = QVector2D(number(t[0], 0), number(t[1], 0));
        s.map.scale = QVector2D(number(t[2], 1), number(t[3], 1));
        QString file = parts.mid(0, parts.size() - 2).join(QLatin1Char(':'));
        // A drive letter's colon was written as "//"; a Unix path never starts that way.
        if (file.size() > 2 && file.at(0).isLetter() && file.mid(1, 2) == QLatin1String("//"))
            file = file.left(1) + QLatin1Char(':') + file.mid(3);
        s.map.file = file;
        s.isTexture = !file.isEmpty();
    }
    return s;
}

QVector3D linear(const float rgb[3])
{
    return QVector3D(zalViewerLinearFromSrgb(rgb[0]), zalViewerLinearFromSrgb(rgb[1]),
                     zalViewerLinearFromSrgb(rgb[2]));
}

} // namespace

float zalViewerLinearFromSrgb(float value)
{
    const float v = std::clamp(value, 0.0f, 1.0f);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

zalViewerMaterialModel zalViewerInterpretMaterial(const QString& texture, std::uint32_t colour, float opacity,
                                                  const QString& secondTexture, const QString& parameters)
{
    zalViewerMaterialModel m;
    const float bytes[3] = {float(colour & 0xFF) / 255.0f, float((colour >> 8) & 0xFF) / 255.0f,
                            float((colour >> 16) & 0xFF) / 255.0f};
    m.baseColour = linear(bytes);
    m.baseColourMap.file = texture;
    m.opacityMap.file = secondTexture;
    m.opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0f, 1.0f) : 1.0f;

    bool opacityGiven = false, metalnessGiven = false;
    for (const QString& item : parameters.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int colon = item.indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        const QString name = item.left(colon).trimmed();
        const QString value = item.mid(colon + 1);
        if (name == QLatin1String("ShaderType")) {
            switch (value.trimmed().toInt()) {
            case 1:
                m.kind = zalViewerMaterialModel::Kind::Glass;
                break;
            case 2:
                m.kind = zalViewerMaterialModel::Kind::Water;
                break;
            case 3:
                m.kind = zalViewerMaterialModel::Kind::Metal;
                break;
            default:
                m.kind = zalViewerMaterialModel::Kind::Opaque;
                break;
            }
            continue;
        }
        const Segment s = parseSegment(value);
        const float scalar = s.rgb[0] * s.factor;
        if (name == QLatin1String("DiffuseMap")) {
            // The colour travels in the material's colour too (the parameter one may be scaled
            // down for translucency); only a texture adds to it.
            if (s.isTexture) {
                if (m.baseColourMap.file.isEmpty()) m.baseColourMap.file = s.map.file;
                m.baseColourMap.offset = s.map.offset;
                m.baseColourMap.scale = s.map.scale;
            }
        } else if (name == QLatin1String("AlphaMap")) {
            if (s.isColour) {
                m.opacity = std::clamp(scalar, 0.0f, 1.0f);
                opacityGiven = true;
            } else if (s.isTexture) {
                m.opacityMap = s.map;
            }
        } else if (name == QLatin1String("RoughnessMap")) {
            if (s.isColour)
                m.roughness = std::clamp(scalar, 0.0f, 1.0f);
            else if (s.isTexture)
                m.roughnessMap = s.map;
        } else if (name == QLatin1String("MetallicMap")) {
            if (s.isColour)
                m.metalness = std::clamp(scalar, 0.0f, 1.0f);
            else if (s.isTexture)
                m.metalnessMap = s.map;
            metalnessGiven = true;
        } else if (name == QLatin1String("NormalsMap")) {
            if (s.isTexture) m.normalMap = s.map;
        } else if (name == QLatin1String("EmissionMap")) {
            if (s.isColour)
                m.emission = linear(s.rgb) * std::max(s.factor, 0.0f);
            else if (s.isTexture)
                m.emissionMap = s.map;
        } else if (name == QLatin1String("GlossyMap")) {
            if (s.isColour) m.clearCoat = std::clamp(scalar, 0.0f, 1.0f);
        } else if (name == QLatin1String("GlossyRoughnessMap")) {
            if (s.isColour) m.clearCoatRoughness = std::clamp(scalar, 0.0f, 1.0f);
        } else if (name == QLatin1String("IORMap")) {
            // 1.05 is what the module sends when the description gives none.
            if (s.isColour && s.rgb[0] > 1.0f && std::fabs(s.rgb[0] - 1.05f) > 1e-4f)
                m.ior = std::min(s.rgb[0], 3.0f);
        }
    }
    if (m.kind == zalViewerMaterialModel::Kind::Glass || m.kind == zalViewerMaterialModel::Kind::Water) {
        // Glass stays see-through whatever opacity the description asked for.
        if (!opacityGiven) m.opacity *= 0.25f;
        m.opacity = std::min(m.opacity, 0.5f);
        m.roughness = std::min(m.roughness, 0.15f);
        if (m.kind == zalViewerMaterialModel::Kind::Water && m.ior == 1.5f) m.ior = 1.33f;
    }
    if (m.kind == zalViewerMaterialModel::Kind::Metal && !metalnessGiven) m.metalness = 1.0f;
    return m;
}
