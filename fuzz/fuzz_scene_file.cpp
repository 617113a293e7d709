// A scene file (the per-scene INI of render settings) loaded into a session: every value it holds
// is applied, which turns it into viewer commands on the recording channel.
#include "zalFuzzModuleHost.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zalFuzz::ModuleHost& h = zalFuzz::moduleHost();
    const QString path = zalFuzz::writeFile(QStringLiteral("scene_ue5.rsc"), data, size);
    if (path.isEmpty()) return 0;
    h.session->loadScene(path);
    h.recorder->clear();
    return 0;
}
