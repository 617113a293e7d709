// Pictures of the real viewer process over the real channel, and of the real host with the render
// module: each test changes one thing the host can send (sun, exposure, materials, camera) and
// measures a property of the picture (brightness, where a shadow falls, colours, framing).
#include "XoRemoteRenderSenderFlattener.h"
#include "tests/platform/remoterender/XoTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector3D>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Two triangles per face, no shared vertices, as the host sends geometry. `inward` winds every
// triangle the other way and turns the normals in, as reversed CAD faces come.
struct Box
{
    std::vector<float> positions, normals;
    std::vector<std::int32_t> faceSizes;
    Box(float hx, float hy, float z0, float z1, bool inward = false)
    {
        const float lo[3] = {-hx, -hy, z0}, hi[3] = {hx, hy, z1};
        for (int a = 0; a < 3; ++a)
            for (int side = 0; side < 2; ++side) {
                const int u = (a + 1) % 3, v = (a + 2) % 3;
                const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                int order[6] = {0, 1, 2, 0, 2, 3};
                if ((side == 1) != inward) std::swap(order[1], order[2]), std::swap(order[4], order[5]);
                for (int k : order) {
                    float p[3], n[3] = {0, 0, 0};
                    p[a] = side ? lo[a] : hi[a];
                    p[u] = corners[k][0] ? hi[u] : lo[u];
                    p[v] = corners[k][1] ? hi[v] : lo[v];
                    n[a] = (side ? -1.0f : 1.0f) * (inward ? -1.0f : 1.0f);
                    // The host mirrors X on the way to the viewer.
                    p[0] = -p[0];
                    n[0] = -n[0];
                    positions.insert(positions.end(), p, p + 3);
                    normals.insert(normals.end(), n, n + 3);
                }
                faceSizes.push_back(3);
                faceSizes.push_back(3);
            }
    }
    int vertexCount() const { return int(positions.size() / 3); }
};

struct Picture
{
    QImage image;
    double mean(QRect r = QRect()) const
    {
        if (r.isNull()) r = image.rect();
        r &= image.rect();
        double sum = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                sum += 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue();
            }
        return r.isEmpty() ? 0 : sum / (double(r.width()) * r.height());
    }
    // Bounds of the pixels where red clearly dominates, in fractions of the picture.
    QRectF redBounds() const
    {
        int x0 = image.width(), y0 = image.height(), x1 = -1, y1 = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 50 && c.red() > 2 * c.green() && c.red() > 2 * c.blue()) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
            }
        if (x1 < 0) return QRectF();
        return QRectF(double(x0) / image.width(), double(y0) / image.height(),
                      double(x1 + 1 - x0) / image.width(), double(y1 + 1 - y0) / image.height());
    }
};

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class ViewerPictures : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        xotest::ensureApplication();
        folder = new QTemporaryDir();
        // ZAL_KEEP_PICTURES=1 keeps the pictures for a look.
        folder->setAutoRemove(!qEnvironmentVariableIsSet("ZAL_KEEP_PICTURES"));
        sender = new XoRemoteRenderSenderFlattener(folder->path().toStdWString(), nullptr, 11, nullptr);
        ASSERT_TRUE(sender->isServerRunning());
        ASSERT_TRUE(
            sender->startRender(xotest::viewerExecutable().toStdWString().c_str(), 20, 20, 480, 320, false));
        ASSERT_TRUE(xotest::waitUntil([] { return sender->isViewerStarted(); }));

        ASSERT_TRUE(sender->beginTransaction("pictures"));
        sender->addMaterial("M_Ground", "M_Configurable", "", 0xA0A0A0u, 1.0f, "", "ShaderType:0");
        sender->addMaterial("M_Red", "M_Configurable", "", 0x1818D0u, 1.0f, "", "ShaderType:0");
        sender->addMaterial("M_Green", "M_Configurable", "", 0x10D010u, 1.0f, "", "ShaderType:0");
        sender->addMaterial("M_Glass", "M_Configurable", "", 0xFFFFFFu, 1.0f, "",
                            "ShaderType:1,AlphaMap:0.25;0.25;0.25:0.25,IORMap:1.5;1.5;1.5:1");
        sender->addMaterial("M_White", "M_Configurable", "", 0xF0F0F0u, 1.0f, "", "ShaderType:0");
        sender->addComponentDef("MS", "*Model_Space", false, "");
        sender->addInstance("MS_Root", "Model", "MS", "Modelspace", kIdentity, "M_Ground");
        // A 40 m ground with a 2 m red box on it at the origin.
        mesh("Ground", "MS", Box(2000, 2000, -10, 0), "M_Ground");
        mesh("RedBox", "MS", Box(100, 100, 0, 200), "M_Red");
        // Far to the east: a green floor under a glass roof, and one under a white roof.
        placed("GlassHouse", 10000, 0);
        mesh("GlassFloor", "GlassHouse", Box(300, 300, 0, 5), "M_Green");
        mesh("GlassRoof", "GlassHouse", Box(400, 400, 300, 305), "M_Glass");
        placed("WhiteHouse", 10000, 3000);
        mesh("WhiteFloor", "WhiteHouse", Box(300, 300, 0, 5), "M_Green");
        mesh("WhiteRoof", "WhiteHouse", Box(400, 400, 300, 305), "M_White");
        // Far to the west: a red box whose faces all turn inwards.
        placed("InsideOut", -10000, 0);
        mesh("InsideOutBox", "InsideOut", Box(100, 100, 0, 200, true), "M_Red");
        placed("RightWay", -10000, 3000);
        mesh("RightWayBox", "RightWay", Box(100, 100, 0, 200), "M_Red");
        // One post mesh in a component, placed twenty times.
        sender->addComponentDef("Post", "Post", false, "");
        mesh("PostMesh", "Post", Box(10, 10, 0, 100), "M_White");
        for (int i = 0; i < 20; ++i) {
            const float t[16] = {1, 0, 0, float(-1900 + 200 * i), 0, 1, 0, -1800, 0, 0, 1, 0, 0, 0, 0, 1};
            sender->addInstance(QStringLiteral("Post%1").arg(i).toUtf8().constData(), "MS", "Post", "", t,
                                "");
        }
        ASSERT_TRUE(sender->endTransaction(true));
    }
    static void TearDownTestSuite()
    {
        xotest::stopViewer(sender);
        delete sender;
        sender = nullptr;
        delete folder;
    }
    static void mesh(const char* name, const char* parent, const Box& box, const char* material)
    {
        const std::vector<std::int32_t> flags(std::size_t(box.vertexCount()), 1);
        sender->addMesh(name, parent, "", box.positions.data(), box.normals.data(), nullptr, nullptr,
                        flags.data(), box.faceSizes.data(), int(box.faceSizes.size()), box.vertexCount(),
                        material, "");
    }
    static void placed(const char* name, float x, float y)
    {
        // Viewer frame: X mirrored.
        const float t[16] = {1, 0, 0, -x, 0, 1, 0, y, 0, 0, 1, 0, 0, 0, 0, 1};
        sender->addInstance(name, "MS", "", "", t, "");
    }
    // The camera as the host sends it: the drawing's frame in centimetres, the field of view as
    // the angle from the axis to the edge of the view's width.
    static void look(QVector3D eye, QVector3D at, QVector3D up = QVector3D(0, 0, 1),
                     float halfWidthAngle = 30)
    {
        sender->setCamera(at.x(), at.y(), at.z(), eye.x(), eye.y(), eye.z(), up.x(), up.y(), up.z(), false,
                          false, halfWidthAngle, 1.0f, 0, 0, "");
    }
    static void noon()
    {
        sender->setSunByTime(90, 45.0f, 0.0f, 2024, 6, 21, 12.0f);
        exposure(0);
    }
    static void exposure(double bias)
    {
        sender->sendConsoleCommand(
            QStringLiteral("Set PostProcessVolume Settings (bOverride_AutoExposureBias=1,"
                           "AutoExposureMethod=AEM_Histogram,AutoExposureBias=%1)")
                .arg(bias));
    }
    static Picture shot(QSize size = QSize(480, 320))
    {
        const QString path = folder->filePath(QStringLiteral("shot%1.png").arg(++shots));
        sender->sendConsoleCommand(QStringLiteral("HighResShot %1x%2 filename=\"%3\"")
                                       .arg(size.width())
                                       .arg(size.height())
                                       .arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); })) << path.toStdString();
        return Picture{QImage(path).convertToFormat(QImage::Format_RGB32)};
    }
    static Picture window()
    {
        const QString path = folder->filePath(QStringLiteral("window%1.png").arg(++shots));
        sender->sendConsoleCommand(QStringLiteral("zal.SaveWindow %1").arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); })) << path.toStdString();
        return Picture{QImage(path).convertToFormat(QImage::Format_RGB32)};
    }
    static QJsonObject dump()
    {
        const QString path = folder->filePath(QStringLiteral("dump%1.json").arg(++shots));
        sender->sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    static QTemporaryDir* folder;
    static XoRemoteRenderSenderFlattener* sender;
    static int shots;
};

QTemporaryDir* ViewerPictures::folder = nullptr;
XoRemoteRenderSenderFlattener* ViewerPictures::sender = nullptr;
int ViewerPictures::shots = 0;

TEST_F(ViewerPictures, EveningIsFarDarkerThanNoon)
{
    look(QVector3D(0, -2500, 600), QVector3D(0, 0, 100));
    noon();
    const Picture day = shot();
    sender->setSunByTime(90, 45.0f, 0.0f, 2024, 6, 21, 19.5f);
    const Picture evening = shot();
    sender->setSunByTime(90, 45.0f, 0.0f, 2024, 6, 21, 23.0f);
    const Picture night = shot();
    EXPECT_GT(day.mean(), 60);
    EXPECT_LT(evening.mean(), 0.5 * day.mean());
    EXPECT_LT(night.mean(), evening.mean());
    // The sky, the upper third here, falls too.
    const QRect sky(0, 0, 480, 60);
    EXPECT_LT(evening.mean(sky), 0.5 * day.mean(sky));
}

TEST_F(ViewerPictures, ExposureBiasBrightens)
{
    look(QVector3D(0, -2500, 600), QVector3D(0, 0, 100));
    noon();
    const Picture plain = shot();
    exposure(2);
    const Picture brighter = shot();
    exposure(-2);
    const Picture darker = shot();
    exposure(0);
    EXPECT_GT(brighter.mean(), 1.25 * plain.mean());
    EXPECT_LT(darker.mean(), 0.8 * plain.mean());
}

TEST_F(ViewerPictures, TheShadowFallsAwayFromTheSun)
{
    // From straight above, +X to the right of the picture and +Y up.
    look(QVector3D(0, 0, 3000), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
    exposure(0);
    auto sides = [](const Picture& p, double& west, double& east) {
        // The box is about 28 px wide in the middle; its shadow is some 40 px long.
        const int cx = p.image.width() / 2, cy = p.image.height() / 2;
        west = p.mean(QRect(cx - 60, cy - 10, 35, 20));
        east = p.mean(QRect(cx + 25, cy - 10, 35, 20));
    };
    double west = 0, east = 0;
    sender->setSunByPos(90, 90.0f, 35.0f); // from the east
    sides(shot(), west, east);
    EXPECT_LT(west, 0.75 * east) << "west " << west << " east " << east;
    sender->setSunByPos(90, 270.0f, 35.0f); // from the west
    sides(shot(), west, east);
    EXPECT_LT(east, 0.75 * west) << "west " << west << " east " << east;
    noon();
}

TEST_F(ViewerPictures, AGlassRoofShowsTheFloorUnderIt)
{
    noon();
    auto centreIsGreen = [](const Picture& p) {
        const QColor c = p.image.pixelColor(p.image.width() / 2, p.image.height() / 2);
        return c.green() > 1.3 * c.red() && c.green() > 1.3 * c.blue();
    };
    look(QVector3D(10000, 0, 1500), QVector3D(10000, 0, 0), QVector3D(0, 1, 0), 20);
    EXPECT_TRUE(centreIsGreen(shot()));
    look(QVector3D(10000, 3000, 1500), QVector3D(10000, 3000, 0), QVector3D(0, 1, 0), 20);
    EXPECT_FALSE(centreIsGreen(shot())) << "an opaque white roof hides the floor";
}

TEST_F(ViewerPictures, FacesWoundInwardsAreLitLikeTheOthers)
{
    noon();
    look(QVector3D(-10000, -800, 600), QVector3D(-10000, 0, 100));
    const double inward = shot().mean(QRect(190, 110, 100, 100));
    look(QVector3D(-10000, 2200, 600), QVector3D(-10000, 3000, 100));
    const double outward = shot().mean(QRect(190, 110, 100, 100));
    EXPECT_GT(outward, 20);
    EXPECT_NEAR(inward, outward, 0.25 * outward);
}

TEST_F(ViewerPictures, WindowAndHighResShotFrameTheSameView)
{
    noon();
    look(QVector3D(700, -900, 500), QVector3D(0, 0, 100));
    const Picture inWindow = window();
    const Picture image = shot(QSize(960, 640));
    ASSERT_EQ(inWindow.image.size(), QSize(480, 320));
    const QRectF a = inWindow.redBounds(), b = image.redBounds();
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    EXPECT_GT(a.width(), 0.05);
    EXPECT_NEAR(a.left(), b.left(), 0.03);
    EXPECT_NEAR(a.top(), b.top(), 0.03);
    EXPECT_NEAR(a.width(), b.width(), 0.03);
    EXPECT_NEAR(a.height(), b.height(), 0.03);
}

TEST_F(ViewerPictures, APointLightLightsTheGroundUnderItAtNight)
{
    look(QVector3D(0, -600, 2500), QVector3D(0, -600, 0), QVector3D(0, 1, 0));
    sender->setSunByTime(90, 45.0f, 0.0f, 2024, 6, 21, 23.0f);
    // Three metres above the ground, ten metres west of the camera's axis (the viewer's X is mirrored).
    const float at[16] = {1, 0, 0, 1000, 0, 1, 0, -600, 0, 0, 1, 300, 0, 0, 0, 1};
    ASSERT_TRUE(sender->beginTransaction("light"));
    sender->addLight("Lamp", "MS", 1.0e6f, 0xFFFFFFu, 0, 0, 0, 0, 0, true, 1500, "", at, true);
    ASSERT_TRUE(sender->endTransaction(false));
    const Picture lit = shot();
    ASSERT_TRUE(sender->beginTransaction("no light"));
    sender->removeEntity("Lamp", "", true, true);
    ASSERT_TRUE(sender->endTransaction(false));
    const Picture dark = shot();
    noon();
    const QRect under(74 - 20, 160 - 20, 40, 40), across(406 - 20, 160 - 20, 40, 40);
    EXPECT_GT(lit.mean(under), lit.mean(across) + 10);
    EXPECT_GT(lit.mean(under), dark.mean(under) + 10);
}

TEST_F(ViewerPictures, TheEpicPresetSmoothsEdges)
{
    noon();
    // A slightly turned view from above, so the box's edges cross the pixel grid at an angle.
    look(QVector3D(0, 0, 3000), QVector3D(0, 0, 0), QVector3D(0.2f, 1, 0).normalized(), 8);
    // Pixels on the box's outline that are neither the box's red nor the ground's grey.
    auto blended = [](const Picture& p) {
        int count = 0;
        for (int y = 1; y < p.image.height() - 1; ++y)
            for (int x = 1; x < p.image.width() - 1; ++x) {
                const QColor c = p.image.pixelColor(x, y);
                const int excess = c.red() - (c.green() + c.blue()) / 2;
                if (excess > 25 && excess < 90) ++count;
            }
        return count;
    };
    sender->sendConsoleCommand("Set PostProcessVolume Settings (RayTracingReflectionsMaxBounces=0)");
    const int low = blended(shot());
    sender->sendConsoleCommand("Set PostProcessVolume Settings (RayTracingReflectionsMaxBounces=3)");
    const int epic = blended(shot());
    sender->sendConsoleCommand("Set PostProcessVolume Settings (RayTracingReflectionsMaxBounces=1)");
    EXPECT_GT(epic, low + 40) << "low " << low << " epic " << epic;
}

TEST_F(ViewerPictures, SmallMeshesAreDrawnMergedWithoutLosingTriangles)
{
    noon();
    shot(QSize(64, 64));
    const QJsonObject render = dump().value("render").toObject();
    // Twenty posts from one mesh and the rest of the scene: fewer draw calls than posts, none of them a
    // buffer of its own, and every triangle still drawn.
    EXPECT_LT(render.value("renderables").toInt(), 20);
    EXPECT_EQ(render.value("meshBuffers").toInt(), 0);
    EXPECT_GE(render.value("triangles").toDouble(), 20 * 12 + 12 * 8);
}

// Through the host and the render module: a textured glTF from Debian's assimp test models.
TEST(HostPictures, ATexturedGltfShowsItsTextureColours)
{
    const QString source = QStringLiteral("/usr/share/assimp/models/glTF2/BoxTextured-glTF");
    if (!QFileInfo::exists(source + "/BoxTextured.gltf"))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    QTemporaryDir dir;
    for (const QString& f : QDir(source).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(source + "/" + f, dir.filePath(f)));
    const QString png = dir.filePath("box.png");
    QProcess host;
    host.start(QDir(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"))).filePath("zalhost"),
               {"--open", dir.filePath("BoxTextured.gltf"), "--export-image", png, "--size", "480x320",
                "--timeout", "200"});
    ASSERT_TRUE(host.waitForFinished(240000));
    ASSERT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    // The logo's greens and blues: an untextured box would be one grey.
    int green = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green += c.green() > c.red() + 40 && c.green() > c.blue() + 20;
            blue += c.blue() > c.red() + 60 && c.blue() > c.green() + 10;
        }
    const int pixels = image.width() * image.height();
    EXPECT_GT(green, pixels / 50);
    EXPECT_GT(blue, pixels / 50);
}

} // namespace
