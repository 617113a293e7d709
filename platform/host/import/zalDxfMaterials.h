#pragma once

#include <string>

#include "zalDxfGroupReader.h"

#include "DbObjectId.h"

#include <QHash>
#include <QMap>

class OdDbDatabase;
class OdDbObject;
class zalDxfText;

// MATERIAL objects of a DXF file. libdime does not keep the OBJECTS section, so they are read from
// its group pairs: name, description, diffuse colour and map, specular gloss, opacity, bump and
// reflection maps, refraction index. The three materials every database has (ByLayer, ByBlock,
// Global) are not created again; their handles map to the database's own. A material the host
// wrote carries its filer record (310 chunks), which then gives every field; each keeps its handle.
// A physical description the host saved with a material comes back as text, for the host to set.
class zalDxfMaterials
{
public:
    // Creates the materials in db's material dictionary; the number created.
    int import(const zalDxfGroupReader& groups, const zalDxfText& text, OdDbDatabase* db);

    // The material a "347" handle names; null when unknown.
    OdDbObjectId byHandle(const QByteArray& handle) const;
    QList<OdDbObjectId> created() const { return m_created; }
    // Physical descriptions the file carries (JSON text), by the material they belong to.
    QMap<OdDbObjectId, QByteArray> descriptions() const { return m_descriptions; }

    // Reads a filer record given as hexadecimal text into target (resolving ids in db); false when
    // it is malformed or not wholly target's class's record.
    static bool readRecord(const QByteArray& hex, OdDbDatabase* db, OdDbObject* target);
    // The same from the record's decoded bytes.
    static bool readBytes(const std::string& bytes, OdDbDatabase* db, OdDbObject* target);

private:
    QHash<QByteArray, OdDbObjectId> m_byHandle;
    QList<OdDbObjectId> m_created;
    QMap<OdDbObjectId, QByteArray> m_descriptions;
};
