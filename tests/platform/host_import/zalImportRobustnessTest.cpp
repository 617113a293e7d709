// Damaged and hostile drawing files: each case here once crashed the host or hit undefined
// behaviour; now the file is refused with a message, or the bad part is left out.
#include "zalDrawingImporter.h"
#include "zalHostPhysicsMaterials.h"
#include "zalImportTestSupport.h"

#include "DbLine.h"
#include "DbMaterial.h"
#include "DbPolyline.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zalImportTest;

namespace {

QByteArray asciiDxf(const QByteArray& entities)
{
    return "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

zalImportResult importBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes,
                            OdDbDatabase* db, zalHostPhysicsMaterials* materials = nullptr)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return zalDrawingImporter::importFile(path, db, materials);
}

} // namespace

TEST(ImportRobustness, PolylineDeclaringVerticesItDoesNotCarryIsLeftOut)
{
    QTemporaryDir dir;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    // Three vertices declared, none given; a whole polyline and a line follow and still come in.
    const zalImportResult r =
        importBytes(dir, QStringLiteral("lw.dxf"),
                    asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n3\n70\n0\n"
                             "0\nLWPOLYLINE\n8\n0\n90\n2\n70\n0\n10\n1\n20\n2\n10\n3\n20\n4\n"
                             "0\nLWPOLYLINE\n8\n0\n90\n3\n70\n0\n210\n1\n220\n0\n230\n0\n"
                             "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"),
                    db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.entities, 2);
    EXPECT_EQ(r.skipped, 2);
    const auto counts = countByClass(db->getModelSpaceId());
    EXPECT_EQ(counts.count("AcDbPolyline") ? counts.at("AcDbPolyline") : 0, 1);
}

TEST(ImportRobustness, TrueColoursOutOfRangeKeepTheColourNumber)
{
    QTemporaryDir dir;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    // 420 is kept as text by libdime, so any number can stand there.
    const zalImportResult r = importBytes(
        dir, QStringLiteral("colours.dxf"),
        asciiDxf("0\nLINE\n8\n0\n62\n3\n420\n1e300\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n"
                 "0\nLINE\n8\n0\n62\n4\n420\nnan\n10\n0\n20\n0\n30\n0\n11\n2\n21\n0\n31\n0\n"
                 "0\nLINE\n8\n0\n62\n5\n420\n-7\n10\n0\n20\n0\n30\n0\n11\n3\n21\n0\n31\n0\n"
                 "0\nLINE\n8\n0\n62\n6\n420\n16711935\n10\n0\n20\n0\n30\n0\n11\n4\n21\n0\n31\n0\n"),
        db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    std::vector<OdCmColor> colours;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) { colours.push_back(e->color()); });
    ASSERT_EQ(colours.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(colours[i].isByACI()) << "line " << i;
        EXPECT_EQ(colours[i].colorIndex(), 3 + i) << "line " << i;
    }
    EXPECT_FALSE(colours[3].isByACI());
    EXPECT_EQ(colours[3].red(), 255);
    EXPECT_EQ(colours[3].green(), 0);
    EXPECT_EQ(colours[3].blue(), 255);
}

TEST(ImportRobustness, BinaryDxfIsReadWholeAndRefusedWhenCut)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("bin.py"));
    ASSERT_TRUE(writeFile(script, R"PY(
import sys, ezdxf
doc = ezdxf.new('R12')
doc.modelspace().add_line((0, 0, 0), (3, 4, 0))
doc.saveas(sys.argv[1], fmt='bin')
)PY"));
    QString log;
    const QString whole = dir.filePath(QStringLiteral("whole.dxf"));
    ASSERT_TRUE(runPython(script, {whole}, &log)) << log.toStdString();
    const QByteArray bytes = readFile(whole);
    ASSERT_TRUE(bytes.startsWith("AutoCAD Binary DXF"));

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r = zalDrawingImporter::importFile(whole, db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    bool found = false;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* line = dynamic_cast<OdDbLine*>(e)) found = line->endPoint() == OdGePoint3d(3, 4, 0);
    });
    EXPECT_TRUE(found);

    // Cut anywhere (every byte near the sentinel and the end, every 13th in between).
    int refused = 0;
    for (int size = 0; size < bytes.size() - 1; size += (size < 64 || size > bytes.size() - 64) ? 1 : 13) {
        OdDbDatabasePtr cutDb = OdDbDatabase::createObject();
        const zalImportResult cut =
            importBytes(dir, QStringLiteral("cut.dxf"), bytes.left(size), cutDb.get());
        EXPECT_FALSE(cut.ok) << "cut at " << size;
        if (!cut.ok) {
            EXPECT_FALSE(cut.message.isEmpty());
            ++refused;
        }
    }
    EXPECT_GT(refused, 100);
}

TEST(ImportRobustness, MaterialsServiceForgetsDrawingsThatAreGone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pair.gltf"));
    ASSERT_TRUE(writeFile(path, gltf()));
    zalHostPhysicsMaterials materials(dir.path());
    OdDbObjectId firstMaterial;
    {
        OdDbDatabasePtr first = OdDbDatabase::createObject();
        ASSERT_TRUE(zalDrawingImporter::importFile(path, first.get(), &materials).ok);
        ASSERT_GT(materials.descriptionCount(), 0);
    }
    // The first drawing is gone: its descriptions went with it, and importing again (which compares
    // ids in the service's map) must not reach the freed drawing.
    EXPECT_EQ(materials.descriptionCount(), 0);
    OdDbDatabasePtr second = OdDbDatabase::createObject();
    const zalImportResult r = zalDrawingImporter::importFile(path, second.get(), &materials);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_GT(materials.descriptionCount(), 0);
    // A failed import leaves nothing behind either.
    {
        OdDbDatabasePtr failed = OdDbDatabase::createObject();
        EXPECT_FALSE(
            importBytes(dir, QStringLiteral("bad.gltf"), "{\"asset\":", failed.get(), &materials).ok);
    }
    const int kept = materials.descriptionCount();
    second = OdDbDatabasePtr();
    EXPECT_EQ(materials.descriptionCount(), 0);
    EXPECT_GT(kept, 0);
}
