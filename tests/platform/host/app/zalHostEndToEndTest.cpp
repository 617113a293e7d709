// The whole chain under Xvfb: the zalhost executable opens the bundled sample, its render view starts
// the real viewer through the render module, the first synchronisation sends the drawing, a script
// edits it, and the viewer's scene dump and exported image are checked against the drawing.
#include "tests/platform/host/import/zalImportTestSupport.h"
#include "zalDrawingImporter.h"

#include "DbBlockReference.h"
#include "DbDictionary.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbEntity.h"
#include "DbFace.h"
#include "DbObjectIterator.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbSubDMesh.h"
#include "DbText.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include "tests/common/zalHostProcess.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Outcome = zalHostOutcome;

Outcome zalhost(const QStringList& args)
{
    return runZalhost(args);
}

QString sourceSample()
{
    return QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
}

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QJsonObject();
    return QJsonDocument::fromJson(f.readAll()).object();
}

// The scene part of a dump (the viewer nests it, or not).
QJsonObject sceneOf(const QJsonObject& dump)
{
    return dump.contains(QStringLiteral("scene")) ? dump.value(QStringLiteral("scene")).toObject() : dump;
}

// Handles of the drawing objects a dump names ("<tag>_<class>_<handle>" in instance and mesh names).
QSet<QString> handlesIn(const QJsonObject& scene, const QStringList& arrays)
{
    static const QRegularExpression id(QStringLiteral("^[^_]+_(AcDb[A-Za-z0-9]+)_([0-9A-F]+)(_|$)"));
    QSet<QString> handles;
    for (const QString& array : arrays)
        for (const QJsonValue& v : scene.value(array).toArray()) {
            const QRegularExpressionMatch m = id.match(v.toObject().value(QStringLiteral("name")).toString());
            if (m.hasMatch() && m.captured(1) != QLatin1String("AcDbMaterial") &&
                m.captured(1) != QLatin1String("AcDbBlockTableRecord"))
                handles.insert(m.captured(2));
        }
    return handles;
}

// Lowest and highest z of the meshes of one entity, in viewer units.
bool zRange(const QJsonObject& scene, const QString& handle, double& low, double& high)
{
    bool found = false;
    for (const QJsonValue& v : scene.value(QStringLiteral("meshes")).toArray()) {
        const QJsonObject m = v.toObject();
        // A mesh's parent is its entity.
        if (!m.value(QStringLiteral("parent")).toString().endsWith(QLatin1Char('_') + handle)) continue;
        const QJsonArray lo = m.value(QStringLiteral("boundsMin")).toArray();
        const QJsonArray hi = m.value(QStringLiteral("boundsMax")).toArray();
        if (lo.size() != 3 || hi.size() != 3) continue;
        low = found ? std::min(low, lo.at(2).toDouble()) : lo.at(2).toDouble();
        high = found ? std::max(high, hi.at(2).toDouble()) : hi.at(2).toDouble();
        found = true;
    }
    return found;
}

struct Entity
{
    QString handle;
    QString cls;
};

// The sample as the host reads it: model-space entities in order (the scripts name them as "#n").
std::vector<Entity> sampleEntities()
{
    std::vector<Entity> list;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    if (!zalDrawingImporter::importFile(sourceSample(), db.get()).ok) return list;
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        list.push_back({QString::fromStdString(e->handle().ascii().toUtf8()),
                        QString::fromStdString(OdString(e->isA()->name()).toUtf8())});
    }
    return list;
}

} // namespace

TEST(EndToEnd, SampleThroughHostModuleAndViewerThenScriptedEdits)
{
    ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (xvfb-run)";
    QTemporaryDir dir;
    // The host keeps the drawing's project folder beside it: the sample runs from the temporary folder.
    const QString sample = dir.filePath(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(sourceSample(), sample));
    const std::vector<Entity> entities = sampleEntities();
    ASSERT_GT(entities.size(), 10u);

    // First run: the sample as it is.
    const QString png = dir.filePath(QStringLiteral("sample.png"));
    const QString dump = dir.filePath(QStringLiteral("scene.json"));
    const Outcome first = zalhost({"--open", sample, "--export-image", png, "--size", "640x360",
                                   "--dump-scene", dump, "--timeout", "240"});
    ASSERT_EQ(first.code, 0) << first.out.toStdString() << first.err.toStdString();

    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 360));
    std::map<QRgb, int> histogram;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++histogram[image.pixel(x, y) & 0xffffff];
    int most = 0;
    for (const auto& h : histogram)
        most = std::max(most, h.second);
    // Not one colour, and not only the clear colour: the model covers a good part of the picture.
    EXPECT_GT(histogram.size(), 20u);
    EXPECT_LT(most, image.width() * image.height() * 9 / 10);

    const QJsonObject scene = sceneOf(readJson(dump));
    ASSERT_FALSE(scene.isEmpty());
    // Every 3D entity of the model space reached the viewer; text (2D) does not.
    const QSet<QString> shown = handlesIn(scene, {"instances", "meshes", "lights"});
    for (const Entity& e : entities) {
        SCOPED_TRACE(e.cls.toStdString() + " " + e.handle.toStdString());
        if (e.cls == QLatin1String("AcDbText"))
            EXPECT_FALSE(shown.contains(e.handle));
        else
            EXPECT_TRUE(shown.contains(e.handle));
    }

    // Second run: erase the pool and lift the roof by one metre.
    int pool = -1, roof = -1;
    for (size_t i = 0; i < entities.size(); ++i) {
        // The sample's order: ground, floor, 4 step faces, 8 columns, roof, pool, 4 lights, text.
        if (i == 14) roof = int(i);
        if (i == 15) pool = int(i);
    }
    ASSERT_EQ(entities[size_t(roof)].cls, QStringLiteral("AcDbSubDMesh"));
    ASSERT_EQ(entities[size_t(pool)].cls, QStringLiteral("AcDbSubDMesh"));
    const QString script = dir.filePath(QStringLiteral("edit.scr"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("erase\n%1\nmove\n#%2\n0,0,1\n")
                    .arg(entities[size_t(pool)].handle)
                    .arg(roof + 1)
                    .toUtf8());
    }
    const QString dump2 = dir.filePath(QStringLiteral("edited.json"));
    const Outcome second =
        zalhost({"--open", sample, "--script", script, "--dump-scene", dump2, "--timeout", "240"});
    ASSERT_EQ(second.code, 0) << second.out.toStdString() << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(QStringLiteral("script ran 2 commands"))) << second.out.toStdString();

    const QJsonObject edited = sceneOf(readJson(dump2));
    const QSet<QString> after = handlesIn(edited, {"instances", "meshes", "lights"});
    for (const Entity& e : entities) {
        SCOPED_TRACE(e.cls.toStdString() + " " + e.handle.toStdString());
        const bool expected = e.cls != QLatin1String("AcDbText") && e.handle != entities[size_t(pool)].handle;
        EXPECT_EQ(after.contains(e.handle), expected);
    }
    double low1 = 0, high1 = 0, low2 = 0, high2 = 0;
    ASSERT_TRUE(zRange(scene, entities[size_t(roof)].handle, low1, high1));
    ASSERT_TRUE(zRange(edited, entities[size_t(roof)].handle, low2, high2));
    // One metre is 100 viewer units (centimetres).
    EXPECT_NEAR(low2 - low1, 100.0, 0.01);
    EXPECT_NEAR(high2 - high1, 100.0, 0.01);
}

// Without the viewer next to the host, the run ends after its time-out with one line naming what it
// waited for, and a non-zero exit.
TEST(EndToEnd, ViewerThatDoesNotStart)
{
    ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (xvfb-run)";
    QTemporaryDir dir;
    const QDir bin(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR")));
    // The host and its modules, but not the viewer's folder. The host's own libraries come from the
    // build folder (its run path), so the modules it loads from its folder are links to the same
    // files: copies would be a second instance of a library already loaded.
    for (const QString& file : bin.entryList({QStringLiteral("*.so")}, QDir::Files))
        ASSERT_TRUE(QFile::link(bin.filePath(file), dir.filePath(file))) << file.toStdString();
    ASSERT_TRUE(
        QFile::copy(bin.filePath(QStringLiteral("zalhost")), dir.filePath(QStringLiteral("zalhost"))));
    QFile::setPermissions(dir.filePath(QStringLiteral("zalhost")),
                          QFile::permissions(bin.filePath(QStringLiteral("zalhost"))));
    const QString sample = dir.filePath(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(sourceSample(), sample));

    QProcess p;
    p.start(dir.filePath(QStringLiteral("zalhost")),
            {"--open", sample, "--export-image", dir.filePath(QStringLiteral("x.png")), "--timeout", "8"});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 5);
    const QStringList ours = QString::fromLocal8Bit(p.readAllStandardError())
                                 .split(QLatin1Char('\n'))
                                 .filter(QRegularExpression(QStringLiteral("^zalhost: ")));
    ASSERT_EQ(ours.size(), 1);
    EXPECT_TRUE(ours.first().contains(QStringLiteral("timed out after 8 s waiting for the viewer")))
        << ours.first().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.png"))));
}

namespace {

QString handleOf(const OdDbObjectId& id)
{
    return QString::fromStdString(id.getHandle().ascii().toUtf8());
}

// Names in one array of a dump whose drawing handle is the given one.
QJsonArray named(const QJsonObject& scene, const QString& array, const QString& handle)
{
    QJsonArray found;
    for (const QJsonValue& v : scene.value(array).toArray()) {
        const QString name = v.toObject().value(QStringLiteral("name")).toString();
        if (name.section(QLatin1Char('_'), 2, 2) == handle) found.append(v);
    }
    return found;
}

} // namespace

// Files the import tests write, opened by the host: what the viewer holds matches the database.
TEST(EndToEnd, ImportedDxfAndGltfInTheViewer)
{
    ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (xvfb-run)";
    QTemporaryDir dir;
    using namespace zalImportTest;

    // The DXF scene.
    const QString script = dir.filePath(QStringLiteral("write.py"));
    ASSERT_TRUE(writeFile(script, kSceneWriter));
    const QString dxf = dir.filePath(QStringLiteral("scene.dxf"));
    QString log;
    ASSERT_TRUE(runPython(script, {dxf, dir.filePath(QStringLiteral("expected.json"))}, &log))
        << log.toStdString();
    const QString dxfDump = dir.filePath(QStringLiteral("dxf.json"));
    const Outcome dxfRun = zalhost({"--open", dxf, "--dump-scene", dxfDump, "--timeout", "120"});
    ASSERT_EQ(dxfRun.code, 0) << dxfRun.err.toStdString();
    const QJsonObject dxfScene = sceneOf(readJson(dxfDump));

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    ASSERT_TRUE(zalDrawingImporter::importFile(dxf, db.get()).ok);
    int checked = 0;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        const QString h = handleOf(e->objectId());
        OdDbLayerTableRecordPtr layer = e->layerId().safeOpenObject();
        // The translation leaves out layers that are off (or hidden), not frozen ones.
        const bool hidden = layer->isOff() || layer->isHidden();
        SCOPED_TRACE(QString::fromStdString(OdString(e->isA()->name()).toUtf8()).toStdString() + " " +
                     h.toStdString());
        if (dynamic_cast<OdDbBlockReference*>(e)) {
            // The INSERT is an instance of the block's component.
            const QJsonArray instances = named(dxfScene, QStringLiteral("instances"), h);
            ASSERT_EQ(instances.size(), 1);
            auto* ref = static_cast<OdDbBlockReference*>(e);
            EXPECT_TRUE(instances.at(0)
                            .toObject()
                            .value(QStringLiteral("component"))
                            .toString()
                            .endsWith(QLatin1Char('_') + handleOf(ref->blockTableRecord())));
            ++checked;
        } else if (dynamic_cast<OdDbLight*>(e)) {
            EXPECT_EQ(named(dxfScene, QStringLiteral("lights"), h).size(), 1);
            ++checked;
        } else if (dynamic_cast<OdDbSubDMesh*>(e)) {
            // The MESH carries its MATERIAL.
            const QJsonArray meshes = named(dxfScene, QStringLiteral("meshes"), h);
            ASSERT_EQ(meshes.size(), 1);
            EXPECT_TRUE(meshes.at(0)
                            .toObject()
                            .value(QStringLiteral("material"))
                            .toString()
                            .endsWith(QLatin1Char('_') + handleOf(e->materialId())));
            ++checked;
        } else if (dynamic_cast<OdDbFace*>(e) || dynamic_cast<OdDbPolyFaceMesh*>(e) ||
                   dynamic_cast<OdDbPolygonMesh*>(e)) {
            // 3D geometry reaches the viewer unless its layer is off.
            EXPECT_EQ(named(dxfScene, QStringLiteral("meshes"), h).isEmpty(), hidden);
            ++checked;
        }
    });
    EXPECT_EQ(checked, 6);

    // The glTF model: one component for the shared mesh, an instance per node, both materials, the light.
    const QString gltfPath = dir.filePath(QStringLiteral("pair.gltf"));
    ASSERT_TRUE(writeFile(gltfPath, gltf()));
    const QString gltfDump = dir.filePath(QStringLiteral("gltf.json"));
    const Outcome gltfRun = zalhost({"--open", gltfPath, "--dump-scene", gltfDump, "--timeout", "120"});
    ASSERT_EQ(gltfRun.code, 0) << gltfRun.err.toStdString();
    // Read once: every read of the file tells what it opened.
    EXPECT_EQ(gltfRun.out.count(QStringLiteral("opened pair.gltf")), 1) << gltfRun.out.toStdString();
    const QJsonObject gltfScene = sceneOf(readJson(gltfDump));

    OdDbDatabasePtr model = OdDbDatabase::createObject();
    ASSERT_TRUE(zalDrawingImporter::importFile(gltfPath, model.get()).ok);
    QSet<QString> components;
    int references = 0;
    forEachEntity(model->getModelSpaceId(), [&](OdDbEntity* e) {
        const QString h = handleOf(e->objectId());
        if (auto* ref = dynamic_cast<OdDbBlockReference*>(e)) {
            const QJsonArray instances = named(gltfScene, QStringLiteral("instances"), h);
            ASSERT_EQ(instances.size(), 1);
            components << instances.at(0).toObject().value(QStringLiteral("component")).toString();
            EXPECT_TRUE(
                components.values().first().endsWith(QLatin1Char('_') + handleOf(ref->blockTableRecord())));
            ++references;
        } else if (dynamic_cast<OdDbLight*>(e)) {
            EXPECT_EQ(named(gltfScene, QStringLiteral("lights"), h).size(), 1);
        }
    });
    EXPECT_EQ(references, 2);
    EXPECT_EQ(components.size(), 1);
    OdDbDictionaryPtr materials = model->getMaterialDictionaryId().safeOpenObject();
    for (const char* name : {"Red", "Glass"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(
            named(gltfScene, QStringLiteral("materials"), handleOf(materials->getAt(OdString(name)))).size(),
            1);
    }
}
