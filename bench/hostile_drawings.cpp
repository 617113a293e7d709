// Hostile drawings: how long the host takes to refuse a block that inserts itself, a pair of blocks
// that insert each other, and chains of nested blocks up to 100,000 deep. Each file is read by the
// host's importer in this process and opened by the zalhost executable (headless, no display, so
// the run ends once the file is read: exit code 2 for a refused drawing). Chains of growing depth
// show how the refusal scales.
//
//   build/bin/bench_hostile_drawings [rounds]
//
// Ends with one line: "hostile: self S s, pair P s, 100k chain C s through zalhost (limit 5 s)"
#include "zalDxfImporter.h"

#include "DbDatabase.h"
#include "odkit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const QByteArray kFace = "0\n3DFACE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n"
                         "13\n0\n23\n1\n33\n0\n";

// Blocks given as (name, block it inserts or empty), each with one face; model space inserts the
// first.
QByteArray blocks(const std::vector<std::pair<QByteArray, QByteArray>>& nameAndInsert)
{
    QByteArray s = "0\nSECTION\n2\nBLOCKS\n";
    for (const auto& [name, inner] : nameAndInsert) {
        s += "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n10\n0\n20\n0\n30\n0\n3\n" + name + "\n" + kFace;
        if (!inner.isEmpty()) s += "0\nINSERT\n8\n0\n2\n" + inner + "\n10\n1\n20\n0\n30\n0\n";
        s += "0\nENDBLK\n8\n0\n";
    }
    return s + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\n" + nameAndInsert.front().first +
           "\n10\n0\n20\n0\n30\n0\n0\nENDSEC\n0\nEOF\n";
}

QByteArray chain(int depth)
{
    std::vector<std::pair<QByteArray, QByteArray>> c;
    c.reserve(size_t(depth));
    for (int i = 0; i < depth; ++i)
        c.push_back(
            {"B" + QByteArray::number(i), i + 1 < depth ? "B" + QByteArray::number(i + 1) : QByteArray()});
    return blocks(c);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

struct Timing
{
    double importer = 0.0, host = 0.0;
    int code = 0;
    QString message;
};

Timing measure(const QString& file, int rounds)
{
    Timing t;
    std::vector<double> importer, host;
    for (int r = 0; r < rounds; ++r) {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        QElapsedTimer timer;
        timer.start();
        const zalImportResult result = zalDxfImporter(db.get()).importFile(file);
        importer.push_back(timer.nsecsElapsed() / 1e9);
        t.message = result.ok ? QStringLiteral("accepted") : result.message;

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY")); // the run ends after reading the file
        p.setProcessEnvironment(env);
        timer.restart();
        p.start(QStringLiteral(ZAL_BIN_DIR "/zalhost"),
                {QStringLiteral("--headless"), QStringLiteral("--open"), file, QStringLiteral("--timeout"),
                 QStringLiteral("600")});
        if (!p.waitForFinished(660000)) {
            p.kill();
            p.waitForFinished();
        }
        host.push_back(timer.nsecsElapsed() / 1e9);
        t.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    t.importer = median(importer);
    t.host = median(host);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    odInitialize();
    QTemporaryDir dir;
    struct Case
    {
        const char* name;
        QByteArray dxf;
    };
    const std::vector<Case> cases = {{"self insert", blocks({{"LOOP", "LOOP"}})},
                                     {"mutual pair", blocks({{"PING", "PONG"}, {"PONG", "PING"}})},
                                     {"chain 1,000", chain(1000)},
                                     {"chain 10,000", chain(10000)},
                                     {"chain 100,000", chain(100000)}};
    std::printf("%-14s %10s %12s %12s  %s\n", "drawing", "bytes", "importer s", "zalhost s", "outcome");
    std::vector<double> hostTimes;
    for (const Case& c : cases) {
        const QString file = dir.filePath(QString::fromLatin1(c.name).remove(' ').remove(',') + ".dxf");
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(c.dxf) != c.dxf.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        f.close();
        const Timing t = measure(file, rounds);
        std::printf("%-14s %10lld %12.3f %12.3f  exit %d, %s\n", c.name, static_cast<long long>(c.dxf.size()),
                    t.importer, t.host, t.code, qPrintable(t.message));
        hostTimes.push_back(t.host);
    }
    std::printf("hostile: self %.2f s, pair %.2f s, 100k chain %.2f s through zalhost (limit 5 s)\n",
                hostTimes[0], hostTimes[1], hostTimes[4]);
    odUninitialize();
    return 0;
}
