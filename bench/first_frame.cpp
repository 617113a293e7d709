// The viewer's first frame of a large drawing: N entities (two triangles each) under one placed block, as
// the host sends a drawing, go to the real viewer in one transaction. After its acknowledgement the
// viewer is pinged back to back while its window builds and draws the first frame; the longest wait for
// an answer is how long the viewer stopped answering. A picture asked for at the end must show the whole
// scene (the viewer prints its frame time).
//
//   xvfb-run -a build/bin/bench_first_frame [entities] [viewer executable] [edits]
//
// The viewer defaults to the one built beside this benchmark. With "edits", edit transactions come back to
// back instead of the pings, each moving four entities out of the block and back (which takes their
// merged batches apart once the batches are being put together); the benchmark then says whether the
// drawing got built while they came. Ends with one line:
// "first frame: N entities, acknowledged A s, longest unanswered ping P ms"
#include "XoRemoteRenderSenderFlattener.h"
#include "bench/zalBenchWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

class Sender : public XoRemoteRenderSenderFlattener
{
public:
    explicit Sender(const QString& folder)
        : XoRemoteRenderSenderFlattener(folder.toStdWString(), nullptr, 1, [](const std::string&) {})
    {
    }
    void onRenderInit() override
    {
        XoRemoteRenderSenderFlattener::onRenderInit();
        started = true;
    }
    void onTransactionApplied(const char* name) override { applied.push_back(name); }
    void onMessage(const char*, const void*, long) override { ++pongs; }
    bool started = false;
    int pongs = 0;
    std::vector<std::string> applied;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int entities = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const QString viewer =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QCoreApplication::applicationDirPath() +
                       "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer-Win64-Shipping.exe";
    QTemporaryDir folder;
    Sender sender(folder.path());
    if (!sender.startRender(viewer.toStdWString().c_str(), 0, 0, 640, 480, false) ||
        !zalBench::waitFor([&] { return sender.started; }, 60000)) {
        std::fprintf(stderr, "bench_first_frame: the viewer did not start\n");
        return 1;
    }
    // Let the empty scene's first frame pass.
    QThread::msleep(1000);
    const bool edits = argc > 3 && std::string(argv[3]) == "edits";
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const std::vector<float> square = {0, 0, 0, 20, 20, 0, 20, 0, 0, 0, 0, 0, 0, 20, 0, 20, 20, 0};
    const std::vector<std::int32_t> faces = {3, 3};
    sender.beginTransaction("drawing");
    sender.addMaterial("G", "M_Configurable", "", 0x00C000u, 1.0f, "", "");
    sender.addComponentDef("Block", "*Model_Space", false, "");
    sender.addInstance("Root", "Model", "Block", "Modelspace", identity, "");
    const int side = int(std::ceil(std::sqrt(double(entities))));
    auto entity = [&](int i) {
        const std::string name = "E" + std::to_string(i);
        const float at[16] = {1, 0, 0, float(i % side) * 30, 0, 1, 0, float(i / side) * 30, 0, 0, 1, 0, 0,
                              0, 0, 1};
        sender.addInstance(name.c_str(), "Block", "", name.c_str(), at, "");
        sender.addMesh((name + "_G").c_str(), name.c_str(), "", square.data(), nullptr, nullptr, nullptr,
                       nullptr, faces.data(), 2, 6, "G", "G");
    };
    for (int i = 0; i < entities; ++i)
        entity(i);
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    sender.endTransaction(false);
    if (!zalBench::waitFor([&] { return !sender.applied.empty() && sender.applied.back() == "drawing"; },
                           600000)) {
        std::fprintf(stderr, "bench_first_frame: no acknowledgement\n");
        return 1;
    }
    const double acknowledged = double(sinceEnd.nsecsElapsed()) / 1e9;
    // Pings back to back for some seconds: the window's first frame of the drawing happens in them.
    double longest = 0;
    QElapsedTimer pinging;
    pinging.start();
    int sent = 0;
    while (pinging.elapsed() < 6000) {
        QElapsedTimer rtt;
        rtt.start();
        if (edits) {
            // A selection of four entities spread over the drawing, so that each edit takes several
            // batches apart.
            const std::size_t expected = sender.applied.size() + 1;
            sender.beginTransaction("move");
            for (int k = 0; k < 4; ++k) {
                const int i = int((4LL * sent + k) * 7919 % entities);
                sender.removeEntity(("E" + std::to_string(i)).c_str(), "Block", true, true);
                entity(i);
            }
            sender.endTransaction(false);
            if (!zalBench::waitFor([&] { return sender.applied.size() >= expected; }, 120000)) break;
        } else {
            const int expected = sender.pongs + 1;
            sender.sendMessage("zal.Ping", "p", 1);
            if (!zalBench::waitFor([&] { return sender.pongs >= expected; }, 120000)) break;
        }
        ++sent;
        longest = std::max(longest, double(rtt.nsecsElapsed()) / 1e6);
    }
    if (edits) {
        // Whether the drawing got built while the edits came (the picture below would finish it at once).
        const QString dump = folder.filePath("dump.json");
        sender.sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(dump));
        zalBench::waitFor([&] { return QFileInfo::exists(dump); }, 120000);
        QFile file(dump);
        file.open(QIODevice::ReadOnly);
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonObject render = o.value("render").toObject();
        std::printf("after %d edits back to back over 6 s (the longest acknowledged in %.1f ms): drawing %s, "
                    "%d frames drawn\n",
                    sent, longest, render.value("building").toBool() ? "still being built" : "built",
                    o.value("viewer").toObject().value("framesDrawn").toInt());
    }
    const QString shot = folder.filePath("shot.png");
    sender.sendConsoleCommand(QStringLiteral("HighResShot 640x480 filename=\"%1\"").arg(shot));
    zalBench::waitFor([&] { return QFileInfo::exists(shot); }, 120000);
    std::printf("first frame: %d entities, acknowledged %.2f s, longest unanswered ping %.1f ms\n", entities,
                acknowledged, longest);
    sender.requestRenderExit();
    zalBench::waitFor([&] { return !sender.isProcessRunning(); }, 20000);
    return 0;
}
