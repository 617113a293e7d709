#include "zalHostPhysicsMaterial.h"

#include <QDir>
#include <QFileInfo>

zalHostPhysicsMaterial::zalHostPhysicsMaterial(const QString& textureRoot) : m_textureRoot(textureRoot) {}

QStringList zalHostPhysicsMaterial::channelNames()
{
    return {QStringLiteral("diffuseColor"),      QStringLiteral("opacity"),       QStringLiteral("normal"),
            QStringLiteral("emissiveColor"),     QStringLiteral("roughness"),     QStringLiteral("ior"),
            QStringLiteral("metalness"),         QStringLiteral("specularColor"), QStringLiteral("clearcoat"),
            QStringLiteral("clearcoatRoughness")};
}

QJsonObject zalHostPhysicsMaterial::unsetChannel()
{
    return QJsonObject{{QStringLiteral("stringValue"), QString()},
                       {QStringLiteral("scalarValue"), QJsonArray{1, 1, 1, 1}},
                       {QStringLiteral("mapScale"), QJsonArray{1, 1}},
                       {QStringLiteral("mapOffset"), QJsonArray{0, 0}},
                       {QStringLiteral("valueType"), 0}};
}

QJsonObject zalHostPhysicsMaterial::colorChannel(double r, double g, double b, double a)
{
    QJsonObject channel = unsetChannel();
    channel.insert(QStringLiteral("scalarValue"), QJsonArray{r, g, b, a});
    channel.insert(QStringLiteral("valueType"), 1);
    return channel;
}

QJsonObject zalHostPhysicsMaterial::scalarChannel(double value)
{
    return colorChannel(value, value, value, value);
}

QJsonObject zalHostPhysicsMaterial::textureChannel(const QString& file, double strength, double scaleU,
                                                   double scaleV, double offsetU, double offsetV)
{
    QJsonObject channel = unsetChannel();
    channel.insert(QStringLiteral("stringValue"), file);
    channel.insert(QStringLiteral("scalarValue"), QJsonArray{strength, strength, strength, strength});
    channel.insert(QStringLiteral("mapScale"), QJsonArray{scaleU, scaleV});
    channel.insert(QStringLiteral("mapOffset"), QJsonArray{offsetU, offsetV});
    channel.insert(QStringLiteral("valueType"), 2);
    return channel;
}

QJsonObject zalHostPhysicsMaterial::defaultBody()
{
    QJsonObject body{{QStringLiteral("shaderType"), 0}, {QStringLiteral("shaderTags"), QString()}};
    for (const QString& name : channelNames())
        body.insert(name, unsetChannel());
    return body;
}

void zalHostPhysicsMaterial::setShaderType(int type, const QString& tags)
{
    m_body.insert(QStringLiteral("shaderType"), type);
    m_body.insert(QStringLiteral("shaderTags"), tags);
}

void zalHostPhysicsMaterial::setAnimation(int type, double speed, double power)
{
    m_animationType = type;
    m_animationSpeed = speed;
    m_animationPower = power;
}

QString zalHostPhysicsMaterial::resolveTexture(const QString& name) const
{
    if (name.isEmpty()) return name;
    const QFileInfo given(name);
    if (given.isAbsolute()) return name;
    if (!m_textureRoot.isEmpty()) {
        const QDir root(m_textureRoot);
        for (const QString& candidate :
             {root.filePath(QStringLiteral("Textures/") + name), root.filePath(name)})
            if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate);
    }
    return name;
}

namespace {

const QString kFormat = QStringLiteral("format");
constexpr int kFormatVersion = 1;

} // namespace

QJsonObject zalHostPhysicsMaterial::toJson() const
{
    return QJsonObject{{kFormat, kFormatVersion},
                       {QStringLiteral("valid"), m_valid},
                       {QStringLiteral("baseMaterial"), m_baseMaterial},
                       {QStringLiteral("textureMaterial"), m_textureMaterial},
                       {QStringLiteral("body"), m_body},
                       {QStringLiteral("lighting"), m_lighting},
                       {QStringLiteral("displacement"), m_displacement},
                       {QStringLiteral("animationType"), m_animationType},
                       {QStringLiteral("animationSpeed"), m_animationSpeed},
                       {QStringLiteral("animationPower"), m_animationPower}};
}

bool zalHostPhysicsMaterial::readJson(const QJsonObject& json)
{
    // A later format may mean other things by the same keys.
    if (json.value(kFormat).toInt(-1) != kFormatVersion) return false;
    const QJsonValue valid = json.value(QStringLiteral("valid"));
    const QJsonValue body = json.value(QStringLiteral("body"));
    const QJsonValue lighting = json.value(QStringLiteral("lighting"));
    const QJsonValue displacement = json.value(QStringLiteral("displacement"));
    const QJsonValue type = json.value(QStringLiteral("animationType"));
    const QJsonValue speed = json.value(QStringLiteral("animationSpeed"));
    const QJsonValue power = json.value(QStringLiteral("animationPower"));
    if (!valid.isBool() || !json.value(QStringLiteral("baseMaterial")).isString() ||
        !json.value(QStringLiteral("textureMaterial")).isString() || !body.isObject() ||
        !lighting.isObject() || !displacement.isObject() || !type.isDouble() || !speed.isDouble() ||
        !power.isDouble())
        return false;
    m_valid = valid.toBool();
    m_baseMaterial = json.value(QStringLiteral("baseMaterial")).toString();
    m_textureMaterial = json.value(QStringLiteral("textureMaterial")).toString();
    m_body = body.toObject();
    m_lighting = lighting.toObject();
    m_displacement = displacement.toObject();
    m_animationType = type.toInt();
    m_animationSpeed = speed.toDouble();
    m_animationPower = power.toDouble();
    return true;
}
