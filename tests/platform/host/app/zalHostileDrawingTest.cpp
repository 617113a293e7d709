// Hostile drawings through the zalhost executable: blocks that insert themselves (directly, through
// another block, or down a 100,000-deep chain) end the run with exit code 2 and a message naming the
// block, a coordinate of 1e300 leaves the rest of the drawing visible in the real viewer, and
// --timeout ends a load that takes too long (both reads of a drawing with module entities) with 5.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/common/zalHostProcess.h"

#include <gtest/gtest.h>

#include <QThread>

#include <cmath>
#include <csignal>

namespace {

using Outcome = zalHostOutcome;

Outcome zalhost(const QStringList& args)
{
    return runZalhost(args);
}

const QByteArray kFace =
    "0\n3DFACE\n5\n%H\n8\n0\n10\n%X\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n"
    "13\n0\n23\n1\n33\n0\n";

QByteArray face(const QByteArray& handle, const QByteArray& x)
{
    return QByteArray(kFace).replace("%H", handle).replace("%X", x);
}

QByteArray blocks(const std::vector<std::pair<QByteArray, QByteArray>>& nameAndInsert)
{
    QByteArray s = "0\nSECTION\n2\nBLOCKS\n";
    for (const auto& [name, inner] : nameAndInsert) {
        s += "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n10\n0\n20\n0\n30\n0\n3\n" + name + "\n";
        s += face("", "0").replace("5\n\n", "");
        if (!inner.isEmpty()) s += "0\nINSERT\n8\n0\n2\n" + inner + "\n10\n1\n20\n0\n30\n0\n";
        s += "0\nENDBLK\n8\n0\n";
    }
    return s + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\n" + nameAndInsert.front().first +
           "\n10\n0\n20\n0\n30\n0\n0\nENDSEC\n0\nEOF\n";
}

std::vector<std::pair<QByteArray, QByteArray>> deepChain(int depth)
{
    std::vector<std::pair<QByteArray, QByteArray>> chain;
    for (int i = 0; i < depth; ++i)
        chain.push_back(
            {"B" + QByteArray::number(i), i + 1 < depth ? "B" + QByteArray::number(i + 1) : QByteArray()});
    return chain;
}

bool write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

TEST(HostileDrawing, CyclicOrTooDeepBlocksEndTheHeadlessRunWithExitCode2NamingTheBlock)
{
    QTemporaryDir dir;
    const auto chain = deepChain(100000);
    const struct
    {
        const char* name;
        QByteArray dxf;
        const char* message;
    } rows[] = {{"self", blocks({{"LOOP", "LOOP"}}), "block \"LOOP\" inserts itself"},
                {"pair", blocks({{"PING", "PONG"}, {"PONG", "PING"}}), "inserts itself through block \"P"},
                {"chain", blocks(chain), "nests blocks deeper than 256 levels"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString file = dir.filePath(QString::fromLatin1(row.name) + QStringLiteral(".dxf"));
        ASSERT_TRUE(write(file, row.dxf));
        const Outcome r = zalhost({QStringLiteral("--headless"), QStringLiteral("--open"), file,
                                   QStringLiteral("--timeout"), QStringLiteral("120")});
        EXPECT_EQ(r.code, 2) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(row.message))) << r.err.toStdString();
    }
}

TEST(HostileDrawing, AnAbsurdCoordinateIsReportedAndTheRestReachesTheViewer)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("far.dxf"));
    ASSERT_TRUE(write(file, "0\nSECTION\n2\nENTITIES\n" + face("B1", "0") + face("B2", "1e300") +
                                face("B3", "5") + "0\nENDSEC\n0\nEOF\n"));
    const QString dump = dir.filePath(QStringLiteral("dump.json"));
    const Outcome r = zalhost({QStringLiteral("--open"), file, QStringLiteral("--dump-scene"), dump,
                               QStringLiteral("--timeout"), QStringLiteral("240")});
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("warning: 3DFACE (handle B2)"))) << r.err.toStdString();
    QFile f(dump);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject scene = QJsonDocument::fromJson(f.readAll()).object();
    if (scene.contains(QStringLiteral("scene"))) scene = scene.value(QStringLiteral("scene")).toObject();
    QStringList faces;
    for (const QJsonValue& v : scene.value(QStringLiteral("meshes")).toArray()) {
        const QJsonObject m = v.toObject();
        faces << m.value(QStringLiteral("parent")).toString();
        // Every bound the viewer holds is an ordinary number.
        for (const char* key : {"boundsMin", "boundsMax"})
            for (const QJsonValue& c : m.value(QLatin1String(key)).toArray())
                EXPECT_LT(std::abs(c.toDouble()), 1e12);
    }
    faces.sort();
    ASSERT_EQ(faces.size(), 2) << faces.join(' ').toStdString();
    EXPECT_TRUE(faces[0].endsWith(QLatin1String("_B1")));
    EXPECT_TRUE(faces[1].endsWith(QLatin1String("_B3")));
}

// A 100,000-deep chain takes about 2 s of processor time to read and check here; four times that
// keeps the load well past a one-second budget on a machine several times faster, so the run ends
// during the load, not after it. The run costs only the budget.
TEST(HostileDrawing, ALoadLongerThanTheTimeoutEndsTheRunWithExitCode5)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("chain.dxf"));
    ASSERT_TRUE(write(file, blocks(deepChain(400000))));
    const Outcome r = zalhost({QStringLiteral("--headless"), QStringLiteral("--open"), file,
                               QStringLiteral("--timeout"), QStringLiteral("1")});
    EXPECT_EQ(r.code, 5) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("timed out after 1 s waiting for chain.dxf to load")))
        << r.err.toStdString();
}

// A drawing holding a fountain is read twice: once before the render module is loaded, and again
// once it has registered the fountain's class. The host is stopped right after the first read for
// longer than the whole budget: when it goes on, the second read must be cut short by the same
// budget (not given one of its own, and not left to the later stages' timer).
TEST(HostileDrawing, TheTimeoutCoversTheSecondReadOfADrawingWithModuleEntities)
{
    QTemporaryDir dir;
    const QString sample =
        QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
    const QString withFountain = dir.filePath(QStringLiteral("fountain.dxf"));
    const QString script = dir.filePath(QStringLiteral("place.scr"));
    ASSERT_TRUE(write(script, "fountain_create\n3,4,0\nsave\n" + withFountain.toUtf8() + "\n"));
    const Outcome placed = zalhost({QStringLiteral("--open"), sample, QStringLiteral("--script"), script,
                                    QStringLiteral("--timeout"), QStringLiteral("240")});
    ASSERT_EQ(placed.code, 0) << placed.out.toStdString() << placed.err.toStdString();

    // Enough faces that the second read lasts well beyond the moment the host is stopped.
    QFile saved(withFountain);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QByteArray text = saved.readAll();
    ASSERT_TRUE(text.contains("ZALDBWATERFOUNTAIN"));
    const int entities = text.indexOf("ENTITIES");
    const int end = text.indexOf("  0\nENDSEC", entities);
    ASSERT_GT(end, entities);
    QByteArray faces;
    for (int i = 0; i < 40000; ++i)
        faces += face("", QByteArray::number(i)).replace("5\n\n", "");
    text.insert(end, faces);
    const QString big = dir.filePath(QStringLiteral("big.dxf"));
    ASSERT_TRUE(write(big, text));

    QProcess host;
    host.start(QDir(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"))).filePath(QStringLiteral("zalhost")),
               {QStringLiteral("--open"), big, QStringLiteral("--timeout"), QStringLiteral("3"),
                QStringLiteral("--dump-scene"), dir.filePath(QStringLiteral("dump.json"))});
    ASSERT_TRUE(host.waitForStarted(30000));
    QByteArray out;
    while (!out.contains("zalhost: opened") && host.waitForReadyRead(120000))
        out += host.readAllStandardOutput();
    ASSERT_TRUE(out.contains("zalhost: opened")) << out.toStdString();
    ASSERT_EQ(::kill(pid_t(host.processId()), SIGSTOP), 0);
    // Wall time, not a guess at speed: the budget has to run out while the host stands still.
    QThread::sleep(5);
    ASSERT_EQ(::kill(pid_t(host.processId()), SIGCONT), 0);
    ASSERT_TRUE(host.waitForFinished(120000));
    out += host.readAllStandardOutput();
    const QString err = QString::fromLocal8Bit(host.readAllStandardError());
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 5) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("timed out after 3 s waiting for big.dxf to load")))
        << err.toStdString();
    EXPECT_FALSE(out.contains("read big.dxf again")) << "the second read finished: " << out.toStdString();
}
