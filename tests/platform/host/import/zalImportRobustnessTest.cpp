// Damaged and hostile drawing files: each case here once crashed the host or hit undefined
// behaviour; now the file is refused with a message, or the bad part is left out.
#include "zalDrawingImporter.h"
#include "zalHostPhysicsMaterials.h"
#include "zalImportTestSupport.h"
#include "zalModelImporter.h"
#include "zalStrings.h"

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

TEST(ImportRobustness, CountsTheReaderWouldTrustAreCheckedAgainstTheFile)
{
    QTemporaryDir dir;
    const auto refused = [&](const QByteArray& bytes, const char* reason) {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        const zalImportResult r = importBytes(dir, QStringLiteral("counts.dxf"), bytes, db.get());
        EXPECT_FALSE(r.ok) << reason;
        EXPECT_TRUE(r.message.contains(QLatin1String(reason))) << r.message.toStdString();
    };
    const QByteArray line = "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n";
    // A negative entry count threw out of the reader; a large one is only a hint.
    refused("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n-3\n0\nENDTAB\n0\nENDSEC\n" + asciiDxf(line),
            "declares -3 entries");
    refused("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n-0x10\n0\nENDTAB\n0\nENDSEC\n" + asciiDxf(line),
            "declares -16 entries");
    refused("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n-" + QByteArray(60, '0') +
                "5\n0\nENDTAB\n0\nENDSEC\n" + asciiDxf(line),
            "declares -5 entries");
    // Vertex arrays sized from the count: three hundred million asked for gigabytes; three for two
    // vertices left one unset; a second count after the first vertex wrote past the arrays.
    refused(asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n300000000\n10\n0\n20\n0\n" + line),
            "declares 300000000 vertices and gives 1");
    refused(asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n3\n10\n0\n20\n0\n10\n1\n20\n0\n" + line),
            "declares 3 vertices and gives 2");
    // Read into 32 bits, as the reader does: 2^32 + 3 is 3.
    refused(asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n4294967299\n10\n0\n20\n0\n" + line),
            "declares 3 vertices and gives 1");
    refused(asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n1\n10\n0\n20\n0\n90\n2\n10\n1\n20\n0\n10\n2\n20\n0\n"),
            "vertex count 2 times");
    // A number of a thousand digits overran the reader's buffer, as a value and as a group code.
    refused(asciiDxf("0\nLINE\n8\n0\n62\n" + QByteArray(999, '0') + "1\n10\n0\n20\n0\n30\n0\n"),
            "a number of 1000 characters");
    refused(asciiDxf(QByteArray(999, '0') + "8\n0\n" + line), "not a DXF group code");

    // What stays readable: a table count above its entries, a polyline that gives more vertices than
    // it declares (the rest are dropped), and text of any length.
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const QByteArray longName(1000, 'L');
    const zalImportResult r =
        importBytes(dir, QStringLiteral("fine.dxf"),
                    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n32767\n0\nENDTAB\n0\nENDSEC\n" +
                        asciiDxf("0\nLWPOLYLINE\n8\n0\n90\n2\n10\n0\n20\n0\n10\n1\n20\n0\n10\n2\n20\n0\n"
                                 "0\nLINE\n8\n" +
                                 longName + "\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"),
                    db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    int vertices = -1;
    QString layer;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* p = dynamic_cast<OdDbPolyline*>(e)) vertices = int(p->numVerts());
        if (dynamic_cast<OdDbLine*>(e)) layer = zalStrings::toQString(e->layer());
    });
    EXPECT_EQ(vertices, 2);
    EXPECT_EQ(layer.size(), 1000);
}

TEST(ImportRobustness, BinaryTableWithANegativeCountIsRefused)
{
    // Two-byte group codes, NUL-ended text, little-endian numbers.
    QByteArray bytes("AutoCAD Binary DXF\r\n\x1a", 21);
    bytes.append('\0');
    const auto code = [&](int c) {
        bytes.append(char(c & 0xff));
        bytes.append(char(c >> 8));
    };
    const auto text = [&](int c, const char* value) {
        code(c);
        bytes.append(value);
        bytes.append('\0');
    };
    text(0, "SECTION");
    text(2, "TABLES");
    text(0, "TABLE");
    text(2, "LAYER");
    code(70);
    bytes.append(char(0xfd)); // -3
    bytes.append(char(0xff));
    text(0, "ENDTAB");
    text(0, "ENDSEC");
    text(0, "EOF");

    QTemporaryDir dir;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r = importBytes(dir, QStringLiteral("table.dxf"), bytes, db.get());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains(QLatin1String("declares -3 entries"))) << r.message.toStdString();
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

namespace {

// Points the importer at another reader for the life of the object.
class ReaderOverride
{
public:
    explicit ReaderOverride(const QString& path) : m_old(qgetenv("ZAL_MODEL_READER"))
    {
        qputenv("ZAL_MODEL_READER", QFile::encodeName(path));
    }
    ~ReaderOverride()
    {
        if (m_old.isEmpty())
            qunsetenv("ZAL_MODEL_READER");
        else
            qputenv("ZAL_MODEL_READER", m_old);
        zalModelImporter::setReaderTimeout(10 * 60 * 1000);
    }

private:
    QByteArray m_old;
};

QString script(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeFile(path, "#!/bin/sh\n" + body + "\n"));
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

int modelSpaceCount(OdDbDatabase* db)
{
    int n = 0;
    for (const auto& entry : countByClass(db->getModelSpaceId()))
        n += entry.second;
    return n;
}

} // namespace

// assimp parses in a child process: whatever happens to the child, the host gets a message and an
// untouched drawing, and goes on.
TEST(ImportRobustness, ModelReaderThatCrashesHangsOrIsMissingCostsOnlyTheImport)
{
    QTemporaryDir dir;
    const QString model = dir.filePath(QStringLiteral("pair.gltf"));
    ASSERT_TRUE(writeFile(model, gltf()));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const int before = modelSpaceCount(db.get());
    {
        ReaderOverride reader(script(dir, QStringLiteral("crash.sh"), "kill -SEGV $$"));
        const zalImportResult r = zalDrawingImporter::importFile(model, db.get(), nullptr);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains(QStringLiteral("pair.gltf"))) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(QStringLiteral("stopped"))) << r.message.toStdString();
    }
    {
        ReaderOverride reader(script(dir, QStringLiteral("hang.sh"), "exec sleep 120"));
        zalModelImporter::setReaderTimeout(1000);
        const zalImportResult r = zalDrawingImporter::importFile(model, db.get(), nullptr);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains(QStringLiteral("longer than"))) << r.message.toStdString();
    }
    {
        ReaderOverride reader(script(dir, QStringLiteral("garbage.sh"), "printf 'not a dump' > \"$2\""));
        const zalImportResult r = zalDrawingImporter::importFile(model, db.get(), nullptr);
        EXPECT_FALSE(r.ok) << "a dump the reader did not write properly was taken";
    }
    {
        ReaderOverride reader(dir.filePath(QStringLiteral("no-such-reader")));
        const zalImportResult r = zalDrawingImporter::importFile(model, db.get(), nullptr);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains(QStringLiteral("could not be started"))) << r.message.toStdString();
    }
    EXPECT_EQ(modelSpaceCount(db.get()), before);
    // The real reader still works afterwards, in the same process.
    const zalImportResult r = zalDrawingImporter::importFile(model, db.get(), nullptr);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_GT(modelSpaceCount(db.get()), before);
}

// A 2 KB binary glTF the fuzzer found (kept with its corpus; the first byte picks the extension
// there): assimp then took 1.9 GB and 7-19 s before giving up. The reader's memory is bounded by the
// file's size, so it is refused at once; and the host's own memory never sees that allocation.
TEST(ImportRobustness, BinaryGltfClaimingGigabytesIsRefused)
{
    const QByteArray found =
        readFile(qEnvironmentVariable("ZAL_SOURCE_DIR") +
                 QStringLiteral("/fuzz/regressions/model_import/glb-chunk-claiming-gigabytes"));
    ASSERT_GT(found.size(), 1);
    QTemporaryDir dir;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r = importBytes(dir, QStringLiteral("huge.glb"), found.mid(1), db.get());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.startsWith(QStringLiteral("huge.glb: not a readable model file")))
        << r.message.toStdString();
}
