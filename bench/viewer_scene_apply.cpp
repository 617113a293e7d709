// The viewer's scene taking one long transaction as a host's first run sends it: N entities (an instance and
// its mesh each) and then every pair confirmed twice. Frames are decoded beforehand; what is timed is the
// viewer's own work on them: preparing meshes, instances and confirmations as they arrive, then applying
// everything at the transaction's end (adds, then confirmations), which the user waits for. The same
// transaction is then applied again over the drawing it left (every add a replacement, every confirmation of
// a held pair), as a refresh does. Times are this thread's processor time, medians over the rounds, so that
// other processes move them less.
//
//   build/bin/bench_viewer_scene_apply [rounds] [entities]
//
// Ends with one line: "scene apply: N entities, ms: prepare P, adds A, confirmations C (c ns each); again:
// adds A2, confirmations C2; heap held by the scene H MiB".
#include "XoRemoteRenderMessage.h"
#include "zalViewerScene.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using Message = std::shared_ptr<const XoRemoteRenderMessage>;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Message received(const XoRemoteRenderMessage& sent)
{
    auto m = std::make_shared<XoRemoteRenderMessage>();
    std::string error;
    if (!XoRemoteRenderMessage::decode(sent.frameBytes(), *m, error)) {
        std::fprintf(stderr, "cannot decode: %s\n", error.c_str());
        std::exit(1);
    }
    return m;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Transaction
{
    std::vector<Message> instances, meshes, confirmations;
};

// Names shaped as the module makes them: a handle per entity, its mesh named after it and its material.
Transaction drawing(int entities)
{
    Transaction t;
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const std::int32_t faces[1] = {3};
    const std::string block = "D_AcDbBlockTableRecord_1F";
    for (int i = 0; i < entities; ++i) {
        char handle[32];
        std::snprintf(handle, sizeof handle, "D_AcDbShell_%X", 0x200 + i);
        const std::string entity = handle;
        const std::string mesh = entity + "_D_AcDbMaterial_1F";
        XoRemoteRenderMessage inst(XoMessageType::AddInstance);
        inst.addString(entity).addString(block).addString("").addString(entity).addFloatArray(identity, 16);
        inst.addString("D_AcDbMaterial_1F");
        t.instances.push_back(received(inst));
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(mesh).addString(entity).addString("");
        m.addFloatArray(positions, 9).addFloatArray(nullptr, 0).addFloatArray(nullptr, 0);
        m.addFloatArray(nullptr, 0).addIntArray(nullptr, 0).addIntArray(faces, 1).addInt(1).addInt(3);
        m.addString("D_AcDbMaterial_1F").addString("D_AcDbMaterial_1F");
        t.meshes.push_back(received(m));
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < entities; ++i) {
            const XoRemoteRenderMessage& inst = *t.instances[std::size_t(i)];
            const XoRemoteRenderMessage& mesh = *t.meshes[std::size_t(i)];
            for (const XoRemoteRenderMessage* held : {&inst, &mesh}) {
                XoRemoteRenderMessage c(XoMessageType::AssureEntityConnected);
                c.addString(std::string(held->field("name").data, held->field("name").size));
                c.addString(std::string(held->field("parent").data, held->field("parent").size));
                t.confirmations.push_back(received(c));
            }
        }
    }
    return t;
}

struct Figures
{
    double prepare = 0, adds = 0, confirmations = 0;
};

Figures apply(zalViewerScene& scene, const Transaction& t)
{
    Figures f;
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    double start = cpuMs();
    std::vector<zalViewerScene::PreparedInstance> instances;
    std::vector<zalViewerScene::PreparedMesh> meshes;
    instances.reserve(t.instances.size());
    meshes.reserve(t.meshes.size());
    for (std::size_t i = 0; i < t.instances.size(); ++i) {
        instances.push_back(scene.prepareInstance(*t.instances[i]));
        meshes.push_back(scene.prepareMesh(t.meshes[i]));
    }
    std::vector<zalViewerScene::Key> confirmations;
    confirmations.reserve(t.confirmations.size());
    for (const Message& c : t.confirmations)
        confirmations.push_back(scene.connectKey(*c));
    f.prepare = cpuMs() - start;
    start = cpuMs();
    for (std::size_t i = 0; i < instances.size(); ++i) {
        scene.applyInstance(std::move(instances[i]), lost, errors);
        scene.applyMesh(std::move(meshes[i]), lost, errors);
    }
    f.adds = cpuMs() - start;
    start = cpuMs();
    for (const zalViewerScene::Key& key : confirmations)
        scene.connect(key, lost, errors);
    f.confirmations = cpuMs() - start;
    if (!lost.empty() || !errors.isEmpty()) {
        std::fprintf(stderr, "the scene refused %zu entities\n", lost.size());
        std::exit(1);
    }
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int entities = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    const Transaction t = drawing(entities);
    const double framesMiB = double(mallinfo2().uordblks) / 1048576.0;
    std::vector<double> prepare, adds, confirmations, adds2, confirmations2, held;
    for (int r = 0; r < rounds; ++r) {
        zalViewerScene scene;
        const Figures first = apply(scene, t);
        // What the scene holds once the transaction is applied; the received frames are not counted.
        held.push_back(double(mallinfo2().uordblks) / 1048576.0 - framesMiB);
        const Figures again = apply(scene, t);
        std::printf("round %d: prepare %.1f ms, adds %.1f ms, confirmations %.1f ms; again: adds %.1f ms, "
                    "confirmations %.1f ms\n",
                    r + 1, first.prepare, first.adds, first.confirmations, again.adds, again.confirmations);
        prepare.push_back(first.prepare);
        adds.push_back(first.adds);
        confirmations.push_back(first.confirmations);
        adds2.push_back(again.adds);
        confirmations2.push_back(again.confirmations);
    }
    std::printf("scene apply: %d entities, ms: prepare %.1f, adds %.1f, confirmations %.1f (%.0f ns each); "
                "again: adds %.1f, confirmations %.1f; heap held by the scene %.1f MiB\n",
                entities, median(prepare), median(adds), median(confirmations),
                median(confirmations) * 1e6 / double(t.confirmations.size()), median(adds2),
                median(confirmations2), median(held));
    return 0;
}
