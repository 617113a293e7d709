#include "translate/zalUnrealMaterialTranslator.h"

#include "translate/zalViewerNames.h"

#include "XoRemoteRenderSenderFlattener.h"
#include "translate/zalEntityRegistry.h"
#include "translate/zalUnrealRenderView.h"

#include "IzalApplication.h"
#include "IzalPhysicsMaterial.h"
#include "IzalPhysicsMaterialsModule.h"
#include "zalStrings.h"

#include "DbDatabase.h"
#include "DbMaterial.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

enum ValueType
{
    kUnset = 0,
    kColour = 1,
    kTexture = 2
};

// One channel of a description, read once from its JSON object.
struct Channel
{
    int type = kUnset;
    double v[4] = {1, 1, 1, 1};
    QString file;
    double scale[2] = {1, 1};
    double offset[2] = {0, 0};

    static Channel read(const QJsonValue& value)
    {
        Channel c;
        const QJsonObject o = value.toObject();
        c.type = o.value(QLatin1String("valueType")).toInt(kUnset);
        const QJsonArray s = o.value(QLatin1String("scalarValue")).toArray();
        for (int i = 0; i < 4 && i < s.size(); ++i)
            c.v[i] = s.at(i).toDouble(1.0);
        c.file = o.value(QLatin1String("stringValue")).toString();
        const QJsonArray scale = o.value(QLatin1String("mapScale")).toArray();
        for (int i = 0; i < 2 && i < scale.size(); ++i)
            c.scale[i] = scale.at(i).toDouble(1.0);
        const QJsonArray offset = o.value(QLatin1String("mapOffset")).toArray();
        for (int i = 0; i < 2 && i < offset.size(); ++i)
            c.offset[i] = offset.at(i).toDouble(0.0);
        return c;
    }
    static Channel colour(double r, double g, double b, double a)
    {
        Channel c;
        c.type = kColour;
        c.v[0] = r;
        c.v[1] = g;
        c.v[2] = b;
        c.v[3] = a;
        return c;
    }
    void setColour(double r, double g, double b, double a)
    {
        type = kColour;
        v[0] = r;
        v[1] = g;
        v[2] = b;
        v[3] = a;
    }
    // A channel that is not a texture yet becomes a white one without a file.
    void makeTexture()
    {
        if (type == kTexture) return;
        std::fill(v, v + 4, 1.0);
        type = kTexture;
    }
    void multiply(double f)
    {
        for (double& x : v)
            x *= f;
    }
};

// Preset colours are given as 0-255 triples; channels hold 0-1.
const double kWaterBlue[3] = {0.0, 127.0 / 255.0, 1.0};

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::uint8_t colourByte(double component)
{
    return std::uint8_t(std::lround(std::clamp(component, 0.0, 1.0) * 255.0));
}

std::string utf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

QMutex& parametersMutex()
{
    static QMutex mutex;
    return mutex;
}

// Viewer material name -> parameter string sent with it, for generateMaterialMaps.
QMap<QString, QString>& sentParameters()
{
    static QMap<QString, QString> parameters;
    return parameters;
}

bool isHeld(const zalEntityRegistry* registry, const QString& name)
{
    XoRemoteRenderSenderFlattener* sender = registry->sender();
    return registry->contains(name) && sender && sender->isEntityValid(utf8(name).c_str(), "");
}

// What translate builds: the shader and tags as the description gives them (normalised), the base
// material and the parameter string so far.
struct Draft
{
    int shader = 0;
    QString tags;
    QString base;
    QString parameters;
    bool translucent = false;
    double roughnessFactor = 1.0;
};

// The translucent shader also arrives as the water shader tagged "Translucent"; its thickness tags
// move one step thinner.
Draft readShader(const IzalPhysicsMaterial& description)
{
    Draft d;
    d.base = description.baseMaterial();
    const QJsonObject body = description.body();
    d.shader = body.value(QLatin1String("shaderType")).toInt();
    d.tags = body.value(QLatin1String("shaderTags")).toString();
    if (d.shader == 3 && d.tags == QLatin1String("Translucent")) d.shader = 2;
    d.translucent = d.shader == 2;
    if (d.translucent) {
        if (d.tags.isEmpty() || d.tags == QLatin1String("Translucent"))
            d.tags = QStringLiteral("[ConfigurableMaterialTranslucentThick]");
        d.tags.replace(QLatin1String("[ConfigurableMaterialTranslucentThick]"),
                       QLatin1String("[ConfigurableMaterialTranslucentSimple]"));
        d.tags.replace(QLatin1String("[ConfigurableMaterialTranslucentThin]"),
                       QLatin1String("[ConfigurableMaterialTranslucentThick]"));
    }
    return d;
}

// The description's shader kinds (0 opaque, 1 metal, 2 translucent, 3 water, 4 fire) number the
// viewer's differently; unknown kinds are opaque.
void addShaderType(Draft& d)
{
    static const int kViewerShader[] = {0, 3, 1, 2, 1};
    const bool known = d.shader >= 0 && d.shader < int(std::size(kViewerShader));
    d.parameters = QLatin1String("ShaderType:") + QString::number(known ? kViewerShader[d.shader] : 0);
    if (d.shader == 4 && !d.base.contains(QLatin1String("ConfigurableMaterialFire"), Qt::CaseInsensitive))
        d.base += QLatin1String(" [ConfigurableMaterialFire]");
}

// Water animates in thousandths of the units the other shaders use.
void addAnimation(Draft& d, const IzalPhysicsMaterial& description)
{
    const int animation = description.animationType();
    if (animation < 1 || animation > 3) return;
    const double f = animation == 3 && d.shader == 3 ? 1000.0 : 1.0;
    d.parameters +=
        QLatin1String(",AnimationPower:") + QString::number(description.animationPower() * f, 'g', 6) +
        QLatin1String(",AnimationSpeed:") + QString::number(description.animationSpeed() * f, 'g', 6) +
        QLatin1String(",AnimationType:") + QString::number(animation - 1);
}

void addBracketedTags(Draft& d)
{
    const QString trimmed = d.tags.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
        d.base += QLatin1Char(' ') + trimmed;
}

struct Channels
{
    Channel diffuse, opacity, normal, emission, roughness, ior, metalness, specular, clearcoat,
        clearcoatRoughness, lighting, displacement;

    static Channels read(const IzalPhysicsMaterial& description)
    {
        static const struct
        {
            Channel Channels::*channel;
            const char* key;
        } kBody[] = {
            {&Channels::diffuse, "diffuseColor"}, {&Channels::opacity, "opacity"},
            {&Channels::normal, "normal"},        {&Channels::emission, "emissiveColor"},
            {&Channels::roughness, "roughness"},  {&Channels::ior, "ior"},
            {&Channels::metalness, "metalness"},  {&Channels::specular, "specularColor"},
            {&Channels::clearcoat, "clearcoat"},  {&Channels::clearcoatRoughness, "clearcoatRoughness"},
        };
        Channels c;
        const QJsonObject body = description.body();
        for (const auto& entry : kBody)
            c.*entry.channel = Channel::read(body.value(QLatin1String(entry.key)));
        c.lighting = Channel::read(description.lighting());
        c.displacement = Channel::read(description.displacement());
        return c;
    }
};

enum class WaterPreset
{
    None,
    Clean,
    Pond,
    Rapids
};

WaterPreset waterPreset(const Draft& d)
{
    if (d.shader != 3) return WaterPreset::None;
    if (d.tags.isEmpty() || d.tags == QLatin1String("Clean")) return WaterPreset::Clean;
    if (d.tags == QLatin1String("Pond")) return WaterPreset::Pond;
    if (d.tags == QLatin1String("[ConfigurableMaterialWaterRapids]")) return WaterPreset::Rapids;
    return WaterPreset::None;
}

// The water presets light themselves and take their waves from the displacement channel.
void applyWaterPreset(WaterPreset water, Channels& c, Draft& d)
{
    c.lighting.setColour(1, 1, 1, 1);
    d.parameters += QLatin1String(",WaveSpeed:") + number(c.displacement.v[1]) + QLatin1String(",WaveSize:") +
                    number(c.displacement.v[0]);
    std::fill(c.metalness.v, c.metalness.v + 3, c.metalness.v[3]);
    c.ior.setColour(1, 1, 1, c.ior.v[3]);
    if (water == WaterPreset::Clean || water == WaterPreset::Rapids) {
        if (c.diffuse.type != kColour) c.diffuse.setColour(kWaterBlue[0], kWaterBlue[1], kWaterBlue[2], 1.0);
        if (c.normal.type != kColour) c.normal.setColour(0.5, 0.5, 0.5, 1.0);
    }
    if (water == WaterPreset::Rapids) {
        if (c.opacity.type != kColour) c.opacity.setColour(1, 1, 1, 1);
        if (c.emission.type != kColour) c.emission.setColour(1, 1, 1, 1);
    }
    if (water == WaterPreset::Clean) {
        c.emission.makeTexture();
        c.emission.v[3] *= 1000.0;
        c.emission.scale[0] = 1.0 / c.emission.scale[0];
        c.emission.scale[1] = 1.0 / c.emission.scale[1];
    }
    if (water == WaterPreset::Pond) c.diffuse.makeTexture();
}

// Mirrors are metal; a metal without metalness is glossier; a plain opaque material without tags is
// matte. Foliage keeps the lighting channel the description gives.
void applySolidRules(const Channels& c, Draft& d)
{
    if (d.tags.contains(QLatin1String("Mirror"), Qt::CaseInsensitive)) {
        d.parameters.replace(QLatin1String("ShaderType:1"), QLatin1String("ShaderType:0"));
        d.shader = 1;
    }
    if (d.shader == 1 && c.metalness.type == kUnset) d.roughnessFactor = 0.3;
    if (d.shader == 0 && c.specular.type == kUnset && c.emission.type == kUnset &&
        c.roughness.type == kUnset && c.clearcoat.type == kUnset) {
        const int open = d.base.indexOf(QLatin1Char('['));
        const bool tagged = open >= 0 && d.base.indexOf(QLatin1Char(']'), open) > open;
        if (!tagged) d.base += QLatin1String(" [ConfigurableMaterialMatte]");
    }
}

// The material's colour, opacity and textures come from the diffuse and opacity channels; a channel
// without a value takes the neutral one its segment then carries.
void resolveColourAndOpacity(Channels& c, const IzalPhysicsMaterial& description,
                             zalUnrealMaterialTranslator::Material& out)
{
    double colour[3] = {128.0 / 255.0, 128.0 / 255.0, 128.0 / 255.0};
    if (c.diffuse.type == kTexture) {
        out.texture = description.resolveTexture(c.diffuse.file);
    } else {
        if (c.diffuse.type == kUnset) c.diffuse.setColour(0.5, 0.5, 0.5, 1.0);
        std::copy(c.diffuse.v, c.diffuse.v + 3, colour);
    }
    double alpha = 1.0;
    if (c.opacity.type == kTexture) {
        out.secondTexture = description.resolveTexture(c.opacity.file);
    } else if (c.opacity.type == kColour) {
        alpha = c.opacity.v[0];
    } else {
        c.opacity.setColour(1, 1, 1, 1);
    }
    out.colour = std::uint32_t(colourByte(colour[0])) | std::uint32_t(colourByte(colour[1])) << 8 |
                 std::uint32_t(colourByte(colour[2])) << 16;
    out.opacity = float(alpha);
}

// ",Name:file:value:offsetU;offsetV;scaleU;scaleV" for a texture, ",Name:r;g;b:factor×a" for a colour
// (all-zero colours carry the bare factor).
QString channelSegment(const char* name, const Channel& c, double factor,
                       const IzalPhysicsMaterial& description)
{
    QString segment = QLatin1Char(',') + QLatin1String(name) + QLatin1Char(':');
    if (c.type == kTexture) {
        // The segment's own separators are colons: a drive colon must not look like one.
        QString file = description.resolveTexture(c.file);
        file.replace(QLatin1Char(':'), QLatin1String("//"));
        return segment + file + QLatin1Char(':') + number(c.v[0]) + QLatin1Char(':') + number(c.offset[0]) +
               QLatin1Char(';') + number(c.offset[1]) + QLatin1Char(';') + number(c.scale[0]) +
               QLatin1Char(';') + number(c.scale[1]);
    }
    const bool black = c.v[0] == 0 && c.v[1] == 0 && c.v[2] == 0 && c.v[3] == 0;
    return segment + number(c.v[0]) + QLatin1Char(';') + number(c.v[1]) + QLatin1Char(';') + number(c.v[2]) +
           QLatin1Char(':') + number(black ? factor : factor * c.v[3]);
}

// One segment per channel in the viewer's order; channels without a value and without a default are
// left out.
QString channelSegments(const Channels& c, const Draft& d, const IzalPhysicsMaterial& description)
{
    const struct
    {
        const char* name;
        const Channel* value;
        double factor;
        bool hasDefault;
        Channel fallback;
    } rows[] = {
        {"DiffuseMap", &c.diffuse, 0.5, false, Channel()},
        {"AlphaMap", &c.opacity, d.shader == 3 ? 0.5 : 1.0, true, Channel::colour(1, 1, 1, 1)},
        {"EmissionMap", &c.emission, 500.0, true, Channel::colour(0, 0, 0, 1)},
        {"SpecularMap", &c.specular, 1.0, true, Channel::colour(0, 0, 0, 1)},
        {"GlossyMap", &c.clearcoat, 1.0, false, Channel()},
        {"GlossyRoughnessMap", &c.clearcoatRoughness, 1.0, false, Channel()},
        {"NormalsMap", &c.normal, 1.0, true, Channel::colour(0, 0, 1, 1)},
        {"MetallicMap", &c.metalness, 0.9, false, Channel()},
        {"RoughnessMap", &c.roughness, d.roughnessFactor, true, Channel::colour(1, 1, 1, 1)},
        {"LightingMap", &c.lighting, 1.0, true, Channel::colour(0.5, 0.5, 0.5, 1)},
        {"DisplacementMap", &c.displacement, 1.0, true, Channel::colour(0, 0, 0, 1)},
        {"IORMap", &c.ior, 1.0, true, Channel::colour(1.05, 1.05, 1.05, 1)},
    };
    QString segments;
    for (const auto& row : rows) {
        const Channel* channel =
            row.value->type != kUnset ? row.value : (row.hasDefault ? &row.fallback : nullptr);
        if (channel) segments += channelSegment(row.name, *channel, row.factor, description);
    }
    return segments;
}

} // namespace

zalUnrealMaterialTranslator::Material
zalUnrealMaterialTranslator::translate(const IzalPhysicsMaterial& description)
{
    Draft d = readShader(description);
    addShaderType(d);
    addAnimation(d, description);
    addBracketedTags(d);

    Channels c = Channels::read(description);
    const WaterPreset water = waterPreset(d);
    if (water != WaterPreset::None)
        applyWaterPreset(water, c, d);
    else
        applySolidRules(c, d);

    Material out;
    resolveColourAndOpacity(c, description, out);
    if (d.translucent) {
        c.opacity.multiply(0.25);
        c.diffuse.multiply(0.001);
    }
    d.parameters += channelSegments(c, d, description);

    if (!out.texture.isEmpty() && !out.secondTexture.isEmpty() &&
        QFileInfo(out.texture).fileName() == QFileInfo(out.secondTexture).fileName())
        out.secondTexture.clear();
    if (d.base.contains(QLatin1String("*NoMat*"))) d.parameters.clear();
    out.baseMaterial = d.base;
    out.parameters = d.parameters;
    return out;
}

void zalUnrealMaterialTranslator::translateMaterial(zalEntityRegistry* registry, const OdDbMaterial* material)
{
    if (!registry || !material) return;
    const QString materialName = zalStrings::toQString(material->name());
    if (materialName == QLatin1String("ByBlock") || materialName == QLatin1String("ByLayer")) return;
    XoRemoteRenderSenderFlattener* sender = registry->sender();
    if (!XoRemoteRenderSender::isReachable(sender)) return;
    IzalPhysicsMaterialsModule* materials =
        zalService<IzalPhysicsMaterialsModule>(IzalPhysicsMaterialsModule_id);
    if (!materials) return;
    const std::shared_ptr<IzalPhysicsMaterial> description =
        materials->materialDescription(material->objectId());
    const QString name = zalViewerNames::ofId(material->objectId());
    if (name.isEmpty() || isHeld(registry, name) || !description || !description->isValid()) return;

    const Material m = translate(*description);
    {
        QMutexLocker lock(&parametersMutex());
        sentParameters().insert(name, m.parameters);
    }
    sender->addMaterial(utf8(name).c_str(), utf8(m.baseMaterial).c_str(), utf8(m.texture).c_str(), m.colour,
                        m.opacity, utf8(m.secondTexture).c_str(), utf8(m.parameters).c_str());
    registry->add(name, QString());
}

QString zalUnrealMaterialTranslator::ensureMaterial(zalEntityRegistry* registry, OdDbDatabase* db,
                                                    const QString& key)
{
    if (!registry) return QString();
    if (!key.isEmpty()) {
        if (registry->contains(key)) return key;
        const OdDbObjectId id = zalViewerNames::toId(key);
        OdDbObjectPtr object = id.isNull() ? OdDbObjectPtr() : id.openObject();
        if (!object.isNull() && object->isKindOf(OdDbMaterial::desc())) {
            translateMaterial(registry, static_cast<const OdDbMaterial*>(object.get()));
            return key;
        }
    }
    if (!db) return QString();
    const OdDbObjectId globalId = db->globalMaterialId();
    const QString global = zalViewerNames::ofId(globalId);
    if (!isHeld(registry, global)) {
        OdDbObjectPtr object = globalId.isNull() ? OdDbObjectPtr() : globalId.openObject();
        if (!object.isNull() && object->isKindOf(OdDbMaterial::desc()))
            translateMaterial(registry, static_cast<const OdDbMaterial*>(object.get()));
    }
    return global;
}

std::string zalUnrealMaterialTranslator::materialParameters(const std::string& materialName)
{
    QMutexLocker lock(&parametersMutex());
    return utf8(sentParameters().value(QString::fromStdString(materialName)));
}
