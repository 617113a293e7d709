// Hostile drawings through the zalhost executable: blocks that insert themselves (directly, through
// another block, or down a 100,000-deep chain) end the run with exit code 2 and a message naming the
// block, and a coordinate of 1e300 leaves the rest of the drawing visible in the real viewer.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/common/zalHostProcess.h"

#include <gtest/gtest.h>

#include <cmath>

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

bool write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

TEST(HostileDrawing, CyclicOrTooDeepBlocksEndTheHeadlessRunWithExitCode2NamingTheBlock)
{
    QTemporaryDir dir;
    std::vector<std::pair<QByteArray, QByteArray>> chain;
    for (int i = 0; i < 100000; ++i)
        chain.push_back(
            {"B" + QByteArray::number(i), i + 1 < 100000 ? "B" + QByteArray::number(i + 1) : QByteArray()});
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
