// Animations on a Slurm farm: a local farm (scripts/farm-local) runs the frame range as an array
// job of headless zalhost runs; the frames must equal those of one headless run, and a task that
// cannot write its frame must be resubmitted once and then reported with its log.
#include "zalDocumentManager.h"
#include "zalFarmDock.h"
#include "zalFarmJob.h"
#include "zalHostAppTestSupport.h"
#include "zalHostCommands.h"
#include "zalHostConsole.h"
#include "zalHostMainWindow.h"
#include "zalRenderFarmCommand.h"

#include "tests/common/zalEventLoop.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace {

struct Outcome
{
    int code = -1;
    QString out, err;
};

QString binDir()
{
    return QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"));
}

QString sample()
{
    return QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
}

Outcome runProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                   int timeoutMs = 600000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    } else {
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QString slurmMissing()
{
    for (const char* tool : {"slurmctld", "slurmd", "munged", "sbatch", "squeue", "Xvfb"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/setup installs slurm-wlm, munge and xvfb)")
                .arg(QLatin1String(tool));
    return QString();
}

// Distinct colours of an image: a rendered view of the sample has many, a blank one a single one.
int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

// One local farm for the whole suite: starting Slurm costs seconds, each job only its tasks.
class Farm : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_skip = slurmMissing();
        if (!s_skip.isEmpty()) return;
        s_folder = QDir(binDir()).absoluteFilePath(QStringLiteral("../farm-test"));
        const Outcome started = runProcess(QStringLiteral("bash"), {script(), "start", s_folder},
                                           QProcessEnvironment::systemEnvironment(), 120000);
        const QStringList lines = started.out.trimmed().split(QLatin1Char('\n'));
        if (started.code != 0 || !lines.last().startsWith(QLatin1String("export SLURM_CONF="))) {
            s_failed = QStringLiteral("farm-local start failed (%1): %2%3")
                           .arg(started.code)
                           .arg(started.out, started.err);
            return;
        }
        s_conf = lines.last().mid(int(strlen("export SLURM_CONF=")));
    }

    static void TearDownTestSuite()
    {
        if (!s_folder.isEmpty())
            runProcess(QStringLiteral("bash"), {script(), "stop", s_folder},
                       QProcessEnvironment::systemEnvironment(), 120000);
    }

    void SetUp() override
    {
        if (!s_skip.isEmpty()) GTEST_SKIP() << "no local Slurm: " << s_skip.toStdString();
        ASSERT_TRUE(s_failed.isEmpty()) << s_failed.toStdString();
        ASSERT_TRUE(QFile::exists(s_conf)) << s_conf.toStdString();
    }

    static QString script()
    {
        return QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/scripts/farm-local");
    }

    // The submitting process has no display: its tasks must start their own.
    static QProcessEnvironment farmEnvironment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SLURM_CONF"), s_conf);
        env.remove(QStringLiteral("DISPLAY"));
        return env;
    }

    static Outcome zalhost(const QStringList& args, const QProcessEnvironment& env)
    {
        return runProcess(QDir(binDir()).filePath(QStringLiteral("zalhost")), args, env);
    }

    static inline QString s_skip, s_failed, s_folder, s_conf;
};

} // namespace

TEST(FarmChunks, CutTheRangeWithoutGapsOrOverlap)
{
    const QList<zalFarmJob::Task> tasks = zalFarmJob::chunks(1, 8, 3);
    ASSERT_EQ(tasks.size(), 3);
    EXPECT_EQ(tasks[0].first, 1);
    EXPECT_EQ(tasks[0].last, 3);
    EXPECT_EQ(tasks[1].first, 4);
    EXPECT_EQ(tasks[2].first, 7);
    EXPECT_EQ(tasks[2].last, 8); // the last chunk is short, not past the range
    EXPECT_EQ(zalFarmJob::chunks(5, 5, 4).size(), 1);
    EXPECT_EQ(zalFarmJob::chunks(0, 39, 10).size(), 4);
    EXPECT_EQ(zalFarmJob::chunks(0, 40, 10).size(), 5);
    EXPECT_EQ(zalFarmJob::chunks(1, 100, 0).size(),
              (100 + zalFarmJob::kDefaultChunk - 1) / zalFarmJob::kDefaultChunk);
}

TEST(FarmFrames, OnlyCompletePngsOfTheAskedSizeCount)
{
    QTemporaryDir dir;
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString good = dir.filePath(QStringLiteral("good.png"));
    ASSERT_TRUE(image.save(good, "PNG"));
    EXPECT_TRUE(zalFarmJob::isValidFrame(good, QSize(64, 32)));
    EXPECT_FALSE(zalFarmJob::isValidFrame(good, QSize(32, 64)));

    QFile whole(good);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QFile cut(dir.filePath(QStringLiteral("cut.png")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 20)); // the header reads, the pixels do not all
    cut.close();
    EXPECT_FALSE(zalFarmJob::isValidFrame(cut.fileName(), QSize(64, 32)));

    const QString jpeg = dir.filePath(QStringLiteral("frame.png"));
    ASSERT_TRUE(image.save(jpeg, "JPG"));
    EXPECT_FALSE(zalFarmJob::isValidFrame(jpeg, QSize(64, 32)));
}

TEST(FarmArguments, ThatMakeNoSenseEndTheRunAtOnce)
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString bin = QDir(binDir()).filePath(QStringLiteral("zalhost"));
    for (const QStringList& args :
         QList<QStringList>{{"--open", "a.dxf", "--render-frames", "5-2", "--out", "o"},
                            {"--open", "a.dxf", "--render-frames", "1-4"},
                            {"--open", "a.dxf", "--render-frames", "1-4", "--out", "o", "--farm", "pbs"},
                            {"--open", "a.dxf", "--render-frames", "1-4", "--out", "o", "--chunk", "2"},
                            {"--open", "a.dxf", "--farm", "slurm"}}) {
        const Outcome r = runProcess(bin, args, env, 60000);
        EXPECT_EQ(r.code, 64) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
}

TEST(HeadlessFrames, NameTheFrameThatCannotBeWritten)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("frames"));
    ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/frame_0003.png")));
    const Outcome r =
        runProcess(QDir(binDir()).filePath(QStringLiteral("zalhost")),
                   {"--open", sample(), "--render-frames", "2-4", "--size", "160x90", "--out", out},
                   QProcessEnvironment::systemEnvironment());
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("frame 3: cannot write"))) << r.err.toStdString();
    EXPECT_TRUE(zalFarmJob::isValidFrame(out + QStringLiteral("/frame_0002.png"), QSize(160, 90)));
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/frame_0004.png"))); // the run stopped there
}

TEST(HeadlessFrames, ArePathTracedWhenTheScenesAnimationSettingsSaySo)
{
    QTemporaryDir dir;
    const QString drawing = dir.filePath(QStringLiteral("pavilion.dxf"));
    ASSERT_TRUE(QFile::copy(sample(), drawing));
    const QString bin = QDir(binDir()).filePath(QStringLiteral("zalhost"));
    const QStringList args = {"--open", drawing,  "--render-frames", "1",
                              "--size", "160x90", "--out",           dir.filePath("f")};
    const Outcome plain = runProcess(bin, args, QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(plain.code, 0) << plain.err.toStdString();
    // "... of scene 12 (NAME_ue5.rsc, raster) ...": the scene file the module reads, and the choice.
    static const QRegularExpression line(
        QStringLiteral("of scene \\d+ \\((\\S+_ue5\\.rsc), (raster|path traced)\\)"));
    QRegularExpressionMatch m = line.match(plain.out);
    ASSERT_TRUE(m.hasMatch()) << plain.out.toStdString();
    EXPECT_EQ(m.captured(2), QStringLiteral("raster"));

    // The scene's own file, in the drawing's project folder, turns path tracing on for animations.
    const QString scenes = dir.filePath(QStringLiteral("pavilion_project/Scenes"));
    ASSERT_TRUE(QDir().mkpath(scenes));
    {
        QSettings scene(scenes + QLatin1Char('/') + m.captured(1), QSettings::IniFormat);
        scene.setValue(QStringLiteral("AnimationProduction/EnablePathTracing"), 1);
        scene.setValue(QStringLiteral("AnimationProduction/MaxIterations"), 8);
    }
    const Outcome traced = runProcess(bin, args, QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(traced.code, 0) << traced.err.toStdString();
    m = line.match(traced.out);
    ASSERT_TRUE(m.hasMatch()) << traced.out.toStdString();
    EXPECT_EQ(m.captured(2), QStringLiteral("path traced"));
    EXPECT_TRUE(zalFarmJob::isValidFrame(dir.filePath(QStringLiteral("f/frame_0001.png")), QSize(160, 90)));
}

TEST_F(Farm, ArrayOfFourTasksRendersTheFramesOfOneHeadlessRun)
{
    QTemporaryDir dir;
    const QString farmOut = dir.filePath(QStringLiteral("farm"));
    const QString oneOut = dir.filePath(QStringLiteral("one"));
    const QSize size(320, 180);

    const Outcome farm = zalhost({"--open", sample(), "--render-frames", "1-8", "--size", "320x180", "--out",
                                  farmOut, "--farm", "slurm", "--chunk", "2"},
                                 farmEnvironment());
    ASSERT_EQ(farm.code, 0) << farm.out.toStdString() << farm.err.toStdString();
    EXPECT_TRUE(farm.out.contains(QStringLiteral("4 tasks for frames 1-8"))) << farm.out.toStdString();
    EXPECT_TRUE(farm.out.contains(QStringLiteral("8/8 frames"))) << farm.out.toStdString();
    if (!QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty()) {
        // The video holds the eight frames, not the first or some of them.
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                "-show_entries", "stream=nb_read_frames,width,height", "-of",
                                                "csv=p=0", farmOut + QStringLiteral("/frames_1-8.mp4")});
        ASSERT_TRUE(probe.waitForFinished(60000));
        EXPECT_EQ(QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed(),
                  QStringLiteral("320,180,8"));
    }

    // Four tasks, each its own process with its own display, each its own two frames.
    const QStringList logs = QDir(farmOut + QStringLiteral("/.zalfarm/logs"))
                                 .entryList({QStringLiteral("task_*.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), 4) << logs.join(' ').toStdString();
    QSet<QString> processes;
    for (const QString& name : logs) {
        QFile f(farmOut + QStringLiteral("/.zalfarm/logs/") + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString log = QString::fromLocal8Bit(f.readAll());
        EXPECT_TRUE(log.contains(QStringLiteral("task: started Xvfb on :"))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("wrote 2 frames"))) << log.toStdString();
        const int at = log.indexOf(QStringLiteral("viewer started on "));
        if (at >= 0) processes.insert(log.mid(at, 40).section(QLatin1Char('\n'), 0, 0));
    }
    EXPECT_EQ(processes.size(), 4); // four viewers, not one reused

    const Outcome one =
        zalhost({"--open", sample(), "--render-frames", "1-8", "--size", "320x180", "--out", oneOut},
                QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(one.code, 0) << one.err.toStdString();

    for (int frame = 1; frame <= 8; ++frame) {
        const QString name = QLatin1Char('/') + zalFrameOptions::frameName(frame);
        const QImage a(farmOut + name), b(oneOut + name);
        ASSERT_FALSE(a.isNull()) << name.toStdString();
        ASSERT_EQ(a.size(), size);
        ASSERT_EQ(b.size(), size);
        EXPECT_GT(colourCount(a), 50) << name.toStdString() << " is not a rendered view";
        EXPECT_TRUE(a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32))
            << name.toStdString() << " differs between the array task and the single run";
    }
}

TEST_F(Farm, TaskThatCannotWriteItsFrameIsResubmittedOnceThenReportedWithItsLog)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("frames"));
    // A folder where frame 5 should go: task 2 (frames 5-6) fails on every attempt.
    ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/frame_0005.png")));
    const Outcome r = zalhost({"--open", sample(), "--render-frames", "1-6", "--size", "160x90", "--out", out,
                               "--farm", "slurm", "--chunk", "2"},
                              farmEnvironment());
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("resubmitting 1 failed task once"))) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("submitted job")), 2) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("task 2 (frames 5-6)"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("after 2 attempts"))) << r.err.toStdString();
    // The task's own log, quoted in the report, names the frame and why.
    EXPECT_TRUE(r.err.contains(QStringLiteral("| zalhost: frame 5: cannot write"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("task 0 ")) || r.err.contains(QStringLiteral("task 1 ")));
    for (int frame : {1, 2, 3, 4})
        EXPECT_TRUE(zalFarmJob::isValidFrame(
            out + QStringLiteral("/frame_%1.png").arg(frame, 4, 10, QLatin1Char('0')), QSize(160, 90)));
}

TEST_F(Farm, InterruptingTheSubmittingProcessCancelsTheJob)
{
    QTemporaryDir dir;
    QProcess p;
    p.setProcessEnvironment(farmEnvironment());
    p.start(QDir(binDir()).filePath(QStringLiteral("zalhost")),
            {"--open", sample(), "--render-frames", "1-40", "--size", "160x90", "--out", dir.filePath("f"),
             "--farm", "slurm", "--chunk", "2"});
    QString out;
    static const QRegularExpression submitted(QStringLiteral("submitted job (\\d+)"));
    ASSERT_TRUE(waitFor(
        [&] {
            p.waitForReadyRead(100);
            out += QString::fromLocal8Bit(p.readAllStandardOutput());
            return submitted.match(out).hasMatch();
        },
        60000))
        << out.toStdString();
    const QString job = submitted.match(out).captured(1);
    ::kill(pid_t(p.processId()), SIGINT); // what Ctrl+C in its terminal sends
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("cancelled job ") + job));
    const Outcome queue =
        runProcess(QStringLiteral("squeue"), {"-h", "-r", "-j", job, "-o", "%i %T"}, farmEnvironment());
    EXPECT_TRUE(queue.out.trimmed().isEmpty() || !queue.out.contains(QStringLiteral("PENDING")))
        << queue.out.toStdString();
}

namespace {

// The GUI host with the sample open (from a copy, so the farm's frames land beside it) and the
// host's commands registered.
struct GuiHost
{
    GuiHost()
    {
        zalHostCommands::registerAll();
        documents = std::make_unique<zalDocumentManager>(host.app());
        window = std::make_unique<zalHostMainWindow>(host.app(), documents.get());
        window->show();
        drawing = host.filePath(QStringLiteral("pavilion.dxf"));
        QFile::copy(sample(), drawing);
        db = documents->openDrawing(drawing);
        if (db) host.app()->console()->setCurrentDatabase(db);
        zalRenderFarmCommand::setExecutable(QDir(binDir()).filePath(QStringLiteral("zalhost")));
    }
    ~GuiHost()
    {
        window.reset();
        documents.reset();
        zalHostCommands::unregisterAll();
    }

    zalHostAppTest::Host host;
    std::unique_ptr<zalDocumentManager> documents;
    std::unique_ptr<zalHostMainWindow> window;
    QString drawing;
    OdDbDatabase* db = nullptr;
};

} // namespace

TEST_F(Farm, RenderFarmCommandFollowsTheJobInADock)
{
    qputenv("SLURM_CONF", s_conf.toLocal8Bit());
    GuiHost gui;
    ASSERT_NE(gui.db, nullptr);
    const QString out = gui.host.filePath(QStringLiteral("frames"));
    zalHostConsole* console = gui.host.app()->console();
    EXPECT_EQ(console->runScript(QStringLiteral("renderfarm\n1-4\n160x90\n%1\n2\n").arg(out)), 1)
        << console->transcript().join('\n').toStdString();

    auto* dock = gui.window->findChild<zalFarmDock*>();
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(gui.window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    auto* tasks = dock->findChild<QTableWidget*>();
    auto* progress = dock->findChild<QProgressBar*>();
    ASSERT_TRUE(tasks && progress);
    EXPECT_EQ(tasks->rowCount(), 2);
    EXPECT_EQ(progress->maximum(), 4);

    ASSERT_TRUE(waitFor([dock] { return dock->isFinished(); }, 600000));
    EXPECT_EQ(dock->exitCode(), 0) << dock->findChild<QPlainTextEdit*>()->toPlainText().toStdString();
    EXPECT_EQ(progress->value(), 4);
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(tasks->item(row, 2)->text(), QStringLiteral("COMPLETED")) << row;
    EXPECT_EQ(tasks->item(1, 1)->text(), QStringLiteral("3-4"));
    for (int frame = 1; frame <= 4; ++frame)
        EXPECT_TRUE(zalFarmJob::isValidFrame(out + QLatin1Char('/') + zalFrameOptions::frameName(frame),
                                             QSize(160, 90)));
}

TEST_F(Farm, CancellingTheDockCancelsTheSlurmJob)
{
    qputenv("SLURM_CONF", s_conf.toLocal8Bit());
    GuiHost gui;
    ASSERT_NE(gui.db, nullptr);
    const QString out = gui.host.filePath(QStringLiteral("frames"));
    ASSERT_EQ(
        gui.host.app()->console()->runScript(QStringLiteral("renderfarm\n1-40\n160x90\n%1\n2\n").arg(out)),
        1);
    auto* dock = gui.window->findChild<zalFarmDock*>();
    ASSERT_NE(dock, nullptr);
    const QString job = dock->job()->jobId();
    ASSERT_FALSE(job.isEmpty());
    const auto queued = [&job] {
        QProcess squeue;
        squeue.start(QStringLiteral("squeue"), {"-h", "-r", "-j", job, "-o", "%i"});
        squeue.waitForFinished(30000);
        return QString::fromLocal8Bit(squeue.readAllStandardOutput()).count(QLatin1Char('\n'));
    };
    ASSERT_TRUE(waitFor([&] { return dock->job()->framesDone() > 0 || queued() > 0; }, 60000));
    dock->findChild<QPushButton*>()->click();
    EXPECT_TRUE(dock->isFinished());
    EXPECT_EQ(dock->exitCode(), 130);
    // Every task of the job leaves the queue; with 20 tasks of 2 frames, most never ran.
    EXPECT_TRUE(waitFor([&] { return queued() == 0; }, 60000));
    EXPECT_LT(dock->job()->framesDone(), 40);
}
