// Path tracer throughput: rays per second and the time of a 1920x1080 picture at 16 and 64
// samples per pixel, BVH build time, and Embree's plain primary-ray throughput on the same scene
// and camera as the ceiling.
//
//   bench_pathtrace [--quick] [--skip-sample]
//
// Two scenes: a generated terrain of about a million triangles with instanced blocks on it, built
// in this process; and the bundled sample drawing, exported through the host and the real viewer
// (run under xvfb-run when there is no display), whose viewer reports its own figures.
#include "XoRemoteRenderMessage.h"
#include "zalViewerPathTraceSettings.h"
#include "zalViewerPathTracer.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMatrix4x4>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <thread>

namespace {

std::shared_ptr<const XoRemoteRenderMessage> received(const XoRemoteRenderMessage& sent)
{
    auto m = std::make_shared<XoRemoteRenderMessage>();
    std::string error;
    if (!XoRemoteRenderMessage::decode(sent.frameBytes(), *m, error))
        std::fprintf(stderr, "%s\n", error.c_str());
    return m;
}

void apply(zalViewerScene& scene, const XoRemoteRenderMessage& m)
{
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    scene.apply(received(m), lost, errors);
    for (const QString& e : errors)
        std::fprintf(stderr, "rejected: %s\n", qPrintable(e));
}

void addMesh(zalViewerScene& scene, const char* name, const char* parent, const std::vector<float>& p,
             const char* material)
{
    std::vector<std::int32_t> faces(p.size() / 9, 3);
    XoRemoteRenderMessage m(XoMessageType::AddMesh);
    m.addString(name).addString(parent).addString("");
    m.addFloatArray(p.data(), p.size()).addFloatArray(nullptr, 0);
    m.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
    m.addIntArray(faces.data(), faces.size()).addInt(int(faces.size())).addInt(int(p.size() / 3));
    m.addString(material).addString(material);
    apply(scene, m);
}

void addMaterial(zalViewerScene& scene, const char* name, std::uint32_t colour, const char* parameters)
{
    XoRemoteRenderMessage m(XoMessageType::AddMaterial);
    m.addString(name).addString("M").addString("").addUInt(colour).addFloat(1).addString("").addString(
        parameters);
    apply(scene, m);
}

// About a million triangles: a rolling terrain 200 m across in cm, and a block of columns placed
// 64 times, as a drawing with references would send it.
void buildMillion(zalViewerScene& scene, int cells)
{
    addMaterial(scene, "Ground", 0x3A7F5B, "");
    addMaterial(scene, "Stone", 0xA2B4BD, ",RoughnessMap:0.4;0.4;0.4:0.4");
    std::vector<float> p;
    p.reserve(std::size_t(cells) * std::size_t(cells) * 18);
    const float size = 20000.0f, step = size / float(cells);
    auto height = [](float x, float y) {
        return 300.0f * std::sin(x * 0.0007f) * std::cos(y * 0.0009f) +
               60.0f * std::sin(x * 0.005f + y * 0.004f);
    };
    auto push = [&p, &height](float x, float y) {
        p.push_back(-x); // the host's mirrored X
        p.push_back(y);
        p.push_back(height(x, y));
    };
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const float x0 = -size / 2 + float(i) * step, y0 = -size / 2 + float(j) * step;
            const float x1 = x0 + step, y1 = y0 + step;
            push(x0, y0), push(x1, y0), push(x1, y1);
            push(x0, y0), push(x1, y1), push(x0, y1);
        }
    addMesh(scene, "Terrain_Ground", "Model", p, "Ground");

    std::vector<float> column;
    const int sides = 24;
    for (int k = 0; k < sides; ++k) {
        const float a0 = 2 * float(M_PI) * float(k) / sides, a1 = 2 * float(M_PI) * float(k + 1) / sides;
        const float r = 40, h = 600;
        const float q[4][3] = {{r * std::cos(a0), r * std::sin(a0), 0},
                               {r * std::cos(a1), r * std::sin(a1), 0},
                               {r * std::cos(a1), r * std::sin(a1), h},
                               {r * std::cos(a0), r * std::sin(a0), h}};
        for (int v : {0, 1, 2, 0, 2, 3})
            column.insert(column.end(), q[v], q[v] + 3);
        const float top[3][3] = {{0, 0, h}, {q[3][0], q[3][1], h}, {q[2][0], q[2][1], h}};
        for (const auto& v : top)
            column.insert(column.end(), v, v + 3);
    }
    addMesh(scene, "Column_Stone", "ColumnBlock", column, "Stone");
    for (int i = 0; i < 64; ++i) {
        QMatrix4x4 t;
        t.translate(-(float(i % 8) * 800.0f - 2800.0f), float(i / 8) * 800.0f - 2800.0f, 400.0f);
        const QMatrix4x4 rows = t.transposed();
        XoRemoteRenderMessage m(XoMessageType::AddInstance);
        const QByteArray name = QStringLiteral("Column%1").arg(i).toUtf8();
        m.addString(name.constData()).addString("Model").addString("ColumnBlock").addString(name.constData());
        m.addFloatArray(rows.constData(), 16).addString("");
        apply(scene, m);
    }
}

struct Figures
{
    double rays = 0, seconds = 0;
};

void report(const char* what, const Figures& f, double ceiling)
{
    const double rate = f.seconds > 0 ? f.rays / f.seconds : 0;
    std::printf("  %-34s %8.2f s  %12.0f rays  %7.2f Mrays/s  %5.1f%% of the primary-ray ceiling\n", what,
                f.seconds, f.rays, rate * 1e-6, ceiling > 0 ? 100.0 * rate / ceiling : 0.0);
}

void benchMillion(bool quick)
{
    const QSize size = quick ? QSize(480, 270) : QSize(1920, 1080);
    const int cells = 708; // 2 x 708^2 = 1,002,528 triangles
    zalViewerScene scene;
    buildMillion(scene, cells);
    zalViewerPathTracer tracer;
    QElapsedTimer timer;
    timer.start();
    tracer.setScene(scene);
    const zalViewerPathTracer::Statistics built = tracer.statistics();
    std::printf(
        "1M-triangle scene: %zu triangles in %d placements; BVHs built in %.3f s (%.1f M triangles/s)\n",
        built.triangles, built.placements, built.buildSeconds,
        double(built.triangles) / built.buildSeconds * 1e-6);
    zalViewerSettings settings;
    settings.sunMode = QStringLiteral("position");
    settings.sunNorthOffset = 90;
    settings.sunAzimuth = 210;
    settings.sunElevation = 35;
    tracer.setEnvironment(zalViewerPathTraceSettings::environment(settings));
    zalViewerPathTraceCamera camera;
    camera.eye = QVector3D(-6000, -7000, 2500);
    camera.target = QVector3D(0, 0, 300);
    camera.fieldOfView = 50;

    zalViewerPathTracer::Statistics primary;
    tracer.castPrimary(camera, size, primary); // warm
    tracer.castPrimary(camera, size, primary);
    const double ceiling = primary.rays / primary.seconds;
    std::printf("  %-34s %8.3f s  %12.0f rays  %7.2f Mrays/s\n", "Embree primary rays only (ceiling)",
                primary.seconds, double(primary.rays), ceiling * 1e-6);
    for (int spp : {16, 64}) {
        zalViewerPathTraceOptions options;
        options.samplesPerPixel = spp;
        options.maxBounces = 256;
        options.denoise = false;
        options.autoExposure = true;
        zalViewerPathTraceFrame frame;
        timer.restart();
        tracer.render(camera, size, options, &frame);
        const Figures f{double(tracer.statistics().rays), tracer.statistics().seconds};
        char what[64];
        std::snprintf(what, sizeof what, "%dx%d at %d spp", size.width(), size.height(), spp);
        report(what, f, ceiling);
        if (spp == 16) {
            options.denoise = true;
            timer.restart();
            tracer.image(frame, options);
            std::printf("  %-34s %8.3f s\n", "denoising that picture", timer.nsecsElapsed() * 1e-9);
        }
    }
}

bool benchSample(bool quick)
{
    const QString bin = QCoreApplication::applicationDirPath();
    const QString source = QStringLiteral(ZAL_SOURCE_DIR "/samples/pavilion.dxf");
    QTemporaryDir dir;
    const QString drawing = dir.filePath(QStringLiteral("pavilion.dxf"));
    if (!QFile::copy(source, drawing)) {
        std::printf("sample: cannot copy %s\n", qPrintable(source));
        return false;
    }
    const QByteArray path = QFileInfo(drawing).absoluteFilePath().toUtf8();
    const QString tag =
        QStringLiteral("D") +
        QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex().left(8));
    const QString scenes = dir.filePath(QStringLiteral("pavilion_project/Scenes"));
    QDir().mkpath(scenes);
    const QString size = quick ? QStringLiteral("480x270") : QStringLiteral("1920x1080");
    std::printf("sample drawing (through the host and the viewer, %s):\n", qPrintable(size));
    for (int spp : {16, 64}) {
        QFile ini(QDir(scenes).filePath(tag + QStringLiteral("_AcDbViewportTableRecord_C_ue5.rsc")));
        if (!ini.open(QIODevice::WriteOnly)) return false;
        ini.write(QStringLiteral("[RenderSettings]\nEnablePathTracing=1\nPT_SamplesPerPixel=%1\n")
                      .arg(spp)
                      .toUtf8());
        ini.close();
        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZAL_VIEWER_TRACE_CEILING"), QStringLiteral("1"));
        host.setProcessEnvironment(env);
        host.setProcessChannelMode(QProcess::MergedChannels);
        host.start(QDir(bin).filePath(QStringLiteral("zalhost")),
                   {"--open", drawing, "--export-image", dir.filePath(QStringLiteral("sample.png")), "--size",
                    size, "--timeout", "3000"});
        if (!host.waitForFinished(3100 * 1000) || host.exitCode() != 0) {
            std::printf("  the host run failed:\n%s\n", host.readAll().constData());
            return false;
        }
        const QString out = QString::fromLocal8Bit(host.readAll());
        static const QRegularExpression traced(QStringLiteral(
            "path traced \\S+: (\\d+) rays in ([0-9.]+) s .*?(\\d+) triangles in (\\d+) placements, "
            "BVHs built in ([0-9.]+) s"));
        static const QRegularExpression cast(QStringLiteral("primary rays \\S+: (\\d+) rays in ([0-9.]+) s"));
        const QRegularExpressionMatch t = traced.match(out), c = cast.match(out);
        if (!t.hasMatch() || !c.hasMatch()) {
            std::printf("  the viewer did not report its figures:\n%s\n", qPrintable(out));
            return false;
        }
        const double ceiling = c.captured(1).toDouble() / c.captured(2).toDouble();
        if (spp == 16) {
            std::printf("  %s triangles in %s placements; BVHs built in %s s\n", qPrintable(t.captured(3)),
                        qPrintable(t.captured(4)), qPrintable(t.captured(5)));
            std::printf("  %-34s %8.3f s  %12.0f rays  %7.2f Mrays/s\n", "Embree primary rays only (ceiling)",
                        c.captured(2).toDouble(), c.captured(1).toDouble(), ceiling * 1e-6);
        }
        char what[64];
        std::snprintf(what, sizeof what, "%s at %d spp", qPrintable(size), spp);
        report(what, Figures{t.captured(1).toDouble(), t.captured(2).toDouble()}, ceiling);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray loadText = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("?");
    std::printf("bench_pathtrace: %u hardware threads, load average %s%s\n",
                std::thread::hardware_concurrency(), loadText.constData(), quick ? ", quick (480x270)" : "");
    benchMillion(quick);
    if (!args.contains(QStringLiteral("--skip-sample")) && !benchSample(quick)) return 1;
    return 0;
}
