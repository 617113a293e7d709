// First synchronisation at growing sizes: drawings of 10k and 100k small meshes (per-entity cost) and of
// 1M and 4M triangles in 1000 meshes (per-triangle cost) are refreshed through the reference host and the
// module, once into a transport that only counts (translation alone) and once into the real viewer until
// it acknowledges the refresh. A raw Unix socket carries the same mesh bytes before and after every live
// run, once from a buffer both ends reuse (the summary's reference) and once from and into memory of each
// mesh's own (as a viewer keeps what it is sent); ratios use medians over the rounds.
// Each live run gets a fresh viewer, whose peak resident memory is compared with the mesh bytes it was sent.
// Each round also opens the link as a user does (the drawing first, then a fresh viewer started for it) and
// times it from the viewer's start to the acknowledgement of its first drawing, in parts; those figures are
// not part of the summary line.
//
//   xvfb-run -a build/bin/bench_first_sync_scaling [rounds] [scale] [only]
//
// `scale` (default 1) divides every size, for a quick look; `only` runs the sizes whose label contains it
// (e.g. "1M"), without the summary. With ZAL_VIEWER_TIMING set, the host's and the viewer's steady-clock
// times of each live refresh go to stderr, with how often and how long the host waited for room in the
// shared ring, its other time writing into the ring (copying, waking) and how often it woke the reader; with
// ZAL_BENCH_ALONE_ONLY set, only the translation alone runs (for looking at the host's own cost), without the
// summary. Closing each session (the viewer's exit not counted: what the module and the host free) is timed
// and printed after the table. Ends with one line: "first sync: per-entity 10k->100k ratio A, per-triangle
// 1M->4M ratio B, raw-socket ratio at 1M C, viewer peak / mesh bytes D"
#include "module/zalUnrealRenderModule.h"

#include "XoLocalSocketMessagesManager.h"
#include "XoSharedRing.h"
#include "bench/zalBenchSupport.h"

#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

using zalBench::CountingTransport;
using zalBench::waitFor;

namespace {

struct Size
{
    const char* label = "";
    int entities = 0;
    int cells = 0;
    std::vector<double> alone, live, raw;
    // The raw socket again, each chunk sent from and kept in memory of its own.
    std::vector<double> rawKept;
    // The drawing there before the viewer starts, as a user opens the link: from starting the viewer to
    // the acknowledgement of its first drawing; and its parts: until the transaction carrying the meshes
    // began (the viewer's start-up), the stream of meshes, from there to the transaction's end (the first
    // run and its fixed delays), and from there to the acknowledgement (the viewer applying it).
    std::vector<double> opening, openingStartUp, openingStream, openingToEnd, openingApply;
    std::vector<double> openingHostCpu; // the host's processor time between the meshes and the end
    std::vector<double> aloneCpu;       // the refresh thread's processor seconds in the runs alone
    std::vector<double> viewerPeak, viewerBase;
    // Processor seconds of a live refresh until acknowledged, in the host and in the viewer (every thread),
    // and of the raw socket's two ends: what two cores have to share.
    std::vector<double> liveHostCpu, liveViewerCpu, rawCpu;
    std::vector<double> closingAlone, closingLive;
    std::size_t meshBytes = 0, meshes = 0, triangles = 0;
};

// The real channel, noting when the transaction that carries the first mesh began.
class StampingTransport : public XoInterProcessMessagesManager
{
public:
    void setObserver(XoInterProcessMessagesObserver* observer) override { m_real.setObserver(observer); }
    bool listen(const std::string& hint) override { return m_real.listen(hint); }
    bool isListening() const override { return m_real.isListening(); }
    std::string channelName() const override { return m_real.channelName(); }
    bool isConnected() const override { return m_real.isConnected(); }
    bool startProcess(const XoRenderProcessRequest& request) override { return m_real.startProcess(request); }
    bool isProcessRunning() const override { return m_real.isProcessRunning(); }
    bool send(const XoRemoteRenderMessage& message) override
    {
        if (message.type() == XoMessageType::BeginTransaction) m_begun = steadyNs();
        if (message.type() == XoMessageType::AddMesh && contentBegan == 0) contentBegan = m_begun;
        const bool sent = m_real.send(message);
        if (message.type() == XoMessageType::EndTransaction) {
            ended = steadyNs();
            cpuEnded = cpuNs();
        }
        if (message.type() == XoMessageType::AddMesh) {
            meshBytes += message.payloadSize();
            meshesSent = steadyNs();
            cpuMeshesSent = cpuNs();
        }
        return sent;
    }
    void close() override { m_real.close(); }

    static std::int64_t cpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
    }

    static std::int64_t steadyNs()
    {
        return std::int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
    }

    std::int64_t contentBegan = 0; // the transaction carrying the first mesh began
    std::int64_t meshesSent = 0;   // the last mesh was handed to the channel
    std::int64_t ended = 0;        // the last transaction was ended
    // The sending thread's processor time at those two points.
    std::int64_t cpuMeshesSent = 0, cpuEnded = 0;
    std::size_t meshBytes = 0;

private:
    XoLocalSocketMessagesManager m_real;
    std::int64_t m_begun = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int scale = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    // A third argument runs only the sizes whose label contains it (e.g. "triangles"), without the summary.
    const std::string only = argc > 3 ? argv[3] : "";
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr,
                     "bench_first_sync_scaling: the viewer needs an X server; run under xvfb-run -a\n");
        return 1;
    }
    QTemporaryDir dir;
    zalHostApplication host(argc, argv, zalBench::hostOptions(dir));

    CountingTransport* counting = nullptr;
    if (!odrxDynamicLinker()->loadModule(L"zalUnrealRenderModule.dll")) {
        std::fprintf(stderr, "bench_first_sync_scaling: cannot load the module\n");
        return 1;
    }
    QWindow standIn;
    standIn.create();
    const bool timing = qEnvironmentVariableIsSet("ZAL_VIEWER_TIMING");
    const bool aloneOnly = qEnvironmentVariableIsSet("ZAL_BENCH_ALONE_ONLY");
    auto steadyNs = [] {
        return std::int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
    };

    // The processor time of this thread: less moved by other processes than the clock.
    auto threadCpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
    };

    constexpr std::size_t kViewerSpares = 32u << 20;
    // Resident bytes of the receive memory the host lent the viewer (mappings of the shared file it keeps).
    auto lentResident = [](long pid) {
        QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
        if (!smaps.open(QIODevice::ReadOnly)) return std::size_t(0);
        std::size_t bytes = 0;
        bool lent = false;
        for (const QByteArray& line : smaps.readAll().split('\n')) {
            // A mapping's first line starts with its address in lower-case hex; its fields with a name.
            const char first = line.isEmpty() ? 'X' : line[0];
            if ((first >= '0' && first <= '9') || (first >= 'a' && first <= 'f')) {
                lent = line.contains(" /memfd:XoRemoteRender-receive");
                continue;
            }
            if (lent && line.startsWith("Rss:"))
                bytes += std::size_t(line.mid(4).trimmed().split(' ').value(0).toLongLong()) * 1024;
        }
        return bytes;
    };
    // One run: a fresh drawing in a fresh view; the refresh's seconds until acknowledged (live) or returned.
    auto run = [&](Size& size, bool live) -> double {
        XoRemoteRenderSender::setDefaultTransportFactory(
            live ? XoRemoteRenderSender::TransportFactory()
                 : XoRemoteRenderSender::TransportFactory(
                       [&]() -> std::unique_ptr<XoInterProcessMessagesManager> {
                           auto transport = std::make_unique<CountingTransport>();
                           counting = transport.get();
                           return transport;
                       }));
        OdDbDatabasePtr db = zalBench::seedDrawing();
        zalHostView* view = nullptr;
        zalDbUnrealRenderSession* s = zalBench::openSession(host, db.get(), &view);
        if (!s) return -1;
        const std::size_t lentAtStart = XoLocalSocketMessagesManager::idleLentReceiveMemory();
        if (live) {
            zalBench::startRealViewer(s);
        } else {
            counting->simulateViewerStarted();
            waitFor([&] { return s->sender()->isViewerStarted(); }, 5000);
            counting->simulateWindowHandle(std::uint64_t(standIn.winId()));
        }
        if (!zalBench::waitUntilUp(s, 120000)) return -1;
        s->detachDbReactor();
        const OdDbObjectId red = zalBench::addMaterial(db.get(), L"Red");
        size.triangles = zalBench::addMeshes(db.get(), size.entities, size.cells, red);
        s->attachDbReactor();
        // The counting transport acknowledges nothing.
        if (live) zalBench::waitAllApplied(s, 120000);
        const long viewer = live ? zalBench::childProcess("zalViewer") : 0;
        // The viewer draws the drawing it was sent before (its frame starts 30 ms after the
        // acknowledgement and takes tens of milliseconds); a user refreshes after editing, long after
        // that picture. Timing starts once it is drawn, so that the refresh does not share the processor
        // with it by chance of timing, as the raw socket shares it with nothing.
        if (live) waitFor([] { return false; }, 200);
        // What the viewer holds before the drawing comes: its fixed base, with the spare receive memory it
        // keeps backed whatever comes (--receive-reserve, 32 MiB by default). Not the rest of the memory the
        // host lends it for frames, which it maps ahead of them: that counts as memory the drawing takes.
        if (live)
            size.viewerBase.push_back(
                double(zalBench::procStatusBytes(viewer, "VmRSS")) -
                double(std::max<std::size_t>(lentResident(viewer), kViewerSpares) - kViewerSpares));
        const std::size_t bytesBefore = live ? 0 : counting->meshBytes;
        const std::size_t meshesBefore = live ? 0 : counting->meshes;
        QElapsedTimer timer;
        timer.start();
        const std::uint64_t waitsBefore = XoSharedRing::writerWaits(),
                            waitNsBefore = XoSharedRing::writerWaitNs(),
                            busyNsBefore = XoSharedRing::writerBusyNs(),
                            wakesBefore = XoSharedRing::writerWakeups();
        const std::int64_t started = steadyNs();
        const std::int64_t cpuStarted = threadCpuNs();
        const std::int64_t hostCpuStarted = live ? zalBench::processCpuNs(0) : 0;
        const std::int64_t viewerCpuStarted = live ? zalBench::processCpuNs(viewer) : 0;
        s->refresh(QString(), QString());
        if (!live) size.aloneCpu.push_back(double(threadCpuNs() - cpuStarted) / 1e9);
        const std::int64_t returned = steadyNs();
        if (live && !zalBench::waitAllApplied(s, 1800000)) return -1;
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (live) {
            size.liveHostCpu.push_back(double(zalBench::processCpuNs(0) - hostCpuStarted) / 1e9);
            size.liveViewerCpu.push_back(double(zalBench::processCpuNs(viewer) - viewerCpuStarted) / 1e9);
        }
        // Beside the viewer's own line (same clock): the refresh's start and return, and its acknowledgement.
        if (live && timing)
            std::fprintf(stderr,
                         "host timing: %s ns: refresh started %lld, returned %lld, acknowledged %lld; waited "
                         "for room in the ring %llu times, %.1f ms; writing into it otherwise %.1f ms, %llu "
                         "wake-ups of the reader; receive memory lent to the viewer %.0f MiB\n",
                         size.label, (long long)started, (long long)returned, (long long)steadyNs(),
                         (unsigned long long)(XoSharedRing::writerWaits() - waitsBefore),
                         double(XoSharedRing::writerWaitNs() - waitNsBefore) / 1e6,
                         double(XoSharedRing::writerBusyNs() - busyNsBefore) / 1e6,
                         (unsigned long long)(XoSharedRing::writerWakeups() - wakesBefore),
                         double(lentAtStart) / 1048576.0);
        // The viewer backs its spare receive memory again once the frames pause: its peak counts that.
        if (live) waitFor([] { return false; }, 300);
        if (live) {
            size.viewerPeak.push_back(double(zalBench::procStatusBytes(viewer, "VmHWM")));
            if (timing)
                std::fprintf(
                    stderr,
                    "viewer memory: %s: base %.1f MiB, peak %.1f MiB; now %.1f MiB resident, of which "
                    "%.1f MiB lent and %.1f MiB anonymous\n",
                    size.label, size.viewerBase.back() / 1048576.0, size.viewerPeak.back() / 1048576.0,
                    double(zalBench::procStatusBytes(viewer, "VmRSS")) / 1048576.0,
                    double(lentResident(viewer)) / 1048576.0,
                    double(zalBench::procStatusBytes(viewer, "RssAnon")) / 1048576.0);
        } else {
            size.meshBytes = counting->meshBytes - bytesBefore;
            size.meshes = counting->meshes - meshesBefore;
        }
        if (s->sender() && s->sender()->isProcessRunning()) s->sender()->requestRenderExit();
        waitFor([&] { return !s->sender() || !s->sender()->isProcessRunning(); }, 20000);
        timer.restart();
        zalBench::closeSession(host, view, s, 20000);
        (live ? size.closingLive : size.closingAlone).push_back(double(timer.nsecsElapsed()) / 1e9);
        return seconds;
    };

    // The drawing made first, then the viewer started for it: what a user waits for on opening the link.
    // The meshes go out as soon as the viewer's window is captured, during its start-up; the transaction
    // closes once the first run (250 ms later, confirming every entity again) and the session's start-up
    // step (500 ms after the capture) have both run.
    auto opening = [&](Size& size) -> double {
        StampingTransport* stamping = nullptr;
        XoRemoteRenderSender::setDefaultTransportFactory(
            [&]() -> std::unique_ptr<XoInterProcessMessagesManager> {
                auto transport = std::make_unique<StampingTransport>();
                stamping = transport.get();
                return transport;
            });
        OdDbDatabasePtr db = zalBench::seedDrawing();
        const OdDbObjectId red = zalBench::addMaterial(db.get(), L"Red");
        zalBench::addMeshes(db.get(), size.entities, size.cells, red);
        zalHostView* view = nullptr;
        zalDbUnrealRenderSession* s = zalBench::openSession(host, db.get(), &view);
        if (!s || !stamping) return -1;
        const std::int64_t started = steadyNs();
        zalBench::startRealViewer(s);
        if (!zalBench::waitUntilUp(s, 120000) || !zalBench::waitAllApplied(s, 1800000)) return -1;
        const std::int64_t acknowledged = steadyNs();
        if (stamping->contentBegan == 0) return -1;
        size.openingStartUp.push_back(double(stamping->contentBegan - started) / 1e9);
        size.openingStream.push_back(double(stamping->meshesSent - stamping->contentBegan) / 1e9);
        size.openingToEnd.push_back(double(stamping->ended - stamping->meshesSent) / 1e9);
        size.openingApply.push_back(double(acknowledged - stamping->ended) / 1e9);
        size.openingHostCpu.push_back(double(stamping->cpuEnded - stamping->cpuMeshesSent) / 1e9);
        if (timing)
            std::fprintf(stderr,
                         "host timing: %s opening ns: viewer started %lld, meshes began %lld, all sent %lld, "
                         "transaction ended %lld, acknowledged %lld; %.1f MiB of meshes\n",
                         size.label, (long long)started, (long long)stamping->contentBegan,
                         (long long)stamping->meshesSent, (long long)stamping->ended, (long long)acknowledged,
                         double(stamping->meshBytes) / 1048576.0);
        if (s->sender() && s->sender()->isProcessRunning()) s->sender()->requestRenderExit();
        waitFor([&] { return !s->sender() || !s->sender()->isProcessRunning(); }, 20000);
        zalBench::closeSession(host, view, s, 20000);
        return double(acknowledged - started) / 1e9;
    };

    auto sized = [](const char* label, int entities, int cells) {
        Size size;
        size.label = label;
        size.entities = std::max(1, entities);
        size.cells = cells;
        return size;
    };
    std::vector<Size> sizes = {
        sized("10k entities", 10000 / scale, 1), sized("100k entities", 100000 / scale, 1),
        sized("1M triangles", 1000 / scale, 22), sized("4M triangles", 1000 / scale, 45)};
    for (int r = 0; r < rounds; ++r) {
        for (Size& size : sizes) {
            if (std::string(size.label).find(only) == std::string::npos) continue;
            size.alone.push_back(run(size, false));
            if (aloneOnly) {
                std::fprintf(stderr, "round %d %s: alone %.4f s\n", r + 1, size.label, size.alone.back());
                continue;
            }
            double rawCpu = 0;
            size.raw.push_back(zalBench::rawSocketSeconds(size.meshBytes, size.meshes, &rawCpu));
            size.rawCpu.push_back(rawCpu);
            size.rawKept.push_back(zalBench::rawSocketSeconds(size.meshBytes, size.meshes, nullptr, true));
            size.live.push_back(run(size, true));
            size.raw.push_back(zalBench::rawSocketSeconds(size.meshBytes, size.meshes, &rawCpu));
            size.rawCpu.push_back(rawCpu);
            size.rawKept.push_back(zalBench::rawSocketSeconds(size.meshBytes, size.meshes, nullptr, true));
            size.opening.push_back(opening(size));
            std::fprintf(stderr,
                         "round %d %s: alone %.3f s, live %.3f s, opening %.3f s; closing after them %.3f s, "
                         "%.3f s\n",
                         r + 1, size.label, size.alone.back(), size.live.back(), size.opening.back(),
                         size.closingAlone.back(), size.closingLive.back());
        }
    }

    if (aloneOnly) {
        for (Size& s : sizes) {
            if (s.alone.empty()) continue;
            std::printf("%s: translation alone, median %.4f s, fastest %.4f s of %d rounds, %.2f us/entity; "
                        "processor time median %.4f s, least %.4f s\n",
                        s.label, zalBench::median(s.alone), *std::min_element(s.alone.begin(), s.alone.end()),
                        rounds, zalBench::median(s.alone) / s.entities * 1e6, zalBench::median(s.aloneCpu),
                        *std::min_element(s.aloneCpu.begin(), s.aloneCpu.end()));
        }
        return 0;
    }
    std::printf("first synchronisation, medians of %d rounds\n", rounds);
    std::printf("%-14s %8s %10s %9s %10s %10s %12s %12s %9s %10s %9s %10s %9s %10s %10s\n", "drawing",
                "entities", "triangles", "mesh MiB", "alone s", "live s", "us/entity", "ns/triangle", "raw s",
                "raw ratio", "kept s", "kept ratio", "peak/mesh", "opening s", "streamed s");
    for (Size& s : sizes) {
        if (s.live.empty()) continue;
        const double live = zalBench::median(s.live);
        const double raw = zalBench::median(s.raw), kept = zalBench::median(s.rawKept);
        std::printf(
            "%-14s %8d %10zu %9.1f %10.3f %10.3f %12.2f %12.1f %9.3f %10.3f %9.3f %10.3f %9.2f %10.3f "
            "%10.3f\n",
            s.label, s.entities, s.triangles, double(s.meshBytes) / 1048576.0, zalBench::median(s.alone),
            live, live / s.entities * 1e6, live / double(s.triangles) * 1e9, raw, raw / live, kept,
            kept / live,
            (zalBench::median(s.viewerPeak) - zalBench::median(s.viewerBase)) /
                double(std::max<std::size_t>(1, s.meshBytes)),
            zalBench::median(s.opening), zalBench::median(s.openingStream));
    }
    std::printf(
        "live: geometry added while linked, then a refresh, until acknowledged; opening: the drawing "
        "there first, from starting the viewer until its first drawing is acknowledged (streamed: the "
        "meshes' part of it); raw: the same bytes through a Unix socket pair, both ends reusing one mesh's "
        "buffer, the received bytes dropped (the summary's reference); kept: the same, each mesh sent from "
        "and kept in memory of its own, touched beforehand\n");
    std::printf(
        "opening in parts, medians (viewer start-up until the meshes' transaction began, streaming the "
        "meshes, then until the transaction ended, then until acknowledged):");
    for (Size& s : sizes)
        if (!s.opening.empty())
            std::printf(
                " %s %.3f + %.3f + %.3f + %.3f s (the host's processor time in the third part %.3f s);",
                s.label, zalBench::median(s.openingStartUp), zalBench::median(s.openingStream),
                zalBench::median(s.openingToEnd), zalBench::median(s.openingApply),
                zalBench::median(s.openingHostCpu));
    std::printf("\n");

    std::printf("processor time, medians (a live refresh until acknowledged, the host's and the viewer's "
                "threads; the raw socket's two ends), with the least wall time it allows on %d cores:",
                std::max(1, QThread::idealThreadCount()));
    for (Size& s : sizes)
        if (!s.live.empty()) {
            const double host = zalBench::median(s.liveHostCpu), viewer = zalBench::median(s.liveViewerCpu);
            const double cores = double(std::max(1, QThread::idealThreadCount()));
            std::printf(" %s live %.3f + %.3f = %.3f s (>= %.3f s), raw %.3f s (>= %.3f s);", s.label, host,
                        viewer, host + viewer, (host + viewer) / cores, zalBench::median(s.rawCpu),
                        zalBench::median(s.rawCpu) / cores);
        }
    std::printf("\n");

    std::printf("closing the session after the run (the viewer's exit not counted), medians:");
    for (Size& s : sizes)
        if (!s.live.empty())
            std::printf(" %s %.3f s alone, %.3f s live;", s.label, zalBench::median(s.closingAlone),
                        zalBench::median(s.closingLive));
    std::printf("\n");
    if (!only.empty()) return 0;
    const double perEntity10k = zalBench::median(sizes[0].live) / sizes[0].entities;
    const double perEntity100k = zalBench::median(sizes[1].live) / sizes[1].entities;
    const double perTri1M = zalBench::median(sizes[2].live) / double(sizes[2].triangles);
    const double perTri4M = zalBench::median(sizes[3].live) / double(sizes[3].triangles);
    const double hostPerEntity = zalBench::median(sizes[1].alone) / sizes[1].entities * 1e6;
    std::printf(
        "host translation alone at 100k small meshes: %.2f us per entity (target <= 5 us fixed cost)\n",
        hostPerEntity);
    std::printf("host peak resident memory: %.1f MiB\n",
                double(zalBench::procStatusBytes(0, "VmHWM")) / 1048576.0);
    const double peak = zalBench::median(sizes[3].viewerPeak), base = zalBench::median(sizes[3].viewerBase);
    std::printf(
        "viewer at the largest drawing: peak %.1f MiB, base before the drawing %.1f MiB, %.1f MiB of meshes "
        "(peak/mesh is (peak - base) / mesh bytes)\n",
        peak / 1048576.0, base / 1048576.0, double(sizes[3].meshBytes) / 1048576.0);
    std::printf(
        "targets: per-entity and per-triangle ratios <= 1.5, raw-socket ratio >= 0.5, viewer peak <= 1.25 x "
        "mesh bytes + base\n");
    std::printf(
        "first sync: per-entity 10k->100k ratio %.2f, per-triangle 1M->4M ratio %.2f, raw-socket ratio at 1M "
        "%.3f, viewer peak / mesh bytes %.2f\n",
        perEntity100k / perEntity10k, perTri4M / perTri1M,
        zalBench::median(sizes[2].raw) / zalBench::median(sizes[2].live),
        (peak - base) / double(std::max<std::size_t>(1, sizes[3].meshBytes)));
    XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
    odrxDynamicLinker()->unloadModule(L"zalUnrealRenderModule.dll");
    return 0;
}
