// Streams 4 MiB addMesh messages into the real viewer and compares with a raw Unix-socket
// transfer and a memcpy of the same bytes, in the same run.
//
//   xvfb-run -a build/bin/bench_channel_throughput [messages] [rounds]
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderSenderFlattener.h"
#include "XoSocketFrameIO.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// 92520 vertices as the simplifier sends them: 44 bytes per vertex plus one face size per three.
constexpr int kVertices = 92520;
constexpr int kFaces = kVertices / 3;

struct MeshArrays
{
    std::vector<float> positions, normals, uv;
    std::vector<std::int32_t> flags, faceSizes;
    MeshArrays()
        : positions(3 * kVertices), normals(3 * kVertices), uv(2 * kVertices), flags(kVertices, 1),
          faceSizes(kFaces, 3)
    {
        for (int i = 0; i < kVertices; ++i) {
            positions[3 * i] = float(i % 97);
            positions[3 * i + 1] = float((i / 97) % 89);
            positions[3 * i + 2] = float(i % 7);
            normals[3 * i + 2] = 1.0f;
            uv[2 * i] = float(i % 13);
            uv[2 * i + 1] = float(i % 17);
        }
    }
    std::size_t bytes() const
    {
        return (positions.size() + normals.size() + 2 * uv.size()) * 4 +
               (flags.size() + faceSizes.size()) * 4;
    }
};

class BenchSender : public XoRemoteRenderSenderFlattener
{
public:
    BenchSender() : XoRemoteRenderSenderFlattener(L"/tmp", nullptr, 1, nullptr) {}
    void onRenderInit() override { started = true; }
    void onMessage(const char* name, const void*, long) override
    {
        if (std::strcmp(name, "zal.Pong") == 0) ++pongs;
    }
    bool started = false;
    int pongs = 0;
};

bool waitFor(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 120000) return false;
        // Blocks until something arrives: a spinning waiter would take a core from the viewer.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double channelRun(BenchSender& sender, const MeshArrays& mesh, int messages)
{
    const int pongs = sender.pongs;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < messages; ++i) {
        sender.addMesh("bench_mesh", "bench_entity", "", mesh.positions.data(), mesh.normals.data(),
                       mesh.uv.data(), mesh.uv.data(), mesh.flags.data(), mesh.faceSizes.data(), kFaces,
                       kVertices, "M", "M");
    }
    // The answer comes after the viewer has taken in and applied every mesh before it.
    sender.sendMessage("zal.Ping", nullptr, 0);
    if (!waitFor([&] { return sender.pongs > pongs; })) return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

double rawSocketRun(const MeshArrays& mesh, int messages)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
    XoSocketFrameIO::tuneSocket(fds[0]);
    XoSocketFrameIO::tuneSocket(fds[1]);
    const std::size_t total = mesh.bytes();
    std::thread reader([&] {
        // One reused buffer: the best a receiver can do.
        std::vector<char> buffer(total);
        for (int i = 0; i < messages; ++i) {
            std::size_t got = 0;
            while (got < total) {
                const ssize_t n = ::read(fds[1], buffer.data() + got, total - got);
                if (n <= 0) return;
                got += std::size_t(n);
            }
        }
    });
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < messages; ++i) {
        iovec vec[6] = {{(void*)mesh.positions.data(), mesh.positions.size() * 4},
                        {(void*)mesh.normals.data(), mesh.normals.size() * 4},
                        {(void*)mesh.uv.data(), mesh.uv.size() * 4},
                        {(void*)mesh.uv.data(), mesh.uv.size() * 4},
                        {(void*)mesh.flags.data(), mesh.flags.size() * 4},
                        {(void*)mesh.faceSizes.data(), mesh.faceSizes.size() * 4}};
        int first = 0;
        while (first < 6) {
            ssize_t n = ::writev(fds[0], vec + first, 6 - first);
            if (n < 0) break;
            while (first < 6 && std::size_t(n) >= vec[first].iov_len) {
                n -= ssize_t(vec[first].iov_len);
                ++first;
            }
            if (first < 6) {
                vec[first].iov_base = static_cast<char*>(vec[first].iov_base) + n;
                vec[first].iov_len -= std::size_t(n);
            }
        }
    }
    reader.join();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    ::close(fds[0]);
    ::close(fds[1]);
    return seconds;
}

double memcpyRun(const MeshArrays& mesh, int messages)
{
    std::vector<char> target(mesh.bytes());
    std::memset(target.data(), 0, target.size());
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < messages; ++i) {
        char* out = target.data();
        auto copy = [&](const void* data, std::size_t size) {
            std::memcpy(out, data, size);
            out += size;
        };
        copy(mesh.positions.data(), mesh.positions.size() * 4);
        copy(mesh.normals.data(), mesh.normals.size() * 4);
        copy(mesh.uv.data(), mesh.uv.size() * 4);
        copy(mesh.uv.data(), mesh.uv.size() * 4);
        copy(mesh.flags.data(), mesh.flags.size() * 4);
        copy(mesh.faceSizes.data(), mesh.faceSizes.size() * 4);
        // Keeps the copies from being optimised away.
        asm volatile("" : : "r"(target.data()) : "memory");
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr,
                     "bench_channel_throughput: the viewer needs an X server; run under xvfb-run -a\n");
        return 1;
    }
    const QString viewer =
        QCoreApplication::applicationDirPath() +
        "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer-Win64-Shipping.exe";
    if (!QFileInfo::exists(viewer)) {
        std::fprintf(stderr, "bench_channel_throughput: no viewer at %s\n", qPrintable(viewer));
        return 1;
    }

    // Wakes the waiting loop now and then, so a viewer that never answers cannot block for ever.
    QTimer heartbeat;
    heartbeat.start(200);
    const MeshArrays mesh;
    const std::size_t frameBytes = mesh.bytes();
    BenchSender sender;
    if (!sender.startRender(viewer.toStdWString().c_str(), 0, 0, 320, 240, false) ||
        !waitFor([&] { return sender.started; })) {
        std::fprintf(stderr, "bench_channel_throughput: the viewer did not start\n");
        return 1;
    }
    // Drawing is not what is measured here.
    sender.setRenderPaused(true);
    channelRun(sender, mesh, 5); // warm-up: sockets, allocator, viewer's first touch

    std::vector<double> channel, raw, copy;
    for (int r = 0; r < rounds; ++r) {
        channel.push_back(channelRun(sender, mesh, messages));
        raw.push_back(rawSocketRun(mesh, messages));
        copy.push_back(memcpyRun(mesh, messages));
    }
    sender.requestRenderExit();

    const double megabytes = double(frameBytes) * messages / 1e6;
    const double channelRate = megabytes / median(channel);
    const double rawRate = megabytes / median(raw);
    const double copyRate = megabytes / median(copy);
    std::printf("channel_throughput: %d addMesh messages of %.2f MiB (%d vertices), median of %d rounds\n",
                messages, double(frameBytes) / (1 << 20), kVertices, rounds);
    std::printf("  channel into zalViewer : %9.1f MB/s\n", channelRate);
    std::printf("  raw Unix socket        : %9.1f MB/s\n", rawRate);
    std::printf("  memcpy                 : %9.1f MB/s\n", copyRate);
    std::printf("  ratio channel/raw      : %9.2f\n", channelRate / rawRate);
    // Each round runs both transfers back to back, so its own ratio is less exposed to a busy machine.
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r)
        ratios.push_back(raw[r] / channel[r]);
    std::printf("  ratio, median of rounds: %9.2f (lowest %.2f)\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()));
    return 0;
}
