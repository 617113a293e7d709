// The asset library's package description: the input is the PakInfo.json of one package of the
// material library, read through the module's asset lists.
#include "zalFuzzModuleHost.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zalFuzz::ModuleHost& h = zalFuzz::moduleHost();
    const QString library = h.module->assetsLibraryPath();
    if (library.isEmpty() || !QDir().mkpath(library + QStringLiteral("/Pack/Resources"))) abort();
    QFile file(library + QStringLiteral("/Pack/Resources/PakInfo.json"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    QStringList names, paks, displayNames, thumbnails;
    h.module->getAvailableComponentAssets(names, paks, displayNames, thumbnails);
    h.module->getAvailableMaterialAssets(names, paks, displayNames, thumbnails);
    return 0;
}
