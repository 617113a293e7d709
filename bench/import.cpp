// Imports: generated DXF and glTF binary files of 10k and 100k entities, and a glTF binary of about 1M
// triangles in 4000 blocks, are opened by the host's importer and, for comparison, read by the reader
// library alone (libdime for DXF, assimp for models). The headless host opens the 1M-triangle file from its
// command line until the viewer holds it; that is compared with assimp's read plus the first
// synchronisation of the same drawing into the real viewer. The user's way without a live link, export to
// a glTF binary and import it again, is timed too.
//
//   xvfb-run -a build/bin/bench_import [rounds] [scale]
//
// Ends with one line: "import: glb open / reader ratio E, 100k-entity build F s"
#include "module/zalUnrealRenderModule.h"

#include "zalDrawingImporter.h"
#include "zalDxfWriter.h"
#include "zalHostPhysicsMaterials.h"

#include "bench/zalBenchSupport.h"

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <dime/Input.h>
#include <dime/Model.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <cstdlib>
#include <cstring>
#include <memory>

using zalBench::waitFor;

namespace {

const unsigned kReaderFlags = aiProcess_ValidateDataStructure | aiProcess_JoinIdenticalVertices |
                              aiProcess_SortByPType | aiProcess_GenNormals;

// A scene of `blocks` grid meshes of cells x cells quads (as triangles), each shown by one node.
std::unique_ptr<aiScene> gridScene(int blocks, int cells)
{
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("root");
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { new aiMaterial() };
    aiString name("Grey");
    scene->mMaterials[0]->AddProperty(&name, AI_MATKEY_NAME);
    scene->mNumMeshes = unsigned(blocks);
    scene->mMeshes = new aiMesh*[std::size_t(blocks)];
    scene->mRootNode->mNumChildren = unsigned(blocks);
    scene->mRootNode->mChildren = new aiNode*[std::size_t(blocks)];
    const int side = int(std::ceil(std::sqrt(double(blocks))));
    for (int b = 0; b < blocks; ++b) {
        aiMesh* mesh = new aiMesh();
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mMaterialIndex = 0;
        mesh->mNumVertices = unsigned((cells + 1) * (cells + 1));
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (int r = 0; r <= cells; ++r)
            for (int c = 0; c <= cells; ++c)
                mesh->mVertices[r * (cells + 1) + c] =
                    aiVector3D(float(c) * 0.1f, 0.03f * std::sin(0.7f * c + 0.3f * r + b), float(r) * 0.1f);
        mesh->mNumFaces = unsigned(cells * cells * 2);
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        unsigned f = 0;
        for (int r = 0; r < cells; ++r) {
            for (int c = 0; c < cells; ++c) {
                const unsigned v = unsigned(r * (cells + 1) + c);
                for (const std::array<unsigned, 3>& t :
                     {std::array<unsigned, 3>{v, v + 1, v + unsigned(cells) + 2},
                      std::array<unsigned, 3>{v, v + unsigned(cells) + 2, v + unsigned(cells) + 1}}) {
                    aiFace& face = mesh->mFaces[f++];
                    face.mNumIndices = 3;
                    face.mIndices = new unsigned[3]{t[0], t[1], t[2]};
                }
            }
        }
        scene->mMeshes[b] = mesh;
        aiNode* node = new aiNode("n" + std::to_string(b));
        node->mParent = scene->mRootNode;
        node->mTransformation = aiMatrix4x4();
        node->mTransformation.a4 = float(b % side) * (cells * 0.1f + 0.2f);
        node->mTransformation.c4 = float(b / side) * (cells * 0.1f + 0.2f);
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{unsigned(b)};
        scene->mRootNode->mChildren[b] = node;
    }
    return scene;
}

// A glTF binary of `nodes` nodes sharing one two-triangle mesh, written directly: assimp's exporter
// takes minutes for tens of thousands of nodes or meshes.
bool writeSharedMeshGlb(const QString& path, int nodes)
{
    const float positions[12] = {0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1};
    const std::uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    QByteArray bin(reinterpret_cast<const char*>(positions), sizeof positions);
    bin.append(reinterpret_cast<const char*>(indices), sizeof indices);
    while (bin.size() % 4)
        bin.append('\0');
    const int side = int(std::ceil(std::sqrt(double(nodes))));
    QByteArray json = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[";
    for (int i = 0; i < nodes; ++i) {
        if (i) json += ',';
        json += QByteArray::number(i);
    }
    json += "]}],\"nodes\":[";
    for (int i = 0; i < nodes; ++i) {
        if (i) json += ',';
        json += "{\"mesh\":0,\"translation\":[" + QByteArray::number((i % side) * 1.5) + ",0," +
                QByteArray::number((i / side) * 1.5) + "]}";
    }
    json +=
        "],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1,\"material\":0}]}],"
        "\"materials\":[{\"name\":\"Grey\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.5,0.5,0.5,1]}}],"
        "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":4,\"type\":\"VEC3\","
        "\"min\":[0,0,0],\"max\":[1,0,1]},{\"bufferView\":1,\"componentType\":5123,\"count\":6,"
        "\"type\":\"SCALAR\"}],\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":48},"
        "{\"buffer\":0,\"byteOffset\":48,\"byteLength\":12}],\"buffers\":[{\"byteLength\":" +
        QByteArray::number(bin.size()) + "}]}";
    while (json.size() % 4)
        json.append(' ');
    auto u32 = [](QByteArray& out, std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    QByteArray glb;
    u32(glb, 0x46546C67);
    u32(glb, 2);
    u32(glb, std::uint32_t(12 + 8 + json.size() + 8 + bin.size()));
    u32(glb, std::uint32_t(json.size()));
    u32(glb, 0x4E4F534A);
    glb += json;
    u32(glb, std::uint32_t(bin.size()));
    u32(glb, 0x004E4942);
    glb += bin;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(glb) == glb.size();
}

double seconds(const std::function<bool()>& run)
{
    QElapsedTimer t;
    t.start();
    if (!run()) return -1;
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int scale = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_import: the viewer needs an X server; run under xvfb-run -a\n");
        return 1;
    }
    QTemporaryDir dir;
    zalHostApplication host(argc, argv, zalBench::hostOptions(dir));
    // ZAL_BENCH_FILES names a folder that keeps the generated files, for profiling the host on them.
    const QString kept = qEnvironmentVariable("ZAL_BENCH_FILES");
    const QDir folder(kept.isEmpty() ? dir.path() : kept);
    folder.mkpath(QStringLiteral("."));

    // The files.
    struct File
    {
        QString label, path;
        bool dxf = false;
        int entities = 0;
        double exportSeconds = 0;
        std::vector<double> reader, host, parse;
    };
    std::vector<File> files;
    // A fast import that lost entities proves nothing: a DXF import counts only when every entity arrived.
    const auto arrivedWhole = [](const File& f, const zalImportResult& result) {
        if (result.ok && result.entities == f.entities) return true;
        std::fprintf(stderr, "bench_import: %s arrived with %d of %d entities%s\n",
                     f.label.toLocal8Bit().constData(), result.entities, f.entities,
                     result.ok ? "" : " (the import failed)");
        return false;
    };
    for (int n : {10000 / scale, 100000 / scale}) {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        zalBench::addMeshes(db.get(), n, 1, OdDbObjectId());
        File f;
        f.label = QStringLiteral("DXF %1 entities").arg(n);
        f.path = folder.filePath(QStringLiteral("meshes%1.dxf").arg(n));
        f.dxf = true;
        f.entities = n;
        QString error;
        if (!zalDxfWriter::write(db.get(), f.path, &error)) {
            std::fprintf(stderr, "bench_import: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        files.push_back(f);
    }
    for (int n : {10000 / scale, 100000 / scale}) {
        File f;
        f.entities = n;
        f.label = QStringLiteral("glb %1 entities").arg(n);
        f.path = folder.filePath(QStringLiteral("shared%1.glb").arg(n));
        if (!writeSharedMeshGlb(f.path, n)) return 1;
        files.push_back(f);
    }
    // For a profile of one import (perf record): the host's import of the 100k-entity DXF or glb file
    // alone, `rounds` times.
    if (const char* only = std::getenv("ZAL_BENCH_IMPORT_ONLY")) {
        const File& f = files[std::strcmp(only, "glb") == 0 ? 3 : 1];
        for (int r = 0; r < rounds; ++r) {
            double parse = 0, import = 0;
            const double s = seconds([&] {
                OdDbDatabasePtr db = OdDbDatabase::createObject();
                zalHostPhysicsMaterials materials(dir.filePath(QStringLiteral("materials")));
                QElapsedTimer t;
                t.start();
                const zalImportResult result = zalDrawingImporter::importFile(f.path, db.get(), &materials);
                import = double(t.nsecsElapsed()) / 1e9;
                parse = result.parseSeconds;
                return arrivedWhole(f, result);
            });
            std::printf(
                "%s: host import %.3f s: the reader's parse %.3f s, the rest of the import %.3f s, freeing "
                "the drawing %.3f s\n",
                f.label.toLocal8Bit().constData(), s, parse, import - parse, s - import);
            if (s < 0) return 1;
        }
        return 0;
    }
    {
        // The large model: 4000 distinct meshes of 242 triangles, written by assimp's exporter (the user's
        // way).
        const int blocks = std::max(1, 4000 / scale), cells = 11;
        File f;
        f.entities = blocks;
        f.label = QStringLiteral("glb %1 blocks, %2 triangles").arg(blocks).arg(blocks * cells * cells * 2);
        f.path = folder.filePath(QStringLiteral("grid%1.glb").arg(blocks));
        std::unique_ptr<aiScene> scene = gridScene(blocks, cells);
        Assimp::Exporter exporter;
        f.exportSeconds = seconds([&] {
            return exporter.Export(scene.get(), "glb2", QFile::encodeName(f.path).toStdString()) ==
                   AI_SUCCESS;
        });
        if (f.exportSeconds < 0) {
            std::fprintf(stderr, "bench_import: %s\n", exporter.GetErrorString());
            return 1;
        }
        files.push_back(f);
    }
    std::fprintf(stderr, "files written\n");

    for (int r = 0; r < rounds; ++r) {
        for (File& f : files) {
            f.reader.push_back(seconds([&] {
                if (f.dxf) {
                    dimeInput input;
                    dimeModel model;
                    return input.setFile(QFile::encodeName(f.path).constData()) && model.read(&input);
                }
                Assimp::Importer importer;
                return importer.ReadFile(QFile::encodeName(f.path).toStdString(), kReaderFlags) != nullptr;
            }));
            double parse = 0;
            f.host.push_back(seconds([&] {
                OdDbDatabasePtr db = OdDbDatabase::createObject();
                // A library per drawing: the host's keeps descriptions keyed by ids of drawings long gone.
                zalHostPhysicsMaterials materials(dir.filePath(QStringLiteral("materials")));
                const zalImportResult result = zalDrawingImporter::importFile(f.path, db.get(), &materials);
                parse = result.parseSeconds;
                return f.dxf ? arrivedWhole(f, result) : result.ok;
            }));
            if (f.host.back() < 0) return 1;
            f.parse.push_back(parse);
            std::fprintf(stderr, "round %d %s: reader %.3f s, host import %.3f s", r + 1,
                         f.label.toLocal8Bit().constData(), f.reader.back(), f.host.back());
            if (f.dxf) std::fprintf(stderr, " (libdime's parse in it %.3f s)", parse);
            std::fprintf(stderr, "\n");
        }
    }

    // The largest glb: first synchronisation into the real viewer, and the headless host from its command
    // line.
    const File& big = files.back();
    if (!odrxDynamicLinker()->loadModule(L"zalUnrealRenderModule.dll")) {
        std::fprintf(stderr, "bench_import: cannot load the module\n");
        return 1;
    }
    std::vector<double> syncs, hostRuns;
    // The headless run's stages, from its own lines: the file read, the viewer's first synchronisation,
    // the scene dump, and the exit after it.
    std::vector<double> hostOpened, hostSynced, hostDumped, hostExit;
    for (int r = 0; r < rounds; ++r) {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        if (!zalDrawingImporter::importFile(big.path, db.get(), nullptr).ok) return 1;
        zalHostView* view = nullptr;
        zalDbUnrealRenderSession* s = zalBench::openSession(host, db.get(), &view);
        if (!s) return 1;
        zalBench::startRealViewer(s);
        // The first refresh runs once the viewer is up; timed from the viewer's start message.
        if (!waitFor([&] { return s->sender() && s->sender()->isViewerStarted(); }, 120000)) return 1;
        QElapsedTimer t;
        t.start();
        if (!zalBench::waitUntilUp(s, 600000)) return 1;
        zalBench::waitAllApplied(s, 600000);
        syncs.push_back(double(t.nsecsElapsed()) / 1e9);
        zalBench::closeSession(host, view, s, 20000);

        const QString dump = dir.filePath(QStringLiteral("dump%1.json").arg(r));
        QProcess zalhost;
        zalhost.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        t.restart();
        zalhost.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zalhost"),
                      {QStringLiteral("--open"), big.path, QStringLiteral("--dump-scene"), dump,
                       QStringLiteral("--timeout"), QStringLiteral("900")});
        double opened = -1, synced = -1, dumped = -1;
        const auto stamp = [&] {
            while (zalhost.canReadLine()) {
                const QByteArray line = zalhost.readLine();
                const double at = double(t.nsecsElapsed()) / 1e9;
                if (line.startsWith("zalhost: opened")) opened = at;
                if (line.startsWith("zalhost: first synchronisation done")) synced = at;
                if (line.startsWith("zalhost: wrote")) dumped = at;
            }
        };
        QDeadlineTimer limit(1000000);
        while (zalhost.state() != QProcess::NotRunning && !limit.hasExpired()) {
            zalhost.waitForReadyRead(50);
            stamp();
        }
        // waitForFinished answers false for a process that has already ended.
        const bool finished = zalhost.state() == QProcess::NotRunning ||
                              zalhost.waitForFinished(int(std::max<qint64>(1, limit.remainingTime())));
        const double total = double(t.nsecsElapsed()) / 1e9;
        stamp();
        const bool ran = finished && zalhost.exitCode() == 0 && QFileInfo::exists(dump);
        hostRuns.push_back(ran ? total : -1);
        hostOpened.push_back(opened);
        hostSynced.push_back(synced - opened);
        hostDumped.push_back(dumped - synced);
        hostExit.push_back(total - dumped);
        std::fprintf(stderr,
                     "round %d: first sync %.3f s, headless host %.3f s%s (opened at %.3f, synchronised %.3f "
                     "later, dump %.3f later, exit %.3f later)\n",
                     r + 1, syncs.back(), hostRuns.back(), ran ? "" : " (failed)", opened, hostSynced.back(),
                     hostDumped.back(), hostExit.back());
    }

    std::printf("imports, medians of %d rounds (seconds)\n", rounds);
    std::printf("%-34s %10s %12s %8s\n", "file", "reader", "host import", "ratio");
    for (const File& f : files) {
        std::printf("%-34s %10.3f %12.3f %8.2f\n", f.label.toLocal8Bit().constData(),
                    zalBench::median(f.reader), zalBench::median(f.host),
                    zalBench::median(f.host) / zalBench::median(f.reader));
    }
    const double reader = zalBench::median(big.reader), sync = zalBench::median(syncs);
    const double hostRun = zalBench::median(hostRuns);
    std::printf(
        "%s: assimp read %.3f s + first synchronisation %.3f s = %.3f s; headless host open until the "
        "viewer holds it (process start, viewer start and scene dump included) %.3f s\n",
        big.label.toLocal8Bit().constData(), reader, sync, reader + sync, hostRun);
    std::printf(
        "headless host stages: file read (reader process included) %.3f s, then viewer start and first "
        "synchronisation %.3f s, then the viewer applying it and writing the dump %.3f s, then the "
        "exit %.3f s\n",
        zalBench::median(hostOpened), zalBench::median(hostSynced), zalBench::median(hostDumped),
        zalBench::median(hostExit));
    std::printf(
        "the user's alternative without a live link: export to glb %.3f s + host import %.3f s = %.3f s\n",
        big.exportSeconds, zalBench::median(big.host), big.exportSeconds + zalBench::median(big.host));
    std::printf("targets: glb open <= 2 x (reader + first synchronisation); a 100k-entity drawing builds in "
                "<= 1 s\n");
    const File& dxf100k = files[1];
    const double dxfTotal = zalBench::median(dxf100k.host), dxfParse = zalBench::median(dxf100k.parse);
    std::printf(
        "%s host import split: libdime's parse %.3f s, drawing build and the rest %.3f s, total %.3f s "
        "(libdime alone on the whole file %.3f s)\n",
        dxf100k.label.toLocal8Bit().constData(), dxfParse, dxfTotal - dxfParse, dxfTotal,
        zalBench::median(dxf100k.reader));
    std::printf("import: glb open / reader ratio %.2f, %dk-entity build %.2f s\n", hostRun / (reader + sync),
                dxf100k.entities / 1000, zalBench::median(dxf100k.host));
    odrxDynamicLinker()->unloadModule(L"zalUnrealRenderModule.dll");
    return 0;
}
