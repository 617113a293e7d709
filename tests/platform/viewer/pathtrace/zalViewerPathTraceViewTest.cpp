// The real viewer process with path tracing switched on over the real channel: its window gathers
// samples frame by frame up to the settings' count and starts again when the camera moves, and its
// high-resolution shots are the same for the same game time.
#include "XoRemoteRenderSenderFlattener.h"
#include "tests/platform/remoterender/XoTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

class Sender : public XoRemoteRenderSenderFlattener
{
public:
    explicit Sender(const QString& folder)
        : XoRemoteRenderSenderFlattener(folder.toStdWString(), nullptr, 3, nullptr)
    {
    }
    void onRenderInit() override
    {
        XoRemoteRenderSenderFlattener::onRenderInit();
        ++inits;
    }
    void onTransactionApplied(const char* name) override { applied.push_back(name); }
    int inits = 0;
    std::vector<std::string> applied;
};

void quad(std::vector<float>& p, std::vector<float>& n, const float (&c)[4][3], const float (&normal)[3])
{
    for (int k : {0, 1, 2, 0, 2, 3}) {
        p.insert(p.end(), c[k], c[k] + 3);
        n.insert(n.end(), normal, normal + 3);
    }
}

class PathTracedViewer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        xotest::ensureApplication();
        sender = std::make_unique<Sender>(folder.path());
        ASSERT_TRUE(
            sender->startRender(xotest::viewerExecutable().toStdWString().c_str(), 20, 20, 96, 64, false));
        ASSERT_TRUE(xotest::waitUntil([this] { return sender->inits == 1; }));

        // A red block on a grey ground; the host's frame mirrors X, which a ground and a centred
        // block do not mind.
        std::vector<float> p, n;
        const float up[3] = {0, 0, 1};
        quad(p, n, {{-1000, -1000, 0}, {1000, -1000, 0}, {1000, 1000, 0}, {-1000, 1000, 0}}, up);
        std::vector<float> bp, bn;
        const float side[3] = {0, -1, 0}, top[3] = {0, 0, 1};
        quad(bp, bn, {{-100, -100, 0}, {100, -100, 0}, {100, -100, 200}, {-100, -100, 200}}, side);
        quad(bp, bn, {{-100, -100, 200}, {100, -100, 200}, {100, 100, 200}, {-100, 100, 200}}, top);
        const std::vector<std::int32_t> faces(2, 3), blockFaces(4, 3);
        ASSERT_TRUE(sender->beginTransaction("scene"));
        sender->addMaterial("Grey", "M", "", 0x808080u, 1.0f, "", "ShaderType:0");
        sender->addMaterial("Red", "M", "", 0x0000C0u, 1.0f, "", "ShaderType:0");
        sender->addMesh("Ground_Grey", "Model", "", p.data(), n.data(), nullptr, nullptr, nullptr,
                        faces.data(), 2, int(p.size() / 3), "Grey", "Grey");
        sender->addMesh("Block_Red", "Model", "", bp.data(), bn.data(), nullptr, nullptr, nullptr,
                        blockFaces.data(), 4, int(bp.size() / 3), "Red", "Red");
        ASSERT_TRUE(sender->endTransaction(false));
        ASSERT_TRUE(xotest::waitUntil([this] { return !sender->applied.empty(); }));
        look(-600);
        sender->setSunByPos(90, 135, 40);
    }
    void TearDown() override
    {
        if (sender) {
            sender->requestRenderExit();
            xotest::waitUntil([this] { return !sender->isProcessRunning(); });
        }
    }
    void look(float y)
    {
        sender->setCamera(0, 0, 80, 300, y, 400, 0, 0, 1, false, false, 50, 1.5f, 0, 0, "");
    }
    QJsonObject viewer()
    {
        const QString path = folder.filePath(QStringLiteral("dump%1.json").arg(++dumps));
        sender->sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object().value("viewer").toObject();
    }
    int samples() { return viewer().value("pathTraceSamples").toInt(); }
    QImage shot(const QString& name)
    {
        const QString path = folder.filePath(name);
        sender->sendConsoleCommand(QStringLiteral("HighResShot 64x48 filename=\"%1\"").arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }));
        return QImage(path);
    }

    QTemporaryDir folder;
    std::unique_ptr<Sender> sender;
    int dumps = 0;
};

} // namespace

TEST_F(PathTracedViewer, TheWindowGathersSamplesUpToTheSettingAndStartsAgainWhenTheCameraMoves)
{
    sender->sendConsoleCommand(
        "Set PostProcessVolume Settings (PathTracingSamplesPerPixel=6,PathTracingMaxBounces=3)");
    sender->sendConsoleCommand("showflag.pathtracing 1");
    ASSERT_TRUE(xotest::waitUntil([this] { return samples() >= 6; }));
    EXPECT_EQ(samples(), 6); // and no further

    sender->sendConsoleCommand(
        "Set PostProcessVolume Settings (PathTracingSamplesPerPixel=100000,PathTracingMaxBounces=3)");
    ASSERT_TRUE(xotest::waitUntil([this] { return samples() >= 30; }));
    look(-700);
    // The next frame starts from nothing (samples only ever grow while the picture holds still).
    EXPECT_TRUE(xotest::waitUntil([this] { return samples() < 10; }));

    // Path tracing off: the raster renderer draws the frames and nothing more is gathered.
    sender->sendConsoleCommand("showflag.pathtracing 0");
    const QJsonObject off = viewer();
    look(-800);
    ASSERT_TRUE(xotest::waitUntil(
        [&] { return viewer().value("framesDrawn").toInt() > off.value("framesDrawn").toInt(); }));
    EXPECT_EQ(samples(), off.value("pathTraceSamples").toInt());
}

TEST_F(PathTracedViewer, ShotsOfTheSameGameTimeAreTheSame)
{
    sender->sendConsoleCommand(
        "Set PostProcessVolume Settings (PathTracingSamplesPerPixel=8,PathTracingMaxBounces=4)");
    sender->sendConsoleCommand("showflag.pathtracing 1");
    sender->sendConsoleCommand("setgametime 2");
    const QImage first = shot("t2.png");
    sender->sendConsoleCommand("setgametime 3");
    const QImage other = shot("t3.png");
    sender->sendConsoleCommand("setgametime 2");
    const QImage again = shot("t2again.png");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(64, 48));
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    // The block is red in the picture.
    bool red = false;
    for (int y = 0; y < first.height() && !red; ++y)
        for (int x = 0; x < first.width() && !red; ++x) {
            const QColor c = first.pixelColor(x, y);
            red = c.red() > 60 && c.red() > 2 * c.green() && c.red() > 2 * c.blue();
        }
    EXPECT_TRUE(red);
}
