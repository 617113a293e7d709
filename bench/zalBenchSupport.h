#pragma once

// Helpers the benchmarks share: the host and the module's sessions, generated drawings, waits on the event
// loop, statistics, the raw socket reference and the peak memory of this process and its viewer.

#include "bench/zalBenchWait.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealViewerSender.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostOptions.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoSocketFrameIO.h"

#include "gs/DbFace.h"
#include "gs/DbSubDMesh.h"

#include "odkit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace zalBench {

// The host's variables, projects and materials in `dir`.
inline zalHostOptions hostOptions(const QTemporaryDir& dir)
{
    zalHostOptions options;
    options.variablesFile = dir.filePath("vars.ini");
    options.temporaryRoot = dir.filePath("projects");
    options.materialLibraryRoot = dir.filePath("materials");
    return options;
}

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

// Opens db in an "UnrealRender" view as the current drawing; its session, or null.
inline zalDbUnrealRenderSession* openSession(zalHostApplication& host, OdDbDatabase* db,
                                             zalHostView** opened = nullptr)
{
    host.addDocument(db);
    host.console()->setCurrentDatabase(db);
    zalHostView* view = host.viewSystem()->openView("UnrealRender", db);
    if (opened) *opened = view;
    zalDbUnrealRenderSession* session = view ? zalSessionRegistry::instance().sessionFor(db) : nullptr;
    return session && session->sender() ? session : nullptr;
}

// Starts the real viewer of the session unless it runs.
inline void startRealViewer(zalDbUnrealRenderSession* session)
{
    if (session->sender() && !session->sender()->isProcessRunning())
        session->sender()->startViewer(0, 0, 320, 240);
}

// Until the viewer has announced itself and the start-up batches are closed.
inline bool waitUntilUp(zalDbUnrealRenderSession* s, int milliseconds)
{
    return waitFor([&] { return s->sender() && s->sender()->isViewerStarted(); }, milliseconds) &&
           waitFor([&] { return !s->isFirstRunPending() && s->registry().batchDepth() == 0; }, milliseconds);
}

// The session's sender. A session drops its sender when its viewer ends, so a pointer kept across the
// event loop may dangle: the benchmark ends here, saying so, instead.
inline zalUnrealViewerSender* liveSender(zalDbUnrealRenderSession* session)
{
    if (zalUnrealViewerSender* sender = session->sender()) return sender;
    std::fprintf(stderr, "the viewer ended during the benchmark; its figures are incomplete\n");
    std::exit(3);
}

// Until the viewer has acknowledged every transaction ended so far (and those ended while waiting).
inline bool waitAllApplied(zalDbUnrealRenderSession* s, int milliseconds)
{
    return waitFor([&] { return liveSender(s)->transactionsApplied() >= liveSender(s)->transactionsEnded(); },
                   milliseconds);
}

// Asks the viewer to end, waits for it and closes the view.
inline void closeSession(zalHostApplication& host, zalHostView* view, zalDbUnrealRenderSession* s,
                         int milliseconds)
{
    if (s->sender() && s->sender()->isProcessRunning()) s->sender()->requestRenderExit();
    waitFor([&] { return !s->sender() || !s->sender()->isProcessRunning(); }, milliseconds);
    host.viewSystem()->closeView(view);
    QCoreApplication::processEvents();
}

// The value at fraction q (0..1) of the sorted samples, nearest rank.
inline double quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const double rank = std::ceil(q * double(v.size()));
    const std::size_t i = rank < 1.0 ? 0 : std::min(v.size() - 1, std::size_t(rank) - 1);
    return v[i];
}

inline double median(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

inline OdDbObjectId addMaterial(OdDbDatabase* db, const wchar_t* name)
{
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbMaterialPtr material = OdDbMaterial::createObject();
    material->setName(name);
    return materials->setAt(name, material);
}

// A drawing with one small face, so its extents are usable and the first refresh runs.
inline OdDbDatabasePtr seedDrawing()
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(1, OdGePoint3d(1, 0, 0));
    face->setVertexAt(2, OdGePoint3d(0, 1, 0));
    face->setVertexAt(3, OdGePoint3d(0, 1, 0));
    face->setDatabaseDefaults(db);
    ms->appendOdDbEntity(face);
    return db;
}

// A grid mesh of cells x cells quads (2 triangles each) at (ox, oy).
inline OdDbSubDMeshPtr gridMesh(OdDbDatabase* db, double ox, double oy, int cells,
                                const OdDbObjectId& material, int wave)
{
    OdArray<OdGePoint3d> vertices;
    OdArray<OdInt32> faces;
    vertices.reserve(std::size_t(cells + 1) * std::size_t(cells + 1));
    for (int r = 0; r <= cells; ++r)
        for (int c = 0; c <= cells; ++c)
            vertices.append(OdGePoint3d(ox + c, oy + r, 0.3 * std::sin(0.7 * c + 0.3 * r + wave)));
    for (int r = 0; r < cells; ++r) {
        for (int c = 0; c < cells; ++c) {
            const int v = r * (cells + 1) + c;
            for (int k : {4, v, v + 1, v + cells + 2, v + cells + 1})
                faces.append(k);
        }
    }
    OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
    mesh->setSubDMesh(vertices, faces);
    mesh->setDatabaseDefaults(db);
    if (!material.isNull()) mesh->setMaterial(material);
    return mesh;
}

// `entities` grid meshes of cells x cells quads laid out in a square; the ids in `ids`. The triangle count.
inline std::size_t addMeshes(OdDbDatabase* db, int entities, int cells, const OdDbObjectId& material,
                             std::vector<OdDbObjectId>* ids = nullptr)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    const int side = int(std::ceil(std::sqrt(double(std::max(1, entities)))));
    for (int e = 0; e < entities; ++e) {
        OdDbSubDMeshPtr mesh =
            gridMesh(db, (e % side) * (cells + 2.0), (e / side) * (cells + 2.0), cells, material, e);
        const OdDbObjectId id = ms->appendOdDbEntity(mesh);
        if (ids) ids->push_back(id);
    }
    return std::size_t(entities) * std::size_t(cells) * std::size_t(cells) * 2;
}

// Seconds to push `totalBytes` through a Unix socket pair in writes of totalBytes / chunks.
// With `cpuSeconds`, the processor time of both ends goes there. By default both ends reuse one chunk's
// buffer, which stays in cache, and the reader drops what it got. With `keep`, the writer sends each chunk
// from memory of its own and the reader keeps each chunk in memory of its own, as a mesh is made once and
// kept by the viewer; both are touched before the clock starts, as the viewer's lent memory is.
inline double rawSocketSeconds(std::size_t totalBytes, std::size_t chunks, double* cpuSeconds = nullptr,
                               bool keep = false)
{
    auto threadCpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    double readerCpu = 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
    XoSocketFrameIO::tuneSocket(fds[0]);
    XoSocketFrameIO::tuneSocket(fds[1]);
    const std::size_t chunk = std::max<std::size_t>(1, totalBytes / std::max<std::size_t>(1, chunks));
    std::vector<char> source(keep ? totalBytes : chunk);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = char(i * 131u >> 7);
    std::vector<char> kept(keep ? totalBytes : 0, 1);
    std::thread reader([&] {
        std::vector<char> buffer(chunk);
        const double started = threadCpu();
        std::size_t got = 0;
        while (got < totalBytes) {
            char* into = keep ? kept.data() + got : buffer.data();
            const ssize_t n = ::read(fds[1], into, std::min(chunk, totalBytes - got));
            if (n <= 0) break;
            got += std::size_t(n);
        }
        readerCpu = threadCpu() - started;
    });
    QElapsedTimer timer;
    timer.start();
    const double writerStarted = threadCpu();
    std::size_t sent = 0;
    while (sent < totalBytes) {
        std::size_t left = std::min(chunk, totalBytes - sent);
        const char* p = source.data() + (keep ? sent : 0);
        while (left > 0) {
            const ssize_t n = ::write(fds[0], p, left);
            if (n <= 0) break;
            p += n;
            left -= std::size_t(n);
            sent += std::size_t(n);
        }
    }
    const double writerCpu = threadCpu() - writerStarted;
    reader.join();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (cpuSeconds) *cpuSeconds = writerCpu + readerCpu;
    ::close(fds[0]);
    ::close(fds[1]);
    return seconds;
}

// Processor nanoseconds all threads of a process have run so far (this process for 0), from the
// scheduler's own accounting: finer than the 10 ms ticks of /proc/<pid>/stat. Threads that ended are
// not counted, so take it around work that runs on threads alive on both sides.
inline std::int64_t processCpuNs(long pid)
{
    const QString tasks =
        pid > 0 ? QStringLiteral("/proc/%1/task").arg(pid) : QStringLiteral("/proc/self/task");
    std::int64_t ns = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly)) ns += f.readAll().split(' ').value(0).toLongLong();
    }
    return ns;
}

// A field of /proc/<pid>/status in bytes (VmHWM, VmRSS), 0 when unknown.
inline std::size_t procStatusBytes(long pid, const char* field)
{
    QFile f(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return std::size_t(line.mid(key.size()).trimmed().split(' ').value(0).toLongLong()) * 1024;
    }
    return 0;
}

// The newest child process of this one whose command name starts with `name`, or 0.
inline long childProcess(const char* name)
{
    const long self = long(::getpid());
    long found = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const long pid = entry.toLong(&number);
        if (!number) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        const int open = text.indexOf('('), close = text.lastIndexOf(')');
        if (open < 0 || close < open) continue;
        const QByteArray comm = text.mid(open + 1, close - open - 1);
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLong() == self && comm.startsWith(name))
            found = std::max(found, pid);
    }
    return found;
}

} // namespace zalBench
