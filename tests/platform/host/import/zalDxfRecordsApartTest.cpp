// Filer records set apart: the DXF structure check takes the entities' 310 groups out of the text libdime
// reads and the importer finds each record again under its entity's handle. Hand-written group text for
// the check itself; drawings written by the host's own writer into temporary folders for the import.
#include "zalDrawingImporter.h"
#include "zalDxfGroupReader.h"
#include "zalDxfWriter.h"
#include "zalImportTestSupport.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbDictionary.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbMaterial.h"
#include "DbSubDMesh.h"
#include "zalStrings.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

using namespace zalImportTest;

namespace {

QByteArray dxf(const QByteArray& entities, const QByteArray& objects = QByteArray())
{
    QByteArray text = "  0\nSECTION\n  2\nENTITIES\n" + entities + "  0\nENDSEC\n";
    if (!objects.isEmpty()) text += "  0\nSECTION\n  2\nOBJECTS\n" + objects + "  0\nENDSEC\n";
    return text + "  0\nEOF\n";
}

const QByteArray kLine = " 10\n1\n 20\n2\n 30\n3\n 11\n4\n 21\n5\n 31\n6\n";

} // namespace

TEST(DxfRecordsApart, TheTextLosesExactlyTheEntitiesRecordsAndEachComesBackUnderItsHandle)
{
    // First: handle, then two record lines (the second with blanks around it) that split a byte.
    // Second: its record before its handle, which libdime must then still read. Third: no record. The
    // OBJECTS section keeps its own.
    const QByteArray first = "  0\nLINE\n  5\n1A\n  8\n0\n310\n0A0BF\n310\n  F01  \n" + kLine;
    const QByteArray firstWithout = "  0\nLINE\n  5\n1A\n  8\n0\n" + kLine;
    const QByteArray second = "  0\nLINE\n310\nCAFE\n  5\n2B\n  8\n0\n" + kLine;
    const QByteArray third = "  0\nLINE\n  5\n3C\n  8\n0\n" + kLine;
    const QByteArray objects = "  0\nDICTIONARY\n  5\nC\n310\nBEEF\n";
    const QByteArray data = dxf(first + second + third, objects);

    zalDxfGroupReader plain;
    ASSERT_TRUE(plain.read(data)) << plain.error().toStdString();
    EXPECT_TRUE(plain.textWithoutRecords().isEmpty()) << "records are set apart only when asked";

    zalDxfGroupReader reader;
    ASSERT_TRUE(reader.read(data, true)) << reader.error().toStdString();
    EXPECT_EQ(reader.textWithoutRecords(), dxf(firstWithout + second + third, objects));
    // What the check serves besides is the same as without setting records apart.
    ASSERT_EQ(reader.groups().size(), plain.groups().size());
    for (int i = 0; i < plain.groups().size(); ++i) {
        EXPECT_EQ(reader.groups()[i].code, plain.groups()[i].code);
        EXPECT_EQ(reader.groups()[i].value, plain.groups()[i].value);
    }
    EXPECT_EQ(reader.largestHandle(), plain.largestHandle());

    std::string bytes;
    ASSERT_TRUE(reader.record(0x1A, bytes));
    EXPECT_EQ(bytes, std::string("\x0A\x0B\xFF\x01", 4));
    EXPECT_FALSE(reader.record(0x2B, bytes)) << "a record before its handle stays in the text";
    EXPECT_FALSE(reader.record(0x3C, bytes));
    EXPECT_FALSE(reader.record(0xC, bytes)) << "only the entities' records are set apart";
}

TEST(DxfRecordsApart, AHandleTwoEntitiesNameGivesNoRecordAndTheSecondKeepsItsOwn)
{
    const QByteArray data =
        dxf("  0\nLINE\n  5\n1A\n310\n0102\n" + kLine + "  0\nLINE\n  5\n1A\n310\n0304\n" + kLine);
    zalDxfGroupReader reader;
    ASSERT_TRUE(reader.read(data, true));
    std::string bytes;
    EXPECT_FALSE(reader.record(0x1A, bytes)) << "the record could belong to either entity";
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(reader.textWithoutRecords().contains("0102"));
    EXPECT_TRUE(reader.textWithoutRecords().contains("310\n0304\n"));
}

TEST(DxfRecordsApart, EntitiesBuiltFromTheirRecordReachLibdimeAsStubsOfTheirSharedGroupsInOrder)
{
    // Cut: a LINE naming its handle first with a record. Kept whole: a LINE whose record comes before its
    // handle (the record stays in the text), a LINE without record, a CIRCLE (not a kind built from its
    // record) with a record.
    const QByteArray shared = "  8\nWalls\n 62\n3\n420\n16711680\n330\n1F\n";
    const QByteArray cut = "  0\nLINE\n  5\n1A\n" + shared + kLine + "310\n0102\n";
    const QByteArray stub = "  0\nLINE\n  5\n1A\n" + shared;
    const QByteArray recordFirst = "  0\nLINE\n310\n0304\n  5\n2B\n" + shared + kLine;
    const QByteArray noRecord = "  0\nLINE\n  5\n3C\n" + shared + kLine;
    const QByteArray circleGroups = "  0\nCIRCLE\n  5\n4D\n" + shared + " 10\n1\n 20\n2\n 30\n3\n 40\n9\n";
    const QByteArray circle = circleGroups + "310\n0506\n";
    const QByteArray data = dxf(cut + recordFirst + noRecord + circle);

    zalDxfGroupReader reader;
    reader.setKindsBuiltFromRecords({"LINE", "MESH"});
    ASSERT_TRUE(reader.read(data, true)) << reader.error().toStdString();
    EXPECT_EQ(reader.textWithoutRecords(), dxf(stub + recordFirst + noRecord + circleGroups));
    EXPECT_TRUE(reader.isStub(0x1A));
    for (quint64 whole : {0x2B, 0x3C, 0x4D})
        EXPECT_FALSE(reader.isStub(whole)) << std::hex << whole;
    // The stub's whole text, for when its record does not read: every group but the record.
    EXPECT_EQ(reader.entityText(0x1A), "  0\nLINE\n  5\n1A\n" + shared + kLine);
    EXPECT_TRUE(reader.entityText(0x3C).isEmpty());
    std::string bytes;
    ASSERT_TRUE(reader.record(0x1A, bytes));
    EXPECT_EQ(bytes, std::string("\x01\x02", 2));
    ASSERT_TRUE(reader.record(0x4D, bytes)) << "a kind kept whole still has its record set apart";
    EXPECT_EQ(bytes, std::string("\x05\x06", 2));
}

TEST(DxfRecordsApart, AStubWhoseHandleALaterEntityNamesGetsItsGroupsBack)
{
    // The first LINE would be cut, but the second names its handle: neither record can be told apart, so
    // the first must reach libdime whole to be built from its groups.
    const QByteArray first = "  0\nLINE\n  5\n1A\n  8\n0\n" + kLine;
    const QByteArray second = "  0\nLINE\n  5\n1A\n  8\n0\n310\n0304\n 10\n7\n";
    zalDxfGroupReader reader;
    reader.setKindsBuiltFromRecords({"LINE"});
    ASSERT_TRUE(reader.read(dxf(first + "310\n0102\n" + second), true));
    EXPECT_FALSE(reader.isStub(0x1A));
    EXPECT_EQ(reader.textWithoutRecords(), dxf(first + second));
    std::string bytes;
    EXPECT_FALSE(reader.record(0x1A, bytes));

    // The other way round: the first names the handle without a record. The second's record must not be
    // served under the handle (the first would take it), so it stays in the text and nothing is cut.
    zalDxfGroupReader later;
    later.setKindsBuiltFromRecords({"LINE"});
    ASSERT_TRUE(later.read(dxf(first + "  0\nLINE\n  5\n1A\n  8\n0\n310\n0102\n" + kLine), true));
    EXPECT_FALSE(later.isStub(0x1A));
    EXPECT_FALSE(later.record(0x1A, bytes)) << "an entity without record would read another's";
    EXPECT_TRUE(later.textWithoutRecords().isEmpty())
        << "no record set apart: libdime reads the file as it is";
}

TEST(DxfRecordsApart, HexadecimalTextDecodesOrIsRefusedWhole)
{
    std::string out = "x";
    ASSERT_TRUE(zalDxfGroupReader::appendHex(out, "00ff7Fa0", 8));
    EXPECT_EQ(out, std::string("x\x00\xff\x7f\xa0", 5));
    EXPECT_FALSE(zalDxfGroupReader::appendHex(out, "abc", 3)) << "odd count of digits";
    EXPECT_FALSE(zalDxfGroupReader::appendHex(out, "0G", 2)) << "not a hexadecimal digit";
    EXPECT_FALSE(zalDxfGroupReader::appendHex(out, "01 2", 4)) << "a blank inside the text";
    EXPECT_EQ(out, std::string("x\x00\xff\x7f\xa0", 5)) << "a refused text leaves nothing behind";
}

namespace {

// A drawing of many entities whose records carry what the groups cannot (normals, face materials):
// meshes on two layers with their own colours, lights, and references to a block.
class DxfRecordsApartImport : public ::testing::Test
{
protected:
    static constexpr int kMeshes = 1500;
    static constexpr int kLights = 12;
    static constexpr int kReferences = 300;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source = OdDbDatabase::createObject();
        OdDbLayerTablePtr layers = source->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbObjectId layerIds[2];
        for (int i = 0; i < 2; ++i) {
            OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
            layer->setName(i == 0 ? OdString("Walls") : OdString("Roof"));
            layerIds[i] = layers->add(layer.get());
        }
        OdDbDictionaryPtr materials = source->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr stone = OdDbMaterial::createObject();
        stone->setName(OdString("Stone"));
        const OdDbObjectId stoneId = materials->setAt(OdString("Stone"), stone.get());

        OdDbBlockTableRecordPtr modelSpace = source->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        for (int i = 0; i < kMeshes; ++i) {
            OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
            mesh->setDatabaseDefaults(source);
            OdArray<OdGePoint3d> vertices;
            OdArray<OdGeVector3d> normals;
            const double x = i * 1.5, z = 0.001 * i;
            vertices.append(OdGePoint3d(x, 0, z));
            vertices.append(OdGePoint3d(x + 1, 0, z));
            vertices.append(OdGePoint3d(x + 1, 1, z + 0.5));
            vertices.append(OdGePoint3d(x, 1, z));
            for (int v = 0; v < 4; ++v)
                normals.append(OdGeVector3d(0.001 * i, 0.01 * v, 1).normal());
            OdArray<OdInt32> faces;
            for (OdInt32 f : {4, 0, 1, 2, 3})
                faces.append(f);
            ASSERT_EQ(mesh->setSubDMesh(vertices, faces, 0), eOk);
            mesh->setVertexNormalArray(normals);
            if (i % 3 == 0) {
                OdArray<OdDbObjectId> faceMaterials;
                faceMaterials.append(stoneId);
                mesh->setFaceMaterials(faceMaterials);
            }
            mesh->setLayer(layerIds[i % 2]);
            mesh->setColorIndex(OdUInt16(1 + i % 200));
            modelSpace->appendOdDbEntity(mesh.get());
        }
        for (int i = 0; i < kLights; ++i) {
            OdDbLightPtr light = OdDbLight::createObject();
            light->setDatabaseDefaults(source);
            light->setName(zalStrings::toOdString(QStringLiteral("Lamp %1").arg(i)));
            light->setPosition(OdGePoint3d(i, 2, 3));
            light->setIntensity(0.5 + i);
            modelSpace->appendOdDbEntity(light.get());
        }
        OdDbBlockTablePtr blocks = source->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(OdString("Chair"));
        const OdDbObjectId blockId = blocks->add(block.get());
        OdDbSubDMeshPtr seat = OdDbSubDMesh::createObject();
        seat->setDatabaseDefaults(source);
        OdArray<OdGePoint3d> seatVertices;
        for (const OdGePoint3d& p : {OdGePoint3d(0, 0, 0), OdGePoint3d(1, 0, 0), OdGePoint3d(0, 1, 0)})
            seatVertices.append(p);
        OdArray<OdInt32> seatFaces;
        for (OdInt32 f : {3, 0, 1, 2})
            seatFaces.append(f);
        ASSERT_EQ(seat->setSubDMesh(seatVertices, seatFaces, 0), eOk);
        block->appendOdDbEntity(seat.get());
        for (int i = 0; i < kReferences; ++i) {
            OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
            ref->setDatabaseDefaults(source);
            ref->setBlockTableRecord(blockId);
            ref->setPosition(OdGePoint3d(i, -5, 0.25 * i));
            ref->setLayer(layerIds[1]);
            modelSpace->appendOdDbEntity(ref.get());
        }

        path = dir.filePath(QStringLiteral("many.dxf"));
        QString error;
        ASSERT_TRUE(zalDxfWriter::write(source.get(), path, &error)) << error.toStdString();
    }

    zalImportResult import(const QString& file, OdDbDatabasePtr& into)
    {
        into = OdDbDatabase::createObject();
        return zalDrawingImporter::importFile(file, into.get());
    }

    QTemporaryDir dir;
    OdDbDatabasePtr source;
    QString path;
};

QString materialName(const OdDbObjectId& id)
{
    if (id.isNull()) return QString();
    OdDbMaterialPtr m = id.safeOpenObject();
    return zalStrings::toQString(m->name());
}

} // namespace

TEST_F(DxfRecordsApartImport, EveryEntityReadsBackUnderItsHandleWithItsRecordsFields)
{
    // The file holds the records the way the importer sets them apart: after each entity's handle.
    const QByteArray text = readFile(path);
    zalDxfGroupReader check;
    ASSERT_TRUE(check.read(text, true));
    ASSERT_FALSE(check.textWithoutRecords().isEmpty());
    EXPECT_LT(check.textWithoutRecords().size(), text.size() / 2) << "most of the file was records";

    OdDbDatabasePtr read;
    const zalImportResult result = import(path, read);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.entities, kMeshes + kLights + kReferences + 1) << "the block's mesh counts too";
    EXPECT_EQ(result.lights, kLights) << "lights read from their records are counted too";
    EXPECT_EQ(result.references, kReferences);

    int meshes = 0, lights = 0, references = 0;
    forEachEntity(source->getModelSpaceId(), [&](OdDbEntity* original) {
        const OdDbObjectId id = read->getOdDbObjectId(original->handle());
        ASSERT_FALSE(id.isNull()) << "an entity is missing under its handle";
        OdDbEntityPtr copy = id.safeOpenObject();
        ASSERT_EQ(copy->isA(), original->isA());
        EXPECT_EQ(zalStrings::toQString(copy->layer()), zalStrings::toQString(original->layer()));
        EXPECT_EQ(copy->colorIndex(), original->colorIndex());
        if (auto* a = dynamic_cast<OdDbSubDMesh*>(original)) {
            auto* b = dynamic_cast<OdDbSubDMesh*>(copy.get());
            ASSERT_EQ(b->vertices().size(), a->vertices().size());
            for (unsigned v = 0; v < a->vertices().size(); ++v)
                EXPECT_TRUE(b->vertices()[v].isEqualTo(a->vertices()[v], OdGeTol(1e-9)));
            // Normals and face materials come only from the record.
            ASSERT_EQ(b->vertexNormalArray().size(), a->vertexNormalArray().size());
            for (unsigned v = 0; v < a->vertexNormalArray().size(); ++v)
                EXPECT_TRUE(b->vertexNormalArray()[v].isEqualTo(a->vertexNormalArray()[v], OdGeTol(1e-9)));
            ASSERT_EQ(b->faceMaterials().size(), a->faceMaterials().size());
            for (unsigned f = 0; f < a->faceMaterials().size(); ++f)
                EXPECT_EQ(materialName(b->faceMaterials()[f]), materialName(a->faceMaterials()[f]));
            ++meshes;
        } else if (auto* a = dynamic_cast<OdDbLight*>(original)) {
            auto* b = dynamic_cast<OdDbLight*>(copy.get());
            EXPECT_EQ(zalStrings::toQString(b->name()), zalStrings::toQString(a->name()));
            EXPECT_DOUBLE_EQ(b->intensity(), a->intensity());
            ++lights;
        } else if (auto* a = dynamic_cast<OdDbBlockReference*>(original)) {
            auto* b = dynamic_cast<OdDbBlockReference*>(copy.get());
            EXPECT_TRUE(b->position().isEqualTo(a->position(), OdGeTol(1e-9)));
            OdDbBlockTableRecordPtr block = b->blockTableRecord().safeOpenObject();
            EXPECT_EQ(zalStrings::toQString(block->getName()), QStringLiteral("Chair"));
            ++references;
        }
    });
    EXPECT_EQ(meshes, kMeshes);
    EXPECT_EQ(lights, kLights);
    EXPECT_EQ(references, kReferences);
}

TEST_F(DxfRecordsApartImport, ADamagedOrAmbiguousRecordLeavesTheEntityToItsGroups)
{
    // The first mesh's record gets a character that is no hexadecimal digit; the second mesh takes the
    // third's handle, so neither may use the record set apart under it.
    QByteArray text = readFile(path);
    QList<QByteArray> lines = text.split('\n');
    // The model space's meshes (the block's comes before them, in the BLOCKS section).
    const int entities = int(lines.indexOf("ENTITIES"));
    ASSERT_GT(entities, 0);
    int mesh = 0;
    QByteArray thirdHandle;
    for (int i = entities; i + 1 < lines.size(); ++i)
        if (lines[i].trimmed() == "0" && lines[i + 1].trimmed() == "MESH" && ++mesh == 3)
            for (int j = i + 2; j + 1 < lines.size() && lines[j].trimmed() != "0"; j += 2)
                if (lines[j].trimmed() == "5") thirdHandle = lines[j + 1].trimmed();
    ASSERT_FALSE(thirdHandle.isEmpty());
    mesh = 0;
    QByteArray secondHandle;
    for (int i = entities; i + 1 < lines.size(); ++i) {
        if (!(lines[i].trimmed() == "0" && lines[i + 1].trimmed() == "MESH")) continue;
        ++mesh;
        for (int j = i + 2; j + 1 < lines.size() && lines[j].trimmed() != "0"; j += 2) {
            if (mesh == 1 && lines[j].trimmed() == "310") lines[j + 1][4] = 'G';
            if (mesh == 2 && lines[j].trimmed() == "5") {
                secondHandle = lines[j + 1].trimmed();
                lines[j + 1] = thirdHandle;
            }
        }
        if (mesh == 2) break;
    }
    const QString damaged = dir.filePath(QStringLiteral("damaged.dxf"));
    ASSERT_TRUE(writeFile(damaged, lines.join('\n')));

    OdDbDatabasePtr read;
    const zalImportResult result = import(damaged, read);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.entities, kMeshes + kLights + kReferences + 1) << "no entity is lost to a bad record";
    std::vector<OdDbSubDMesh*> firstThree;
    std::vector<OdDbEntityPtr> keep;
    forEachEntity(read->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* m = dynamic_cast<OdDbSubDMesh*>(e); m && firstThree.size() < 3) {
            keep.push_back(e);
            firstThree.push_back(m);
        }
    });
    ASSERT_EQ(firstThree.size(), 3u);
    // The first two are built from their groups: the vertices are right, the normals (which only the
    // record holds) absent. The third named the shared handle second, so its record stayed in the text
    // for libdime, and it is read whole from it.
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(firstThree[size_t(k)]->vertices().size(), 4u);
        EXPECT_TRUE(
            firstThree[size_t(k)]->vertices()[0].isEqualTo(OdGePoint3d(k * 1.5, 0, 0.001 * k), OdGeTol(1e-9)))
            << "mesh " << k << " took another entity's record";
        EXPECT_EQ(firstThree[size_t(k)]->vertexNormalArray().size(), k < 2 ? 0u : 4u) << "mesh " << k;
    }
    EXPECT_FALSE(secondHandle.isEmpty());
}

TEST_F(DxfRecordsApartImport, ACutEntityWhoseRecordDoesNotReadIsBuiltFromItsGroupsInItsPlace)
{
    // The first model-space mesh's record becomes one byte: valid hexadecimal that no mesh reads from.
    // The check cannot tell, so the mesh is cut to a stub; the importer must read its groups again.
    QList<QByteArray> lines = readFile(path).split('\n');
    const int entities = int(lines.indexOf("ENTITIES"));
    ASSERT_GT(entities, 0);
    int changed = 0;
    for (int i = entities; i + 1 < lines.size(); ++i) {
        if (!(lines[i].trimmed() == "0" && lines[i + 1].trimmed() == "MESH")) continue;
        for (int j = i + 2; j + 1 < lines.size() && lines[j].trimmed() != "0"; j += 2) {
            if (lines[j].trimmed() != "310") continue;
            lines[j + 1] = changed++ == 0 ? "00" : "";
        }
        break;
    }
    // Empty chunks stay valid hexadecimal: the record is the one byte.
    ASSERT_GT(changed, 0);
    const QString damaged = dir.filePath(QStringLiteral("short-record.dxf"));
    ASSERT_TRUE(writeFile(damaged, lines.join('\n')));

    OdDbDatabasePtr read;
    const zalImportResult result = import(damaged, read);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.entities, kMeshes + kLights + kReferences + 1) << "no entity is lost to a bad record";

    // Model space keeps the file's order, the damaged mesh in its place.
    std::vector<OdDbHandle> written, arrived;
    forEachEntity(source->getModelSpaceId(), [&](OdDbEntity* e) { written.push_back(e->handle()); });
    forEachEntity(read->getModelSpaceId(), [&](OdDbEntity* e) { arrived.push_back(e->handle()); });
    ASSERT_EQ(arrived.size(), written.size());
    EXPECT_TRUE(arrived == written) << "entities arrived out of order";

    OdDbEntityPtr original = source->getOdDbObjectId(written.front()).safeOpenObject();
    OdDbEntityPtr copy = read->getOdDbObjectId(written.front()).safeOpenObject();
    auto* a = dynamic_cast<OdDbSubDMesh*>(original.get());
    auto* b = dynamic_cast<OdDbSubDMesh*>(copy.get());
    ASSERT_TRUE(a && b);
    ASSERT_EQ(b->vertices().size(), a->vertices().size());
    for (unsigned v = 0; v < a->vertices().size(); ++v)
        EXPECT_TRUE(b->vertices()[v].isEqualTo(a->vertices()[v], OdGeTol(1e-9)));
    EXPECT_EQ(zalStrings::toQString(b->layer()), QStringLiteral("Walls"));
    EXPECT_EQ(b->colorIndex(), a->colorIndex());
    EXPECT_EQ(b->vertexNormalArray().size(), 0u) << "only the record holds the normals";
    // The next mesh read its record as usual.
    OdDbEntityPtr next = read->getOdDbObjectId(written[1]).safeOpenObject();
    ASSERT_TRUE(dynamic_cast<OdDbSubDMesh*>(next.get()));
    EXPECT_EQ(static_cast<OdDbSubDMesh*>(next.get())->vertexNormalArray().size(), 4u);
}
