// Save and read back: a drawing written by zalDxfWriter and imported again holds the same objects
// under the same handles with the same filed fields (compared record by record), the physical
// material descriptions answer the same, and hostile drawings are refused or cleaned with a message.
#include "zalImportTestSupport.h"

#include "zalDbXBlock.h"
#include "zalDrawingImporter.h"
#include "zalDxfImporter.h"
#include "zalDxfWriter.h"
#include "zalHostPhysicsMaterial.h"
#include "zalHostPhysicsMaterials.h"

#include "Db3dPolyline.h"
#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbDictionary.h"
#include "DbDictionaryIterator.h"
#include "DbDwgMemoryFiler.h"
#include "DbFace.h"
#include "DbFiler.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbLine.h"
#include "DbMaterial.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbSubDMesh.h"
#include "DbSymbolTableIterator.h"
#include "DbText.h"
#include "DbViewportTableRecord.h"
#include "RxObjectImpl.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zalImportTest;

// An entity of a class the host does not know, as the module's own are: only its filer record can
// carry it through a file.
class zalRoundTripProbe : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalRoundTripProbe);
    double value = 0.0;
    OdString label;
    OdDbObjectId material;
    OdResult dwgInFields(OdDbDwgFiler* filer) override
    {
        const OdResult res = OdDbEntity::dwgInFields(filer);
        if (res != eOk) return res;
        if (filer->rdInt16() != 1) return eInvalidInput;
        value = filer->rdDouble();
        label = filer->rdString();
        material = filer->rdHardPointerId();
        return eOk;
    }
    void dwgOutFields(OdDbDwgFiler* filer) const override
    {
        OdDbEntity::dwgOutFields(filer);
        filer->wrInt16(1);
        filer->wrDouble(value);
        filer->wrString(label);
        filer->wrHardPointerId(material);
    }
};
ODRX_DEFINE_MEMBERS_EX(zalRoundTripProbe, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0,
                       OdString(L"ZALROUNDTRIPPROBE"), OdString(L"test"), OdString(L"zalRoundTripProbe"))

// An entity whose record leaves out the common fields, as the water fountain's fixed record does:
// its layer, colour and material can only travel in the entity's DXF groups.
class zalOwnRecordProbe : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalOwnRecordProbe);
    double value = 0.0;
    OdResult dwgInFields(OdDbDwgFiler* filer) override
    {
        assertWriteEnabled();
        if (filer->rdInt16() != 2) return eInvalidInput;
        value = filer->rdDouble();
        return eOk;
    }
    void dwgOutFields(OdDbDwgFiler* filer) const override
    {
        assertReadEnabled();
        filer->wrInt16(2);
        filer->wrDouble(value);
    }
};
ODRX_DEFINE_MEMBERS_EX(zalOwnRecordProbe, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0,
                       OdString(L"ZALOWNRECORDPROBE"), OdString(L"test"), OdString(L"zalOwnRecordProbe"))

namespace {

std::string recordOf(const OdDbObject* object)
{
    OdDbDwgMemoryFilerPtr filer(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    filer->setDatabase(object->database());
    object->dwgOutFields(filer.get());
    return filer->toBytes();
}

// Every object a drawing reaches (tables, records, entities of every block, materials), by handle,
// with its class and its filed fields.
std::map<OdUInt64, std::pair<std::string, std::string>> objectsOf(OdDbDatabase* db)
{
    std::map<OdUInt64, std::pair<std::string, std::string>> out;
    const auto take = [&out](const OdDbObjectId& id) {
        OdDbObjectPtr o = id.openObject();
        if (o.isNull()) return;
        out[OdUInt64(id.getHandle())] = {QString::fromStdString(o->isA()->name().toUtf8()).toStdString(),
                                         recordOf(o.get())};
    };
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    for (OdDbSymbolTableIteratorPtr it = blocks->newIterator(); !it->done(); it->step()) {
        take(it->getRecordId());
        OdDbBlockTableRecordPtr block = it->getRecord();
        for (OdDbObjectIteratorPtr e = block->newIterator(); !e->done(); e->step())
            take(e->objectId());
    }
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    for (OdDbSymbolTableIteratorPtr it = layers->newIterator(); !it->done(); it->step())
        take(it->getRecordId());
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
    for (OdDbDictionaryIteratorPtr it = materials->newIterator(); !it->done(); it->next())
        take(it->objectId());
    take(db->activeViewportId());
    return out;
}

// Where two records part: the item index and both items, for the failure message.
std::string firstDifference(const std::string& a, const std::string& b)
{
    OdDbDwgMemoryFilerPtr fa(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    OdDbDwgMemoryFilerPtr fb(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    if (!fa->fromBytes(a) || !fb->fromBytes(b)) return "unreadable record";
    for (OdUInt32 i = 0; i < std::min(fa->numItems(), fb->numItems()); ++i) {
        if (fa->itemTypeAt(i) != fb->itemTypeAt(i)) return "item " + std::to_string(i) + " of another kind";
        fa->seek(i);
        fb->seek(i);
        if (fa->itemTypeAt(i) == OdDbDwgMemoryFiler::kDouble) {
            const double x = fa->rdDouble(), y = fb->rdDouble();
            if (x != y)
                return "item " + std::to_string(i) + ": " + std::to_string(x) + " / " + std::to_string(y);
        } else if (fa->itemTypeAt(i) == OdDbDwgMemoryFiler::kInt16) {
            const int x = fa->rdInt16(), y = fb->rdInt16();
            if (x != y)
                return "item " + std::to_string(i) + ": " + std::to_string(x) + " / " + std::to_string(y);
        } else if (fa->itemTypeAt(i) == OdDbDwgMemoryFiler::kInt32) {
            const int x = fa->rdInt32(), y = fb->rdInt32();
            if (x != y)
                return "item " + std::to_string(i) + ": " + std::to_string(x) + " / " + std::to_string(y);
        } else if (fa->itemTypeAt(i) == OdDbDwgMemoryFiler::kBool) {
            const int x = fa->rdBool(), y = fb->rdBool();
            if (x != y)
                return "item " + std::to_string(i) + ": " + std::to_string(x) + " / " + std::to_string(y);
        }
    }
    return fa->numItems() != fb->numItems() ? "item counts differ" : "an id or text differs";
}

void expectSameObjects(OdDbDatabase* a, OdDbDatabase* b)
{
    const auto before = objectsOf(a);
    const auto after = objectsOf(b);
    EXPECT_EQ(before.size(), after.size());
    for (const auto& [handle, object] : before) {
        auto it = after.find(handle);
        if (it == after.end()) {
            ADD_FAILURE() << object.first << " with handle " << std::hex << handle << " is gone";
            continue;
        }
        EXPECT_EQ(it->second.first, object.first) << "handle " << std::hex << handle;
        EXPECT_TRUE(it->second.second == object.second)
            << object.first << " with handle " << std::hex << handle
            << " reads back with other fields: " << firstDifference(object.second, it->second.second);
    }
}

zalImportResult importInto(OdDbDatabase* db, const QString& path)
{
    zalDxfImporter importer(db);
    return importer.importFile(path);
}

OdDbObjectId addMaterial(OdDbDatabase* db, const char* name)
{
    OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbMaterialPtr m = OdDbMaterial::createObject();
    m->setName(OdString(name));
    m->setDescription(OdString(L"fired clay \u00e9"));
    OdCmEntityColor red(OdCmEntityColor::kByColor);
    red.setRGB(200, 40, 30);
    OdGiMaterialMap diffuseMap;
    diffuseMap.setSource(OdGiMaterialMap::kFile);
    diffuseMap.setSourceFileName(OdString(L"brick.png"));
    diffuseMap.setBlendFactor(0.75);
    diffuseMap.setScale(2.0, 3.0);
    diffuseMap.setOffset(0.25, 0.5);
    m->setDiffuse(OdGiMaterialColor(red), diffuseMap);
    m->setSpecular(OdGiMaterialColor(red), OdGiMaterialMap(), 0.7);
    OdGiMaterialMap bump;
    bump.setSource(OdGiMaterialMap::kFile);
    bump.setSourceFileName(OdString(L"brick_n.png"));
    m->setBump(bump);
    m->setOpacity(0.4, OdGiMaterialMap());
    m->setRefraction(1.4, OdGiMaterialMap());
    m->setReflectivity(0.3);
    m->setSelfIllumination(0.2);
    m->setTwoSided(true);
    return dictionary->setAt(OdString(name), m.get());
}

OdDbObjectId addBlock(OdDbDatabase* db, const char* name)
{
    OdDbBlockTablePtr table = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
    block->setName(OdString(name));
    block->setOrigin(OdGePoint3d(1, 2, 3));
    return table->add(block.get());
}

OdDbObjectId append(const OdDbObjectId& blockId, OdDbEntity* e)
{
    OdDbBlockTableRecordPtr block = blockId.safeOpenObject(OdDb::kForWrite);
    e->setDatabaseDefaults(block->database());
    return block->appendOdDbEntity(e);
}

// A drawing with one of everything the database holds.
OdDbDatabasePtr everything()
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    db->setINSUNITS(OdDb::kUnitsCentimeters);
    db->setLUNITS(2);
    db->setLUPREC(3);
    db->setAUPREC(2);
    const OdDbObjectId brick = addMaterial(db.get(), "Brick");

    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    OdDbLayerTableRecordPtr walls = OdDbLayerTableRecord::createObject();
    walls->setName(OdString(L"Walls"));
    OdCmColor teal;
    teal.setRGB(10, 128, 130);
    walls->setColor(teal);
    walls->setIsOff(true);
    walls->setIsLocked(true);
    walls->setMaterialId(brick);
    const OdDbObjectId wallsId = layers->add(walls.get());
    OdDbLayerTableRecordPtr frozen = OdDbLayerTableRecord::createObject();
    frozen->setName(OdString(L"Frozen"));
    frozen->setIsFrozen(true);
    layers->add(frozen.get());
    walls.release();
    frozen.release();
    layers.release();

    const OdDbObjectId inner = addBlock(db.get(), "INNER");
    const OdDbObjectId outer = addBlock(db.get(), "OUTER");
    OdDbPolyFaceMeshPtr pf = OdDbPolyFaceMesh::createObject();
    for (int i = 0; i < 4; ++i)
        pf->appendVertex(OdGePoint3d(i % 2, i / 2, 0.5 * i));
    pf->appendFace(0, 1, 3, 2);
    pf->appendFace(0, 1, 3, -1, brick);
    append(inner, pf.get());
    OdDbPolygonMeshPtr grid = OdDbPolygonMesh::createObject();
    OdArray<OdGePoint3d> points;
    for (int i = 0; i < 6; ++i)
        points.append(OdGePoint3d(i / 3, i % 3, 0.1 * i));
    grid->setMesh(2, 3, points);
    grid->makeNClosed();
    append(inner, grid.get());
    OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
    OdArray<OdGePoint3d> mv;
    mv.append(OdGePoint3d(0, 0, 0));
    mv.append(OdGePoint3d(2, 0, 0));
    mv.append(OdGePoint3d(0, 2, 0));
    mv.append(OdGePoint3d(0, 0, 2));
    OdArray<OdInt32> faces;
    for (OdInt32 v : {3, 0, 1, 2, 3, 0, 1, 3})
        faces.append(v);
    mesh->setSubDMesh(mv, faces, 1);
    mesh->setMaterial(brick);
    append(inner, mesh.get());
    OdDbBlockReferencePtr nested = OdDbBlockReference::createObject();
    nested->setBlockTableRecord(inner);
    nested->setPosition(OdGePoint3d(5, 0, 1));
    nested->setRotation(0.5);
    nested->setScaleFactors(OdGeScale3d(1, 2, 3));
    append(outer, nested.get());

    const OdDbObjectId ms = db->getModelSpaceId();
    OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
    ref->setBlockTableRecord(outer);
    ref->setNormal(OdGeVector3d(0, 1, 1).normal());
    ref->setPosition(OdGePoint3d(10, 20, 30));
    append(ms, ref.get());
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(0, OdGePoint3d(0, 0, 0));
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(1, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    face->makeEdgeInvisibleAt(2);
    append(ms, face.get());
    face->setLayer(wallsId);
    face->setColor(teal);
    OdDbLinePtr line = OdDbLine::createObject();
    line->setStartPoint(OdGePoint3d(0.1, 0.2, 0.3));
    line->setEndPoint(OdGePoint3d(1e6 / 3, -2.0 / 3, 7));
    append(ms, line.get());
    line->setVisibility(OdDb::kInvisible);
    OdDbTextPtr text = OdDbText::createObject();
    text->setTextString(OdString(L"Zo\u00eb"));
    text->setPosition(OdGePoint3d(1, 2, 3));
    text->setHeight(0.5);
    append(ms, text.get());
    OdDbLightPtr light = OdDbLight::createObject();
    light->setName(OdString(L"Lamp"));
    light->setLightType(OdGiDrawable::kSpotLight);
    light->setIntensity(2.5);
    light->setPhysicalIntensity(1500);
    light->setLampColorTemp(3200);
    light->setPosition(OdGePoint3d(1, 2, 3));
    light->setTargetLocation(OdGePoint3d(1, 2, 0));
    light->setHotspotAndFalloff(0.4, 0.6);
    OdGiShadowParameters shadow;
    shadow.setShadowsOn(false);
    shadow.setShadowSamples(32);
    light->setShadowParameters(shadow);
    light->setWebFile(OdString(L"lamp.ies"));
    append(ms, light.get());
    OdSmartPtr<zalRoundTripProbe> probe = zalRoundTripProbe::createObject();
    probe->value = 1.0 / 3.0;
    probe->label = OdString(L"fountain-like \u6c34");
    probe->material = brick;
    append(ms, probe.get());

    // An XBlock in the block that stands for it, showing its viewer representation by a reference it
    // owns (in no block), and one in model space with two instances.
    const OdDbObjectId oak = addBlock(db.get(), "XB_OAK");
    OdDbObjectId xblockId;
    for (const OdDbObjectId& where : {oak, ms}) {
        zalDbXBlockPtr xblock = zalDbXBlock::createObject();
        xblock->setSubObjectPath(4, OdString(L"Pak:Trees.pak:/Game/Trees/Oak"));
        xblock->setSubObjectPath(1, OdString(L"oak.dwg"));
        xblock->setLocalArchivePath(OdString(L"archive"));
        xblock->setScaleForRepr(4, 2.5);
        xblockId = append(where, xblock.get());
        for (int type : where == ms ? std::vector<int>{4, 1} : std::vector<int>{4}) {
            OdDbBlockReferencePtr instance = OdDbBlockReference::createObject();
            instance->setDatabaseDefaults(db.get());
            instance->setBlockTableRecord(inner);
            instance->setPosition(OdGePoint3d(7, 8, type));
            instance->setRotation(0.25 * type);
            xblock->setInstanceForRepresentation(type, db->addOdDbObject(instance.get(), xblockId));
        }
    }

    OdDbViewportTableRecordPtr vp = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
    vp->setCenterPoint(OdGePoint2d(3, 4));
    vp->setHeight(12.5);
    vp->setWidth(20);
    vp->setTarget(OdGePoint3d(1, 1, 1));
    vp->setViewDirection(OdGeVector3d(1, -1, 1));
    vp->setLensLength(35);
    vp->setPerspectiveEnabled(true);
    return db;
}

class DxfRoundTrip : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        zalRoundTripProbe::rxInit();
        zalOwnRecordProbe::rxInit();
    }
    static void TearDownTestSuite()
    {
        zalOwnRecordProbe::rxUninit();
        zalRoundTripProbe::rxUninit();
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(DxfRoundTrip, EveryObjectReadsBackUnderItsHandleWithTheSameFields)
{
    OdDbDatabasePtr db = everything();
    QString error;
    ASSERT_TRUE(zalDxfWriter::write(db.get(), path("all.dxf"), &error)) << error.toStdString();
    OdDbDatabasePtr back = OdDbDatabase::createObject();
    const zalImportResult result = importInto(back.get(), path("all.dxf"));
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.skipped, 0);
    expectSameObjects(db.get(), back.get());
    EXPECT_EQ(back->getINSUNITS(), OdDb::kUnitsCentimeters);
    EXPECT_EQ(back->getLUNITS(), 2);
    EXPECT_EQ(back->getLUPREC(), 3);
    EXPECT_EQ(back->getAUPREC(), 2);

    // A second save of what was read writes the same file: nothing drifts from one session to the next.
    ASSERT_TRUE(zalDxfWriter::write(back.get(), path("again.dxf"), &error));
    const QList<QByteArray> first = readFile(path("all.dxf")).split('\n');
    const QList<QByteArray> second = readFile(path("again.dxf")).split('\n');
    EXPECT_EQ(first.size(), second.size());
    for (int i = 0; i < std::min(first.size(), second.size()); ++i)
        if (first[i] != second[i]) {
            ADD_FAILURE() << "line " << i + 1 << ": " << first[i].left(80).toStdString() << " / "
                          << second[i].left(80).toStdString();
            break;
        }
}

TEST_F(DxfRoundTrip, XBlockInstancesReadBackOwnedByTheirXBlockUnderTheirHandles)
{
    OdDbDatabasePtr db = everything();
    ASSERT_TRUE(zalDxfWriter::write(db.get(), path("x.dxf")));
    OdDbDatabasePtr back = OdDbDatabase::createObject();
    const zalImportResult result = importInto(back.get(), path("x.dxf"));
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.skipped, 0);

    int xblocks = 0, instances = 0;
    db->visitEntities([&](const OdDbObjectId& id) {
        OdDbObjectPtr object = id.openObject();
        auto* xblock = dynamic_cast<zalDbXBlock*>(object.get());
        if (!xblock) return;
        ++xblocks;
        OdDbObjectPtr readObject = back->getOdDbObjectId(id.getHandle()).openObject();
        auto* read = dynamic_cast<zalDbXBlock*>(readObject.get());
        ASSERT_TRUE(read) << "XBlock " << std::hex << OdUInt64(id.getHandle()) << " is gone";
        for (int type : {1, 4}) {
            OdDbBlockReferencePtr a = xblock->getInstanceForRepresentation(type);
            OdDbBlockReferencePtr b = read->getInstanceForRepresentation(type);
            ASSERT_EQ(a.isNull(), b.isNull()) << "representation " << type;
            if (a.isNull()) continue;
            ++instances;
            EXPECT_EQ(OdUInt64(b->objectId().getHandle()), OdUInt64(a->objectId().getHandle()));
            EXPECT_EQ(b->ownerId(), read->objectId()) << "the XBlock owns its instance again";
            EXPECT_EQ(OdUInt64(b->blockTableRecord().getHandle()),
                      OdUInt64(a->blockTableRecord().getHandle()));
            EXPECT_EQ(b->position(), a->position());
            EXPECT_EQ(b->rotation(), a->rotation());
            EXPECT_TRUE(recordOf(b.get()) == recordOf(a.get()))
                << firstDifference(recordOf(a.get()), recordOf(b.get()));
        }
        EXPECT_TRUE(recordOf(read) == recordOf(xblock)) << firstDifference(recordOf(xblock), recordOf(read));
    });
    EXPECT_EQ(xblocks, 2);
    EXPECT_EQ(instances, 3);

    // The instances are in no block of the drawing read back: only their XBlock reaches them.
    back->visitEntities([&](const OdDbObjectId& id) {
        OdDbObjectPtr o = id.openObject();
        OdDbObjectPtr owner = o->ownerId().openObject();
        EXPECT_TRUE(dynamic_cast<OdDbBlockTableRecord*>(owner.get()))
            << o->isA()->name().toUtf8() << " " << std::hex << OdUInt64(id.getHandle()) << " is in no block";
    });
}

TEST_F(DxfRoundTrip, PhysicalMaterialDescriptionsAnswerTheSameAfterAReopen)
{
    OdDbDatabasePtr db = everything();
    ASSERT_TRUE(zalDxfWriter::write(db.get(), path("m.dxf")));
    OdDbDatabasePtr back = OdDbDatabase::createObject();
    ASSERT_TRUE(importInto(back.get(), path("m.dxf")).ok);
    zalHostPhysicsMaterials service(path("library"));
    int compared = 0;
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
    for (OdDbDictionaryIteratorPtr it = materials->newIterator(); !it->done(); it->next()) {
        const auto a = service.materialDescription(it->objectId());
        // Found again by handle: the file keeps it.
        const auto b = service.materialDescription(back->getOdDbObjectId(it->objectId().getHandle()));
        ASSERT_TRUE(a && b) << it->name().toUtf8();
        EXPECT_EQ(a->baseMaterial(), b->baseMaterial());
        EXPECT_EQ(a->textureMaterial(), b->textureMaterial());
        EXPECT_EQ(a->body(), b->body()) << it->name().toUtf8();
        EXPECT_EQ(a->lighting(), b->lighting());
        EXPECT_EQ(a->displacement(), b->displacement());
        EXPECT_EQ(a->animationType(), b->animationType());
        EXPECT_EQ(a->animationSpeed(), b->animationSpeed());
        ++compared;
    }
    EXPECT_EQ(compared, 4); // ByBlock, ByLayer, Global, Brick
}

// Model materials are described by the importer from the model's PBR material, which the drawing's
// material object cannot hold: the saved file has to carry the description itself.
TEST_F(DxfRoundTrip, ImportedModelDescriptionsAnswerTheSameInAFreshLibraryAfterAReopen)
{
    ASSERT_TRUE(writeFile(path("pair.gltf"), gltf()));
    QStringList models{path("pair.gltf")};
    const QString textured =
        QStringLiteral("/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf");
    if (QFileInfo::exists(textured)) models << textured;
    for (const QString& model : models) {
        SCOPED_TRACE(model.toStdString());
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        zalHostPhysicsMaterials first(path("library"));
        ASSERT_TRUE(zalDrawingImporter::importFile(model, db.get(), &first).ok);
        ASSERT_TRUE(zalDxfWriter::write(db.get(), path("model.dxf"), nullptr, &first));

        // A fresh host: its own database and library, nothing shared with the first.
        OdDbDatabasePtr back = OdDbDatabase::createObject();
        zalHostPhysicsMaterials second(path("library"));
        const zalImportResult result = zalDrawingImporter::importFile(path("model.dxf"), back.get(), &second);
        ASSERT_TRUE(result.ok) << result.message.toStdString();
        EXPECT_TRUE(result.warnings.isEmpty()) << result.warnings.join('\n').toStdString();

        int compared = 0;
        bool textures = false;
        OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
        for (OdDbDictionaryIteratorPtr it = materials->newIterator(); !it->done(); it->next()) {
            const auto a = first.importedDescription(it->objectId());
            if (!a) continue;
            const OdDbObjectId id = back->getOdDbObjectId(it->objectId().getHandle());
            ASSERT_TRUE(second.importedDescription(id))
                << it->name().toUtf8() << " is only rebuilt from its fields";
            const auto b = second.materialDescription(id);
            ASSERT_TRUE(b);
            EXPECT_EQ(a->isValid(), b->isValid());
            EXPECT_EQ(a->baseMaterial(), b->baseMaterial());
            EXPECT_EQ(a->textureMaterial(), b->textureMaterial());
            EXPECT_EQ(a->body(), b->body()) << it->name().toUtf8();
            EXPECT_EQ(a->lighting(), b->lighting());
            EXPECT_EQ(a->displacement(), b->displacement());
            EXPECT_EQ(a->animationType(), b->animationType());
            EXPECT_EQ(a->animationSpeed(), b->animationSpeed());
            EXPECT_EQ(a->animationPower(), b->animationPower());
            const QString texture = a->body()
                                        .value(QStringLiteral("diffuseColor"))
                                        .toObject()
                                        .value(QStringLiteral("stringValue"))
                                        .toString();
            if (!texture.isEmpty()) {
                textures = true;
                EXPECT_EQ(a->resolveTexture(texture), b->resolveTexture(texture));
            }
            ++compared;
        }
        EXPECT_GE(compared, 1);
        if (model == textured) {
            EXPECT_TRUE(textures) << "the textured box names its texture";
        }
    }
}

TEST_F(DxfRoundTrip, AnUnreadableSavedDescriptionIsReportedAndTheMaterialKept)
{
    ASSERT_TRUE(writeFile(path("pair.gltf"), gltf()));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalHostPhysicsMaterials first(path("library"));
    ASSERT_TRUE(zalDrawingImporter::importFile(path("pair.gltf"), db.get(), &first).ok);
    ASSERT_TRUE(zalDxfWriter::write(db.get(), path("model.dxf"), nullptr, &first));
    QByteArray text = readFile(path("model.dxf"));
    const int at = text.indexOf("1004\n");
    ASSERT_GE(at, 0);
    // The first chunk's text becomes "{{", which is no JSON.
    const int value = at + 5;
    text = text.left(value) + "7B7B" + text.mid(text.indexOf('\n', value));
    ASSERT_TRUE(writeFile(path("damaged.dxf"), text));

    OdDbDatabasePtr back = OdDbDatabase::createObject();
    zalHostPhysicsMaterials second(path("library"));
    const zalImportResult result = zalDrawingImporter::importFile(path("damaged.dxf"), back.get(), &second);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    ASSERT_EQ(result.warnings.size(), 1);
    EXPECT_TRUE(result.warnings.first().contains(QStringLiteral("physical description of material")))
        << result.warnings.first().toStdString();
    EXPECT_EQ(result.materials, 2);
    EXPECT_EQ(second.descriptionCount(), 1) << "the other material's description is still read";
}

TEST_F(DxfRoundTrip, AnEntityWhoseRecordLeavesOutItsLayerColourAndMaterialKeepsThem)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const OdDbObjectId brick = addMaterial(db.get(), "Brick");
    OdDbObjectId water;
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(OdString(L"Water"));
        water = layers->add(layer.get());
    }
    struct Row
    {
        OdCmColor color;
        OdDbObjectId material;
        OdDb::Visibility visibility;
    };
    OdCmColor red, index, byLayer;
    red.setRGB(200, 10, 30);
    index.setColorIndex(5);
    byLayer.setColorMethod(OdCmEntityColor::kByLayer);
    const Row rows[] = {{red, brick, OdDb::kVisible},
                        {index, db->byLayerMaterialId(), OdDb::kInvisible},
                        {byLayer, db->globalMaterialId(), OdDb::kVisible}};
    std::vector<OdDbObjectId> ids;
    for (const Row& row : rows) {
        OdSmartPtr<zalOwnRecordProbe> e = zalOwnRecordProbe::createObject();
        e->value = 0.5 * double(ids.size());
        append(db->getModelSpaceId(), e.get());
        e->setLayer(water);
        e->setColor(row.color);
        e->setMaterial(row.material);
        e->setVisibility(row.visibility);
        ids.push_back(e->objectId());
    }
    ASSERT_TRUE(zalDxfWriter::write(db.get(), path("own.dxf")));
    OdDbDatabasePtr back = OdDbDatabase::createObject();
    const zalImportResult result = importInto(back.get(), path("own.dxf"));
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(i);
        OdDbEntityPtr a = ids[i].safeOpenObject();
        OdDbObjectPtr object = back->getOdDbObjectId(ids[i].getHandle()).openObject();
        auto* b = dynamic_cast<zalOwnRecordProbe*>(object.get());
        ASSERT_TRUE(b);
        EXPECT_EQ(b->value, 0.5 * double(i));
        EXPECT_EQ(OdUInt64(b->layerId().getHandle()), OdUInt64(a->layerId().getHandle()));
        EXPECT_EQ(b->entityColor().color(), a->entityColor().color());
        EXPECT_EQ(OdUInt64(b->materialId().getHandle()), OdUInt64(a->materialId().getHandle()));
        EXPECT_EQ(b->visibility(), a->visibility());
    }
}

TEST_F(DxfRoundTrip, IndependentWritersFilesSurviveASaveAsTheyWereRead)
{
    ASSERT_TRUE(writeFile(path("scene.py"), kSceneWriter));
    QString log;
    ASSERT_TRUE(runPython(path("scene.py"), {path("ezdxf.dxf"), path("expected.json")}, &log))
        << log.toStdString();
    QStringList files{path("ezdxf.dxf")};
    for (const QString& name : QDir(QStringLiteral("/usr/share/assimp/models/DXF")).entryList({"*.dxf"}))
        files << QStringLiteral("/usr/share/assimp/models/DXF/") + name;
    int read = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        OdDbDatabasePtr first = OdDbDatabase::createObject();
        if (!importInto(first.get(), file).ok) continue; // deliberately broken files are other tests' job
        ++read;
        ASSERT_TRUE(zalDxfWriter::write(first.get(), path("saved.dxf")));
        OdDbDatabasePtr second = OdDbDatabase::createObject();
        const zalImportResult result = importInto(second.get(), path("saved.dxf"));
        ASSERT_TRUE(result.ok) << result.message.toStdString();
        expectSameObjects(first.get(), second.get());
    }
    EXPECT_GE(read, 3);
}

namespace {

// A DXF with the given blocks (name → names of the blocks it inserts) and one INSERT of the first.
QByteArray blocksDxf(const std::vector<std::pair<QByteArray, std::vector<QByteArray>>>& blocks)
{
    QByteArray s = "0\nSECTION\n2\nBLOCKS\n";
    for (const auto& [name, inserts] : blocks) {
        s += "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n10\n0\n20\n0\n30\n0\n3\n" + name + "\n";
        s += "0\n3DFACE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n13\n0\n23\n1\n3"
             "3\n0\n";
        for (const QByteArray& inner : inserts)
            s += "0\nINSERT\n8\n0\n2\n" + inner + "\n10\n1\n20\n0\n30\n0\n";
        s += "0\nENDBLK\n8\n0\n";
    }
    s += "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\n" + blocks.front().first +
         "\n10\n0\n20\n0\n30\n0\n0\nENDSEC\n0\nEOF\n";
    return s;
}

QByteArray chain(int depth)
{
    std::vector<std::pair<QByteArray, std::vector<QByteArray>>> blocks;
    for (int i = 0; i < depth; ++i)
        blocks.push_back({"B" + QByteArray::number(i),
                          i + 1 < depth ? std::vector<QByteArray>{"B" + QByteArray::number(i + 1)}
                                        : std::vector<QByteArray>{}});
    return blocksDxf(blocks);
}

} // namespace

TEST_F(DxfRoundTrip, CyclicAndTooDeeplyNestedBlocksAreRefusedNamingTheBlock)
{
    const struct
    {
        const char* name;
        QByteArray dxf;
        const char* message;
    } rows[] = {
        {"self", blocksDxf({{"LOOP", {"LOOP"}}}), "block \"LOOP\" inserts itself"},
        {"pair", blocksDxf({{"PING", {"PONG"}}, {"PONG", {"PING"}}}), "inserts itself through block"},
        {"deep", chain(100000), "nests blocks deeper than 256 levels"},
        {"one too deep", chain(zalDxfImporter::kMaxNesting + 1), "deeper than 256"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(writeFile(path("hostile.dxf"), row.dxf));
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        const zalImportResult result = importInto(db.get(), path("hostile.dxf"));
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains(QLatin1String(row.message))) << result.message.toStdString();
    }
    // The deepest nesting allowed still opens.
    ASSERT_TRUE(writeFile(path("deep.dxf"), chain(zalDxfImporter::kMaxNesting)));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult ok = importInto(db.get(), path("deep.dxf"));
    EXPECT_TRUE(ok.ok) << ok.message.toStdString();
    EXPECT_EQ(ok.blocks, zalDxfImporter::kMaxNesting);
}

TEST_F(DxfRoundTrip, AbsurdCoordinatesAreLeftOutWithAWarningNamingTheEntity)
{
    const QByteArray face =
        "0\n3DFACE\n5\n%H\n8\n0\n10\n%"
        "X\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n13\n0\n23\n1\n33\n0\n";
    QByteArray dxf = "0\nSECTION\n2\nENTITIES\n";
    for (const auto& [handle, x] : std::vector<std::pair<QByteArray, QByteArray>>{
             {"A1", "0"}, {"A2", "1e300"}, {"A3", "1e999"}, {"A4", "-2e15"}, {"A5", "999999999999999"}})
        dxf += QByteArray(face).replace("%H", handle).replace("%X", x);
    dxf += "0\nENDSEC\n0\nEOF\n";
    ASSERT_TRUE(writeFile(path("far.dxf"), dxf));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult result = importInto(db.get(), path("far.dxf"));
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.entities, 2); // A1, and A5 just inside the limit
    ASSERT_EQ(result.warnings.size(), 3);
    EXPECT_TRUE(result.warnings.join('\n').contains(QLatin1String("handle A2")));
    EXPECT_TRUE(result.warnings.join('\n').contains(QLatin1String("handle A3")));
    EXPECT_TRUE(result.warnings.join('\n').contains(QLatin1String("handle A4")));
    EXPECT_FALSE(db->getOdDbObjectId(OdDbHandle(0xA1)).isNull());
    EXPECT_FALSE(db->getOdDbObjectId(OdDbHandle(0xA5)).isNull());
}
