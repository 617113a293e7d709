// The zalhost executable as a process: drawings it cannot open, and arguments it does not take, end
// the run at once with one line naming the cause and a non-zero exit. (The full run, through the
// module and the viewer, is zalHostEndToEndTest.)
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int code = -1;
    QString out, err;
};

Outcome zalhost(const QStringList& args)
{
    QProcess p;
    const QString bin = QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"));
    p.start(QDir(bin).filePath(QStringLiteral("zalhost")), args);
    Outcome r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

bool write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

void expectOneLine(const Outcome& r, int code, const QString& mentions)
{
    EXPECT_EQ(r.code, code) << r.err.toStdString();
    const QStringList lines = r.err.trimmed().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("zalhost: "))) << r.err.toStdString();
    EXPECT_TRUE(lines.first().contains(mentions, Qt::CaseInsensitive)) << r.err.toStdString();
}

} // namespace

TEST(HeadlessRun, DrawingsThatCannotBeOpened)
{
    ASSERT_FALSE(qgetenv("ZAL_BIN_DIR").isEmpty());
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("out.png"));

    expectOneLine(zalhost({"--open", dir.filePath(QStringLiteral("missing.dxf")), "--export-image", png}), 2,
                  QStringLiteral("no such file"));

    ASSERT_TRUE(write(dir.filePath(QStringLiteral("empty.dxf")), QByteArray()));
    expectOneLine(zalhost({"--open", dir.filePath(QStringLiteral("empty.dxf")), "--export-image", png}), 2,
                  QStringLiteral("empty file"));

    const QString source =
        QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) + QStringLiteral("/samples/pavilion.dxf");
    QFile sample(source);
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly)) << source.toStdString();
    const QByteArray whole = sample.readAll();
    ASSERT_TRUE(write(dir.filePath(QStringLiteral("cut.dxf")), whole.left(whole.size() / 2)));
    expectOneLine(zalhost({"--open", dir.filePath(QStringLiteral("cut.dxf")), "--export-image", png}), 2,
                  QStringLiteral("not a complete DXF file"));

    ASSERT_TRUE(
        write(dir.filePath(QStringLiteral("cut.gltf")), "{\"asset\": {\"version\": \"2.0\"}, \"nodes\": ["));
    expectOneLine(zalhost({"--open", dir.filePath(QStringLiteral("cut.gltf")), "--export-image", png}), 2,
                  QStringLiteral("cut.gltf"));
    EXPECT_FALSE(QFile::exists(png));
}

TEST(HeadlessRun, ArgumentsItDoesNotTake)
{
    expectOneLine(zalhost({"--export-image", "x.png"}), 64, QStringLiteral("--open"));
    expectOneLine(zalhost({"--open", "a.dxf", "--size", "big", "--headless"}), 64, QStringLiteral("--size"));
    expectOneLine(zalhost({"--open", "a.dxf", "--timeout", "-3", "--headless"}), 64,
                  QStringLiteral("--timeout"));
    expectOneLine(zalhost({"--frobnicate"}), 64, QStringLiteral("unknown argument"));
    const Outcome help = zalhost({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--export-image")));
}
