// The round trip through the real viewer: a drawing opened, saved and opened again in a fresh
// zalhost gives the same viewer scene, compared field by field (names, transforms, bounds, material
// parameter strings); and undo / redo of host commands bring the viewer's scene back exactly.
#include "tests/platform/host/import/zalImportTestSupport.h"

#include "zalDbXBlock.h"
#include "zalDxfWriter.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbFace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/common/zalHostProcess.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct HostRun : zalHostOutcome
{
    QJsonObject scene, settings;
};

// One fresh zalhost: opens file, runs script (when given), dumps the viewer's scene.
HostRun zalhost(const QString& file, const QString& script, const QString& dump)
{
    QStringList args{QStringLiteral("--open"),       file,
                     QStringLiteral("--dump-scene"), dump,
                     QStringLiteral("--timeout"),    QStringLiteral("240")};
    if (!script.isEmpty()) args << QStringLiteral("--script") << script;
    HostRun r;
    static_cast<zalHostOutcome&>(r) = runZalhost(args);
    QFile f(dump);
    if (f.open(QIODevice::ReadOnly)) {
        QJsonObject d = QJsonDocument::fromJson(f.readAll()).object();
        r.scene = d.contains(QStringLiteral("scene")) ? d.value(QStringLiteral("scene")).toObject() : d;
        r.settings = d.value(QStringLiteral("settings")).toObject();
    }
    return r;
}

// Differences between two values, one line each: objects key by key, arrays of named objects by
// name, numbers within float tolerance (the viewer holds floats), everything else exactly.
void compare(const QJsonValue& a, const QJsonValue& b, const QString& path, QStringList& out)
{
    if (out.size() > 20) return;
    if (a.isDouble() && b.isDouble()) {
        const double x = a.toDouble(), y = b.toDouble();
        if (std::fabs(x - y) > 1e-4 * std::max(1.0, std::max(std::fabs(x), std::fabs(y))))
            out << QStringLiteral("%1: %2 / %3").arg(path).arg(x).arg(y);
    } else if (a.isObject() && b.isObject()) {
        const QJsonObject x = a.toObject(), y = b.toObject();
        QStringList keys = x.keys() + y.keys();
        keys.removeDuplicates();
        for (const QString& k : keys)
            compare(x.value(k), y.value(k), path + QLatin1Char('.') + k, out);
    } else if (a.isArray() && b.isArray()) {
        const QJsonArray x = a.toArray(), y = b.toArray();
        if (x.size() != y.size()) {
            out << QStringLiteral("%1: %2 / %3 elements").arg(path).arg(x.size()).arg(y.size());
            return;
        }
        const bool named = !x.isEmpty() && x.first().toObject().contains(QStringLiteral("name"));
        if (!named) {
            for (int i = 0; i < x.size(); ++i)
                compare(x.at(i), y.at(i), QStringLiteral("%1[%2]").arg(path).arg(i), out);
            return;
        }
        QMap<QString, QJsonValue> byName;
        for (const QJsonValue& v : y)
            byName.insert(v.toObject().value(QStringLiteral("name")).toString(), v);
        for (const QJsonValue& v : x) {
            const QString name = v.toObject().value(QStringLiteral("name")).toString();
            if (!byName.contains(name))
                out << QStringLiteral("%1: %2 is missing").arg(path, name);
            else
                compare(v, byName.value(name), QStringLiteral("%1[%2]").arg(path, name), out);
        }
    } else if (a != b) {
        out << QStringLiteral("%1: %2 / %3")
                   .arg(path, QString::fromUtf8(QJsonDocument(QJsonArray{a}).toJson(QJsonDocument::Compact)),
                        QString::fromUtf8(QJsonDocument(QJsonArray{b}).toJson(QJsonDocument::Compact)));
    }
}

// The scene content the drawing decides (not the viewer's own counters).
QStringList sceneDifferences(const HostRun& a, const HostRun& b)
{
    QStringList out;
    for (const char* key :
         {"components", "instances", "meshes", "materials", "lights", "spawns", "assets", "groups"})
        compare(a.scene.value(QLatin1String(key)), b.scene.value(QLatin1String(key)), QLatin1String(key),
                out);
    return out;
}

int count(const HostRun& r, const char* array)
{
    return r.scene.value(QLatin1String(array)).toArray().size();
}

class RoundTripEndToEnd : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString script(const QString& name, const QString& text)
    {
        zalImportTest::writeFile(path(name), text.toUtf8());
        return path(name);
    }
    // Opens file, saves it over itself (so the reopened drawing has the same file and id strings) after
    // the given edits, and opens it again in a fresh host; both scenes must agree.
    void expectSameSceneAfterSave(const QString& file, const QString& edits = QString())
    {
        const HostRun before =
            zalhost(file, script(QStringLiteral("save.scr"), edits + QStringLiteral("save\n") + file + '\n'),
                    path(QStringLiteral("before.json")));
        ASSERT_EQ(before.code, 0) << before.out.toStdString() << before.err.toStdString();
        ASSERT_GT(count(before, "meshes"), 0) << "nothing reached the viewer";
        const HostRun after = zalhost(file, QString(), path(QStringLiteral("after.json")));
        ASSERT_EQ(after.code, 0) << after.out.toStdString() << after.err.toStdString();
        const QStringList differences = sceneDifferences(before, after);
        EXPECT_TRUE(differences.isEmpty()) << differences.join('\n').toStdString();
        QStringList fountains;
        compare(before.settings.value(QStringLiteral("fountains")),
                after.settings.value(QStringLiteral("fountains")), QStringLiteral("fountains"), fountains);
        EXPECT_TRUE(fountains.isEmpty()) << fountains.join('\n').toStdString();
        m_before = before;
    }
    QTemporaryDir m_dir;
    HostRun m_before;
};

QString sample()
{
    return QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
}

// Blocks in blocks, mixed entities, materials, a light, written by an independent writer.
const char* kNestedWriter = R"PY(
import sys, ezdxf
doc = ezdxf.new('R2010')
doc.header['$INSUNITS'] = 6
doc.layers.add('Glass', color=5)
glass = doc.materials.new('Blue Glass')
glass.dxf.diffuse_color_method = 1
glass.dxf.diffuse_color_value = ((0xC2 << 24) | 0x3366FF) - (1 << 32)
glass.dxf.opacity = 0.4
leaf = doc.blocks.new('LEAF')
leaf.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)])
pf = leaf.add_polyface(dxfattribs={'material_handle': glass.dxf.handle})
pf.append_face([(0, 0, 1), (1, 0, 1), (1, 1, 1)])
branch = doc.blocks.new('BRANCH')
branch.add_blockref('LEAF', (2, 0, 0), dxfattribs={'rotation': 45})
branch.add_blockref('LEAF', (0, 3, 0), dxfattribs={'xscale': 2, 'yscale': 2, 'zscale': 2})
msp = doc.modelspace()
msp.add_blockref('BRANCH', (10, 0, 0))
msp.add_blockref('BRANCH', (0, 10, 5), dxfattribs={'extrusion': (0, 1, 1), 'layer': 'Glass'})
mesh = msp.add_mesh(dxfattribs={'material_handle': glass.dxf.handle})
with mesh.edit_data() as d:
    d.vertices = [(0, 0, 0), (3, 0, 0), (3, 3, 0), (0, 3, 0), (1.5, 1.5, 2)]
    d.faces = [(0, 1, 2, 3), (0, 1, 4)]
pm = msp.add_polymesh((3, 3))
for i in range(3):
    for j in range(3):
        pm.set_mesh_vertex((i, j), (i, j, 0.1 * i * j))
msp.new_entity('LIGHT', dxfattribs={'name': 'Lamp', 'type': 3, 'intensity': 2.5,
    'location': (1, 2, 3), 'target': (1, 2, 0), 'hotspot_angle': 40, 'falloff_angle': 60})
doc.saveas(sys.argv[1])
)PY";

} // namespace

TEST_F(RoundTripEndToEnd, TheSampleWithAPlacedFountainReopensAsTheSameScene)
{
    const QString file = path(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(sample(), file));
    const qint64 sizeBefore = QFileInfo(file).size();
    expectSameSceneAfterSave(file, QStringLiteral("fountain_create\n3,4,0\n"));
    std::printf("sample: %lld bytes before the save, %lld after\n", sizeBefore, QFileInfo(file).size());
    // The lights, materials and the column block's polyface mesh all came back, and so did the fountain.
    EXPECT_EQ(count(m_before, "lights"), 4);
    bool fountain = false;
    for (const QJsonValue& v : m_before.scene.value(QStringLiteral("instances")).toArray())
        fountain |= v.toObject()
                        .value(QStringLiteral("name"))
                        .toString()
                        .contains(QLatin1String("_zalDbWaterFountain_"));
    EXPECT_TRUE(fountain);
}

TEST_F(RoundTripEndToEnd, AnIndependentWritersNestedBlocksReopenAsTheSameScene)
{
    ASSERT_TRUE(zalImportTest::writeFile(path(QStringLiteral("nested.py")), kNestedWriter));
    QString log;
    ASSERT_TRUE(zalImportTest::runPython(path(QStringLiteral("nested.py")),
                                         {path(QStringLiteral("nested.dxf"))}, &log))
        << log.toStdString();
    expectSameSceneAfterSave(path(QStringLiteral("nested.dxf")));
    EXPECT_GE(count(m_before, "components"), 3);
}

TEST_F(RoundTripEndToEnd, TheAssimpTestModelsDxfFilesReopenAsTheSameScene)
{
    const QDir models(QStringLiteral("/usr/share/assimp/models/DXF"));
    int tried = 0;
    for (const QString& name : models.entryList({QStringLiteral("*.dxf")})) {
        SCOPED_TRACE(name.toStdString());
        const QString file = path(name);
        ASSERT_TRUE(QFile::copy(models.filePath(name), file));
        expectSameSceneAfterSave(file);
        ++tried;
    }
    EXPECT_GE(tried, 3);
}

TEST_F(RoundTripEndToEnd, UndoAndRedoOfEachCommandBringTheViewersSceneBackExactly)
{
    const QString file = path(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(sample(), file));
    // A move, an erasure, a material change and a fountain placement: one undo step each.
    const QString edits =
        QStringLiteral("move\n#2\n0,0,1\nerase\n#3\nsetmaterial\n#1\nPool Water\nfountain_create\n3,4,0\n");
    const QString firstThree = QStringLiteral("move\n#2\n0,0,1\nerase\n#3\nsetmaterial\n#1\nPool Water\n");
    const QString undoAll = QStringLiteral("undo\nundo\nundo\nundo\n");
    const QString redoAll = QStringLiteral("redo\nredo\nredo\nredo\n");

    const HostRun original = zalhost(file, QString(), path(QStringLiteral("original.json")));
    const HostRun edited =
        zalhost(file, script(QStringLiteral("e.scr"), edits), path(QStringLiteral("edited.json")));
    const HostRun undone =
        zalhost(file, script(QStringLiteral("u.scr"), edits + undoAll), path(QStringLiteral("undone.json")));
    const HostRun redone = zalhost(file, script(QStringLiteral("r.scr"), edits + undoAll + redoAll),
                                   path(QStringLiteral("redone.json")));
    const HostRun three =
        zalhost(file, script(QStringLiteral("t.scr"), firstThree), path(QStringLiteral("three.json")));
    const HostRun oneBack = zalhost(file, script(QStringLiteral("o.scr"), edits + QStringLiteral("undo\n")),
                                    path(QStringLiteral("one.json")));
    for (const HostRun* r : {&original, &edited, &undone, &redone, &three, &oneBack})
        ASSERT_EQ(r->code, 0) << r->out.toStdString() << r->err.toStdString();

    // The edits show (else the comparisons below prove nothing).
    EXPECT_FALSE(sceneDifferences(original, edited).isEmpty());
    EXPECT_FALSE(sceneDifferences(three, edited).isEmpty());
    const QStringList undoneDiff = sceneDifferences(original, undone);
    EXPECT_TRUE(undoneDiff.isEmpty()) << undoneDiff.join('\n').toStdString();
    const QStringList redoneDiff = sceneDifferences(edited, redone);
    EXPECT_TRUE(redoneDiff.isEmpty()) << redoneDiff.join('\n').toStdString();
    // One undo takes back one command: the fountain only.
    const QStringList oneDiff = sceneDifferences(three, oneBack);
    EXPECT_TRUE(oneDiff.isEmpty()) << oneDiff.join('\n').toStdString();
}

// XBlocks written by the host's own writer: one shown by an asset the viewer places from the
// XBlock's instance, one by a drawing file, drawn from its own geometry. Opened, saved over itself
// and opened again in a fresh host, both must reach the viewer as before.
TEST_F(RoundTripEndToEnd, XBlocksReopenAsTheSameScene)
{
    {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        db->setINSUNITS(OdDb::kUnitsMeters);
        OdDbObjectId tree;
        {
            OdDbBlockTablePtr table = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
            OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
            block->setName(OdString(L"TREE"));
            tree = table->add(block.get());
            OdDbFacePtr face = OdDbFace::createObject();
            face->setDatabaseDefaults(db.get());
            face->setVertexAt(0, OdGePoint3d(0, 0, 0));
            face->setVertexAt(1, OdGePoint3d(1, 0, 0));
            face->setVertexAt(2, OdGePoint3d(1, 0, 3));
            face->setVertexAt(3, OdGePoint3d(0, 0, 3));
            block->appendOdDbEntity(face.get());
        }
        OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        const struct
        {
            const wchar_t* representation;
            OdGePoint3d at;
            double rotation, scale;
        } xblocks[] = {{L"Oak.uasset", OdGePoint3d(7, 8, 0), 0.5, 2.5},
                       {L"tree.dwg", OdGePoint3d(-3, 2, 1), 1.25, 1.0}};
        for (const auto& x : xblocks) {
            zalDbXBlockPtr xblock = zalDbXBlock::createObject();
            xblock->setDatabaseDefaults(db.get());
            xblock->setSubObjectPath(4, OdString(x.representation));
            xblock->setLocalArchivePath(OdString(L"archive"));
            xblock->setScaleForRepr(4, x.scale);
            const OdDbObjectId id = ms->appendOdDbEntity(xblock.get());
            OdDbBlockReferencePtr instance = OdDbBlockReference::createObject();
            instance->setDatabaseDefaults(db.get());
            instance->setBlockTableRecord(tree);
            instance->setPosition(x.at);
            instance->setRotation(x.rotation);
            xblock->setInstanceForRepresentation(4, db->addOdDbObject(instance.get(), id));
        }
        ms.release();
        QString error;
        ASSERT_TRUE(zalDxfWriter::write(db.get(), path(QStringLiteral("xblocks.dxf")), &error))
            << error.toStdString();
    }
    expectSameSceneAfterSave(path(QStringLiteral("xblocks.dxf")));
    // What the XBlocks put in the viewer, by their names: the asset instance, and the other's faces.
    QStringList instances, meshes;
    for (const QJsonValue& v : m_before.scene.value(QStringLiteral("instances")).toArray())
        instances << v.toObject().value(QStringLiteral("name")).toString();
    for (const QJsonValue& v : m_before.scene.value(QStringLiteral("meshes")).toArray())
        meshes << v.toObject().value(QStringLiteral("parent")).toString();
    EXPECT_EQ(instances.filter(QStringLiteral("_zalDbXBlock_")).size(), 2)
        << instances.join(' ').toStdString();
    EXPECT_FALSE(meshes.filter(QStringLiteral("_zalDbXBlock_")).isEmpty()) << meshes.join(' ').toStdString();
}

// A model's PBR materials are described by the host when it imports the model; saved as a drawing
// and opened in a fresh host, the viewer must get the same materials (parameter strings, colours).
TEST_F(RoundTripEndToEnd, AModelSavedAsADrawingReopensWithTheSameMaterials)
{
    const QString model = path(QStringLiteral("pair.gltf"));
    ASSERT_TRUE(zalImportTest::writeFile(model, zalImportTest::gltf()));
    const QString drawing = path(QStringLiteral("pair.dxf"));
    const HostRun before =
        zalhost(model, script(QStringLiteral("save.scr"), QStringLiteral("save\n") + drawing + '\n'),
                path(QStringLiteral("before.json")));
    ASSERT_EQ(before.code, 0) << before.out.toStdString() << before.err.toStdString();
    const HostRun after = zalhost(drawing, QString(), path(QStringLiteral("after.json")));
    ASSERT_EQ(after.code, 0) << after.out.toStdString() << after.err.toStdString();
    // Viewer names start with the drawing's tag, which differs between the model and the drawing file.
    const auto untagged = [](const HostRun& run) {
        QJsonArray out;
        for (const QJsonValue& v : run.scene.value(QStringLiteral("materials")).toArray()) {
            QJsonObject m = v.toObject();
            m.insert(QStringLiteral("name"), m.value(QStringLiteral("name")).toString().section('_', 1));
            out.append(m);
        }
        return out;
    };
    QStringList differences;
    compare(untagged(before), untagged(after), QStringLiteral("materials"), differences);
    EXPECT_TRUE(differences.isEmpty()) << differences.join('\n').toStdString();
    // The model's own materials, not only the drawing's built-in ones, reached the viewer.
    int described = 0;
    for (const QJsonValue& v : before.scene.value(QStringLiteral("materials")).toArray())
        described +=
            v.toObject().value(QStringLiteral("name")).toString().contains(QLatin1String("_AcDbMaterial_"));
    EXPECT_GE(described, 2);
}
