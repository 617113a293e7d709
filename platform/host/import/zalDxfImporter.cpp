#include "zalDxfImporter.h"

#include "zalDxfGroupReader.h"
#include "zalDxfMaterials.h"
#include "zalDxfText.h"
#include "zalHostPhysicsMaterial.h"
#include "zalHostPhysicsMaterials.h"
#include "zalStrings.h"

#include "XoJson.h"

#include "Db3dPolyline.h"
#include "DbArc.h"
#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbCircle.h"
#include "DbDatabase.h"
#include "DbFace.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbLine.h"
#include "DbMaterial.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbPolyline.h"
#include "DbSubDMesh.h"
#include "DbText.h"
#include "DbViewportTableRecord.h"
#include "Ge/GeContext.h"
#include "Ge/GeExtents3d.h"
#include "OdError.h"
#include "RxDictionary.h"

#include <dime/Input.h>
#include <dime/Model.h>
#include <dime/entities/3DFace.h>
#include <dime/entities/Arc.h>
#include <dime/entities/Block.h>
#include <dime/entities/Circle.h>
#include <dime/entities/Insert.h>
#include <dime/entities/LWPolyline.h>
#include <dime/entities/Line.h>
#include <dime/entities/Polyline.h>
#include <dime/entities/Text.h>
#include <dime/entities/Vertex.h>
#include <dime/records/Record.h>
#include <dime/sections/BlocksSection.h>
#include <dime/sections/EntitiesSection.h>
#include <dime/sections/HeaderSection.h>
#include <dime/sections/TablesSection.h>
#include <dime/tables/LayerTable.h>
#include <dime/tables/Table.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Record values by the type libdime gives the group code (it keeps 420 and 290 as text, for
// instance), so a value reads the same whatever the code's storage.
bool recordValue(const dimeRecordHolder* holder, int code, double& value, int index = 0)
{
    dimeParam p;
    if (!holder->getRecord(code, p, index)) return false;
    switch (dimeRecord::getRecordType(code)) {
    case dimeBase::dimeInt8RecordType:
        value = p.int8_data;
        return true;
    case dimeBase::dimeInt16RecordType:
        value = p.int16_data;
        return true;
    case dimeBase::dimeInt32RecordType:
        value = p.int32_data;
        return true;
    case dimeBase::dimeFloatRecordType:
        value = p.float_data;
        return true;
    case dimeBase::dimeDoubleRecordType:
        value = p.double_data;
        return true;
    case dimeBase::dimeStringRecordType:
    case dimeBase::dimeHexRecordType: {
        const char* s = p.string_data;
        if (!s) return false;
        char* end = nullptr;
        value = std::strtod(s, &end);
        return end != s;
    }
    default:
        return false;
    }
}

double recordNumber(const dimeRecordHolder* holder, int code, double fallback, int index = 0)
{
    double v = 0.0;
    return recordValue(holder, code, v, index) ? v : fallback;
}

QByteArray recordText(const dimeRecordHolder* holder, int code, int index = 0)
{
    dimeParam p;
    if (!holder->getRecord(code, p, index)) return QByteArray();
    const int type = dimeRecord::getRecordType(code);
    if (type != dimeBase::dimeStringRecordType && type != dimeBase::dimeHexRecordType) return QByteArray();
    return QByteArray(p.string_data ? p.string_data : "");
}

double paramNumber(const dimeRecord* record)
{
    dimeParam p;
    record->getValue(p);
    switch (dimeRecord::getRecordType(record->getGroupCode())) {
    case dimeBase::dimeInt8RecordType:
        return p.int8_data;
    case dimeBase::dimeInt16RecordType:
        return p.int16_data;
    case dimeBase::dimeInt32RecordType:
        return p.int32_data;
    case dimeBase::dimeFloatRecordType:
        return p.float_data;
    case dimeBase::dimeDoubleRecordType:
        return p.double_data;
    case dimeBase::dimeStringRecordType:
    case dimeBase::dimeHexRecordType:
        return p.string_data ? std::strtod(p.string_data, nullptr) : 0.0;
    default:
        return 0.0;
    }
}

OdGePoint3d point(const dimeVec3f& v)
{
    return OdGePoint3d(v[0], v[1], v[2]);
}

OdGeVector3d extrusionOf(const dimeRecordHolder* holder)
{
    OdGeVector3d n(recordNumber(holder, 210, 0.0), recordNumber(holder, 220, 0.0),
                   recordNumber(holder, 230, 1.0));
    if (n.length() < 1e-12) return OdGeVector3d::kZAxis;
    return n.normal();
}

// Object coordinates (entities given in the plane of their extrusion) to world coordinates.
OdGePoint3d ocsToWcs(const OdGePoint3d& p, const OdGeVector3d& normal)
{
    if (normal == OdGeVector3d::kZAxis) return p;
    OdGePoint3d q = p;
    return q.transformBy(OdGeMatrix3d::planeToWorld(normal));
}

bool isModelOrPaperSpace(const QString& name)
{
    return name.startsWith(QLatin1String("*Model_Space"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("*Paper_Space"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("$Model_Space"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("$Paper_Space"), Qt::CaseInsensitive);
}

// The filer record an entity carries, decoded: its 310 groups as libdime read them, else the ones set
// apart under its handle when the file was checked. Empty when it has none or its text is not
// hexadecimal.
std::string recordBytes(const dimeRecordHolder* holder, const zalDxfGroupReader* apart)
{
    std::string bytes;
    // A byte may be split between two chunks: they are joined before they are decoded.
    QByteArray hex;
    bool any = false;
    const int n = holder->getNumRecordsInRecordHolder();
    for (int i = 0; i < n; ++i) {
        const dimeRecord* r = holder->getRecordInRecordHolder(i);
        if (r->getGroupCode() != 310) continue;
        dimeParam p;
        r->getValue(p);
        if (!p.string_data) continue;
        any = true;
        hex += QByteArray::fromRawData(p.string_data, int(std::strlen(p.string_data))).trimmed();
    }
    if (any) {
        if (!zalDxfGroupReader::appendHex(bytes, hex.constData(), hex.size())) bytes.clear();
        return bytes;
    }
    if (!apart) return bytes;
    dimeParam p;
    if (!holder->getRecord(5, p) || !p.string_data) return bytes;
    char* end = nullptr;
    const quint64 handle = std::strtoull(p.string_data, &end, 16);
    if (end != p.string_data) apart->record(handle, bytes);
    return bytes;
}

// A registered entity class named by one of the entity's subclass markers (100).
OdRxClass* entityClassOf(const dimeRecordHolder* holder)
{
    OdRxDictionaryPtr classes = odrxClassDictionary();
    for (int i = 0;; ++i) {
        const QByteArray marker = recordText(holder, 100, i);
        if (marker.isEmpty()) return nullptr;
        OdRxObjectPtr object = classes->getAt(zalStrings::toOdString(QString::fromUtf8(marker.trimmed())));
        OdRxClass* cls = dynamic_cast<OdRxClass*>(object.get());
        if (cls && cls != OdDbEntity::desc() && cls->isDerivedFrom(OdDbEntity::desc())) return cls;
    }
}

// False (colour untouched) for a value that is no 24-bit colour: converting NaN or a value out of
// range to an integer is undefined.
bool setTrueColor(OdCmColor& color, double raw)
{
    if (!(raw >= 0.0 && raw <= double(0xffffff))) return false;
    const quint32 v = quint32(raw);
    color.setRGB(OdUInt8((v >> 16) & 0xff), OdUInt8((v >> 8) & 0xff), OdUInt8(v & 0xff));
    return true;
}

// The entity names whose filer record alone builds them (defined with the makers below).
std::vector<std::string> kindsBuiltFromRecords();

} // namespace

zalDxfImporter::zalDxfImporter(OdDbDatabase* db, zalHostPhysicsMaterials* physics)
    : m_db(db), m_physics(physics)
{
}

zalDxfImporter::~zalDxfImporter() = default;

zalImportResult zalDxfImporter::importFile(const QString& path)
{
    m_result = zalImportResult();
    m_customRecords.clear();
    m_owners.clear();
    m_layersByRawName.clear();
    m_result.format = QStringLiteral("DXF");
    const QString name = QFileInfo(path).fileName();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return zalImportResult::failure(name + QStringLiteral(": cannot be read"));
    const QByteArray data = file.readAll();
    file.close();

    // libdime reads what it can of a cut file and says yes; the structure is checked first.
    zalDxfGroupReader groups;
    groups.setKindsBuiltFromRecords(kindsBuiltFromRecords());
    const bool binary = zalDxfGroupReader::isBinaryDxf(data);
    if (!binary && !groups.read(data, true))
        return zalImportResult::failure(name + QStringLiteral(": not a complete DXF file: ") +
                                        groups.error());
    QString binaryError;
    if (binary && !zalDxfGroupReader::checkBinary(data, &binaryError))
        return zalImportResult::failure(name + QStringLiteral(": not a complete DXF file: ") + binaryError);

    // libdime reads the bytes already in memory (the file is read from disk once), without the filer
    // records the check set apart.
    m_apart = binary ? nullptr : &groups;
    const auto forgetApart = qScopeGuard([this] { m_apart = nullptr; });
    const QByteArray& text =
        binary || groups.textWithoutRecords().isEmpty() ? data : groups.textWithoutRecords();
    std::unique_ptr<FILE, int (*)(FILE*)> memory(
        text.isEmpty() ? nullptr : fmemopen(const_cast<char*>(text.constData()), size_t(text.size()), "rb"),
        &std::fclose);
    dimeInput input;
    if (!memory || !input.setFileHandle(memory.get()))
        return zalImportResult::failure(name + QStringLiteral(": cannot be read"));
    // With its own memory pool libdime frees the whole model at once instead of entity by entity:
    // its unknown tables and entities (MESH, LIGHT) free their names with the wrong deallocator and
    // lose some of their strings when freed one by one.
    dimeModel model(true);
    QElapsedTimer parse;
    parse.start();
    bool read = false;
    try {
        read = model.read(&input);
    } catch (const std::exception&) {
        // What the checks above did not foresee: libdime sizes arrays from numbers in the file.
        read = false;
    }
    if (!read)
        return zalImportResult::failure(
            name +
            QStringLiteral(": not a readable DXF file (stopped near byte %1)").arg(input.getFilePosition()));
    m_result.parseSeconds = double(parse.nsecsElapsed()) / 1e9;

    QByteArray version, codePage;
    int insUnits = -1;
    if (!binary) {
        const auto v = groups.headerVariable("$ACADVER");
        if (!v.isEmpty()) version = v.first().value;
        const auto c = groups.headerVariable("$DWGCODEPAGE");
        if (!c.isEmpty()) codePage = c.first().value;
        const auto u = groups.headerVariable("$INSUNITS");
        if (!u.isEmpty()) insUnits = u.first().value.trimmed().toInt();
    } else if (auto* header = static_cast<dimeHeaderSection*>(model.findSection("HEADER"))) {
        int codes[4];
        dimeParam params[4];
        // A header variable's value is a union read by its group code: a file may give a text variable a
        // number code (the union then holds no string pointer), so the code's type is checked first.
        auto variable = [&](const char* name, int type) {
            return header->getVariable(name, codes, params, 4) > 0 &&
                   dimeRecord::getRecordType(codes[0]) == type;
        };
        if (variable("$ACADVER", dimeBase::dimeStringRecordType) && params[0].string_data)
            version = params[0].string_data;
        if (variable("$DWGCODEPAGE", dimeBase::dimeStringRecordType) && params[0].string_data)
            codePage = params[0].string_data;
        if (variable("$INSUNITS", dimeBase::dimeInt16RecordType)) insUnits = params[0].int16_data;
    }
    m_text.reset(new zalDxfText(version, codePage));
    if (insUnits >= 0 && insUnits <= OdDb::kUnitsMax) m_db->setINSUNITS(OdDb::UnitsValue(insUnits));

    try {
        if (!binary) importHeader(groups);
        m_materials.reset(new zalDxfMaterials);
        if (!binary) m_result.materials = m_materials->import(groups, *m_text, m_db);
        QString nesting;
        if (!checkNesting(model, &nesting))
            return zalImportResult::failure(name + QStringLiteral(": ") + nesting);
        importLayers(model);
        importBlocks(model);
        if (!binary) importViewports(groups);

        OdDbBlockTableRecordPtr modelSpace = m_db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr paperSpace = m_db->getPaperSpaceId().safeOpenObject(OdDb::kForWrite);
        if (auto* entities = static_cast<dimeEntitiesSection*>(model.findSection("ENTITIES"))) {
            for (int i = 0; i < entities->getNumEntities(); ++i) {
                dimeEntity* e = entities->getEntity(i);
                const bool paper = (e->getEntityFlags() & FLAG_PAPERSPACE) != 0;
                if (!importEntity(e, paper ? paperSpace.get() : modelSpace.get())) ++m_result.skipped;
            }
        }
        resolveOwnedEntities();
        importDescriptions();
    } catch (const OdError& error) {
        return zalImportResult::failure(name + QStringLiteral(": ") +
                                        zalStrings::toQString(error.description()));
    }
    m_result.ok = true;
    return m_result;
}

void zalDxfImporter::importDescriptions()
{
    if (!m_physics || !m_materials) return;
    const QMap<OdDbObjectId, QByteArray> descriptions = m_materials->descriptions();
    for (auto it = descriptions.cbegin(); it != descriptions.cend(); ++it) {
        const QJsonDocument json = xoParseJson(it.value());
        auto description = m_physics->newDescription();
        if (json.isObject() && description->readJson(json.object())) {
            m_physics->setDescription(it.key(), description);
            continue;
        }
        // The material itself is still there: the host then describes it from its own fields.
        OdDbMaterialPtr material = it.key().openObject();
        m_result.warnings << QStringLiteral("the physical description of material %1 (handle %2) cannot be "
                                            "read; it is described from the material's own fields")
                                 .arg(material.isNull() ? QString() : zalStrings::toQString(material->name()))
                                 .arg(zalStrings::toQString(it.key().getHandle().ascii()));
    }
}

OdDbObjectId zalDxfImporter::layerId(const char* name)
{
    // Entities name a handful of layers a hundred thousand times: the name as written is looked up
    // before it is decoded.
    const std::string raw(name ? name : "0");
    const auto known = m_layersByRawName.find(raw);
    if (known != m_layersByRawName.end()) return known->second;
    const OdDbObjectId id = layerIdOf(name);
    m_layersByRawName.emplace(raw, id);
    return id;
}

OdDbObjectId zalDxfImporter::layerIdOf(const char* name)
{
    const QString key = m_text->decode(name ? name : "0").toUpper();
    auto it = m_layers.constFind(key);
    if (it != m_layers.constEnd()) return it.value();
    // Files without a layer table (R12 writers often leave it out) name layers only on entities.
    OdDbLayerTablePtr table = m_db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    OdDbObjectId id = table->getAt(zalStrings::toOdString(m_text->decode(name)));
    if (id.isNull()) {
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(zalStrings::toOdString(m_text->decode(name)));
        id = table->add(layer.get());
        ++m_result.layers;
    }
    m_layers.insert(key, id);
    return id;
}

void zalDxfImporter::importLayers(dimeModel& model)
{
    auto* tables = static_cast<dimeTablesSection*>(model.findSection("TABLES"));
    if (!tables) return;
    OdDbLayerTablePtr table = m_db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    for (int t = 0; t < tables->getNumTables(); ++t) {
        dimeTable* dt = tables->getTable(t);
        if (!dt->tableName() || std::strcmp(dt->tableName(), "LAYER") != 0) continue;
        for (int e = 0; e < dt->getNumTableEntries(); ++e) {
            dimeTableEntry* entry = dt->getTableEntry(e);
            if (!entry || !entry->getTableName() || std::strcmp(entry->getTableName(), "LAYER") != 0)
                continue;
            auto* layerEntry = static_cast<dimeLayerTable*>(entry);
            const QString name = m_text->decode(layerEntry->getLayerName());
            if (name.isEmpty()) continue;
            // The entry itself holds the state: a negative colour means off, flag 1 frozen, 4 locked.
            const int color = layerEntry->getColorNumber();
            const int flags = int(recordNumber(layerEntry, 70, 0));
            OdDbObjectId id = table->getAt(zalStrings::toOdString(name));
            OdDbLayerTableRecordPtr layer;
            if (id.isNull()) {
                layer = OdDbLayerTableRecord::createObject();
                layer->setName(zalStrings::toOdString(name));
                m_db->setNextHandle(OdDbHandle(
                    zalStrings::toOdString(QString::fromLatin1(recordText(layerEntry, 5).trimmed()))));
                id = table->add(layer.get());
                m_db->setNextHandle(OdDbHandle());
                ++m_result.layers;
            } else {
                layer = id.safeOpenObject(OdDb::kForWrite);
            }
            layer->setIsOff(color < 0);
            layer->setIsFrozen((flags & 1) != 0);
            layer->setIsLocked((flags & 4) != 0);
            OdCmColor layerColor;
            double rgb = 0;
            if (!(recordValue(layerEntry, 420, rgb) && setTrueColor(layerColor, rgb)))
                layerColor.setColorIndex(OdUInt16(color == 0 ? 7 : std::abs(color)));
            layer->setColor(layerColor);
            const QByteArray material = recordText(layerEntry, 347);
            if (!material.isEmpty() && m_materials) {
                const OdDbObjectId mid = m_materials->byHandle(material);
                if (!mid.isNull()) layer->setMaterialId(mid);
            }
            m_layers.insert(name.toUpper(), id);
        }
    }
}

void zalDxfImporter::importBlocks(dimeModel& model)
{
    auto* blocks = static_cast<dimeBlocksSection*>(model.findSection("BLOCKS"));
    if (!blocks) return;
    OdDbBlockTablePtr table = m_db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    // All records first: an INSERT may name a block defined after the one that holds it.
    QList<QPair<dimeBlock*, OdDbObjectId>> filled;
    for (int b = 0; b < blocks->getNumBlocks(); ++b) {
        dimeBlock* block = blocks->getBlock(b);
        const QString name = m_text->decode(block->getName());
        if (name.isEmpty() || isModelOrPaperSpace(name) || m_blocks.contains(name.toUpper())) continue;
        OdDbBlockTableRecordPtr record = OdDbBlockTableRecord::createObject();
        record->setName(zalStrings::toOdString(name));
        record->setOrigin(point(block->getBasePoint()));
        m_db->setNextHandle(
            OdDbHandle(zalStrings::toOdString(QString::fromLatin1(recordText(block, 5).trimmed()))));
        const OdDbObjectId id = table->add(record.get());
        m_db->setNextHandle(OdDbHandle());
        m_blocks.insert(name.toUpper(), id);
        filled.append(qMakePair(block, id));
        ++m_result.blocks;
    }
    for (const auto& pair : filled) {
        OdDbBlockTableRecordPtr record = pair.second.safeOpenObject(OdDb::kForWrite);
        for (int i = 0; i < pair.first->getNumEntities(); ++i)
            if (!importEntity(pair.first->getEntity(i), record.get())) ++m_result.skipped;
    }
}

void zalDxfImporter::applyCommon(dimeEntity* entity, OdDbEntity* target)
{
    target->setLayer(layerId(entity->getLayerName()), false);
    OdCmColor color;
    double rgb = 0;
    const int aci = entity->getColorNumber();
    // A true colour wins over the colour number.
    if (!(recordValue(entity, 420, rgb) && setTrueColor(color, rgb))) {
        if (aci == 256)
            color.setColorMethod(OdCmEntityColor::kByLayer);
        else if (aci == 0)
            color.setColorMethod(OdCmEntityColor::kByBlock);
        else
            color.setColorIndex(OdUInt16(std::abs(aci)));
    }
    target->setColor(color, false);
    if (recordNumber(entity, 60, 0) == 1) target->setVisibility(OdDb::kInvisible, false);
    const QByteArray material = recordText(entity, 347);
    if (!material.isEmpty() && m_materials) {
        const OdDbObjectId id = m_materials->byHandle(material);
        if (!id.isNull()) target->setMaterial(id, false);
    }
}

// One maker per DXF entity name: each turns its entity's groups into the database's counterpart, or
// answers null to leave the entity out. They keep the importer's counters and read its text decoder,
// blocks and database.
struct zalDxfEntityMakers
{
    using Maker = OdDbEntityPtr (*)(zalDxfImporter&, dimeEntity*);
    static OdDbEntityPtr face(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr polyline(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr line(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr circle(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr arc(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr lightweightPolyline(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr text(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr multilineText(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr insert(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr subdivisionMesh(zalDxfImporter& self, dimeEntity* e);
    static OdDbEntityPtr light(zalDxfImporter& self, dimeEntity* e);
    // Entities of the module's and sibling libraries' classes, from their filer record alone.
    static OdDbEntityPtr custom(zalDxfImporter& self, dimeEntity* e, std::string& customRecord);

    struct Kind
    {
        Maker make = nullptr;
        // The class every entity of the kind becomes, when it is always the same; its filer record is
        // then read first, and the groups only when there is none or it does not read.
        OdRxClass* (*recordClass)() = nullptr;
    };

    // A kind without maker for a name without one of its own.
    static Kind find(const char* name)
    {
        const auto& byName = all();
        auto it = byName.find(name);
        return it == byName.end() ? Kind() : it->second;
    }
    static const std::unordered_map<std::string, Kind>& all()
    {
        static const std::unordered_map<std::string, Kind> byName = {
            {"3DFACE", {&zalDxfEntityMakers::face, &OdDbFace::desc}},
            {"POLYLINE", {&zalDxfEntityMakers::polyline, nullptr}},
            {"LINE", {&zalDxfEntityMakers::line, &OdDbLine::desc}},
            {"CIRCLE", {&zalDxfEntityMakers::circle, &OdDbCircle::desc}},
            {"ARC", {&zalDxfEntityMakers::arc, &OdDbArc::desc}},
            {"LWPOLYLINE", {&zalDxfEntityMakers::lightweightPolyline, nullptr}},
            {"TEXT", {&zalDxfEntityMakers::text, &OdDbText::desc}},
            {"MTEXT", {&zalDxfEntityMakers::multilineText, &OdDbText::desc}},
            // A reference keeps the block its name gives, whatever its record says: groups first.
            {"INSERT", {&zalDxfEntityMakers::insert, nullptr}},
            {"MESH", {&zalDxfEntityMakers::subdivisionMesh, &OdDbSubDMesh::desc}},
            {"LIGHT", {&zalDxfEntityMakers::light, &OdDbLight::desc}},
        };
        return byName;
    }
};

namespace {

std::vector<std::string> kindsBuiltFromRecords()
{
    std::vector<std::string> names;
    for (const auto& kind : zalDxfEntityMakers::all())
        if (kind.second.recordClass) names.push_back(kind.first);
    return names;
}

} // namespace

OdDbEntityPtr zalDxfEntityMakers::face(zalDxfImporter&, dimeEntity* e)
{
    auto* face = static_cast<dime3DFace*>(e);
    OdDbFacePtr f = OdDbFace::createObject();
    dimeVec3f v[4];
    face->getVertices(v[0], v[1], v[2], v[3]);
    for (int i = 0; i < 4; ++i)
        f->setVertexAt(OdUInt16(i), point(v[i]));
    const int hidden = face->getFlags();
    for (int i = 0; i < 4; ++i)
        if (hidden & (1 << i)) f->makeEdgeInvisibleAt(OdUInt16(i));
    return f;
}

OdDbEntityPtr zalDxfEntityMakers::polyline(zalDxfImporter&, dimeEntity* e)
{
    auto* pl = static_cast<dimePolyline*>(e);
    const int flags = int(recordNumber(pl, 70, 0));
    if (flags & dimePolyline::IS_POLYFACE_MESH) {
        OdDbPolyFaceMeshPtr mesh = OdDbPolyFaceMesh::createObject();
        const int count = pl->getNumCoordVertices();
        for (int i = 0; i < count; ++i)
            mesh->appendVertex(point(pl->getCoordVertex(i)->getCoords()));
        for (int i = 0; i < pl->getNumIndexVertices(); ++i) {
            dimeVertex* v = pl->getIndexVertex(i);
            // Each of the four indices read as it is: libdime's own count stops at a quad's third
            // index. Negative marks an invisible edge, 0 an unused corner.
            int idx[4];
            int used = 0;
            for (int k = 0; k < 4; ++k) {
                idx[k] = std::abs(v->getIndex(k));
                if (idx[k] > count) idx[k] = 0;
                if (idx[k] > 0) ++used;
            }
            if (used < 3 || idx[0] == 0 || idx[1] == 0 || idx[2] == 0) continue;
            mesh->appendFace(idx[0] - 1, idx[1] - 1, idx[2] - 1, idx[3] > 0 ? idx[3] - 1 : -1);
        }
        return mesh;
    } else if (flags & dimePolyline::IS_POLYMESH_3D) {
        const int m = int(recordNumber(pl, 71, 0));
        const int n = int(recordNumber(pl, 72, 0));
        OdArray<OdGePoint3d> points;
        for (int i = 0; i < pl->getNumCoordVertices(); ++i)
            points.append(point(pl->getCoordVertex(i)->getCoords()));
        OdDbPolygonMeshPtr mesh = OdDbPolygonMesh::createObject();
        if (m < 2 || n < 2 || points.size() != unsigned(m * n) ||
            mesh->setMesh(OdInt16(m), OdInt16(n), points) != eOk)
            return OdDbEntityPtr();
        if (flags & dimePolyline::POLYMESH_CLOSED_M) mesh->makeMClosed();
        if (flags & dimePolyline::POLYMESH_CLOSED_N) mesh->makeNClosed();
        return mesh;
    } else {
        OdDb3dPolylinePtr poly = OdDb3dPolyline::createObject();
        const bool is3d = (flags & dimePolyline::IS_POLYLINE_3D) != 0;
        const OdGeVector3d normal = is3d ? OdGeVector3d::kZAxis : extrusionOf(pl);
        const double elevation = recordNumber(pl, 30, 0.0);
        for (int i = 0; i < pl->getNumCoordVertices(); ++i) {
            OdGePoint3d p = point(pl->getCoordVertex(i)->getCoords());
            if (!is3d) p.z = elevation;
            poly->appendVertex(is3d ? p : ocsToWcs(p, normal));
        }
        poly->setClosed((flags & dimePolyline::CLOSED) != 0);
        return poly;
    }
}

OdDbEntityPtr zalDxfEntityMakers::line(zalDxfImporter&, dimeEntity* e)
{
    auto* line = static_cast<dimeLine*>(e);
    OdDbLinePtr l = OdDbLine::createObject();
    l->setStartPoint(point(line->getCoords(0)));
    l->setEndPoint(point(line->getCoords(1)));
    return l;
}

OdDbEntityPtr zalDxfEntityMakers::circle(zalDxfImporter&, dimeEntity* e)
{
    auto* circle = static_cast<dimeCircle*>(e);
    const OdGeVector3d normal = extrusionOf(circle);
    OdDbCirclePtr c = OdDbCircle::createObject();
    c->setCenter(ocsToWcs(point(circle->getCenter()), normal));
    c->setRadius(circle->getRadius());
    c->setNormal(normal);
    return c;
}

OdDbEntityPtr zalDxfEntityMakers::arc(zalDxfImporter&, dimeEntity* e)
{
    auto* arc = static_cast<dimeArc*>(e);
    const OdGeVector3d normal = extrusionOf(arc);
    dimeVec3f center;
    arc->getCenter(center);
    OdDbArcPtr a = OdDbArc::createObject();
    a->setCenter(ocsToWcs(point(center), normal));
    a->setRadius(arc->getRadius());
    a->setNormal(normal);
    a->setStartAngle(OdaToRadian(arc->getStartAngle()));
    a->setEndAngle(OdaToRadian(arc->getEndAngle()));
    return a;
}

OdDbEntityPtr zalDxfEntityMakers::lightweightPolyline(zalDxfImporter&, dimeEntity* e)
{
    auto* lw = static_cast<dimeLWPolyline*>(e);
    const OdGeVector3d normal = extrusionOf(lw);
    const bool closed = (lw->getFlags() & 1) != 0;
    const dxfdouble* xs = lw->getXCoords();
    const dxfdouble* ys = lw->getYCoords();
    // libdime takes the count from group 90 and makes the arrays at the first vertex: a polyline
    // that declares vertices without carrying any has a count and no arrays.
    const int count = xs && ys ? lw->getNumVertices() : 0;
    if (count <= 0) return OdDbEntityPtr();
    if (normal == OdGeVector3d::kZAxis) {
        OdDbPolylinePtr p = OdDbPolyline::createObject();
        for (int i = 0; i < count; ++i)
            p->addVertexAt(unsigned(i), OdGePoint2d(xs[i], ys[i]));
        p->setElevation(lw->getElevation());
        p->setClosed(closed);
        return p;
    } else {
        OdDb3dPolylinePtr p = OdDb3dPolyline::createObject();
        for (int i = 0; i < count; ++i)
            p->appendVertex(ocsToWcs(OdGePoint3d(xs[i], ys[i], lw->getElevation()), normal));
        p->setClosed(closed);
        return p;
    }
}

OdDbEntityPtr zalDxfEntityMakers::text(zalDxfImporter& self, dimeEntity* e)
{
    auto* text = static_cast<dimeText*>(e);
    const OdGeVector3d normal = extrusionOf(text);
    dimeVec3f origin;
    text->getOrigin(origin);
    OdDbTextPtr t = OdDbText::createObject();
    t->setPosition(ocsToWcs(point(origin), normal));
    t->setHeight(text->getHeight());
    t->setRotation(OdaToRadian(text->getRotation()));
    t->setNormal(normal);
    t->setTextString(zalStrings::toOdString(self.m_text->decode(text->getTextString())));
    return t;
}

OdDbEntityPtr zalDxfEntityMakers::multilineText(zalDxfImporter& self, dimeEntity* e)
{
    // Kept as plain text: the chunks (3) before the last part (1), paragraph breaks as blanks.
    QByteArray raw;
    for (int i = 0;; ++i) {
        const QByteArray chunk = recordText(e, 3, i);
        if (chunk.isEmpty()) break;
        raw += chunk;
    }
    raw += recordText(e, 1);
    QString s = self.m_text->decode(raw.constData());
    s.replace(QLatin1String("\\P"), QLatin1String(" "));
    OdDbTextPtr t = OdDbText::createObject();
    t->setPosition(OdGePoint3d(recordNumber(e, 10, 0), recordNumber(e, 20, 0), recordNumber(e, 30, 0)));
    t->setHeight(recordNumber(e, 40, 1.0));
    t->setRotation(OdaToRadian(recordNumber(e, 50, 0.0)));
    t->setNormal(extrusionOf(e));
    t->setTextString(zalStrings::toOdString(s));
    return t;
}

OdDbEntityPtr zalDxfEntityMakers::insert(zalDxfImporter& self, dimeEntity* e)
{
    auto* insert = static_cast<dimeInsert*>(e);
    QString blockName;
    if (insert->getBlock()) blockName = self.m_text->decode(insert->getBlock()->getName());
    if (blockName.isEmpty()) blockName = self.m_text->decode(recordText(insert, 2).constData());
    const OdDbObjectId blockId = self.m_blocks.value(blockName.toUpper());
    if (blockId.isNull()) return OdDbEntityPtr();
    const OdGeVector3d normal = extrusionOf(insert);
    // The insertion point is in the plane of the extrusion; the reference keeps it in world
    // coordinates and applies the same plane itself.
    const OdGePoint3d ocs(recordNumber(insert, 10, 0), recordNumber(insert, 20, 0),
                          recordNumber(insert, 30, 0));
    OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
    ref->setBlockTableRecord(blockId);
    ref->setNormal(normal);
    ref->setPosition(ocsToWcs(ocs, normal));
    ref->setScaleFactors(OdGeScale3d(recordNumber(insert, 41, 1.0), recordNumber(insert, 42, 1.0),
                                     recordNumber(insert, 43, 1.0)));
    ref->setRotation(OdaToRadian(recordNumber(insert, 50, 0.0)));
    ++self.m_result.references;
    return ref;
}

OdDbEntityPtr zalDxfEntityMakers::subdivisionMesh(zalDxfImporter&, dimeEntity* e)
{
    // A subdivision mesh from its groups, in order: 92 vertex count, the vertices, 93 face list
    // size, the face list (90 each); edges and creases follow and are not needed.
    OdArray<OdGePoint3d> vertices;
    OdArray<OdInt32> faces;
    int level = 0;
    int vertexCount = -1;
    int faceListSize = -1;
    int state = 0; // 1: reading vertices, 2: reading the face list
    OdGePoint3d current;
    const int n = e->getNumRecordsInRecordHolder();
    for (int i = 0; i < n; ++i) {
        const dimeRecord* r = e->getRecordInRecordHolder(i);
        const int code = r->getGroupCode();
        const double v = paramNumber(r);
        if (code == 91 && state == 0)
            level = int(v);
        else if (code == 92 && state == 0) {
            vertexCount = int(v);
            state = 1;
        } else if (state == 1 && code == 10)
            current.x = v;
        else if (state == 1 && code == 20)
            current.y = v;
        else if (state == 1 && code == 30) {
            current.z = v;
            vertices.append(current);
        } else if (code == 93 && state <= 1) {
            faceListSize = int(v);
            state = 2;
        } else if (state == 2 && code == 90 && int(faces.size()) < faceListSize)
            faces.append(OdInt32(v));
        else if (state == 2 && int(faces.size()) >= faceListSize)
            break;
    }
    if (vertexCount < 0 || int(vertices.size()) != vertexCount || faceListSize < 0 ||
        int(faces.size()) != faceListSize)
        return OdDbEntityPtr();
    OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
    if (mesh->setSubDMesh(vertices, faces, level) != eOk) return OdDbEntityPtr();
    return mesh;
}

OdDbEntityPtr zalDxfEntityMakers::light(zalDxfImporter& self, dimeEntity* e)
{
    OdDbLightPtr light = OdDbLight::createObject();
    light->setName(zalStrings::toOdString(self.m_text->decode(recordText(e, 1).constData())));
    switch (int(recordNumber(e, 70, 2))) {
    case 1:
        light->setLightType(OdGiDrawable::kDistantLight);
        break;
    case 3:
        light->setLightType(OdGiDrawable::kSpotLight);
        break;
    default:
        light->setLightType(OdGiDrawable::kPointLight);
        break;
    }
    light->setOn(recordNumber(e, 290, 1) != 0);
    light->setIntensity(recordNumber(e, 40, 1.0));
    const OdGePoint3d position(recordNumber(e, 10, 0), recordNumber(e, 20, 0), recordNumber(e, 30, 0));
    const OdGePoint3d target(recordNumber(e, 11, 0), recordNumber(e, 21, 0), recordNumber(e, 31, 0));
    light->setPosition(position);
    light->setTargetLocation(target);
    if (light->lightType() == OdGiDrawable::kDistantLight && !(target - position).isZeroLength())
        light->setLightDirection(target - position);
    light->setHotspotAndFalloff(OdaToRadian(recordNumber(e, 50, 45.0)),
                                OdaToRadian(recordNumber(e, 51, 50.0)));
    OdCmColor color;
    double raw = 0;
    if (!recordValue(e, 421, raw) || !setTrueColor(color, raw))
        color.setColorIndex(OdUInt16(std::abs(int(recordNumber(e, 63, 7)))));
    light->setLightColor(color);
    ++self.m_result.lights;
    return light;
}

OdDbEntityPtr zalDxfEntityMakers::custom(zalDxfImporter& self, dimeEntity* e, std::string& customRecord)
{
    OdRxClass* cls = entityClassOf(e);
    std::string record = recordBytes(e, self.m_apart);
    if (!cls || record.empty()) {
        if (!record.empty()) ++self.m_result.deferred;
        return OdDbEntityPtr();
    }
    OdDbEntityPtr custom = OdDbEntity::cast(cls->create());
    if (custom.isNull() || !zalDxfMaterials::readBytes(record, self.m_db, custom.get()))
        return OdDbEntityPtr();
    customRecord = std::move(record);
    return custom;
}

bool zalDxfImporter::importEntity(dimeEntity* e, OdDbBlockTableRecord* owner)
{
    if (!e || e->isDeleted()) return false;
    const char* kind = e->getEntityName();
    if (!kind) return false;
    std::string customRecord;
    const zalDxfEntityMakers::Kind kindOf = zalDxfEntityMakers::find(kind);
    OdDbEntityPtr made;
    std::string record;
    bool recordRead = false;
    if (kindOf.make && kindOf.recordClass) {
        // The filer record, when the host wrote one, holds what the groups cannot (a light's shadows, a
        // mesh's normals and face materials); one of another class or a damaged one is ignored.
        record = recordBytes(e, m_apart);
        if (!record.empty()) {
            made = OdDbEntity::cast(kindOf.recordClass()->create());
            recordRead = !made.isNull() && zalDxfMaterials::readBytes(record, m_db, made.get());
            if (!recordRead)
                made = nullptr;
            else if (dynamic_cast<OdDbLight*>(made.get()))
                ++m_result.lights;
        }
    }
    // A stub whose record did not read is read again whole: its groups build it.
    std::unique_ptr<dimeModel> wholeModel;
    if (made.isNull() && kindOf.recordClass)
        if (dimeEntity* whole = wholeEntityOf(e, wholeModel)) e = whole;
    if (made.isNull())
        made = kindOf.make ? kindOf.make(*this, e) : zalDxfEntityMakers::custom(*this, e, customRecord);
    if (made.isNull()) return false;

    if (!recordRead && !kindOf.recordClass && made->isA()->name().find(L"zal") != 0) {
        if (record.empty()) record = recordBytes(e, m_apart);
        if (!record.empty()) {
            OdDbEntityPtr exact = OdDbEntity::cast(made->isA()->create());
            if (!exact.isNull() && zalDxfMaterials::readBytes(record, m_db, exact.get())) {
                // A reference must keep the block its name gives, whatever the record's handle says.
                auto* a = dynamic_cast<OdDbBlockReference*>(made.get());
                auto* b = dynamic_cast<OdDbBlockReference*>(exact.get());
                if (!a || a->blockTableRecord() == b->blockTableRecord()) made = exact;
            }
        }
    }

    applyCommon(e, made.get());
    if (!isFinite(made.get())) {
        m_result.warnings << QStringLiteral(
                                 "%1 (handle %2) has coordinates beyond ±1e15 or not finite: left out")
                                 .arg(QString::fromLatin1(kind))
                                 .arg(QString::fromLatin1(recordText(e, 5).trimmed()));
        return false;
    }
    // The file's handle is kept (when the database has it free), so ids stay valid across sessions.
    const OdDbHandle handle(zalStrings::toOdString(QString::fromLatin1(recordText(e, 5).trimmed())));
    // An entity owned by another entity (an XBlock's instance) follows its owner and goes to it, not
    // to a block. The owner's record, read before this one existed, is read again at the end.
    const OdDbObjectId ownerEntity = entityOwnerOf(e);
    if (!ownerEntity.isNull()) {
        if (made->materialId().isNull()) made->setMaterial(m_db->byLayerMaterialId(), false);
        m_db->addOdDbObject(made.get(), ownerEntity, handle);
        if (!m_owners.contains(ownerEntity)) m_owners.append(ownerEntity);
    } else {
        m_db->setNextHandle(handle);
        owner->appendOdDbEntity(made.get());
        m_db->setNextHandle(OdDbHandle());
    }
    if (!customRecord.empty())
        m_customRecords[OdUInt64(made->objectId().getHandle())] = std::move(customRecord);
    ++m_result.entities;
    return true;
}

dimeEntity* zalDxfImporter::wholeEntityOf(dimeEntity* stub, std::unique_ptr<dimeModel>& holder) const
{
    dimeParam p;
    if (!m_apart || !stub->getRecord(5, p) || !p.string_data) return nullptr;
    char* end = nullptr;
    const quint64 handle = std::strtoull(p.string_data, &end, 16);
    if (end == p.string_data || !m_apart->isStub(handle)) return nullptr;
    QByteArray text = "  0\nSECTION\n  2\nENTITIES\n" + m_apart->entityText(handle);
    if (!text.endsWith('\n')) text += '\n';
    text += "  0\nENDSEC\n  0\nEOF\n";
    std::unique_ptr<FILE, int (*)(FILE*)> memory(fmemopen(text.data(), size_t(text.size()), "rb"),
                                                 &std::fclose);
    dimeInput input;
    if (!memory || !input.setFileHandle(memory.get())) return nullptr;
    holder.reset(new dimeModel(true));
    if (!holder->read(&input)) return nullptr;
    auto* section = static_cast<dimeEntitiesSection*>(holder->findSection("ENTITIES"));
    return section && section->getNumEntities() == 1 ? section->getEntity(0) : nullptr;
}

OdDbObjectId zalDxfImporter::entityOwnerOf(dimeEntity* e) const
{
    // Other writers name the entity's block record here: only an entity as owner counts.
    const QByteArray owner = recordText(e, 330).trimmed();
    if (owner.isEmpty()) return OdDbObjectId();
    const OdDbObjectId id =
        m_db->getOdDbObjectId(OdDbHandle(zalStrings::toOdString(QString::fromLatin1(owner))));
    if (id.isNull()) return id;
    OdDbObjectPtr object = id.openObject();
    return dynamic_cast<OdDbEntity*>(object.get()) ? id : OdDbObjectId();
}

void zalDxfImporter::resolveOwnedEntities()
{
    for (const OdDbObjectId& id : m_owners) {
        const auto record = m_customRecords.find(OdUInt64(id.getHandle()));
        if (record == m_customRecords.end() || record->second.empty()) continue;
        OdDbEntityPtr owner = id.safeOpenObject(OdDb::kForWrite);
        const OdDbObjectId block = owner->ownerId();
        zalDxfMaterials::readBytes(record->second, m_db, owner.get());
        owner->setOwnerId(block);
    }
}

bool zalDxfImporter::isFinite(OdDbEntity* entity) const
{
    const auto ok = [](const OdGePoint3d& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
               std::fabs(p.x) <= kCoordinateLimit && std::fabs(p.y) <= kCoordinateLimit &&
               std::fabs(p.z) <= kCoordinateLimit;
    };
    if (auto* ref = dynamic_cast<OdDbBlockReference*>(entity)) {
        const OdGeScale3d s = ref->scaleFactors();
        return ok(ref->position()) && ok(OdGePoint3d(s.sx, s.sy, s.sz)) && std::isfinite(ref->rotation());
    }
    OdGeExtents3d extents;
    if (entity->getGeomExtents(extents) != eOk) return true;
    return ok(extents.minPoint()) && ok(extents.maxPoint());
}

void zalDxfImporter::importHeader(const zalDxfGroupReader& groups)
{
    // Handles the file uses stay free for its own objects.
    // (The header's own $HANDSEED is a group 5 too: it is the next free handle, not a used one.)
    OdUInt64 next = std::max<OdUInt64>(1, groups.largestHandle() + 1);
    const auto seed = groups.headerVariable("$HANDSEED");
    if (!seed.isEmpty())
        next = std::max<OdUInt64>(next, seed.first().value.trimmed().toULongLong(nullptr, 16));
    m_db->setHandseed(OdDbHandle(next));

    const auto number = [&groups](const char* variable, int& value) {
        const auto v = groups.headerVariable(variable);
        bool ok = false;
        if (!v.isEmpty()) value = v.first().value.trimmed().toInt(&ok);
        return ok;
    };
    int v = 0;
    if (number("$LUNITS", v) && v >= 1 && v <= 6) m_db->setLUNITS(OdInt16(v));
    if (number("$LUPREC", v) && v >= 0 && v <= 8) m_db->setLUPREC(OdInt16(v));
    if (number("$AUNITS", v) && v >= 0 && v <= 4) m_db->setAUNITS(OdInt16(v));
    if (number("$AUPREC", v) && v >= 0 && v <= 8) m_db->setAUPREC(OdInt16(v));
    if (number("$MEASUREMENT", v) && (v == 0 || v == 1)) m_db->setMEASUREMENT(OdDb::MeasurementValue(v));
}

void zalDxfImporter::importViewports(const zalDxfGroupReader& groups)
{
    int begin = 0, end = 0;
    groups.sectionRange("TABLES", begin, end);
    if (begin < 0 || end < 0) return;
    const auto& g = groups.groups();
    for (int i = begin; i < end; ++i) {
        if (g[i].code != 0 || g[i].value.trimmed() != "VPORT") continue;
        QByteArray name, record;
        int j = i + 1;
        for (; j < end && g[j].code != 0; ++j) {
            if (g[j].code == 2) name = g[j].value.trimmed();
            if (g[j].code == 310) record += g[j].value.trimmed();
        }
        i = j - 1;
        if (name.compare("*Active", Qt::CaseInsensitive) != 0 || record.isEmpty()) continue;
        // The active view as the host saved it; the record keeps the database's own owner and name.
        OdDbViewportTableRecordPtr vp = m_db->activeViewportId().safeOpenObject(OdDb::kForWrite);
        OdDbViewportTableRecordPtr read = OdDbViewportTableRecord::createObject();
        if (!zalDxfMaterials::readRecord(record, m_db, read.get())) continue;
        vp->setCenterPoint(read->centerPoint());
        vp->setHeight(read->height());
        vp->setWidth(read->width());
        vp->setTarget(read->target());
        vp->setViewDirection(read->viewDirection());
        vp->setViewTwist(read->viewTwist());
        vp->setLensLength(read->lensLength());
        vp->setPerspectiveEnabled(read->perspectiveEnabled());
        vp->setLowerLeftCorner(read->lowerLeftCorner());
        vp->setUpperRightCorner(read->upperRightCorner());
    }
}

bool zalDxfImporter::checkNesting(dimeModel& model, QString* message) const
{
    // Checked on the file's blocks before any is made, so a hostile file costs no database work.
    // Which blocks each block inserts, then a walk without recursion (a 100,000-deep chain would
    // overflow the stack): state 1 on the current path, 2 done with its depth known.
    auto* section = static_cast<dimeBlocksSection*>(model.findSection("BLOCKS"));
    if (!section) return true;
    QHash<QString, int> index;
    QStringList names;
    for (int b = 0; b < section->getNumBlocks(); ++b) {
        const QString name = m_text->decode(section->getBlock(b)->getName());
        if (name.isEmpty() || index.contains(name.toUpper())) continue;
        index.insert(name.toUpper(), names.size());
        names << name;
    }
    std::vector<std::vector<int>> children(size_t(names.size()));
    for (int b = 0; b < section->getNumBlocks(); ++b) {
        dimeBlock* block = section->getBlock(b);
        const int from = index.value(m_text->decode(block->getName()).toUpper(), -1);
        if (from < 0) continue;
        for (int i = 0; i < block->getNumEntities(); ++i) {
            dimeEntity* e = block->getEntity(i);
            if (!e || !e->getEntityName() || std::strcmp(e->getEntityName(), "INSERT") != 0) continue;
            auto* insert = static_cast<dimeInsert*>(e);
            QString inner;
            if (insert->getBlock()) inner = m_text->decode(insert->getBlock()->getName());
            if (inner.isEmpty()) inner = m_text->decode(recordText(insert, 2).constData());
            const int to = index.value(inner.toUpper(), -1);
            if (to >= 0) children[size_t(from)].push_back(to);
        }
    }
    std::vector<char> state(size_t(names.size()), 0);
    std::vector<int> depth(size_t(names.size()), 0);
    struct Frame
    {
        int block;
        size_t next;
    };
    for (int root = 0; root < names.size(); ++root) {
        if (state[size_t(root)]) continue;
        std::vector<Frame> path{{root, 0}};
        state[size_t(root)] = 1;
        while (!path.empty()) {
            Frame& top = path.back();
            const std::vector<int>& kids = children[size_t(top.block)];
            if (top.next < kids.size()) {
                const int child = kids[top.next++];
                if (state[size_t(child)] == 1) {
                    if (message)
                        *message = child == top.block
                                       ? QStringLiteral("block \"%1\" inserts itself").arg(names[child])
                                       : QStringLiteral("block \"%1\" inserts itself through block \"%2\"")
                                             .arg(names[child], names[top.block]);
                    return false;
                }
                if (state[size_t(child)] == 0) {
                    state[size_t(child)] = 1;
                    path.push_back({child, 0});
                }
                continue;
            }
            int d = 1;
            for (int k : kids)
                d = std::max(d, depth[size_t(k)] + 1);
            if (d > kMaxNesting) {
                if (message)
                    *message = QStringLiteral("block \"%1\" nests blocks deeper than %2 levels")
                                   .arg(names[top.block])
                                   .arg(kMaxNesting);
                return false;
            }
            depth[size_t(top.block)] = d;
            state[size_t(top.block)] = 2;
            path.pop_back();
        }
    }
    return true;
}
