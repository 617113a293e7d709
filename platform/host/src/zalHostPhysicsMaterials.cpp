#include "zalHostPhysicsMaterials.h"

#include "zalHostPhysicsMaterial.h"
#include "zalStrings.h"

#include "CmEntityColor.h"
#include "DbDatabase.h"
#include "DbDatabaseReactor.h"
#include "DbMaterial.h"
#include "GiMaterialColor.h"
#include "GiMaterialMap.h"
#include "StaticRxObject.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool hasFile(const OdGiMaterialMap& map)
{
    return map.source() == OdGiMaterialMap::kFile && !map.sourceFileName().isEmpty();
}

QJsonObject mapChannel(const OdGiMaterialMap& map)
{
    return zalHostPhysicsMaterial::textureChannel(zalStrings::toQString(map.sourceFileName()),
                                                  map.blendFactor(), map.uScale(), map.vScale(),
                                                  map.uOffset(), map.vOffset());
}

// A colour channel from a material colour, or unset when the colour is inherited.
QJsonObject colorChannel(const OdGiMaterialColor& color)
{
    if (color.method() != OdGiMaterialColor::kOverride) return zalHostPhysicsMaterial::unsetChannel();
    const OdCmEntityColor& c = color.color();
    double r = c.red(), g = c.green(), b = c.blue();
    if (c.isByACI()) {
        const OdUInt32 rgb = OdCmEntityColor::lookUpRGB(OdUInt8(c.colorIndex()));
        r = (rgb >> 16) & 0xff;
        g = (rgb >> 8) & 0xff;
        b = rgb & 0xff;
    }
    const double f = color.factor() / 255.0;
    return zalHostPhysicsMaterial::colorChannel(r * f, g * f, b * f, 1.0);
}

} // namespace

class zalHostPhysicsMaterials::Watcher : public OdDbDatabaseReactor
{
public:
    explicit Watcher(zalHostPhysicsMaterials* owner) : m_owner(owner) {}
    void goodbye(const OdDbDatabase* db) override { m_owner->forgetDatabase(const_cast<OdDbDatabase*>(db)); }

private:
    zalHostPhysicsMaterials* m_owner;
};

zalHostPhysicsMaterials::zalHostPhysicsMaterials(const QString& libraryRoot, QObject* parent)
    : QObject(parent), m_root(libraryRoot), m_watcher(new OdStaticRxObject<Watcher>(this))
{
}

zalHostPhysicsMaterials::~zalHostPhysicsMaterials()
{
    for (OdDbDatabase* db : qAsConst(m_watched))
        db->removeReactor(m_watcher);
    delete m_watcher;
}

void zalHostPhysicsMaterials::forgetDatabase(OdDbDatabase* database)
{
    if (!m_watched.remove(database)) return;
    database->removeReactor(m_watcher);
    for (auto it = m_descriptions.begin(); it != m_descriptions.end();) {
        // The database is still whole while it says goodbye, so its ids can be compared and asked.
        if (it.key().database() == database)
            it = m_descriptions.erase(it);
        else
            ++it;
    }
}

QString zalHostPhysicsMaterials::materialLibraryRoot() const
{
    return m_root.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(m_root).absoluteFilePath());
}

std::shared_ptr<zalHostPhysicsMaterial> zalHostPhysicsMaterials::newDescription() const
{
    return std::make_shared<zalHostPhysicsMaterial>(materialLibraryRoot());
}

void zalHostPhysicsMaterials::adoptDescriptions(zalHostPhysicsMaterials& other)
{
    // Through setDescription, so this library also forgets them when their database goes away.
    for (auto it = other.m_descriptions.cbegin(); it != other.m_descriptions.cend(); ++it)
        setDescription(it.key(), it.value());
    other.m_descriptions.clear();
}

void zalHostPhysicsMaterials::setDescription(const OdDbObjectId& materialId,
                                             std::shared_ptr<zalHostPhysicsMaterial> description)
{
    if (description) {
        OdDbDatabase* db = materialId.database();
        if (!db) return;
        if (!m_watched.contains(db)) {
            db->addReactor(m_watcher);
            m_watched.insert(db);
        }
        m_descriptions.insert(materialId, std::move(description));
    } else
        m_descriptions.remove(materialId);
}

std::shared_ptr<IzalPhysicsMaterial>
zalHostPhysicsMaterials::materialDescription(const OdDbObjectId& materialId) const
{
    if (materialId.isNull()) return nullptr;
    auto it = m_descriptions.constFind(materialId);
    if (it != m_descriptions.constEnd()) return *it;
    return describe(materialId);
}

std::shared_ptr<IzalPhysicsMaterial> zalHostPhysicsMaterials::describe(const OdDbObjectId& materialId) const
{
    OdDbObjectPtr object = materialId.openObject();
    if (object.isNull() || !object->isKindOf(OdDbMaterial::desc())) return nullptr;
    OdDbMaterialPtr material = object;

    auto description = newDescription();
    description->setBaseMaterial(zalStrings::toQString(material->name()));

    OdGiMaterialColor color;
    OdGiMaterialMap map;
    material->diffuse(color, map);
    description->setChannel(QStringLiteral("diffuseColor"),
                            hasFile(map) ? mapChannel(map) : colorChannel(color));

    double opacity = 1.0;
    material->opacity(opacity, map);
    if (hasFile(map))
        description->setChannel(QStringLiteral("opacity"), mapChannel(map));
    else if (opacity < 1.0)
        description->setChannel(QStringLiteral("opacity"), zalHostPhysicsMaterial::scalarChannel(opacity));
    // See-through materials take the viewer's translucent shader.
    description->setShaderType(opacity < 1.0 || hasFile(map) ? 2 : 0);

    material->bump(map);
    if (hasFile(map)) description->setChannel(QStringLiteral("normal"), mapChannel(map));

    material->reflection(map);
    if (hasFile(map)) description->setChannel(QStringLiteral("specularColor"), mapChannel(map));
    if (material->reflectivity() > 0.0)
        description->setChannel(QStringLiteral("metalness"),
                                zalHostPhysicsMaterial::scalarChannel(material->reflectivity()));

    double gloss = 0.0;
    material->specular(color, map, gloss);
    if (gloss > 0.0)
        description->setChannel(QStringLiteral("roughness"),
                                zalHostPhysicsMaterial::scalarChannel(1.0 - gloss));

    double index = 1.0;
    material->refraction(index, map);
    if (index > 1.0)
        description->setChannel(QStringLiteral("ior"), zalHostPhysicsMaterial::scalarChannel(index));

    if (material->selfIllumination() > 0.0)
        description->setChannel(QStringLiteral("emissiveColor"),
                                zalHostPhysicsMaterial::scalarChannel(material->selfIllumination()));
    return description;
}
