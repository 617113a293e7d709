// Edit latency: drawings of 1k, 10k and 100k entities are synchronised into the real viewer, then single
// edits are made through the drawing database as a command would make them (move a mesh, change its
// material, erase one, add one, move and erase a block reference). Each is timed from the edit call, whose
// close notifies the module, to the viewer's acknowledgement of the transaction that carried it. An edit
// the module sends outside any transaction cannot be acknowledged: the benchmark then closes an empty
// transaction of its own behind it (the channel is ordered) and counts the edit as "outside".
//
//   xvfb-run -a build/bin/bench_edit_latency [rounds] [samples per kind and round] [sizes...]
//
// After each size's edits the viewer says whether its first drawing of that size got built while they came,
// and if not how far it got (the picture that then finishes it gives the whole build's work), so that the
// figures can be read knowing what the edits competed with.
//
// Ends with one line: "edit latency: p50 100k X ms, p99 100k Y ms, p50 100k/1k ratio R, 100 edits at 100k Z
// ms".
#include "module/zalUnrealRenderModule.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "Ed/EdCommand.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include "bench/zalBenchSupport.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <map>
#include <string>

using zalBench::waitFor;

namespace {

struct Kind
{
    const char* name;
    std::vector<double> ms;
    int inside = 0;  // edits that arrived in a transaction the viewer acknowledged
    int outside = 0; // edits sent with no transaction around them
};

struct Drawing
{
    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
    std::vector<OdDbObjectId> meshes;
    std::vector<OdDbObjectId> references;
    OdDbObjectId red, blue;
};

const int kReferences = 200;

// 100 edits in one command, run through the host's console as a user's command would be.
class MoveHundred : public OdEdCommand
{
public:
    const OdString groupName() const override { return L"Bench"; }
    const OdString globalName() const override { return L"benchmovehundred"; }
    void execute(OdEdCommandContext*) override
    {
        for (int i = 0; i < 100; ++i) {
            const OdDbObjectId id =
                (*meshes)[(std::size_t(i) * 7907 + std::size_t(round) * 31) % meshes->size()];
            OdDbEntityPtr e = id.safeOpenObject(OdDb::kForWrite);
            e->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0.01, 0, 0)));
        }
    }
    const std::vector<OdDbObjectId>* meshes = nullptr;
    int round = 0;
};

// The viewer's drawing statistics, from a scene dump it writes; asked only outside the timed edits.
QJsonObject viewerRender(zalDbUnrealRenderSession* s, const QTemporaryDir& dir)
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("viewer-dump%1.json").arg(++serial));
    zalBench::liveSender(s)->sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(path));
    if (!waitFor([&] { return QFileInfo::exists(path); }, 600000)) return QJsonObject();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    QJsonObject render = o.value("render").toObject();
    render.insert("renderPaused", o.value("settings").toObject().value("renderPaused"));
    render.insert("windowExposed", o.value("viewer").toObject().value("windowExposed"));
    render.insert("framesDrawn", o.value("viewer").toObject().value("framesDrawn"));
    file.remove();
    return render;
}

// What the viewer did with the drawing while the edits came (they ended `editsMs` after the drawing was
// acknowledged): built it from scratch in steps, and then whether the build finished or how far it got;
// followed it in frames change by change; or not drawn it at all yet. `before` is from before the drawing
// was sent.
void reportFirstBuild(zalDbUnrealRenderSession* s, const QTemporaryDir& dir, int size,
                      const QJsonObject& before, double editsMs)
{
    const QJsonObject atEnd = viewerRender(s, dir);
    if (atEnd.isEmpty() || before.isEmpty()) {
        std::printf("%8d first drawing: the viewer wrote no statistics\n", size);
        return;
    }
    const int begun = atEnd.value("buildsStarted").toInt() - before.value("buildsStarted").toInt();
    const int frames = atEnd.value("framesDrawn").toInt() - before.value("framesDrawn").toInt();
    std::printf("%8d first drawing, when the edits ended %.0f ms after its acknowledgement (frames drawn "
                "since it was sent: %d, builds from scratch begun: %d): ",
                size, editsMs, frames, begun);
    if (atEnd.value("building").toBool()) {
        // A picture finishes the build at once; that build's units are then the whole of it.
        const QString shot = dir.filePath(QStringLiteral("finish%1.png").arg(size));
        zalBench::liveSender(s)->sendConsoleCommand(
            QStringLiteral("HighResShot 64x48 filename=\"%1\"").arg(shot));
        waitFor([&] { return QFileInfo::exists(shot); }, 600000);
        const double made = atEnd.value("buildingUnits").toDouble(),
                     whole = viewerRender(s, dir).value("buildUnits").toDouble();
        std::printf("still being built, %d steps made %.0f of its %.0f units of work (%.0f %%)\n",
                    atEnd.value("buildingSteps").toInt(), made, whole,
                    whole > 0 ? 100.0 * made / whole : 0.0);
    } else if (begun > 0) {
        std::printf("built, in %d steps over %.0f ms, %.0f units of work\n",
                    atEnd.value("buildSteps").toInt(), atEnd.value("buildMs").toDouble(),
                    atEnd.value("buildUnits").toDouble());
    } else if (frames > 0) {
        std::printf("followed change by change, no build from scratch\n");
    } else {
        std::printf("not drawn yet: no frame came, the edits competed with no build\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int samples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::vector<int> sizes;
    for (int i = 3; i < argc; ++i)
        sizes.push_back(std::max(kReferences + 10, std::atoi(argv[i])));
    if (sizes.empty()) sizes = {1000, 10000, 100000};
    OdStaticRxObject<MoveHundred> moveHundred;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_edit_latency: the viewer needs an X server; run under xvfb-run -a\n");
        return 1;
    }
    QTemporaryDir dir;
    zalHostApplication host(argc, argv, zalBench::hostOptions(dir));
    if (!odrxDynamicLinker()->loadModule(L"zalUnrealRenderModule.dll")) {
        std::fprintf(stderr, "bench_edit_latency: cannot load the module\n");
        return 1;
    }
    odedRegCmds()->addCommand(&moveHundred);

    std::printf("edit latency, from the edit call to the viewer's acknowledgement (ms); %d rounds x %d edits "
                "per kind\n",
                rounds, samples);
    std::printf("%8s %-22s %8s %8s %8s %8s %8s %s\n", "entities", "edit", "p50", "p90", "p99", "max", "n",
                "in transaction / outside");
    std::map<int, double> p50OfSize, p99OfSize, batchOfSize;

    for (const int size : sizes) {
        Drawing d;
        d.db = zalBench::seedDrawing();
        zalHostView* view = nullptr;
        d.session = zalBench::openSession(host, d.db.get(), &view);
        if (!d.session) {
            std::fprintf(stderr, "bench_edit_latency: no session\n");
            return 1;
        }
        zalDbUnrealRenderSession* s = d.session;
        zalBench::startRealViewer(s);
        if (!zalBench::waitUntilUp(s, 120000)) {
            std::fprintf(stderr, "bench_edit_latency: the viewer did not come up\n");
            return 1;
        }
        // The content goes in with the reactor detached and is sent by one refresh.
        s->detachDbReactor();
        d.red = zalBench::addMaterial(d.db.get(), L"Red");
        d.blue = zalBench::addMaterial(d.db.get(), L"Blue");
        zalBench::addMeshes(d.db.get(), size - kReferences, 1, d.red, &d.meshes);
        {
            OdDbBlockTablePtr table = d.db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
            OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
            block->setName(L"Tile");
            const OdDbObjectId blockId = table->add(block);
            block->appendOdDbEntity(zalBench::gridMesh(d.db.get(), 0, 0, 2, d.red, 0));
            block.release();
            OdDbBlockTableRecordPtr ms = d.db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
            for (int i = 0; i < kReferences; ++i) {
                OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
                ref->setDatabaseDefaults(d.db.get());
                ref->setBlockTableRecord(blockId);
                ref->setPosition(OdGePoint3d(-10.0 - 4 * (i % 20), 4.0 * (i / 20), 0));
                d.references.push_back(ms->appendOdDbEntity(ref));
            }
        }
        s->attachDbReactor();
        // Fetched anew at each use: the session drops its sender when the viewer ends.
        auto snd = [s] { return zalBench::liveSender(s); };
        zalBench::waitAllApplied(s, 120000);
        const QJsonObject beforeDrawing = viewerRender(s, dir);
        QElapsedTimer sync;
        sync.start();
        s->refresh(QString(), QString());
        if (!zalBench::waitAllApplied(s, 1200000)) {
            std::fprintf(stderr, "bench_edit_latency: the first synchronisation was not acknowledged\n");
            return 1;
        }
        std::printf("%8d (first synchronisation %.2f s)\n", size, double(sync.nsecsElapsed()) / 1e9);
        std::fflush(stdout);
        QElapsedTimer sinceSync;
        sinceSync.start();

        // Runs one edit and waits until the viewer has applied it; false when it got lost.
        auto timed = [&](Kind& kind, const std::function<void()>& edit) {
            const std::uint64_t endedBefore = snd()->transactionsEnded();
            QElapsedTimer t;
            t.start();
            edit();
            if (snd()->transactionsEnded() > endedBefore) {
                ++kind.inside;
            } else {
                ++kind.outside;
                snd()->beginTransaction("benchMarker");
                snd()->endTransaction(false);
            }
            const std::uint64_t ended = snd()->transactionsEnded();
            waitFor([&] { return snd()->transactionsApplied() >= ended; }, 600000);
            kind.ms.push_back(double(t.nsecsElapsed()) / 1e6);
        };

        Kind move{"move mesh", {}}, material{"material change", {}}, erase{"erase mesh", {}},
            add{"add mesh", {}}, refMove{"move block reference", {}}, refErase{"erase block reference", {}};
        std::size_t nextMesh = 0, nextRef = 0;
        OdDbObjectId modelSpace = d.db->getModelSpaceId();
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < samples; ++i) {
                // Spread the touched entities over the whole drawing.
                const OdDbObjectId id =
                    d.meshes[(std::size_t(i) * 7919 + std::size_t(r) * 104729) % d.meshes.size()];
                timed(move, [&] {
                    OdDbEntityPtr e = id.safeOpenObject(OdDb::kForWrite);
                    e->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0, 0, 0.01)));
                });
                timed(material, [&] {
                    OdDbEntityPtr e = id.safeOpenObject(OdDb::kForWrite);
                    e->setMaterial(e->materialId() == d.red ? d.blue : d.red);
                });
                const OdDbObjectId ref = d.references[nextRef++ % d.references.size()];
                timed(refMove, [&] {
                    OdDbEntityPtr e = ref.safeOpenObject(OdDb::kForWrite);
                    e->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0, 0.01, 0)));
                });
            }
            for (int i = 0; i < samples; ++i) {
                timed(add, [&] {
                    OdDbBlockTableRecordPtr ms = modelSpace.safeOpenObject(OdDb::kForWrite);
                    d.meshes.push_back(ms->appendOdDbEntity(
                        zalBench::gridMesh(d.db.get(), -50.0 - i, -50.0 - r, 1, d.red, i)));
                });
                // Erase the one just added, so the drawing keeps its size.
                const OdDbObjectId victim = d.meshes.back();
                d.meshes.pop_back();
                timed(erase, [&] {
                    OdDbEntityPtr e = victim.safeOpenObject(OdDb::kForWrite);
                    e->erase(true);
                });
            }
            for (int i = 0; i < 2 && nextRef < d.references.size(); ++i) {
                const OdDbObjectId ref = d.references.back();
                d.references.pop_back();
                timed(refErase, [&] {
                    OdDbEntityPtr e = ref.safeOpenObject(OdDb::kForWrite);
                    e->erase(true);
                });
            }
            (void)nextMesh;
        }

        // 100 edits in one command: 100 meshes moved one after the other, until the viewer has all of them.
        std::vector<double> batches;
        int batchTransactions = 0;
        for (int r = 0; r < rounds; ++r) {
            const std::uint64_t endedBefore = snd()->transactionsEnded();
            moveHundred.meshes = &d.meshes;
            moveHundred.round = r;
            QElapsedTimer t;
            t.start();
            host.console()->executeCommand(QStringLiteral("benchmovehundred"));
            batchTransactions = int(snd()->transactionsEnded() - endedBefore);
            if (batchTransactions == 0) {
                snd()->beginTransaction("benchMarker");
                snd()->endTransaction(false);
            }
            const std::uint64_t ended = snd()->transactionsEnded();
            waitFor([&] { return snd()->transactionsApplied() >= ended; }, 600000);
            batches.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        const double editsMs = double(sinceSync.nsecsElapsed()) / 1e6;

        std::vector<double> all;
        for (Kind* k : {&move, &material, &erase, &add, &refMove, &refErase}) {
            std::printf("%8d %-22s %8.2f %8.2f %8.2f %8.2f %8zu %d / %d\n", size, k->name,
                        zalBench::quantile(k->ms, 0.5), zalBench::quantile(k->ms, 0.9),
                        zalBench::quantile(k->ms, 0.99), zalBench::quantile(k->ms, 1.0), k->ms.size(),
                        k->inside, k->outside);
            if (k != &refMove && k != &refErase) all.insert(all.end(), k->ms.begin(), k->ms.end());
        }
        std::printf("%8d %-22s %8.2f ms median of %d (min %.2f, max %.2f), %d transactions per command\n",
                    size, "100 moves in a command", zalBench::median(batches), rounds,
                    zalBench::quantile(batches, 0), zalBench::quantile(batches, 1.0), batchTransactions);
        std::fflush(stdout);
        p50OfSize[size] = zalBench::quantile(all, 0.5);
        p99OfSize[size] = zalBench::quantile(all, 0.99);
        batchOfSize[size] = zalBench::median(batches);
        reportFirstBuild(s, dir, size, beforeDrawing, editsMs);
        std::fflush(stdout);

        zalBench::closeSession(host, view, s, 10000);
    }

    const int large = sizes.back(), small = sizes.front();
    std::printf("targets: p50 <= 2 ms and p99 <= 10 ms at the largest size (move, material, erase, add), p50 "
                "largest/smallest <= 2, 100 edits <= 50 ms\n");
    std::printf(
        "edit latency: p50 %dk %.2f ms, p99 %dk %.2f ms, p50 %dk/%dk ratio %.2f, 100 edits at %dk %.1f ms\n",
        large / 1000, p50OfSize[large], large / 1000, p99OfSize[large], large / 1000, small / 1000,
        p50OfSize[small] > 0 ? p50OfSize[large] / p50OfSize[small] : 0.0, large / 1000, batchOfSize[large]);
    odedRegCmds()->removeCmd(L"Bench", L"benchmovehundred");
    odrxDynamicLinker()->unloadModule(L"zalUnrealRenderModule.dll");
    return 0;
}
