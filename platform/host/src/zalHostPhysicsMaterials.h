#pragma once

#include "IzalPhysicsMaterialsModule.h"

#include "DbObjectId.h"

#include <QMap>
#include <QObject>
#include <QSet>

class OdDbDatabase;
class zalHostPhysicsMaterial;

// The reference host's material library: descriptions that importers set per material, and for any
// other drawing material a description built from the OdDbMaterial itself.
class zalHostPhysicsMaterials : public QObject, public IzalPhysicsMaterialsModule
{
    Q_OBJECT
    Q_INTERFACES(IzalPhysicsMaterialsModule)
public:
    explicit zalHostPhysicsMaterials(const QString& libraryRoot, QObject* parent = nullptr);
    ~zalHostPhysicsMaterials() override;

    QString materialLibraryRoot() const override;
    std::shared_ptr<IzalPhysicsMaterial> materialDescription(const OdDbObjectId& materialId) const override;

    void setMaterialLibraryRoot(const QString& folder) { m_root = folder; }
    // Replaces what the host would build for that material; null removes it.
    void setDescription(const OdDbObjectId& materialId, std::shared_ptr<zalHostPhysicsMaterial> description);
    // The description an importer set for that material; null when the host builds it from the
    // drawing's material (what a saved drawing must then carry itself).
    std::shared_ptr<zalHostPhysicsMaterial> importedDescription(const OdDbObjectId& materialId) const
    {
        return m_descriptions.value(materialId);
    }
    // A description with the library's texture resolver, for importers to fill.
    std::shared_ptr<zalHostPhysicsMaterial> newDescription() const;
    // Takes over the descriptions an import recorded in `other` (read before this library existed).
    void adoptDescriptions(zalHostPhysicsMaterials& other);

    int descriptionCount() const { return m_descriptions.size(); }
    // Drops the descriptions of a database that goes away: its ids would dangle, and comparing them
    // reads the freed database.
    void forgetDatabase(OdDbDatabase* database);

private:
    class Watcher;
    std::shared_ptr<IzalPhysicsMaterial> describe(const OdDbObjectId& materialId) const;

    QString m_root;
    QMap<OdDbObjectId, std::shared_ptr<zalHostPhysicsMaterial>> m_descriptions;
    QSet<OdDbDatabase*> m_watched;
    Watcher* m_watcher;
};
