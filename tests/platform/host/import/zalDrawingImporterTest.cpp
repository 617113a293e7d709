// Opening files: missing, empty, cut and broken files give one line naming the cause; real files from
// Debian's assimp-testmodels import with the entity counts and extents an independent reader
// (python3-ezdxf) or the file's own text gives.
#include "zalDrawingImporter.h"
#include "zalImportTestSupport.h"

#include "DbBlockReference.h"
#include "DbSubDMesh.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <cmath>

using namespace zalImportTest;

namespace {

const QString kModels = QStringLiteral("/usr/share/assimp/models");

void expectOneLineFailure(const zalImportResult& r, const QString& mentions)
{
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_FALSE(r.message.contains(QLatin1Char('\n'))) << r.message.toStdString();
    EXPECT_TRUE(r.message.contains(mentions, Qt::CaseInsensitive)) << r.message.toStdString();
}

OdGeExtents3d modelExtents(OdDbDatabase* db)
{
    OdGeExtents3d extents;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        OdGeExtents3d ext;
        if (e->getGeomExtents(ext) == eOk) extents.addExt(ext);
    });
    return extents;
}

} // namespace

TEST(ImportFailures, MissingEmptyCutAndBrokenFiles)
{
    QTemporaryDir dir;
    OdDbDatabasePtr db = OdDbDatabase::createObject();

    expectOneLineFailure(
        zalDrawingImporter::importFile(dir.filePath(QStringLiteral("nowhere.dxf")), db.get()),
        QStringLiteral("no such file"));

    for (const char* name : {"empty.dxf", "empty.gltf", "empty.obj"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(writeFile(path, QByteArray()));
        expectOneLineFailure(zalDrawingImporter::importFile(path, db.get()), QStringLiteral("empty file"));
    }

    // A real drawing cut at every tenth of its length.
    const QByteArray whole = readFile(kModels + QStringLiteral("/DXF/lineTest.dxf"));
    ASSERT_FALSE(whole.isEmpty());
    for (int tenth = 1; tenth < 10; ++tenth) {
        SCOPED_TRACE(tenth);
        const QString path = dir.filePath(QStringLiteral("cut%1.dxf").arg(tenth));
        ASSERT_TRUE(writeFile(path, whole.left(whole.size() * tenth / 10)));
        OdDbDatabasePtr fresh = OdDbDatabase::createObject();
        expectOneLineFailure(zalDrawingImporter::importFile(path, fresh.get()),
                             QStringLiteral("not a complete DXF file"));
    }

    const QString garbage = dir.filePath(QStringLiteral("garbage.dxf"));
    ASSERT_TRUE(writeFile(garbage, "this is\nnot a drawing\n"));
    expectOneLineFailure(zalDrawingImporter::importFile(garbage, db.get()), QStringLiteral("garbage.dxf"));

    const QString cutModel = dir.filePath(QStringLiteral("cut.gltf"));
    ASSERT_TRUE(writeFile(cutModel, "{\"asset\": {\"version\": \"2.0\"}, \"nodes\": [{\"mesh\": 0"));
    expectOneLineFailure(zalDrawingImporter::importFile(cutModel, db.get()), QStringLiteral("cut.gltf"));

    // The test models' own broken files.
    for (const char* name : {"invalid/malformed.obj", "invalid/empty.obj"}) {
        SCOPED_TRACE(name);
        OdDbDatabasePtr fresh = OdDbDatabase::createObject();
        const zalImportResult r =
            zalDrawingImporter::importFile(kModels + QLatin1Char('/') + QLatin1String(name), fresh.get());
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.contains(QLatin1Char('\n')));
    }
}

// Counts and extents of real DXF files against ezdxf's reading of the same files.
TEST(RealFiles, DxfTestModelsMatchAnIndependentReader)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("read.py"));
    ASSERT_TRUE(writeFile(script, R"PY(
import sys, json, ezdxf
from collections import Counter
from ezdxf import bbox
out = {}
for path in sys.argv[2:]:
    doc = ezdxf.readfile(path)
    msp = doc.modelspace()
    counts = Counter(e.dxftype() for e in msp)
    box = bbox.extents(msp)
    inner = sum(len(doc.blocks.get(e.dxf.name)) for e in msp if e.dxftype() == 'INSERT')
    out[path] = {'counts': counts, 'min': list(box.extmin), 'max': list(box.extmax), 'blockEntities': inner}
json.dump(out, open(sys.argv[1], 'w'))
)PY"));
    const QStringList files{
        kModels + QStringLiteral("/DXF/PinkEggFromLW.dxf"), kModels + QStringLiteral("/DXF/lineTest.dxf"),
        kModels + QStringLiteral("/DXF/wuson.dxf"), kModels + QStringLiteral("/DXF/issue_2229.dxf")};
    QString log;
    ASSERT_TRUE(runPython(script, QStringList{dir.filePath(QStringLiteral("expected.json"))} + files, &log))
        << log.toStdString();
    const QJsonObject expected =
        QJsonDocument::fromJson(readFile(dir.filePath(QStringLiteral("expected.json")))).object();

    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        const zalImportResult r = zalDrawingImporter::importFile(file, db.get());
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        const QJsonObject want = expected.value(file).toObject();
        const QJsonObject counts = want.value(QStringLiteral("counts")).toObject();

        const auto have = countByClass(db->getModelSpaceId());
        const auto count = [&have](const char* cls) {
            auto it = have.find(cls);
            return it == have.end() ? 0 : it->second;
        };
        EXPECT_EQ(count("AcDbFace"), counts.value(QStringLiteral("3DFACE")).toInt());
        EXPECT_EQ(count("AcDbLine"), counts.value(QStringLiteral("LINE")).toInt());
        EXPECT_EQ(count("AcDbBlockReference"), counts.value(QStringLiteral("INSERT")).toInt());
        EXPECT_EQ(count("AcDbPolyFaceMesh") + count("AcDbPolygonMesh") + count("AcDb3dPolyline"),
                  counts.value(QStringLiteral("POLYLINE")).toInt());

        int blockEntities = 0;
        forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
            if (auto* ref = dynamic_cast<OdDbBlockReference*>(e))
                forEachEntity(ref->blockTableRecord(), [&](OdDbEntity*) { ++blockEntities; });
        });
        EXPECT_EQ(blockEntities, want.value(QStringLiteral("blockEntities")).toInt());

        const OdGeExtents3d ext = modelExtents(db.get());
        const QJsonArray lo = want.value(QStringLiteral("min")).toArray();
        const QJsonArray hi = want.value(QStringLiteral("max")).toArray();
        const double size = (ext.maxPoint() - ext.minPoint()).length();
        const double tol = 1e-5 * std::max(1.0, size); // libdime keeps floats
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(ext.minPoint()[k], lo.at(k).toDouble(), tol) << "axis " << k;
            EXPECT_NEAR(ext.maxPoint()[k], hi.at(k).toDouble(), tol) << "axis " << k;
        }
    }
}

// OBJ files: faces and the extents of the vertices the faces use, read from the file's text.
TEST(RealFiles, ObjTestModelsMatchTheirOwnText)
{
    for (const char* name : {"box.obj", "spider.obj", "concave_polygon.obj"}) {
        SCOPED_TRACE(name);
        const QString path = kModels + QStringLiteral("/OBJ/") + QLatin1String(name);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QVector<OdGePoint3d> vertices;
        int faces = 0;
        OdGeExtents3d used;
        QVector<QStringList> faceLines;
        while (!f.atEnd()) {
            const QStringList parts = QString::fromLatin1(f.readLine()).simplified().split(QLatin1Char(' '));
            if (parts.size() >= 4 && parts[0] == QLatin1String("v"))
                vertices << OdGePoint3d(parts[1].toDouble(), parts[2].toDouble(), parts[3].toDouble());
            else if (parts.size() >= 4 && parts[0] == QLatin1String("f"))
                faceLines << parts.mid(1);
        }
        for (const QStringList& face : faceLines) {
            ++faces;
            for (const QString& corner : face) {
                int index = corner.section(QLatin1Char('/'), 0, 0).toInt();
                if (index < 0) index = vertices.size() + index + 1;
                ASSERT_GE(index, 1);
                ASSERT_LE(index, vertices.size());
                used.addPoint(vertices[index - 1]);
            }
        }

        OdDbDatabasePtr db = OdDbDatabase::createObject();
        const zalImportResult r = zalDrawingImporter::importFile(path, db.get());
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        int shellFaces = 0;
        forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
            if (auto* ref = dynamic_cast<OdDbBlockReference*>(e))
                forEachEntity(ref->blockTableRecord(), [&](OdDbEntity* inner) {
                    if (auto* shell = dynamic_cast<OdDbSubDMesh*>(inner)) shellFaces += shell->numOfFaces();
                });
        });
        EXPECT_EQ(shellFaces, faces);
        const OdGeExtents3d ext = modelExtents(db.get());
        EXPECT_TRUE(ext.minPoint().isEqualTo(used.minPoint(), OdGeTol(1e-5))) << ext.minPoint().x;
        EXPECT_TRUE(ext.maxPoint().isEqualTo(used.maxPoint(), OdGeTol(1e-5))) << ext.maxPoint().x;
    }
}
