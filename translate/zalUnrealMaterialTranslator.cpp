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

} // namespace

zalUnrealMaterialTranslator::Material
zalUnrealMaterialTranslator::translate(const IzalPhysicsMaterial& description)
{
    Material out;
    QString base = description.baseMaterial();
    const QJsonObject body = description.body();
    const int animation = description.animationType();
    const double speed = description.animationSpeed();
    const double power = description.animationPower();
    QString parameters;

    int shader = body.value(QLatin1String("shaderType")).toInt();
    QString tags = body.value(QLatin1String("shaderTags")).toString();
    if (shader == 3 && tags == QLatin1String("Translucent")) shader = 2;
    const bool translucent = shader == 2;
    if (translucent) {
        if (tags.isEmpty() || tags == QLatin1String("Translucent"))
            tags = QStringLiteral("[ConfigurableMaterialTranslucentThick]");
        tags.replace(QLatin1String("[ConfigurableMaterialTranslucentThick]"),
                     QLatin1String("[ConfigurableMaterialTranslucentSimple]"));
        tags.replace(QLatin1String("[ConfigurableMaterialTranslucentThin]"),
                     QLatin1String("[ConfigurableMaterialTranslucentThick]"));
    }
    switch (shader) {
    case 1:
        parameters = QStringLiteral("ShaderType:3");
        break;
    case 2:
        parameters = QStringLiteral("ShaderType:1");
        break;
    case 3:
        parameters = QStringLiteral("ShaderType:2");
        break;
    case 4:
        parameters = QStringLiteral("ShaderType:1");
        if (!base.contains(QLatin1String("ConfigurableMaterialFire"), Qt::CaseInsensitive))
            base += QLatin1String(" [ConfigurableMaterialFire]");
        break;
    default:
        parameters = QStringLiteral("ShaderType:0");
        break;
    }

    if (animation >= 1 && animation <= 3) {
        const double f = animation == 3 && shader == 3 ? 1000.0 : 1.0;
        parameters += QLatin1String(",AnimationPower:") + QString::number(power * f, 'g', 6) +
                      QLatin1String(",AnimationSpeed:") + QString::number(speed * f, 'g', 6) +
                      QLatin1String(",AnimationType:") + QString::number(animation - 1);
    }

    const QString trimmedTags = tags.trimmed();
    if (trimmedTags.startsWith(QLatin1Char('[')) && trimmedTags.endsWith(QLatin1Char(']')))
        base += QLatin1Char(' ') + trimmedTags;

    Channel diffuse = Channel::read(body.value(QLatin1String("diffuseColor")));
    Channel opacity = Channel::read(body.value(QLatin1String("opacity")));
    Channel normal = Channel::read(body.value(QLatin1String("normal")));
    Channel emission = Channel::read(body.value(QLatin1String("emissiveColor")));
    Channel roughness = Channel::read(body.value(QLatin1String("roughness")));
    Channel ior = Channel::read(body.value(QLatin1String("ior")));
    Channel metalness = Channel::read(body.value(QLatin1String("metalness")));
    Channel specular = Channel::read(body.value(QLatin1String("specularColor")));
    Channel clearcoat = Channel::read(body.value(QLatin1String("clearcoat")));
    Channel clearcoatRoughness = Channel::read(body.value(QLatin1String("clearcoatRoughness")));
    Channel lighting = Channel::read(description.lighting());
    Channel displacement = Channel::read(description.displacement());
    double colour[3] = {128.0 / 255.0, 128.0 / 255.0, 128.0 / 255.0};
    double alpha = 1.0;
    double roughnessFactor = 1.0;

    const bool cleanWater = shader == 3 && (tags.isEmpty() || tags == QLatin1String("Clean"));
    const bool pond = shader == 3 && tags == QLatin1String("Pond");
    const bool rapids = shader == 3 && tags == QLatin1String("[ConfigurableMaterialWaterRapids]");
    if (cleanWater || pond || rapids) {
        lighting.setColour(1, 1, 1, 1);
        parameters += QLatin1String(",WaveSpeed:") + number(displacement.v[1]) + QLatin1String(",WaveSize:") +
                      number(displacement.v[0]);
        std::fill(metalness.v, metalness.v + 3, metalness.v[3]);
        ior.setColour(1, 1, 1, ior.v[3]);
        if (cleanWater || rapids) {
            if (diffuse.type != kColour) diffuse.setColour(kWaterBlue[0], kWaterBlue[1], kWaterBlue[2], 1.0);
            if (normal.type != kColour) normal.setColour(0.5, 0.5, 0.5, 1.0);
        }
        if (rapids) {
            if (opacity.type != kColour) opacity.setColour(1, 1, 1, 1);
            if (emission.type != kColour) emission.setColour(1, 1, 1, 1);
        }
        if (cleanWater) {
            emission.makeTexture();
            emission.v[3] *= 1000.0;
            emission.scale[0] = 1.0 / emission.scale[0];
            emission.scale[1] = 1.0 / emission.scale[1];
        }
        if (pond) diffuse.makeTexture();
    } else {
        if (tags.contains(QLatin1String("Mirror"), Qt::CaseInsensitive)) {
            parameters.replace(QLatin1String("ShaderType:1"), QLatin1String("ShaderType:0"));
            shader = 1;
        }
        if (shader == 1 && metalness.type == kUnset) roughnessFactor = 0.3;
        if (shader == 0 && specular.type == kUnset && emission.type == kUnset && roughness.type == kUnset &&
            clearcoat.type == kUnset) {
            const int open = base.indexOf(QLatin1Char('['));
            const bool tagged = open >= 0 && base.indexOf(QLatin1Char(']'), open) > open;
            if (!tagged) base += QLatin1String(" [ConfigurableMaterialMatte]");
        }
        // Foliage keeps the lighting channel the description gives.
    }

    if (diffuse.type == kTexture) {
        out.texture = description.resolveTexture(diffuse.file);
    } else {
        if (diffuse.type == kUnset) diffuse.setColour(0.5, 0.5, 0.5, 1.0);
        std::copy(diffuse.v, diffuse.v + 3, colour);
    }
    if (opacity.type == kTexture) {
        out.secondTexture = description.resolveTexture(opacity.file);
        alpha = 1.0;
    } else if (opacity.type == kColour) {
        alpha = opacity.v[0];
    } else {
        opacity.setColour(1, 1, 1, 1);
        alpha = 1.0;
    }
    if (translucent) {
        opacity.multiply(0.25);
        diffuse.multiply(0.001);
    }

    struct Row
    {
        const char* name;
        const Channel* value;
        double factor;
        bool hasDefault;
        Channel fallback;
    };
    const Row rows[] = {
        {"DiffuseMap", &diffuse, 0.5, false, Channel()},
        {"AlphaMap", &opacity, shader == 3 ? 0.5 : 1.0, true, Channel::colour(1, 1, 1, 1)},
        {"EmissionMap", &emission, 500.0, true, Channel::colour(0, 0, 0, 1)},
        {"SpecularMap", &specular, 1.0, true, Channel::colour(0, 0, 0, 1)},
        {"GlossyMap", &clearcoat, 1.0, false, Channel()},
        {"GlossyRoughnessMap", &clearcoatRoughness, 1.0, false, Channel()},
        {"NormalsMap", &normal, 1.0, true, Channel::colour(0, 0, 1, 1)},
        {"MetallicMap", &metalness, 0.9, false, Channel()},
        {"RoughnessMap", &roughness, roughnessFactor, true, Channel::colour(1, 1, 1, 1)},
        {"LightingMap", &lighting, 1.0, true, Channel::colour(0.5, 0.5, 0.5, 1)},
        {"DisplacementMap", &displacement, 1.0, true, Channel::colour(0, 0, 0, 1)},
        {"IORMap", &ior, 1.0, true, Channel::colour(1.05, 1.05, 1.05, 1)},
    };
    for (const Row& row : rows) {
        const Channel* c = row.value->type != kUnset ? row.value : (row.hasDefault ? &row.fallback : nullptr);
        if (!c) continue;
        parameters += QLatin1Char(',') + QLatin1String(row.name) + QLatin1Char(':');
        if (c->type == kTexture) {
            // The segment's own separators are colons: a drive colon must not look like one.
            QString file = description.resolveTexture(c->file);
            file.replace(QLatin1Char(':'), QLatin1String("//"));
            parameters += file + QLatin1Char(':') + number(c->v[0]) + QLatin1Char(':') +
                          number(c->offset[0]) + QLatin1Char(';') + number(c->offset[1]) + QLatin1Char(';') +
                          number(c->scale[0]) + QLatin1Char(';') + number(c->scale[1]);
        } else {
            const bool black = c->v[0] == 0 && c->v[1] == 0 && c->v[2] == 0 && c->v[3] == 0;
            parameters += number(c->v[0]) + QLatin1Char(';') + number(c->v[1]) + QLatin1Char(';') +
                          number(c->v[2]) + QLatin1Char(':') +
                          number(black ? row.factor : row.factor * c->v[3]);
        }
    }

    if (!out.texture.isEmpty() && !out.secondTexture.isEmpty() &&
        QFileInfo(out.texture).fileName() == QFileInfo(out.secondTexture).fileName())
        out.secondTexture.clear();
    if (base.contains(QLatin1String("*NoMat*"))) parameters.clear();

    out.baseMaterial = base;
    out.colour = std::uint32_t(colourByte(colour[0])) | std::uint32_t(colourByte(colour[1])) << 8 |
                 std::uint32_t(colourByte(colour[2])) << 16;
    out.opacity = float(alpha);
    out.parameters = parameters;
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
