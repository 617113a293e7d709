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
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "translate/zalUnrealRenderView.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderSender.h"
#include "XoSocketFrameIO.h"

#include "gs/DbFace.h"
#include "gs/DbGsManager.h"
#include "gs/DbSubDMesh.h"
#include "gs/GiContextForDbDatabase.h"
#include "gs/GiGeometrySimplifier.h"
#include "gs/GsBaseVectorizeViewDef.h"

#include "odkit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Counts what would go to the viewer instead of sending it.
class CountingTransport : public XoRecordingMessagesManager
{
public:
    bool send(const XoRemoteRenderMessage& message) override
    {
        if (message.type() == XoMessageType::AddMesh) {
            ++meshes;
            meshBytes += message.payloadSize();
        }
        ++messages;
        return true;
    }
    std::size_t meshes = 0;
    std::size_t meshBytes = 0;
    std::size_t messages = 0;
};

bool waitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

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

OdDbObjectId addMaterial(OdDbDatabase* db, const wchar_t* name)
{
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbMaterialPtr material = OdDbMaterial::createObject();
    material->setName(name);
    return materials->setAt(name, material);
}

// A drawing with one small face, so its extents are usable and the first refresh runs.
OdDbDatabasePtr seedDrawing()
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(0, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    face->setDatabaseDefaults(db.get());
    ms->appendOdDbEntity(face);
    return db;
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

double rawSocketSeconds(std::size_t totalBytes, std::size_t chunks)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
    XoSocketFrameIO::tuneSocket(fds[0]);
    XoSocketFrameIO::tuneSocket(fds[1]);
    const std::size_t chunk = std::max<std::size_t>(1, totalBytes / std::max<std::size_t>(1, chunks));
    std::vector<char> source(chunk, 7);
    std::thread reader([&] {
        std::vector<char> buffer(chunk);
        std::size_t got = 0;
        while (got < totalBytes) {
            const ssize_t n = ::read(fds[1], buffer.data(), std::min(chunk, totalBytes - got));
            if (n <= 0) return;
            got += std::size_t(n);
        }
    });
    QElapsedTimer timer;
    timer.start();
    std::size_t sent = 0;
    while (sent < totalBytes) {
        std::size_t left = std::min(chunk, totalBytes - sent);
        const char* p = source.data();
        while (left > 0) {
            const ssize_t n = ::write(fds[0], p, left);
            if (n <= 0) break;
            p += n;
            left -= std::size_t(n);
            sent += std::size_t(n);
        }
    }
    reader.join();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    ::close(fds[0]);
    ::close(fds[1]);
    return seconds;
}

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
    zalHostOptions options;
    options.variablesFile = dir.filePath("vars.ini");
    options.temporaryRoot = dir.filePath("projects");
    options.materialLibraryRoot = dir.filePath("materials");
    zalHostApplication host(argc, argv, options);

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
        host.addDocument(db);
        host.console()->setCurrentDatabase(db);
        zalHostView* view = host.viewSystem()->openView("UnrealRender", db);
        zalDbUnrealRenderSession* session = view ? zalSessionRegistry::instance().sessionFor(db) : nullptr;
        if (!session || !session->sender()) return nullptr;
        startViewer(session);
        if (!waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); }, 60000)) {
            std::fprintf(stderr, "bench_translate: the viewer did not start\n");
            return nullptr;
        }
        if (!waitFor([&] { return !session->isFirstRunPending() && session->registry().batchDepth() == 0; },
                     60000)) {
            std::fprintf(stderr, "bench_translate: no first refresh (pending %d, depth %u)\n",
                         int(session->isFirstRunPending()), session->registry().batchDepth());
            return nullptr;
        }
        session->detachDbReactor();
        const OdDbObjectId red = addMaterial(db, L"Red");
        const OdDbObjectId blue = addMaterial(db, L"Blue");
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
    OdDbDatabasePtr first = seedDrawing();
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
        raws.push_back(rawSocketSeconds(meshBytes, meshes));
    std::sort(raws.begin(), raws.end());
    const double rawSeconds = raws[2]; // the median

    // 3. Translation plus sending into the real viewer.
    XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
    OdDbDatabasePtr second = seedDrawing();
    std::size_t trianglesSecond = 0;
    zalDbUnrealRenderSession* live = prepare(
        second.get(),
        [](zalDbUnrealRenderSession* s) {
            if (!s->sender()->isProcessRunning()) s->sender()->startViewer(0, 0, 320, 240);
        },
        trianglesSecond);
    if (!live) {
        std::fprintf(stderr, "bench_translate: the real viewer did not come up\n");
        return 1;
    }
    // Timed until the viewer acknowledges the refresh's transaction: it has then received, checked and
    // applied everything.
    // Every transaction before this one acknowledged first, so that a late acknowledgement of the set-up
    // is not taken for the refresh's.
    zalUnrealViewerSender* liveSender = live->sender();
    if (!waitFor([&] { return liveSender->transactionsApplied() >= liveSender->transactionsEnded(); },
                 60000)) {
        std::fprintf(stderr, "bench_translate: the viewer did not acknowledge the set-up\n");
        return 1;
    }
    mark("live-start");
    timer.restart();
    live->refresh(QString(), QString());
    const double refreshReturned = double(timer.nsecsElapsed()) / 1e9;
    mark("live-returned");
    const std::uint64_t ended = liveSender->transactionsEnded();
    if (!waitFor([&] { return liveSender->transactionsApplied() >= ended; }, 600000)) {
        std::fprintf(stderr, "bench_translate: the viewer never acknowledged the refresh\n");
        return 1;
    }
    const double sendSeconds = double(timer.nsecsElapsed()) / 1e9;
    mark("live-applied");
    // What the viewer holds, to be sure it took the whole drawing in.
    const QString dump = dir.filePath("scene.json");
    live->sender()->sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(dump));
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

    live->sender()->requestRenderExit();
    waitFor([&] { return !live->sender() || !live->sender()->isProcessRunning(); }, 5000);
    for (zalHostView* view : host.viewSystem()->views())
        host.viewSystem()->closeView(view);
    QCoreApplication::processEvents();
    odrxDynamicLinker()->unloadModule(L"zalUnrealRenderModule.dll");
    return 0;
}
