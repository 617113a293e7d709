// The sample drawing exported through the host twice, once with the real-time renderer and once
// with path tracing switched on in the scene's settings (64 samples): the pictures differ in the
// ways path tracing should make them differ, measured on their pixels.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct HostRun
{
    bool finished = false;
    int code = -1;
    QString output;
};

HostRun exportImage(const QString& drawing, const QString& image)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString bin = QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"));
    p.start(QDir(bin).filePath(QStringLiteral("zalhost")),
            {"--open", drawing, "--export-image", image, "--size", "480x270", "--timeout", "280"});
    HostRun r;
    r.finished = p.waitForFinished(290000);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

double luminance(QRgb p)
{
    return 0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p);
}

double percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[std::size_t(q * double(v.size() - 1))];
}

// Share of the values below `fraction` of their median.
double shareBelow(const std::vector<double>& v, double fraction)
{
    const double limit = fraction * percentile(v, 0.5);
    return double(std::count_if(v.begin(), v.end(), [limit](double x) { return x < limit; })) /
           double(v.size());
}

} // namespace

TEST(PathTracedExport, DiffersFromTheRasterPictureWhereLightTransportShows)
{
    QTemporaryDir dir;
    const QString source =
        QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
    const QString drawing = dir.filePath(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(source, drawing));

    const QString rasterFile = dir.filePath(QStringLiteral("raster.png"));
    const HostRun raster = exportImage(drawing, rasterFile);
    ASSERT_TRUE(raster.finished && raster.code == 0) << raster.output.toStdString();
    EXPECT_FALSE(raster.output.contains(QStringLiteral("path traced")));

    // The scene's settings file, as the settings panel writes it: named after the active
    // viewport's id string (the host's tag of the drawing's path, the class, the handle).
    const QByteArray path = QFileInfo(drawing).absoluteFilePath().toUtf8();
    const QString tag =
        QStringLiteral("D") +
        QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex().left(8));
    const QString scenes = dir.filePath(QStringLiteral("pavilion_project/Scenes"));
    ASSERT_TRUE(QDir().mkpath(scenes));
    QFile ini(QDir(scenes).filePath(tag + QStringLiteral("_AcDbViewportTableRecord_C_ue5.rsc")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[RenderSettings]\nEnablePathTracing=1\nPT_SamplesPerPixel=64\n");
    ini.close();

    const QString tracedFile = dir.filePath(QStringLiteral("traced.png"));
    const HostRun traced = exportImage(drawing, tracedFile);
    ASSERT_TRUE(traced.finished && traced.code == 0) << traced.output.toStdString();
    ASSERT_TRUE(traced.output.contains(QStringLiteral("path traced 480x270"))) << traced.output.toStdString();

    const QImage a = QImage(rasterFile).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(tracedFile).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(a.size(), QSize(480, 270));
    ASSERT_EQ(b.size(), a.size());

    // Where the raster picture shows grass.
    std::vector<double> grassRaster, grassTraced;
    double difference = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            difference += std::abs(luminance(p) - luminance(q));
            if (qGreen(p) > 1.3 * qRed(p) && qGreen(p) > 1.3 * qBlue(p)) {
                grassRaster.push_back(luminance(p));
                grassTraced.push_back(luminance(q));
            }
        }
    difference /= double(a.width() * a.height());
    ASSERT_GT(grassRaster.size(), 10000u);
    // Shadows, and how soft they are: the share of grass in full shadow (below half the median)
    // and in half shadow (between half and 85% of it).
    const double darkRaster = shareBelow(grassRaster, 0.5), darkTraced = shareBelow(grassTraced, 0.5);
    const double penumbraRaster = shareBelow(grassRaster, 0.85) - darkRaster;
    const double penumbraTraced = shareBelow(grassTraced, 0.85) - darkTraced;
    std::printf("mean luminance difference %.1f/255\n"
                "grass in shadow: raster %.4f, traced %.4f; in half shadow: raster %.4f, traced %.4f\n",
                difference, darkRaster, darkTraced, penumbraRaster, penumbraTraced);

    EXPECT_GT(difference, 8.0);
    // The roof and the columns cast shadows on the grass in the traced picture, and most of it is
    // half shadow: the glass roof lets part of the sun through and the sun's disc softens edges.
    EXPECT_GT(darkTraced + penumbraTraced, 0.005);
    EXPECT_GT(penumbraTraced, darkTraced);
    EXPECT_GT(penumbraTraced, penumbraRaster + 0.01);
}
