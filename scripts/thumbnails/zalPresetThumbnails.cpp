// Makes the module's picture resources: a thumbnail of each preset material, rendered on a sphere by
// the real zalViewer process over the real channel, and the loader animation as a GIF (giflib).
//
//   zalPresetThumbnails <viewer executable> <resources folder>
//
// Run it under an X server (scripts/thumbnails/render-thumbnails does). The viewer knows no preset
// materials of its own, so each preset is shown as a base colour and opacity chosen here from its
// name; render them again once the viewer's new renderer lands.
#include "XoRemoteRenderSenderFlattener.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <gif_lib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const int kThumbnail = 128;

struct Look
{
    const char* name;
    QColor colour;
    float opacity;
};

// Base colour and opacity per preset, in the presets' own order.
std::vector<Look> presetLooks()
{
    const QColor water(40, 110, 170), foam(225, 235, 240), wood(120, 75, 40);
    return {
        {"M_Basic_Wall", QColor(205, 200, 190), 1},
        {"M_Brick_Clay_Beveled", QColor(160, 70, 50), 1},
        {"M_Brick_Clay_Old", QColor(130, 65, 50), 1},
        {"M_Brick_Cut_Stone", QColor(150, 140, 125), 1},
        {"M_Brick_Hewn_Stone", QColor(125, 118, 105), 1},
        {"M_Ceramic_Tile_Checker", QColor(235, 235, 230), 1},
        {"M_CobbleStone_Pebble", QColor(140, 130, 115), 1},
        {"M_CobbleStone_Rough", QColor(110, 105, 100), 1},
        {"M_CobbleStone_Smooth", QColor(150, 145, 140), 1},
        {"M_Concrete_Grime", QColor(115, 112, 105), 1},
        {"M_Concrete_Panels", QColor(165, 165, 160), 1},
        {"M_Concrete_Poured", QColor(180, 178, 170), 1},
        {"M_Concrete_Tiles", QColor(155, 155, 150), 1},
        {"M_Glass", QColor(200, 230, 235), 0.3f},
        {"M_Ground_Grass", QColor(75, 120, 40), 1},
        {"M_Ground_Gravel", QColor(150, 140, 120), 1},
        {"M_Ground_Moss", QColor(85, 105, 45), 1},
        {"M_Water_Clean", water, 0.6f},
        {"M_Water_Clean_100", water, 0.6f},
        {"M_Water_Clean_Cheaper", water, 0.7f},
        {"M_Water_Opaque", QColor(30, 80, 120), 1},
        {"M_Water_Pixelated", QColor(50, 120, 180), 0.8f},
        {"M_Waterfall", QColor(170, 205, 225), 0.7f},
        {"M_Waterfall_100", QColor(170, 205, 225), 0.7f},
        {"M_Waterfall_Cheaper", QColor(170, 205, 225), 0.8f},
        {"M_Waterfall_Foam", foam, 0.9f},
        {"M_WaterPond_100", QColor(50, 95, 80), 0.7f},
        {"M_WaterSplash", foam, 0.6f},
        {"M_Lake", QColor(35, 90, 120), 0.7f},
        {"M_Lake_Cheaper", QColor(35, 90, 120), 0.8f},
        {"M_Ocean", QColor(20, 70, 120), 0.8f},
        {"M_Ocean_100", QColor(20, 70, 120), 0.8f},
        {"M_Ocean_Cheaper", QColor(20, 70, 120), 0.9f},
        {"M_Ocean_Distance", QColor(25, 60, 100), 0.9f},
        {"M_Ocean_Radial", QColor(30, 80, 130), 0.8f},
        {"M_Ocean_Radial_Cheaper", QColor(30, 80, 130), 0.9f},
        {"M_PondScum", QColor(90, 110, 40), 0.9f},
        {"M_PondScum_Cheaper", QColor(90, 110, 40), 1},
        {"M_Rapids", QColor(120, 170, 195), 0.7f},
        {"M_Rapids_100", QColor(120, 170, 195), 0.7f},
        {"M_Rapids_Cheaper", QColor(120, 170, 195), 0.8f},
        {"M_RapidsBank", QColor(105, 100, 80), 1},
        {"M_River", QColor(45, 100, 115), 0.7f},
        {"M_River_100", QColor(45, 100, 115), 0.7f},
        {"M_River_Cheaper", QColor(45, 100, 115), 0.8f},
        {"M_River_Rock", QColor(95, 95, 90), 1},
        {"M_Riverbank", QColor(110, 95, 70), 1},
        {"MIC_Lake_Waterfall", QColor(90, 150, 185), 0.7f},
        {"MIC_Lake_Waterfall_Cheaper", QColor(90, 150, 185), 0.8f},
        {"MIC_Riverbank_Pond", QColor(70, 100, 85), 0.8f},
        {"MIC_Waterfall_Arc", QColor(185, 215, 230), 0.7f},
        {"MIC_Waterfall_Arc_2", QColor(160, 200, 225), 0.7f},
        {"MIC_Waterfall_Arc_Cheaper", QColor(185, 215, 230), 0.8f},
        {"M_Metal_Brushed_Nickel", QColor(175, 170, 160), 1},
        {"M_Metal_Burnished_Steel", QColor(110, 110, 115), 1},
        {"M_Metal_Chrome", QColor(220, 222, 225), 1},
        {"M_Metal_Copper", QColor(185, 105, 65), 1},
        {"M_Metal_Gold", QColor(230, 180, 60), 1},
        {"M_Metal_Rust", QColor(140, 65, 30), 1},
        {"M_Metal_Steel", QColor(150, 152, 155), 1},
        {"M_Rock_Basalt", QColor(60, 60, 62), 1},
        {"M_Rock_Marble_Polished", QColor(235, 232, 225), 1},
        {"M_Rock_Sandstone", QColor(200, 160, 110), 1},
        {"M_Rock_Slate", QColor(75, 80, 90), 1},
        {"M_Sand", QColor(215, 190, 140), 1},
        {"M_Tech_Checker_Dot", QColor(60, 70, 85), 1},
        {"M_Tech_Hex_Tile", QColor(50, 90, 110), 1},
        {"M_Tech_Hex_Tile_Pulse", QColor(40, 160, 190), 1},
        {"M_Tech_Panel", QColor(95, 100, 110), 1},
        {"M_Wood_Floor_Walnut_Polished", QColor(105, 65, 35), 1},
        {"M_Wood_Floor_Walnut_Worn", QColor(125, 90, 60), 1},
        {"M_Wood_Oak", QColor(165, 120, 70), 1},
        {"M_Wood_Pine", QColor(200, 160, 105), 1},
        {"M_Wood_Walnut", wood, 1},
    };
}

// A UV sphere as a triangle soup in the channel's layout (no shared vertices).
struct Sphere
{
    std::vector<float> positions, normals, uv;
    std::vector<std::int32_t> flags, faceSizes;

    explicit Sphere(float radius, int rings = 24, int segments = 48)
    {
        auto vertex = [&](int ring, int segment) {
            const double theta = kPi * ring / rings, phi = 2.0 * kPi * segment / segments;
            const float n[3] = {float(std::sin(theta) * std::cos(phi)),
                                float(std::sin(theta) * std::sin(phi)), float(std::cos(theta))};
            for (float c : n) {
                positions.push_back(c * radius);
                normals.push_back(c);
            }
            uv.push_back(float(segment) / segments);
            uv.push_back(float(ring) / rings);
            flags.push_back(1);
        };
        for (int r = 0; r < rings; ++r)
            for (int s = 0; s < segments; ++s) {
                // Counter-clockwise seen from outside.
                vertex(r, s), vertex(r + 1, s), vertex(r + 1, s + 1);
                faceSizes.push_back(3);
                vertex(r, s), vertex(r + 1, s + 1), vertex(r, s + 1);
                faceSizes.push_back(3);
            }
    }
    int vertexCount() const { return int(flags.size()); }
};

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
    bool started = false;
};

bool waitFor(const std::function<bool()>& done, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

// A picture that is not one flat colour: the viewer has drawn the sphere.
bool hasContent(const QImage& image)
{
    if (image.isNull()) return false;
    const QRgb corner = image.pixel(0, 0);
    return image.pixel(image.width() / 2, image.height() / 2) != corner;
}

bool renderThumbnails(const QString& viewer, const QString& outFolder, QTextStream& log)
{
    QTemporaryDir work;
    Sender sender(work.path());
    if (!sender.startRender(viewer.toStdWString().c_str(), 0, 0, 256, 256, false) ||
        !waitFor([&] { return sender.started; }, 60000)) {
        log << "the viewer did not start\n";
        return false;
    }
    const Sphere sphere(50.0f);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float sunAt[16] = {1, 0, 0, -300, 0, 1, 0, -400, 0, 0, 1, 500, 0, 0, 0, 1};
    sender.beginTransaction("stage");
    sender.addLight("Sun", "", 8000.0f, 0x00FFFFFFu, 3, 0, 0, 0, 0, true, 1.0f, "", sunAt, true);
    sender.endTransaction(false);
    // The viewer takes the field of view as the half angle to the frame's edge: 19 degrees keeps the
    // sphere (radius 50, 180 away) filling most of the picture.
    sender.setCamera(0, 0, 0, 0, -170, 60, 0, 0, 1, false, false, 19, 1.0f, 0, 0, "");

    QDir().mkpath(outFolder + "/viewer_materials_thumbnails");
    QString previous;
    for (const Look& look : presetLooks()) {
        const QString name = QString::fromLatin1(look.name);
        const std::string material = std::string(look.name);
        const std::string ball = "Sphere_" + material;
        const QColor c = look.colour;
        sender.beginTransaction(look.name);
        if (!previous.isEmpty()) sender.removeEntity(previous.toUtf8().constData(), "", true, true);
        sender.addMaterial(material.c_str(), "M_Configurable", "",
                           std::uint32_t(c.red() | (c.green() << 8) | (c.blue() << 16)), look.opacity, "",
                           "ShaderType:0");
        sender.addInstance(ball.c_str(), "", "", ball.c_str(), identity, material.c_str());
        sender.addMesh((ball + "_" + material).c_str(), ball.c_str(), "", sphere.positions.data(),
                       sphere.normals.data(), sphere.uv.data(), sphere.uv.data(), sphere.flags.data(),
                       sphere.faceSizes.data(), int(sphere.faceSizes.size()), sphere.vertexCount(),
                       material.c_str(), material.c_str());
        sender.endTransaction(false);
        previous = QString::fromStdString(ball);

        // The first capture after a change may still show the previous frame: shoot until the
        // picture holds the sphere in this preset's colour.
        QImage shot;
        for (int attempt = 0; attempt < 5 && !hasContent(shot); ++attempt) {
            const QString png = work.filePath(QStringLiteral("%1_%2.png").arg(name).arg(attempt));
            sender.sendConsoleCommand(
                QStringLiteral("HighResShot %1x%1 filename=\"%2\"").arg(kThumbnail).arg(png));
            if (waitFor([&] { return QFileInfo(png).size() > 0 && !QImage(png).isNull(); }, 30000))
                shot = QImage(png);
        }
        if (!hasContent(shot)) {
            log << "no picture of " << name << "\n";
            return false;
        }
        const QString target = outFolder + "/viewer_materials_thumbnails/" + name + ".jpg";
        if (!shot.convertToFormat(QImage::Format_RGB32).save(target, "JPG", 85)) {
            log << "cannot write " << target << "\n";
            return false;
        }
        log << name << "\n";
    }
    sender.requestRenderExit();
    waitFor([&] { return !sender.isProcessRunning(); }, 10000);
    return true;
}

// Twelve frames of a ring of dots, the brightest one stepping on; 48 x 48 like the widget's loader.
bool writeLoader(const QString& file, QTextStream& log)
{
    const int size = 48, frames = 12, levels = 16;
    ColorMapObject* palette = GifMakeMapObject(levels, nullptr);
    for (int i = 0; i < levels; ++i) {
        // Index 0 is the transparent background; the others run from light grey to near black.
        const int grey = i == 0 ? 255 : 220 - (i - 1) * 200 / (levels - 2);
        palette->Colors[i] = GifColorType{GifByteType(grey), GifByteType(grey), GifByteType(grey)};
    }
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(file).constData(), false, &error);
    if (!gif) {
        GifFreeMapObject(palette);
        log << "cannot open " << file << ": " << GifErrorString(error) << "\n";
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, size, size, 8, 0, palette) == GIF_OK;
    // Loop for ever.
    const unsigned char loop[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
         EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    for (int f = 0; f < frames && ok; ++f) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int d = 0; d < frames; ++d) {
            const double angle = 2.0 * kPi * d / frames - kPi / 2;
            // The dot f is darkest, those behind it fade.
            const int age = (f - d + frames) % frames;
            const int alpha = 255 - age * 200 / frames;
            painter.setBrush(QColor(0, 0, 0, alpha));
            painter.drawEllipse(QPointF(size / 2 + 17 * std::cos(angle), size / 2 + 17 * std::sin(angle)), 4,
                                4);
        }
        painter.end();

        GraphicsControlBlock control{DISPOSE_BACKGROUND, false, 8, 0};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, size, size, false, nullptr) == GIF_OK;
        std::vector<GifPixelType> row(size);
        for (int y = 0; y < size && ok; ++y) {
            for (int x = 0; x < size; ++x) {
                // Coverage over white picks the grey level; barely covered pixels stay transparent.
                const int alpha = qAlpha(image.pixel(x, y));
                row[x] = alpha < 24 ? 0 : GifPixelType(1 + std::min(levels - 2, alpha * (levels - 1) / 256));
            }
            ok = EGifPutLine(gif, row.data(), size) == GIF_OK;
        }
    }
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(palette);
    if (!ok) log << "cannot write " << file << "\n";
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTextStream log(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        log << "usage: zalPresetThumbnails <viewer executable> <resources folder>\n";
        return 2;
    }
    const QString out = args.at(2);
    QDir().mkpath(out + "/resources");
    if (!writeLoader(out + "/resources/ajax-loader1.gif", log)) return 1;
    return renderThumbnails(args.at(1), out, log) ? 0 : 1;
}
