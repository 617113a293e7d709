// DXF import: files written by an independent writer (python3-ezdxf), read through libdime into the
// database and compared with what the writer itself computes (block transforms, world points).
#include "zalDrawingImporter.h"
#include "zalImportTestSupport.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbFace.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbLine.h"
#include "DbMaterial.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbSubDMesh.h"
#include "DbText.h"
#include "zalStrings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace zalImportTest;

namespace {

class DxfImport : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        const QString script = dir->filePath(QStringLiteral("write.py"));
        ASSERT_TRUE(writeFile(script, kSceneWriter));
        QString log;
        ASSERT_TRUE(runPython(
            script,
            {dir->filePath(QStringLiteral("scene.dxf")), dir->filePath(QStringLiteral("expected.json"))},
            &log))
            << log.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override
    {
        db = OdDbDatabase::createObject();
        result = zalDrawingImporter::importFile(dir->filePath(QStringLiteral("scene.dxf")), db.get());
        ASSERT_TRUE(result.ok) << result.message.toStdString();
    }

    OdDbObjectId layer(const char* name) const
    {
        OdDbLayerTablePtr table = db->getLayerTableId().safeOpenObject();
        return table->getAt(OdString(name));
    }

    static QTemporaryDir* dir;
    OdDbDatabasePtr db;
    zalImportResult result;
};
QTemporaryDir* DxfImport::dir = nullptr;

} // namespace

TEST_F(DxfImport, CountsWhatTheFileHolds)
{
    EXPECT_EQ(result.format, QStringLiteral("DXF"));
    const auto counts = countByClass(db->getModelSpaceId());
    EXPECT_EQ(counts.at("AcDbBlockReference"), 1);
    EXPECT_EQ(counts.at("AcDbFace"), 1);
    EXPECT_EQ(counts.at("AcDbPolyFaceMesh"), 1);
    EXPECT_EQ(counts.at("AcDbLine"), 1);
    EXPECT_EQ(counts.at("AcDbSubDMesh"), 1);
    EXPECT_EQ(counts.at("AcDbPolygonMesh"), 1);
    EXPECT_EQ(counts.at("AcDbText"), 1);
    EXPECT_EQ(counts.at("AcDbLight"), 1);
    EXPECT_EQ(result.entities, 9); // eight in model space, one in the block
    EXPECT_EQ(result.blocks, 1);
    EXPECT_EQ(result.references, 1);
    EXPECT_EQ(result.lights, 1);
    EXPECT_EQ(result.materials, 1);
    EXPECT_EQ(db->getINSUNITS(), OdDb::kUnitsMeters);
}

TEST_F(DxfImport, LayerStateComesFromTheLayerTable)
{
    struct Row
    {
        const char* name;
        bool off, frozen, locked;
        int color;
    } rows[] = {{"Walls", false, false, false, 1},
                {"Hidden", true, false, false, 3},
                {"Frozen", false, true, false, 4},
                {"Locked", false, false, true, 5}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const OdDbObjectId id = layer(row.name);
        ASSERT_FALSE(id.isNull());
        OdDbLayerTableRecordPtr l = id.safeOpenObject();
        EXPECT_EQ(l->isOff(), row.off);
        EXPECT_EQ(l->isFrozen(), row.frozen);
        EXPECT_EQ(l->isLocked(), row.locked);
        EXPECT_EQ(l->color().colorIndex(), row.color);
    }
    // Entities keep their own layers.
    int onHidden = 0, onLocked = 0;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (e->layerId() == layer("Hidden")) ++onHidden;
        if (e->layerId() == layer("Locked")) ++onLocked;
    });
    EXPECT_EQ(onHidden, 2); // the line and the polygon mesh
    EXPECT_EQ(onLocked, 1);
}

TEST_F(DxfImport, RotatedExtrudedInsertMatchesTheWriter)
{
    const QJsonObject expected =
        QJsonDocument::fromJson(readFile(dir->filePath(QStringLiteral("expected.json")))).object();
    const QJsonArray faces = expected.value(QStringLiteral("insertFaces")).toArray();
    ASSERT_EQ(faces.size(), 1);
    const QJsonArray corners = faces.at(0).toArray();
    ASSERT_EQ(corners.size(), 4);

    OdDbBlockReferencePtr ref;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* r = dynamic_cast<OdDbBlockReference*>(e)) ref = r;
    });
    ASSERT_FALSE(ref.isNull());
    EXPECT_NEAR(ref->rotation(), 30.0 * OdaPI / 180.0, 1e-6);
    EXPECT_NEAR(ref->scaleFactors().sx, 2.0, 1e-6);
    EXPECT_NEAR(ref->normal().y, std::sqrt(0.5), 1e-6);
    const OdGeMatrix3d xform = ref->blockTransform();

    OdDbFacePtr face;
    forEachEntity(ref->blockTableRecord(), [&](OdDbEntity* e) {
        if (auto* f = dynamic_cast<OdDbFace*>(e)) face = f;
    });
    ASSERT_FALSE(face.isNull());
    for (int i = 0; i < 4; ++i) {
        OdGePoint3d p;
        face->getVertexAt(OdUInt16(i), p);
        p.transformBy(xform);
        const QJsonArray want = corners.at(i).toArray();
        SCOPED_TRACE(i);
        // libdime keeps coordinates as floats.
        EXPECT_NEAR(p.x, want.at(0).toDouble(), 1e-4);
        EXPECT_NEAR(p.y, want.at(1).toDouble(), 1e-4);
        EXPECT_NEAR(p.z, want.at(2).toDouble(), 1e-4);
    }
}

TEST_F(DxfImport, QuadPolyfaceKeepsAllFourIndices)
{
    OdDbPolyFaceMeshPtr mesh;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* m = dynamic_cast<OdDbPolyFaceMesh*>(e)) mesh = m;
    });
    ASSERT_FALSE(mesh.isNull());
    EXPECT_EQ(mesh->numFaces(), 2);
    OdGeExtents3d ext;
    ASSERT_EQ(mesh->getGeomExtents(ext), eOk);
    EXPECT_NEAR(ext.maxPoint().x, 2.0, 1e-9);
    EXPECT_NEAR(ext.maxPoint().z, 1.0, 1e-9);
}

TEST_F(DxfImport, FacesMeshesTextAndColours)
{
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* f = dynamic_cast<OdDbFace*>(e)) {
            EXPECT_EQ(f->colorIndex(), 5);
            OdGePoint3d p2, p3;
            f->getVertexAt(2, p2);
            f->getVertexAt(3, p3);
            EXPECT_EQ(p2, p3); // a triangle repeats its third corner
        } else if (auto* l = dynamic_cast<OdDbLine*>(e)) {
            EXPECT_TRUE(l->color().isByColor());
            EXPECT_EQ(l->color().red(), 0x12);
            EXPECT_EQ(l->color().green(), 0x34);
            EXPECT_EQ(l->color().blue(), 0x56);
        } else if (auto* m = dynamic_cast<OdDbSubDMesh*>(e)) {
            EXPECT_EQ(m->vertices().size(), 5u);
            EXPECT_EQ(m->numOfFaces(), 2);
            OdDbMaterialPtr material = m->materialId().safeOpenObject();
            EXPECT_EQ(zalStrings::toQString(material->name()), QStringLiteral("Glass"));
            double opacity = 0;
            OdGiMaterialMap map;
            material->opacity(opacity, map);
            EXPECT_NEAR(opacity, 0.3, 1e-9);
            OdGiMaterialColor diffuse;
            material->diffuse(diffuse, map);
            EXPECT_EQ(diffuse.color().red(), 0x33);
            EXPECT_EQ(diffuse.color().blue(), 0xFF);
        } else if (auto* pm = dynamic_cast<OdDbPolygonMesh*>(e)) {
            EXPECT_EQ(pm->mSize(), 3);
            EXPECT_EQ(pm->nSize(), 4);
            EXPECT_EQ(pm->vertexAt(2, 3), OdGePoint3d(2, 3, 6));
        } else if (auto* t = dynamic_cast<OdDbText*>(e)) {
            EXPECT_EQ(zalStrings::toQString(t->textString()), QString::fromUtf8("Zo\xc3\xab"));
        } else if (auto* light = dynamic_cast<OdDbLight*>(e)) {
            EXPECT_EQ(zalStrings::toQString(light->name()), QStringLiteral("Lamp"));
            EXPECT_EQ(light->lightType(), OdGiDrawable::kSpotLight);
            EXPECT_NEAR(light->intensity(), 2.5, 1e-6);
            EXPECT_EQ(light->position(), OdGePoint3d(1, 2, 3));
            EXPECT_NEAR(light->hotspotAngle(), 40.0 * OdaPI / 180.0, 1e-6);
            EXPECT_NEAR(light->falloffAngle(), 60.0 * OdaPI / 180.0, 1e-6);
        }
    });
}

// Before AutoCAD 2007 the file's text is in the drawing's code page.
TEST(DxfImportText, OlderFilesUseTheirCodePage)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("r12.py"));
    ASSERT_TRUE(writeFile(script, R"PY(
import sys, ezdxf
doc = ezdxf.new('R12')
doc.header['$DWGCODEPAGE'] = 'ANSI_1252'
doc.modelspace().add_text('Caf\u00e9 \u00c5', dxfattribs={'insert': (0, 0)})
doc.modelspace().add_line((0, 0, 0), (1, 1, 0))
doc.saveas(sys.argv[1], encoding='cp1252')
)PY"));
    QString log;
    ASSERT_TRUE(runPython(script, {dir.filePath(QStringLiteral("r12.dxf"))}, &log)) << log.toStdString();
    ASSERT_TRUE(readFile(dir.filePath(QStringLiteral("r12.dxf"))).contains("Caf\xe9"));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r =
        zalDrawingImporter::importFile(dir.filePath(QStringLiteral("r12.dxf")), db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    QString text;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* t = dynamic_cast<OdDbText*>(e)) text = zalStrings::toQString(t->textString());
    });
    EXPECT_EQ(text, QString::fromUtf8("Caf\xc3\xa9 \xc3\x85"));
}

// The structure check passes over a file's bulk (the ENTITIES and BLOCKS sections) without keeping it;
// libdime's reading of the same bytes still brings every entity, each once.
TEST(DxfImportCounts, EveryEntityOfAFileArrivesOnce)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("many.py"));
    ASSERT_TRUE(writeFile(script, R"PY(
import sys, ezdxf
doc = ezdxf.new('R2010')
msp = doc.modelspace()
for i in range(300):
    x = float(i % 20)
    y = float(i // 20)
    msp.add_3dface([(x, y, 0), (x + 1, y, 0), (x + 1, y + 1, 0), (x, y + 1, 0)])
block = doc.blocks.new(name='Tile')
block.add_line((0, 0, 0), (1, 0, 0))
block.add_line((0, 0, 0), (0, 1, 0))
for i in range(40):
    msp.add_blockref('Tile', (100.0 + i, 0, 0))
doc.saveas(sys.argv[1])
)PY"));
    const QString file = dir.filePath(QStringLiteral("many.dxf"));
    QString log;
    ASSERT_TRUE(runPython(script, {file}, &log)) << log.toStdString();

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r = zalDrawingImporter::importFile(file, db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    const auto counts = countByClass(db->getModelSpaceId());
    EXPECT_EQ(counts.at("AcDbFace"), 300);
    EXPECT_EQ(counts.at("AcDbBlockReference"), 40);
    EXPECT_EQ(r.entities, 342); // 340 in model space, 2 in the block
    EXPECT_EQ(r.references, 40);
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    OdDbBlockTableRecordPtr tile = blocks->getAt(L"tile", OdDb::kForRead);
    ASSERT_FALSE(tile.isNull()) << "the block is found by its name in any letter case";
    EXPECT_EQ(countByClass(tile->objectId()).at("AcDbLine"), 2);
    OdDbObjectIdArray references;
    tile->getBlockReferenceIds(references);
    EXPECT_EQ(references.size(), 40u);
}
