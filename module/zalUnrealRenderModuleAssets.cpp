// The asset library: the preset materials built into the viewer and the packages under the material
// library's "Viewer Assets" folder, listed for the host's pickers.
#include "zalUnrealRenderModule.h"

#include "IzalApplication.h"
#include "IzalPhysicsMaterialsModule.h"
#include "XoJson.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Asset name and display name of the materials the viewer carries itself, in picker order.
const char* const kPresetMaterials[][2] = {
    {"M_Basic_Wall", "Basic Wall"},
    {"M_Brick_Clay_Beveled", "Brick Clay Beveled"},
    {"M_Brick_Clay_Old", "Brick Clay Old"},
    {"M_Brick_Cut_Stone", "Brick Cut Stone"},
    {"M_Brick_Hewn_Stone", "Brick Hewn Stone"},
    {"M_Ceramic_Tile_Checker", "Ceramic Tile Checker"},
    {"M_CobbleStone_Pebble", "CobbleStone Pebble"},
    {"M_CobbleStone_Rough", "CobbleStone Rough"},
    {"M_CobbleStone_Smooth", "CobbleStone Smooth"},
    {"M_Concrete_Grime", "Concrete Grime"},
    {"M_Concrete_Panels", "Concrete Panels"},
    {"M_Concrete_Poured", "Concrete Poured"},
    {"M_Concrete_Tiles", "Concrete Tiles"},
    {"M_Glass", "Glass"},
    {"M_Ground_Grass", "Ground Grass"},
    {"M_Ground_Gravel", "Ground Gravel"},
    {"M_Ground_Moss", "Ground Moss"},
    {"M_Water_Clean", "Water Clean"},
    {"M_Water_Clean_100", "Water Clean x100"},
    {"M_Water_Clean_Cheaper", "Water Clean Cheaper"},
    {"M_Water_Opaque", "Water Opaque"},
    {"M_Water_Pixelated", "Water Pixelated"},
    {"M_Waterfall", "Waterfall"},
    {"M_Waterfall_100", "Waterfall x100"},
    {"M_Waterfall_Cheaper", "Waterfall Cheaper"},
    {"M_Waterfall_Foam", "Waterfall Foam"},
    {"M_WaterPond_100", "Water Pond x100"},
    {"M_WaterSplash", "Water Splash"},
    {"M_Lake", "Lake"},
    {"M_Lake_Cheaper", "Lake Cheaper"},
    {"M_Ocean", "Ocean"},
    {"M_Ocean_100", "Ocean x100"},
    {"M_Ocean_Cheaper", "Ocean Cheaper"},
    {"M_Ocean_Distance", "Ocean Distance"},
    {"M_Ocean_Radial", "Ocean Radial"},
    {"M_Ocean_Radial_Cheaper", "Ocean Radial Cheaper"},
    {"M_PondScum", "Pond Scum"},
    {"M_PondScum_Cheaper", "Pond Scum Cheaper"},
    {"M_Rapids", "Rapids"},
    {"M_Rapids_100", "Rapids x100"},
    {"M_Rapids_Cheaper", "Rapids Cheaper"},
    {"M_RapidsBank", "Rapids Bank"},
    {"M_River", "River"},
    {"M_River_100", "River x100"},
    {"M_River_Cheaper", "River Cheaper"},
    {"M_River_Rock", "River Rock"},
    {"M_Riverbank", "Riverbank"},
    {"MIC_Lake_Waterfall", "Lake Waterfall"},
    {"MIC_Lake_Waterfall_Cheaper", "Lake Waterfall Cheaper"},
    {"MIC_Riverbank_Pond", "Riverbank Pond"},
    {"MIC_Waterfall_Arc", "Waterfall Arc"},
    {"MIC_Waterfall_Arc_2", "Waterfall Arc2"},
    {"MIC_Waterfall_Arc_Cheaper", "Waterfall Arc Cheaper"},
    {"M_Metal_Brushed_Nickel", "Metal Brushed Nickel"},
    {"M_Metal_Burnished_Steel", "Metal Burnished Steel"},
    {"M_Metal_Chrome", "Metal Chrome"},
    {"M_Metal_Copper", "Metal Copper"},
    {"M_Metal_Gold", "Metal Gold"},
    {"M_Metal_Rust", "Metal Rust"},
    {"M_Metal_Steel", "Metal Steel"},
    {"M_Rock_Basalt", "Rock Basalt"},
    {"M_Rock_Marble_Polished", "Rock Marble Polished"},
    {"M_Rock_Sandstone", "Rock Sandstone"},
    {"M_Rock_Slate", "Rock Slate"},
    {"M_Sand", "Sand"},
    {"M_Tech_Checker_Dot", "Tech Checker Dot"},
    {"M_Tech_Hex_Tile", "Tech Hex Tile"},
    {"M_Tech_Hex_Tile_Pulse", "Tech Hex Tile Pulse"},
    {"M_Tech_Panel", "Tech Panel"},
    {"M_Wood_Floor_Walnut_Polished", "Wood Floor Walnut Polished"},
    {"M_Wood_Floor_Walnut_Worn", "Wood Floor Walnut Worn"},
    {"M_Wood_Oak", "Wood Oak"},
    {"M_Wood_Pine", "Wood Pine"},
    {"M_Wood_Walnut", "Wood Walnut"},
};

// Appends the library's assets whose "assetType" is one of types; packages in directory order.
void scanLibrary(const QString& root, const QStringList& types, QStringList& names, QStringList& paks,
                 QStringList& displayNames, QStringList& thumbnails)
{
    if (root.isEmpty()) return;
    const QStringList packages = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& package : packages) {
        QFile file(root + QLatin1Char('/') + package + QLatin1String("/Resources/PakInfo.json"));
        if (!file.exists() || !file.open(QIODevice::ReadOnly)) continue;
        // Invalid JSON gives an empty array: the package lists nothing.
        const QJsonArray assets = xoParseJson(file.readAll()).array();
        for (const QJsonValue& value : assets) {
            const QJsonObject asset = value.toObject();
            if (!types.contains(asset.value(QLatin1String("assetType")).toString())) continue;
            names << asset.value(QLatin1String("assetName")).toString();
            paks << asset.value(QLatin1String("pakFile")).toString().remove(QLatin1String(".pak"));
            displayNames << asset.value(QLatin1String("displayName")).toString();
            thumbnails << root + QLatin1Char('/') + package + QLatin1Char('/') +
                              asset.value(QLatin1String("thumbnailName")).toString();
        }
    }
}

} // namespace

QString zalUnrealRenderModule::assetsLibraryPath() const
{
    IzalPhysicsMaterialsModule* materials =
        zalService<IzalPhysicsMaterialsModule>(IzalPhysicsMaterialsModule_id);
    // Without the service there is no library to ask about: the caller skips its work.
    if (!materials) return QString();
    const QString root = materials->materialLibraryRoot();
    const QString path = root + QLatin1String("/Viewer Assets");
    // An empty root names no folder of the user's: the path is answered, but nothing is created at
    // the file system's root.
    if (!root.isEmpty()) QDir().mkpath(path);
    return path;
}

int zalUnrealRenderModule::getAvailableMaterialAssets(QStringList& names, QStringList& paks,
                                                      QStringList& displayNames, QStringList& thumbnails)
{
    for (const auto& preset : kPresetMaterials) {
        const QString name = QString::fromLatin1(preset[0]);
        names << name;
        paks << QStringLiteral("Embedded");
        displayNames << QString::fromLatin1(preset[1]);
        thumbnails << QLatin1String(":/viewer_materials_thumbnails/") + name + QLatin1String(".jpg");
    }
    scanLibrary(assetsLibraryPath(), {QStringLiteral("Material")}, names, paks, displayNames, thumbnails);
    return names.size();
}

int zalUnrealRenderModule::getAvailableComponentAssets(QStringList& names, QStringList& paks,
                                                       QStringList& displayNames, QStringList& thumbnails)
{
    scanLibrary(assetsLibraryPath(), {QStringLiteral("StaticMesh"), QStringLiteral("SkeletalMesh")}, names,
                paks, displayNames, thumbnails);
    return names.size();
}
