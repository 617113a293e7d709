// Writes the seed corpora of the fuzz targets from the project's own writers and encoders:
//   zal_fuzz_seeds OUT_FOLDER      (OUT_FOLDER/<target>/<seed>)
// Channel frames of every message type, a run of scene content, each record class through its
// dwgOutFields, a drawing through the DXF writer, glTF and OBJ models, variables, scene files and
// a package description through the classes that write them.
#include "zalFuzzFilerFormat.h"
#include "zalFuzzRecords.h"

#include "XoRemoteRenderMessage.h"
#include "tests/platform/host/import/zalImportTestSupport.h"
#include "zalDxfWriter.h"
#include "zalHostAppProps.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbFace.h"
#include "DbLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

using namespace zalImportTest;

namespace {

QString g_root;

bool save(const QString& target, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(g_root + QLatin1Char('/') + target);
    QFile f(g_root + QLatin1Char('/') + target + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), int(s.size()));
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const float kTriangle[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0};
const float kNormals[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
const float kUv[6] = {0, 0, 1, 0, 0, 1};
const std::int32_t kFace[3] = {0, 1, 2};

// A message of the type with a plausible value of each field's kind.
XoRemoteRenderMessage sample(XoMessageType type)
{
    XoRemoteRenderMessage m(type);
    for (const auto& field : XoRemoteRenderMessage::schema(type)) {
        switch (field.second) {
        case XoFieldKind::String:
            m.addString(field.first == "parent" ? "Model" : "Item");
            break;
        case XoFieldKind::Int32:
            m.addInt(1);
            break;
        case XoFieldKind::UInt32:
            m.addUInt(2);
            break;
        case XoFieldKind::UInt64:
            m.addUInt64(3);
            break;
        case XoFieldKind::Float:
            m.addFloat(0.5f);
            break;
        case XoFieldKind::Bool:
            m.addBool(true);
            break;
        case XoFieldKind::FloatArray:
            m.addFloatArray(kIdentity, 16);
            break;
        case XoFieldKind::Int32Array:
            m.addIntArray(kFace, 3);
            break;
        case XoFieldKind::Bytes:
            m.addBytes("bytes", 5);
            break;
        }
    }
    return m;
}

XoRemoteRenderMessage mesh(const char* name)
{
    XoRemoteRenderMessage m(XoMessageType::AddMesh);
    m.addString(name).addString("Model").addString("");
    m.addFloatArray(kTriangle, 9).addFloatArray(kNormals, 9).addFloatArray(kUv, 6).addFloatArray(nullptr, 0);
    m.addIntArray(nullptr, 0).addIntArray(kFace, 3).addInt(1).addInt(3);
    m.addString("Mat").addString("Mat");
    return m;
}

XoRemoteRenderMessage instance(const char* name, const char* parent)
{
    XoRemoteRenderMessage m(XoMessageType::AddInstance);
    m.addString(name)
        .addString(parent)
        .addString("")
        .addString(name)
        .addFloatArray(kIdentity, 16)
        .addString("");
    return m;
}

void channelSeeds()
{
    std::string all;
    for (XoMessageType type : XoRemoteRenderMessage::allTypes()) {
        const std::string frame = sample(type).frameBytes();
        save("channel", QString::fromLatin1(XoRemoteRenderMessage::typeName(type)), bytes(frame));
        all += frame;
    }
    save("channel", "all_types", bytes(all));
    save("channel", "mesh", bytes(mesh("Tri").frameBytes()));

    std::string scene;
    scene += sample(XoMessageType::AddMaterial).frameBytes();
    scene += instance("Root", "Model").frameBytes();
    scene += mesh("Tri").frameBytes();
    scene += instance("Child", "Root").frameBytes();
    scene += sample(XoMessageType::AddLight).frameBytes();
    scene += sample(XoMessageType::AddComponentDef).frameBytes();
    scene += sample(XoMessageType::SpawnInstances).frameBytes();
    scene += sample(XoMessageType::RemoveEntity).frameBytes();
    save("viewer_scene", "scene", bytes(scene));
    for (XoMessageType type : XoRemoteRenderMessage::allTypes())
        if (XoRemoteRenderMessage::isSceneContent(type))
            save("viewer_scene", QString::fromLatin1(XoRemoteRenderMessage::typeName(type)),
                 bytes(sample(type).frameBytes()));
}

void filerSeeds(OdDbDatabase* db)
{
    const auto& records = zalFuzzRecords::all();
    for (std::size_t i = 0; i < records.size(); ++i) {
        OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
        filer->setDatabase(db);
        records[i].write(filer.get());
        std::string seed(1, char(i));
        seed += zalFuzzFiler::fromFiler(filer.get());
        save("filer_records", QString::fromLatin1(records[i].name), bytes(seed));
    }
}

void dxfSeeds(const QString& sourceDir)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbLinePtr line = OdDbLine::createObject();
    line->setEndPoint(OdGePoint3d(10, 0, 0));
    ms->appendOdDbEntity(line);
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(1, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    ms->appendOdDbEntity(face);
    const QString path = QDir::temp().filePath(QStringLiteral("zal_fuzz_seed.dxf"));
    if (zalDxfWriter::write(db.get(), path)) save("dxf_import", "written.dxf", readFile(path));
    QFile::remove(path);
    save("dxf_import", "pavilion.dxf", readFile(sourceDir + QStringLiteral("/samples/pavilion.dxf")));
}

void modelSeeds()
{
    save("model_import", "pair.gltf", QByteArray(1, 0) + gltf());
    save("model_import", "cube.obj",
         QByteArray(1, 2) + "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                            "o Cube\nf 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n");
}

void settingsSeeds()
{
    const QString ini = QDir::temp().filePath(QStringLiteral("zal_fuzz_vars.ini"));
    QFile::remove(ini);
    {
        zalHostAppProps props(ini);
        props.setVariable(QStringLiteral("UEVersion"), 5, QStringLiteral("int"));
        props.setVariable(QStringLiteral("Scale"), 2.5, QStringLiteral("double"));
        props.setVariable(QStringLiteral("Shown"), true, QStringLiteral("bool"));
        props.setVariable(QStringLiteral("Name"), QStringLiteral("x y"), QStringLiteral("string"));
    }
    save("host_ini", "vars.ini", readFile(ini));
    QFile::remove(ini);

    const QString scene = QDir::temp().filePath(QStringLiteral("zal_fuzz_scene.rsc"));
    QFile::remove(scene);
    {
        QSettings s(scene, QSettings::IniFormat);
        s.setValue(QStringLiteral("RenderSettings/RTQuality"), 2);
        s.setValue(QStringLiteral("RenderSettings/GIMode"), 1);
        s.setValue(QStringLiteral("RenderSettings/EnablePathTracing"), 1);
        s.setValue(QStringLiteral("RenderSettings/PT_SamplesPerPixel"), 64);
        s.setValue(QStringLiteral("ToneMapper/AmbientOcclusionIntensity"), 0.75);
        s.setValue(QStringLiteral("Camera/DepthOfFieldEnaled"), true);
        s.setValue(QStringLiteral("Camera/DepthOfFieldFocalDistance"), 350.0);
        s.setValue(QStringLiteral("SunIntensity"), 3.5);
    }
    save("scene_file", "scene.rsc", readFile(scene));
    QFile::remove(scene);

    QJsonArray assets;
    for (const char* type : {"StaticMesh", "SkeletalMesh", "Material"}) {
        QJsonObject a;
        a.insert(QStringLiteral("assetType"), QLatin1String(type));
        a.insert(QStringLiteral("assetName"), QStringLiteral("SM_") + QLatin1String(type));
        a.insert(QStringLiteral("pakFile"), QStringLiteral("Pack.pak"));
        a.insert(QStringLiteral("displayName"), QStringLiteral("A ") + QLatin1String(type));
        a.insert(QStringLiteral("thumbnailName"), QStringLiteral("thumb.png"));
        assets.append(a);
    }
    save("pakinfo", "PakInfo.json", QJsonDocument(assets).toJson());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: zal_fuzz_seeds OUT_FOLDER\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    const QString sourceDir = QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/..");
    zalFuzzRecords::initialize();
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    channelSeeds();
    filerSeeds(db.get());
    dxfSeeds(sourceDir);
    modelSeeds();
    settingsSeeds();
    std::printf("seeds written to %s\n", argv[1]);
    return 0;
}
