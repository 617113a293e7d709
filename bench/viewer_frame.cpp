// Frame time of the viewer's Filament renderer: the bundled sample through the host and the
// module at 1920x1080, and a 1M-triangle scene sent straight over the channel, each with the
// time of "HighResShot" (the frame plus writing the PNG) at 1920x1080 and 3840x2160.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_viewer_frame [triangles]
#include "XoRemoteRenderSenderFlattener.h"
#include "bench/zalBenchWait.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

QString binDir()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
}

// The sample through zalhost: the viewer reports its frame and file times for the export.
void sample(const QString& source)
{
    QTemporaryDir dir;
    const QString drawing = dir.filePath(QFileInfo(source).fileName());
    QFile::copy(source, drawing);
    for (const QString& size : {QStringLiteral("1920x1080"), QStringLiteral("3840x2160")}) {
        QProcess host;
        host.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer wall;
        wall.start();
        host.start(QDir(binDir()).filePath("zalhost"),
                   {"--open", drawing, "--export-image", dir.filePath("sample.png"), "--size", size,
                    "--timeout", "600"});
        if (!host.waitForFinished(620000) || host.exitCode() != 0) {
            std::printf("sample %s: the host failed\n", qPrintable(size));
            continue;
        }
        const QString out = QString::fromLocal8Bit(host.readAll());
        static const QRegularExpression line(
            QStringLiteral("zalViewer: wrote \\S+ (\\d+) x (\\d+): frame ([0-9.]+) ms, file ([0-9.]+) ms, "
                           "(\\d+) triangles"));
        const QRegularExpressionMatch m = line.match(out);
        if (!m.hasMatch()) {
            std::printf("sample %s: no timing in the output\n", qPrintable(size));
            continue;
        }
        std::printf("sample (pavilion) %sx%s: %s triangles, frame %s ms, HighResShot %.1f ms (frame + PNG), "
                    "whole host run "
                    "%.1f s\n",
                    qPrintable(m.captured(1)), qPrintable(m.captured(2)), qPrintable(m.captured(5)),
                    qPrintable(m.captured(3)), m.captured(3).toDouble() + m.captured(4).toDouble(),
                    double(wall.elapsed()) / 1000.0);
    }
}

struct Grid
{
    std::vector<float> positions, normals;
    std::vector<std::int32_t> flags, faceSizes;
    // A rippled sheet of n x n quads (2 n^2 triangles) at an offset, as plain triangles.
    Grid(int n, float x0, float y0, float size)
    {
        const float step = size / float(n);
        auto height = [&](float x, float y) { return 40.0f * std::sin(x * 0.01f) * std::cos(y * 0.013f); };
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const float xa = x0 + i * step, xb = xa + step, ya = y0 + j * step, yb = ya + step;
                const float quad[6][2] = {{xa, ya}, {xb, ya}, {xb, yb}, {xa, ya}, {xb, yb}, {xa, yb}};
                for (const auto& p : quad) {
                    positions.insert(positions.end(), {-p[0], p[1], height(p[0], p[1])});
                    normals.insert(normals.end(), {0, 0, 1});
                    flags.push_back(1);
                }
                faceSizes.push_back(3);
                faceSizes.push_back(3);
            }
    }
    int vertexCount() const { return int(positions.size() / 3); }
};

void largeScene(long triangles)
{
    QTemporaryDir dir;
    XoRemoteRenderSenderFlattener sender(dir.path().toStdWString(), nullptr, 3, nullptr);
    const QString viewer = QDir(binDir()).filePath(
        "zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer-Win64-Shipping.exe");
    if (!sender.startRender(viewer.toStdWString().c_str(), 0, 0, 1920, 1080, false) ||
        !zalBench::waitFor([&] { return sender.isViewerStarted(); }, 600000)) {
        std::printf("1M scene: the viewer did not start\n");
        return;
    }
    // Sixteen meshes of equal size, side by side.
    const int meshes = 16;
    const int n = std::max(1, int(std::lround(std::sqrt(double(triangles) / meshes / 2.0))));
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    sender.beginTransaction("large");
    sender.addMaterial("M", "M_Configurable", "", 0x60A080u, 1.0f, "", "ShaderType:0");
    sender.addComponentDef("MS", "*Model_Space", false, "");
    sender.addInstance("MS_Root", "Model", "MS", "Modelspace", identity, "M");
    long sent = 0;
    for (int k = 0; k < meshes; ++k) {
        const Grid g(n, float(k % 4) * 2000.0f - 4000.0f, float(k / 4) * 2000.0f - 4000.0f, 1900.0f);
        const std::string name = "Sheet" + std::to_string(k);
        sender.addMesh(name.c_str(), "MS", "", g.positions.data(), g.normals.data(), nullptr, nullptr,
                       g.flags.data(), g.faceSizes.data(), int(g.faceSizes.size()), g.vertexCount(), "M", "");
        sent += long(g.faceSizes.size());
    }
    sender.endTransaction(true);
    sender.setCamera(0, 0, 0, 5000, -9000, 6000, 0, 0, 1, false, false, 30, 1, 0, 0, "");

    int serial = 0;
    auto shot = [&](int w, int h, const char* what) {
        const QString png = dir.filePath(QStringLiteral("shot%1.png").arg(++serial));
        const QString json = dir.filePath(QStringLiteral("dump%1.json").arg(serial));
        QElapsedTimer t;
        t.start();
        sender.sendConsoleCommand(QStringLiteral("HighResShot %1x%2 filename=\"%3\"").arg(w).arg(h).arg(png));
        if (!zalBench::waitFor([&] { return QFileInfo::exists(png); }, 600000)) {
            std::printf("%s: no picture\n", what);
            return;
        }
        const double shotMs = double(t.nsecsElapsed()) / 1e6;
        sender.sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(json));
        zalBench::waitFor([&] { return QFileInfo::exists(json); }, 600000);
        QFile f(json);
        f.open(QIODevice::ReadOnly);
        const QJsonObject render = QJsonDocument::fromJson(f.readAll()).object().value("render").toObject();
        std::printf(
            "1M scene %dx%d %s: %.0f triangles drawn (%ld sent in %d meshes), frame %.1f ms, HighResShot "
            "%.1f ms (command to file on disk)\n",
            w, h, what, render.value("triangles").toDouble(), sent, meshes,
            render.value("frameMs").toDouble(), shotMs);
    };
    shot(1920, 1080, "first frame, buffers made");
    shot(1920, 1080, "next frame");
    shot(1920, 1080, "next frame");
    shot(3840, 2160, "HighResShot");
    sender.requestRenderExit();
    zalBench::waitFor([&] { return !sender.isProcessRunning(); }, 30000);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long triangles = argc > 1 ? std::atol(argv[1]) : 1000000;
    const QString source = QStringLiteral(ZAL_SOURCE_DIR "/samples/pavilion.dxf");
    sample(source);
    largeScene(triangles);
    return 0;
}
