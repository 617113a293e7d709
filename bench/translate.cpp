// Translation throughput: a generated drawing of about a million triangles in a few thousand entities is
// refreshed through the reference host, the module's session and its render view
//   1. with a transport that only counts the messages (translation alone),
//   2. with the real channel into the real viewer (translation plus sending, until the viewer has
//      acknowledged the refresh's transaction, i.e. received, checked and applied all of it),
// and the same number of bytes, in mesh-sized writes, goes through a raw Unix socket pair in the same run.
//
//   xvfb-run -a build/bin/bench_translate [entities] [cells per side]
//
// ZAL_BENCH_TRANSLATION_ONLY=1 stops after the first part; ZAL_BENCH_MARKS=1 prints CLOCK_MONOTONIC
// marks around the first and the second, to cut a system-wide profile (perf record -a -k CLOCK_MONOTONIC) to
// it.
#include "module/zalUnrealRenderModule.h"
#include "translate/zalUnrealRenderView.h"

#include "gs/DbGsManager.h"
#include "gs/GiContextForDbDatabase.h"
#include "gs/GiGeometrySimplifier.h"
#include "gs/GsBaseVectorizeViewDef.h"

#include "bench/zalBenchSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWindow>

#include <chrono>

using zalBench::CountingTransport;
using zalBench::waitFor;

namespace {

// Shells of cells x cells quads on a wavy surface; every 20th entity has a non-convex outline cut
// by a hole, every 3rd carries two materials.
std::size_t addContent(OdDbDatabase* db, int entities, int cells, const OdDbObjectId& red,
                       const OdDbObjectId& blue)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    std::size_t triangles = 0;
    const int side = int(std::ceil(std::sqrt(double(entities))));
    for (int e = 0; e < entities; ++e) {
        const double ox = (e % side) * (cells + 2.0);
        const double oy = (e / side) * (cells + 2.0);
        OdArray<OdGePoint3d> vertices;
        OdArray<OdInt32> faces;
        OdArray<OdDbObjectId> materials;
        for (int r = 0; r <= cells; ++r)
            for (int c = 0; c <= cells; ++c)
                vertices.append(OdGePoint3d(ox + c, oy + r, 0.3 * std::sin(0.7 * c + 0.3 * r + e)));
        for (int r = 0; r < cells; ++r) {
            for (int c = 0; c < cells; ++c) {
                const int v = r * (cells + 1) + c;
                faces.append(4);
                faces.append(v);
                faces.append(v + 1);
                faces.append(v + cells + 2);
                faces.append(v + cells + 1);
                materials.append(e % 3 == 0 && (r + c) % 2 ? blue : red);
                triangles += 2;
            }
        }
        if (e % 20 == 0) {
            // An L-shaped face with a square hole, above the grid.
            const int base = int(vertices.size());
            for (const OdGePoint3d& p :
                 {OdGePoint3d(0, 0, 2), OdGePoint3d(6, 0, 2), OdGePoint3d(6, 2, 2), OdGePoint3d(2, 2, 2),
                  OdGePoint3d(2, 6, 2), OdGePoint3d(0, 6, 2), OdGePoint3d(0.5, 0.5, 2),
                  OdGePoint3d(0.5, 1.5, 2), OdGePoint3d(1.5, 1.5, 2), OdGePoint3d(1.5, 0.5, 2)})
                vertices.append(OdGePoint3d(ox + p.x, oy + p.y, p.z));
            for (int k : {6, 0, 1, 2, 3, 4, 5})
                faces.append(k == 6 ? 6 : base + k);
            for (int k : {-4, 6, 7, 8, 9})
                faces.append(k < 0 ? k : base + k);
            materials.append(red);
            triangles += 8;
        }
        OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
        mesh->setSubDMesh(vertices, faces);
        mesh->setFaceMaterials(materials);
        mesh->setDatabaseDefaults(db);
        ms->appendOdDbEntity(mesh);
    }
    return triangles;
}

// The vectorizer and the GLU-backed triangulation alone, into a simplifier that drops the triangles.
class CountingSimplifier : public OdGiGeometrySimplifier
{
public:
    void triangleOut(const std::int32_t*, const OdGeVector3d*) override { ++triangles; }
    std::size_t triangles = 0;
};

class PlainDevice : public OdGsBaseVectorizeDevice
{
public:
    CountingSimplifier simplifier;
    OdGsViewPtr createView(const OdGsClientViewInfo* info, bool) override
    {
        OdGsViewPtr view = OdRxObjectImpl<OdGsBaseVectorizeViewDef, OdGsView>::createObject();
        auto* v = static_cast<OdGsBaseVectorizeViewDef*>(view.get());
        v->init(this, info);
        v->output().setDestGeometry(simplifier);
        return view;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int entities = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;
    const int cells = argc > 2 ? std::max(1, std::atoi(argv[2])) : 13;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_translate: the viewer needs an X server; run under xvfb-run -a\n");
        return 1;
    }
    QTemporaryDir dir;
    zalHostApplication host(argc, argv, zalBench::hostOptions(dir));

    CountingTransport* counting = nullptr;
    QWindow standIn;
    XoRemoteRenderSender::setDefaultTransportFactory([&counting] {
        auto transport = std::make_unique<CountingTransport>();
        counting = transport.get();
        return std::unique_ptr<XoInterProcessMessagesManager>(std::move(transport));
    });
    if (!odrxDynamicLinker()->loadModule(L"zalUnrealRenderModule.dll")) {
        std::fprintf(stderr, "bench_translate: cannot load the module: %s\n",
                     odrxDynamicLinker()->lastError().toUtf8().c_str());
        return 1;
    }

    // Opens db in an "UnrealRender" view, waits for the first refresh, then adds the content with the
    // session's reactor detached, so that the timed refresh translates all of it at once.
    auto prepare = [&](OdDbDatabase* db, const std::function<void(zalDbUnrealRenderSession*)>& startViewer,
                       std::size_t& triangles) -> zalDbUnrealRenderSession* {
        zalDbUnrealRenderSession* session = zalBench::openSession(host, db);
        if (!session) return nullptr;
        startViewer(session);
        if (!zalBench::waitUntilUp(session, 60000)) {
            std::fprintf(stderr, "bench_translate: the viewer did not start or sent no first refresh\n");
            return nullptr;
        }
        session->detachDbReactor();
        const OdDbObjectId red = zalBench::addMaterial(db, L"Red");
        const OdDbObjectId blue = zalBench::addMaterial(db, L"Blue");
        triangles = addContent(db, entities, cells, red, blue);
        session->attachDbReactor();
        return session;
    };

    auto mark = [](const char* what) {
        if (!std::getenv("ZAL_BENCH_MARKS")) return;
        // steady_clock is CLOCK_MONOTONIC on Linux.
        const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
        std::fprintf(stderr, "MARK %s %lld.%09lld\n", what, ns / 1000000000LL, ns % 1000000000LL);
    };

    // 1. Translation alone.
    OdDbDatabasePtr first = zalBench::seedDrawing();
    std::size_t triangles = 0;
    zalDbUnrealRenderSession* session = prepare(
        first.get(),
        [&counting, &standIn](zalDbUnrealRenderSession* s) {
            counting->simulateViewerStarted();
            waitFor([&] { return s->sender()->isViewerStarted(); }, 5000);
            // A real window of this display stands in for the viewer's, so the widget can embed it.
            standIn.create();
            counting->simulateWindowHandle(std::uint64_t(standIn.winId()));
        },
        triangles);
    if (!session) {
        std::fprintf(stderr, "bench_translate: the counting session did not come up\n");
        return 1;
    }
    CountingTransport* countingOfFirst = counting;
    const std::size_t bytesBefore = countingOfFirst->meshBytes;
    const std::size_t meshesBefore = countingOfFirst->meshes;
    mark("alone-start");
    QElapsedTimer timer;
    timer.start();
    if (std::getenv("ZAL_BENCH_VIEW_ONLY"))
        session->view()->drawObject(first->getModelSpaceId());
    else
        session->refresh(QString(), QString());
    const double translateSeconds = double(timer.nsecsElapsed()) / 1e9;
    mark("alone-end");
    const std::size_t meshBytes = countingOfFirst->meshBytes - bytesBefore;
    const std::size_t meshes = countingOfFirst->meshes - meshesBefore;

    // Where the time goes: the vectorizer and triangulation alone, without the module.
    double vectorizeSeconds = 0.0;
    std::size_t vectorized = 0;
    {
        OdGiContextForDbDatabasePtr context = OdRxObjectImpl<OdGiContextForDbDatabase>::createObject();
        context->setDatabase(first.get());
        OdSmartPtr<PlainDevice> device = OdRxObjectImpl<PlainDevice>::createObject();
        OdGsLayoutHelperPtr helper =
            OdDbGsManager::setupLayoutViews(OdDbObjectId(), device.get(), context.get());
        timer.restart();
        helper->update();
        vectorizeSeconds = double(timer.nsecsElapsed()) / 1e9;
        vectorized = device->simplifier.triangles;
    }

    if (std::getenv("ZAL_BENCH_TRANSLATION_ONLY")) {
        std::printf("translation alone: %.3f s for %zu triangles, %.0f triangles/s; vectorize only %.3f s\n",
                    translateSeconds, triangles, double(triangles) / translateSeconds, vectorizeSeconds);
        return 0;
    }

    // 2. The raw socket with the same bytes, in writes of one mesh each, before any viewer runs that
    // could compete for the processors.
    std::vector<double> raws;
    for (int i = 0; i < 5; ++i)
        raws.push_back(zalBench::rawSocketSeconds(meshBytes, meshes));
    std::sort(raws.begin(), raws.end());
    const double rawSeconds = raws[2]; // the median

    // 3. Translation plus sending into the real viewer.
    XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
    OdDbDatabasePtr second = zalBench::seedDrawing();
    std::size_t trianglesSecond = 0;
    zalDbUnrealRenderSession* live = prepare(second.get(), zalBench::startRealViewer, trianglesSecond);
    if (!live) {
        std::fprintf(stderr, "bench_translate: the real viewer did not come up\n");
        return 1;
    }
    // Timed until the viewer acknowledges the refresh's transaction: it has then received, checked and
    // applied everything.
    // Every transaction before this one acknowledged first, so that a late acknowledgement of the set-up
    // is not taken for the refresh's.
    if (!zalBench::waitAllApplied(live, 60000)) {
        std::fprintf(stderr, "bench_translate: the viewer did not acknowledge the set-up\n");
        return 1;
    }
    mark("live-start");
    timer.restart();
    live->refresh(QString(), QString());
    const double refreshReturned = double(timer.nsecsElapsed()) / 1e9;
    mark("live-returned");
    if (!zalBench::waitAllApplied(live, 600000)) {
        std::fprintf(stderr, "bench_translate: the viewer never acknowledged the refresh\n");
        return 1;
    }
    const double sendSeconds = double(timer.nsecsElapsed()) / 1e9;
    mark("live-applied");
    // What the viewer holds, to be sure it took the whole drawing in.
    const QString dump = dir.filePath("scene.json");
    zalBench::liveSender(live)->sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(dump));
    waitFor([&] { return QFileInfo::exists(dump); }, 600000);
    QFile dumpFile(dump);
    std::size_t held = 0;
    if (dumpFile.open(QIODevice::ReadOnly)) {
        const QJsonObject scene = QJsonDocument::fromJson(dumpFile.readAll()).object();
        held = std::size_t(scene.value(QStringLiteral("meshes")).toArray().size());
    }

    std::printf(
        "drawing: %d entities, %zu triangles (%zu vectorized), %zu meshes, %.1f MiB of mesh messages\n",
        entities, triangles, vectorized, meshes, double(meshBytes) / (1024.0 * 1024.0));
    std::printf("vectorize + triangulate only : %8.3f s  %12.0f triangles/s\n", vectorizeSeconds,
                double(vectorized) / vectorizeSeconds);
    std::printf("translation alone            : %8.3f s  %12.0f triangles/s\n", translateSeconds,
                double(triangles) / translateSeconds);
    std::printf("translation + real viewer    : %8.3f s  %12.0f triangles/s  (refresh returned after %.3f s; "
                "the viewer holds %zu meshes)\n",
                sendSeconds, double(trianglesSecond) / sendSeconds, refreshReturned, held);
    std::printf("raw Unix socket, same bytes  : %8.3f s  %12.0f triangles/s\n", rawSeconds,
                double(triangles) / rawSeconds);
    std::printf("ratio (translation + sending) / raw socket: %.3f  (target >= 0.25)\n",
                rawSeconds / sendSeconds);

    if (live->sender()) live->sender()->requestRenderExit();
    waitFor([&] { return !live->sender() || !live->sender()->isProcessRunning(); }, 5000);
    for (zalHostView* view : host.viewSystem()->views())
        host.viewSystem()->closeView(view);
    QCoreApplication::processEvents();
    odrxDynamicLinker()->unloadModule(L"zalUnrealRenderModule.dll");
    return 0;
}
