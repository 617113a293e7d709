// "fountain_create" in the headless zalhost executable: a script answers the point prompt, and the
// viewer's scene dump holds the placed fountain as the particle asset with its parameters.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QJsonObject();
    return QJsonDocument::fromJson(f.readAll()).object();
}

TEST(FountainHeadless, aScriptedPlacementReachesTheViewer)
{
    const QString bin = QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"));
    const QString source = QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR"));
    ASSERT_FALSE(bin.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath("place.scr");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("fountain_create\n3,4,0\n");
    }
    const QString dumpPath = dir.filePath("dump.json");
    QProcess host;
    host.start(QDir(bin).filePath("zalhost"), {"--open", source + "/samples/pavilion.dxf", "--script", script,
                                               "--dump-scene", dumpPath, "--timeout", "240"});
    ASSERT_TRUE(host.waitForFinished(280000));
    const QString out = QString::fromLocal8Bit(host.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(host.readAllStandardError());
    ASSERT_EQ(host.exitCode(), 0) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains("script ran 1 command\n")) << out.toStdString();

    const QJsonObject dump = readJson(dumpPath);
    const QJsonObject scene = dump.contains("scene") ? dump.value("scene").toObject() : dump;
    QStringList fountainInstances;
    for (const QJsonValue& value : scene.value("instances").toArray())
        if (value.toObject().value("asset").toString() == "ConfigurableWaterFountain")
            fountainInstances << value.toObject().value("name").toString();
    ASSERT_EQ(fountainInstances.size(), 1) << QJsonDocument(scene).toJson().left(4000).toStdString();
    EXPECT_TRUE(fountainInstances[0].contains("_zalDbWaterFountain_")) << fountainInstances[0].toStdString();

    const QJsonObject settings = dump.value("settings").toObject();
    const QJsonObject parameters =
        settings.value("fountains").toObject().value(fountainInstances[0]).toObject();
    ASSERT_FALSE(parameters.isEmpty()) << QJsonDocument(settings).toJson().toStdString();
    EXPECT_TRUE(parameters.value("active").toBool());
    EXPECT_DOUBLE_EQ(parameters.value("spawnRate").toDouble(), 7500.0);
}

} // namespace
