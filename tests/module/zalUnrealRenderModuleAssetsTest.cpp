// The asset library: where it lives, the preset materials and the packages of real library folders.
#include "tests/common/zalModuleTestHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMovie>

#include "IzalPhysicsMaterialsModule.h"

#include <cstdlib>
#include <memory>

namespace {

const QStringList kPresetNames =
    QString(
        "M_Basic_Wall|M_Brick_Clay_Beveled|M_Brick_Clay_Old|M_Brick_Cut_Stone|M_Brick_Hewn_Stone|"
        "M_Ceramic_Tile_Checker|M_CobbleStone_Pebble|M_CobbleStone_Rough|M_CobbleStone_Smooth|M_Concrete_"
        "Grime|"
        "M_Concrete_Panels|M_Concrete_Poured|M_Concrete_Tiles|M_Glass|M_Ground_Grass|M_Ground_Gravel|M_"
        "Ground_Moss|"
        "M_Water_Clean|M_Water_Clean_100|M_Water_Clean_Cheaper|M_Water_Opaque|M_Water_Pixelated|M_Waterfall|"
        "M_Waterfall_100|M_Waterfall_Cheaper|M_Waterfall_Foam|M_WaterPond_100|M_WaterSplash|M_Lake|M_Lake_"
        "Cheaper|"
        "M_Ocean|M_Ocean_100|M_Ocean_Cheaper|M_Ocean_Distance|M_Ocean_Radial|M_Ocean_Radial_Cheaper|M_"
        "PondScum|"
        "M_PondScum_Cheaper|M_Rapids|M_Rapids_100|M_Rapids_Cheaper|M_RapidsBank|M_River|M_River_100|"
        "M_River_Cheaper|M_River_Rock|M_Riverbank|MIC_Lake_Waterfall|MIC_Lake_Waterfall_Cheaper|"
        "MIC_Riverbank_Pond|MIC_Waterfall_Arc|MIC_Waterfall_Arc_2|MIC_Waterfall_Arc_Cheaper|"
        "M_Metal_Brushed_Nickel|M_Metal_Burnished_Steel|M_Metal_Chrome|M_Metal_Copper|M_Metal_Gold|M_Metal_"
        "Rust|"
        "M_Metal_Steel|M_Rock_Basalt|M_Rock_Marble_Polished|M_Rock_Sandstone|M_Rock_Slate|M_Sand|"
        "M_Tech_Checker_Dot|M_Tech_Hex_Tile|M_Tech_Hex_Tile_Pulse|M_Tech_Panel|M_Wood_Floor_Walnut_Polished|"
        "M_Wood_Floor_Walnut_Worn|M_Wood_Oak|M_Wood_Pine|M_Wood_Walnut")
        .split('|');

const QStringList kPresetDisplayNames =
    QString(
        "Basic Wall|Brick Clay Beveled|Brick Clay Old|Brick Cut Stone|Brick Hewn Stone|Ceramic Tile Checker|"
        "CobbleStone Pebble|CobbleStone Rough|CobbleStone Smooth|Concrete Grime|Concrete Panels|Concrete "
        "Poured|"
        "Concrete Tiles|Glass|Ground Grass|Ground Gravel|Ground Moss|Water Clean|Water Clean x100|"
        "Water Clean Cheaper|Water Opaque|Water Pixelated|Waterfall|Waterfall x100|Waterfall Cheaper|"
        "Waterfall Foam|Water Pond x100|Water Splash|Lake|Lake Cheaper|Ocean|Ocean x100|Ocean Cheaper|"
        "Ocean Distance|Ocean Radial|Ocean Radial Cheaper|Pond Scum|Pond Scum Cheaper|Rapids|Rapids x100|"
        "Rapids Cheaper|Rapids Bank|River|River x100|River Cheaper|River Rock|Riverbank|Lake Waterfall|"
        "Lake Waterfall Cheaper|Riverbank Pond|Waterfall Arc|Waterfall Arc2|Waterfall Arc Cheaper|"
        "Metal Brushed Nickel|Metal Burnished Steel|Metal Chrome|Metal Copper|Metal Gold|Metal Rust|Metal "
        "Steel|"
        "Rock Basalt|Rock Marble Polished|Rock Sandstone|Rock Slate|Sand|Tech Checker Dot|Tech Hex Tile|"
        "Tech Hex Tile Pulse|Tech Panel|Wood Floor Walnut Polished|Wood Floor Walnut Worn|Wood Oak|Wood Pine|"
        "Wood Walnut")
        .split('|');

struct Listing
{
    QStringList names, paks, displayNames, thumbnails;
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class AssetLibrary : public zalModuleTestHost
{
protected:
    QString libraryRoot() const
    {
        return dir.filePath(zalTestHost::materialLibraryFolder()) + "/Viewer Assets";
    }

    Listing materials(int* count = nullptr)
    {
        Listing l;
        const int n = module->getAvailableMaterialAssets(l.names, l.paks, l.displayNames, l.thumbnails);
        if (count) *count = n;
        return l;
    }
    Listing components(int* count = nullptr)
    {
        Listing l;
        const int n = module->getAvailableComponentAssets(l.names, l.paks, l.displayNames, l.thumbnails);
        if (count) *count = n;
        return l;
    }
};

TEST_F(AssetLibrary, withoutALibraryTheSeventyFourPresetsAreListedAndTheFolderIsCreated)
{
    ASSERT_FALSE(QFileInfo::exists(libraryRoot()));
    EXPECT_EQ(module->assetsLibraryPath(), libraryRoot());
    EXPECT_TRUE(QFileInfo(libraryRoot()).isDir());

    ASSERT_TRUE(QDir(libraryRoot()).removeRecursively());
    ASSERT_TRUE(QDir(dir.filePath(zalTestHost::materialLibraryFolder())).removeRecursively());
    int count = 0;
    const Listing l = materials(&count);
    EXPECT_EQ(count, 74);
    EXPECT_EQ(l.names, kPresetNames);
    EXPECT_EQ(l.displayNames, kPresetDisplayNames);
    EXPECT_EQ(l.paks, QStringList(QVector<QString>(74, "Embedded").toList()));
    ASSERT_EQ(l.thumbnails.size(), 74);
    EXPECT_EQ(l.thumbnails.first(), ":/viewer_materials_thumbnails/M_Basic_Wall.jpg");
    EXPECT_EQ(l.thumbnails.last(), ":/viewer_materials_thumbnails/M_Wood_Walnut.jpg");
    EXPECT_TRUE(QFileInfo(libraryRoot()).isDir()) << "listing asks for the library path, which creates it";

    int componentCount = -1;
    EXPECT_TRUE(components(&componentCount).names.isEmpty());
    EXPECT_EQ(componentCount, 0);
}

TEST_F(AssetLibrary, entriesAreAppendedToWhatTheListsHold)
{
    Listing l;
    l.names << "Mine";
    l.paks << "MinePak";
    l.displayNames << "My Own";
    l.thumbnails << "mine.png";
    EXPECT_EQ(module->getAvailableMaterialAssets(l.names, l.paks, l.displayNames, l.thumbnails), 75);
    EXPECT_EQ(l.names.first(), "Mine");
    EXPECT_EQ(l.names.at(1), "M_Basic_Wall");
    EXPECT_EQ(l.thumbnails.size(), 75);
    EXPECT_EQ(module->getAvailableComponentAssets(l.names, l.paks, l.displayNames, l.thumbnails), 75);
}

TEST_F(AssetLibrary, packagesListTheirAssetsByTypeInFileOrder)
{
    const QString root = module->assetsLibraryPath();
    ASSERT_EQ(root, libraryRoot());
    ASSERT_TRUE(writeFile(root + "/Broken/Resources/PakInfo.json",
                          R"([{"assetType": "Material", "assetName": "M_Lost", "pakFile": "Broken.pak"},)"));
    ASSERT_TRUE(QDir().mkpath(root + "/NoInfo/Resources"));
    ASSERT_TRUE(writeFile(root + "/NoInfo/Content/readme.txt", "no description here"));
    ASSERT_TRUE(QDir().mkpath(root + "/FolderInsteadOfFile/Resources/PakInfo.json"));
    ASSERT_TRUE(writeFile(root + "/NotAPackage.json", "[]"));
    ASSERT_TRUE(writeFile(root + "/Nature/Resources/PakInfo.json", R"([
        {"pakFile": "NatureMaterials.pak", "pakUrl": "downloads/n.pak", "thumbnailName": "thumbs/moss.png",
         "assetName": "M_Moss", "assetType": "Material", "displayName": "Moss", "extra": 12},
        {"pakFile": "NatureTrees.pak", "pakUrl": "", "thumbnailName": "thumbs/oak.png",
         "assetName": "SM_Oak", "assetType": "StaticMesh", "displayName": "Oak"},
        {"pakFile": "NatureAnimals", "thumbnailName": "thumbs/deer.png",
         "assetName": "SK_Deer", "assetType": "SkeletalMesh", "displayName": "Deer"},
        {"pakFile": "NatureMaterials.pak", "thumbnailName": "thumbs/leaf.png",
         "assetName": "T_Leaf", "assetType": "Texture", "displayName": "Leaf texture"},
        {"pakFile": "Shared", "assetName": "M_Bark", "assetType": "Material"},
        {"pakFile": "Rocks.pak.pak", "thumbnailName": "rock.png",
         "assetName": "SM_Rock", "assetType": "StaticMesh", "displayName": "Rock"},
        "not an object"
    ])"));

    int count = 0;
    const Listing m = materials(&count);
    EXPECT_EQ(count, 76);
    EXPECT_EQ(m.names.mid(74), QStringList({"M_Moss", "M_Bark"}));
    EXPECT_EQ(m.paks.mid(74), QStringList({"NatureMaterials", "Shared"}));
    EXPECT_EQ(m.displayNames.mid(74), QStringList({"Moss", ""}));
    EXPECT_EQ(m.thumbnails.mid(74), QStringList({root + "/Nature/thumbs/moss.png", root + "/Nature/"}));

    const Listing c = components(&count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(c.names, QStringList({"SM_Oak", "SK_Deer", "SM_Rock"}));
    EXPECT_EQ(c.paks, QStringList({"NatureTrees", "NatureAnimals", "Rocks"}));
    EXPECT_EQ(c.displayNames, QStringList({"Oak", "Deer", "Rock"}));
    EXPECT_EQ(c.thumbnails, QStringList({root + "/Nature/thumbs/oak.png", root + "/Nature/thumbs/deer.png",
                                         root + "/Nature/rock.png"}));
}

// A key given twice counts with its last value, whatever the first one held. Qt's parser loses the arrays and
// objects it drops that way: under the sanitizers this test fails unless the leak checker ignores that loss.
TEST_F(AssetLibrary, aKeyGivenTwiceCountsWithItsLastValue)
{
    const QString root = module->assetsLibraryPath();
    ASSERT_TRUE(writeFile(root + "/Twice/Resources/PakInfo.json", R"([
        {"assetType": {"kind": "StaticMesh"}, "pakFile": ["T.pak"], "assetName": "SM_Twice",
         "assetType": "StaticMesh", "pakFile": "Twice.pak", "tags": [1, 2], "tags": [3]},
        {"assetType": "StaticMesh", "assetName": "SM_Once", "pakFile": "Twice.pak", "assetType": "Texture"}
    ])"));
    const Listing c = components();
    ASSERT_EQ(c.names, QStringList({"SM_Twice"}));
    EXPECT_EQ(c.paks, QStringList({"Twice"}));
}

TEST_F(AssetLibrary, everyPackageContributesItsOwnBlock)
{
    const QString root = module->assetsLibraryPath();
    ASSERT_TRUE(writeFile(root + "/Alpha/Resources/PakInfo.json",
                          R"([{"pakFile": "A.pak", "assetName": "SM_A1", "assetType": "StaticMesh"},
                              {"pakFile": "A.pak", "assetName": "SM_A2", "assetType": "StaticMesh"}])"));
    ASSERT_TRUE(writeFile(root + "/Beta/Resources/PakInfo.json",
                          R"([{"pakFile": "B.pak", "assetName": "SM_B1", "assetType": "SkeletalMesh"}])"));
    const Listing c = components();
    ASSERT_EQ(c.names.size(), 3);
    // The folders are taken in the file system's order; each package's entries stay together, in order.
    const int alpha = c.names.indexOf("SM_A1");
    ASSERT_GE(alpha, 0);
    EXPECT_EQ(c.names.value(alpha + 1), "SM_A2");
    EXPECT_TRUE(c.names.contains("SM_B1"));
    EXPECT_EQ(c.paks.at(c.names.indexOf("SM_B1")), "B");
}

// A host without the physical material library has nowhere to keep assets.
class AssetLibraryWithoutMaterials : public AssetLibrary
{
protected:
    void SetUp() override
    {
        startHost(false, zalHostOptions::AllServices & ~zalHostOptions::PhysicsMaterials);
    }
};

TEST_F(AssetLibraryWithoutMaterials, onlyThePresetsAreListed)
{
    EXPECT_EQ(module->assetsLibraryPath(), QString());
    int count = 0;
    EXPECT_EQ(materials(&count).names, kPresetNames);
    EXPECT_EQ(count, 74);
    EXPECT_TRUE(components(&count).names.isEmpty());
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(zalTestHost::materialLibraryFolder())));
}

TEST_F(AssetLibrary, everyPresetThumbnailAndTheLoaderAnimationAreResourcesOfTheModule)
{
    const Listing l = materials();
    ASSERT_EQ(l.thumbnails.size(), 74);
    for (int i = 0; i < l.thumbnails.size(); ++i) {
        const QImage image(l.thumbnails.at(i));
        ASSERT_FALSE(image.isNull()) << l.thumbnails.at(i).toStdString();
        EXPECT_EQ(image.size(), QSize(128, 128));
        // A sphere on the background: the centre differs from the corner.
        const QColor centre = image.pixelColor(64, 64), corner = image.pixelColor(2, 2);
        EXPECT_GT(std::abs(centre.red() - corner.red()) + std::abs(centre.green() - corner.green()) +
                      std::abs(centre.blue() - corner.blue()),
                  10)
            << l.thumbnails.at(i).toStdString();
    }
    // Gold is yellow, the ocean blue.
    const QColor gold = QImage(l.thumbnails.at(kPresetNames.indexOf("M_Metal_Gold"))).pixelColor(64, 64);
    EXPECT_GT(gold.red(), gold.blue() + 40);
    const QColor ocean = QImage(l.thumbnails.at(kPresetNames.indexOf("M_Ocean"))).pixelColor(64, 64);
    EXPECT_GT(ocean.blue(), ocean.red() + 30);

    QMovie loader(":/resources/ajax-loader1.gif");
    ASSERT_TRUE(loader.isValid());
    EXPECT_GT(loader.frameCount(), 1);
    ASSERT_TRUE(loader.jumpToNextFrame());
    const QImage first = loader.currentImage();
    EXPECT_EQ(first.size(), QSize(48, 48));
    for (int i = 0; i < loader.frameCount() / 2; ++i)
        ASSERT_TRUE(loader.jumpToNextFrame());
    EXPECT_NE(first, loader.currentImage());
}

// A material library whose root is not set.
class EmptyRootMaterials : public QObject, public IzalPhysicsMaterialsModule
{
    Q_OBJECT
    Q_INTERFACES(IzalPhysicsMaterialsModule)
public:
    QString materialLibraryRoot() const override { return QString(); }
    std::shared_ptr<IzalPhysicsMaterial> materialDescription(const OdDbObjectId&) const override
    {
        return nullptr;
    }
};

TEST_F(AssetLibrary, anEmptyLibraryRootStillNamesTheViewerAssetsFolderButCreatesNothing)
{
    const bool existedBefore = QFileInfo::exists("/Viewer Assets");
    QObject* own = host->service(IzalPhysicsMaterialsModule_id);
    ASSERT_NE(own, nullptr);
    ASSERT_TRUE(host->unregisterService(IzalPhysicsMaterialsModule_id, own));
    EmptyRootMaterials empty;
    ASSERT_TRUE(host->registerService(IzalPhysicsMaterialsModule_id, &empty));

    EXPECT_EQ(module->assetsLibraryPath(), QString("/Viewer Assets"));
    int count = 0;
    EXPECT_EQ(materials(&count).names, kPresetNames);
    EXPECT_EQ(count, 74);
    EXPECT_EQ(QFileInfo::exists("/Viewer Assets"), existedBefore);

    host->unregisterService(IzalPhysicsMaterialsModule_id, &empty);
    host->registerService(IzalPhysicsMaterialsModule_id, own);
}

#include "zalUnrealRenderModuleAssetsTest.moc"
