#pragma once

#include "IzalPhysicsMaterial.h"

#include <QJsonArray>
#include <QJsonObject>

// A physical material description held by the host: made by an importer from a model's PBR material,
// or built from a drawing's OdDbMaterial.
class zalHostPhysicsMaterial : public IzalPhysicsMaterial
{
public:
    // textureRoot: where texture names without a folder are looked for.
    explicit zalHostPhysicsMaterial(const QString& textureRoot = QString());

    bool isValid() const override { return m_valid; }
    QString baseMaterial() const override { return m_baseMaterial; }
    QString textureMaterial() const override { return m_textureMaterial; }
    QJsonObject body() const override { return m_body; }
    QJsonObject lighting() const override { return m_lighting; }
    QJsonObject displacement() const override { return m_displacement; }
    int animationType() const override { return m_animationType; }
    double animationSpeed() const override { return m_animationSpeed; }
    double animationPower() const override { return m_animationPower; }
    QString resolveTexture(const QString& name) const override;

    void setValid(bool valid) { m_valid = valid; }
    void setBaseMaterial(const QString& name) { m_baseMaterial = name; }
    void setTextureMaterial(const QString& name) { m_textureMaterial = name; }
    void setBody(const QJsonObject& body) { m_body = body; }
    void setShaderType(int type, const QString& tags = QString());
    void setChannel(const QString& channel, const QJsonObject& value) { m_body.insert(channel, value); }
    void setLighting(const QJsonObject& value) { m_lighting = value; }
    void setDisplacement(const QJsonObject& value) { m_displacement = value; }
    void setAnimation(int type, double speed, double power);

    // Every field as one JSON object (the texture root is the library's, not the description's), and
    // read back from one; false, leaving the description as it was, for an object not made by toJson.
    QJsonObject toJson() const;
    bool readJson(const QJsonObject& json);

    // Channel values: unset, a colour or scalar (components 0 to 1), a texture with its mapping.
    static QJsonObject unsetChannel();
    static QJsonObject colorChannel(double r, double g, double b, double a = 1.0);
    static QJsonObject scalarChannel(double value);
    static QJsonObject textureChannel(const QString& file, double strength = 1.0, double scaleU = 1.0,
                                      double scaleV = 1.0, double offsetU = 0.0, double offsetV = 0.0);
    // A body with shader type 0, no tags and every channel unset.
    static QJsonObject defaultBody();
    static QStringList channelNames();

private:
    QString m_textureRoot;
    bool m_valid = true;
    QString m_baseMaterial;
    QString m_textureMaterial;
    QJsonObject m_body = defaultBody();
    QJsonObject m_lighting = unsetChannel();
    QJsonObject m_displacement = unsetChannel();
    int m_animationType = 0;
    double m_animationSpeed = 0.0;
    double m_animationPower = 0.0;
};
