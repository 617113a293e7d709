// Material translation: the addMaterial arguments built from physical descriptions, and sending them
// through a session of the reference host to a recording viewer channel.
#include "translate/zalUnrealMaterialTranslator.h"

#include "tests/common/zalModuleTestHost.h"

#include "zalHostPhysicsMaterial.h"

#include "DbDictionary.h"
#include "DbLayerTableRecord.h"
#include "DbMaterial.h"

#include <QJsonObject>

namespace {

using Channel = zalHostPhysicsMaterial;

// The segments every description below ends with when these channels are unset.
const QString kSpecularToIor = ",SpecularMap:0;0;0:1";
const QString kDefaultNormal = ",NormalsMap:0;0;1:1";
const QString kDefaultLightToIor =
    ",LightingMap:0.5;0.5;0.5:1,DisplacementMap:0;0;0:1,IORMap:1.05;1.05;1.05:1";
const QString kDefaultTail =
    ",EmissionMap:0;0;0:500" + kSpecularToIor + kDefaultNormal + ",RoughnessMap:1;1;1:1" + kDefaultLightToIor;
// 127/255, the green of the water presets' (0, 127, 255), as the shortest exact double.
const QString kWaterGreen = "0.4980392156862745";
const std::uint32_t kGrey = 128 | 128 << 8 | 128 << 16;
const std::uint32_t kWaterBlue = 0 | 127 << 8 | 255 << 16;

std::shared_ptr<zalHostPhysicsMaterial> describe(const QString& base, int shaderType,
                                                 const QString& tags = {})
{
    auto d = std::make_shared<zalHostPhysicsMaterial>();
    d->setBaseMaterial(base);
    d->setShaderType(shaderType, tags);
    return d;
}

struct Expected
{
    QString base;
    QString texture;
    std::uint32_t colour;
    float opacity;
    QString secondTexture;
    QString parameters;
};

void expectTranslation(const zalHostPhysicsMaterial& d, const Expected& e)
{
    const zalUnrealMaterialTranslator::Material m = zalUnrealMaterialTranslator::translate(d);
    EXPECT_EQ(m.baseMaterial, e.base);
    EXPECT_EQ(m.texture, e.texture);
    EXPECT_EQ(m.colour, e.colour);
    EXPECT_FLOAT_EQ(m.opacity, e.opacity);
    EXPECT_EQ(m.secondTexture, e.secondTexture);
    EXPECT_EQ(m.parameters, e.parameters);
}

} // namespace

TEST(MaterialArguments, plainColourIsMatteWithEveryDefault)
{
    auto d = describe("Paint", 0);
    d->setChannel("diffuseColor", Channel::colorChannel(0.2, 0.4, 0.8, 1.0));
    expectTranslation(*d, {"Paint [ConfigurableMaterialMatte]", "", 51 | 102 << 8 | 204 << 16, 1.0f, "",
                           "ShaderType:0,DiffuseMap:0.2;0.4;0.8:0.5,AlphaMap:1;1;1:1" + kDefaultTail});
}

TEST(MaterialArguments, colourIsClampedAndTheUnsetDiffuseIsMidGrey)
{
    auto d = describe("Bright [Tagged]", 0);
    d->setChannel("diffuseColor", Channel::colorChannel(2.0, 0.5, -1.0, 1.0));
    EXPECT_EQ(zalUnrealMaterialTranslator::translate(*d).colour, std::uint32_t(255 | 128 << 8 | 0 << 16));

    auto unset = describe("Plain [Tagged]", 0);
    const auto m = zalUnrealMaterialTranslator::translate(*unset);
    EXPECT_EQ(m.colour, kGrey);
    // A base that already carries a bracketed tag is not made matte.
    EXPECT_EQ(m.baseMaterial, "Plain [Tagged]");
    EXPECT_TRUE(m.parameters.startsWith("ShaderType:0,DiffuseMap:0.5;0.5;0.5:0.5,"));
}

TEST(MaterialArguments, texturedDiffuseSendsItsFileAndDoubleSlashesTheDriveColon)
{
    auto d = describe("Brick", 0);
    d->setChannel("diffuseColor", Channel::textureChannel("C:/tex/brick.png", 1.0, 2.0, 3.0, 0.25, 0.5));
    expectTranslation(
        *d, {"Brick [ConfigurableMaterialMatte]", "C:/tex/brick.png", kGrey, 1.0f, "",
             "ShaderType:0,DiffuseMap:C///tex/brick.png:1:0.25;0.5;2;3,AlphaMap:1;1;1:1" + kDefaultTail});
}

TEST(MaterialArguments, textureNamesPassTheResolver)
{
    QTemporaryDir library;
    ASSERT_TRUE(QDir(library.path()).mkpath("Textures"));
    QFile file(library.filePath("Textures/grain.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    auto d = std::make_shared<zalHostPhysicsMaterial>(library.path());
    d->setBaseMaterial("Wood [Tagged]");
    d->setChannel("diffuseColor", Channel::textureChannel("grain.png"));
    d->setChannel("opacity", Channel::textureChannel("missing.png"));
    const auto m = zalUnrealMaterialTranslator::translate(*d);
    const QString resolved = QDir::cleanPath(library.filePath("Textures/grain.png"));
    EXPECT_EQ(m.texture, resolved);
    EXPECT_EQ(m.secondTexture, "missing.png");
    EXPECT_TRUE(
        m.parameters.contains(",DiffuseMap:" + resolved + ":1:0;0;1;1,AlphaMap:missing.png:1:0;0;1;1,"))
        << m.parameters.toStdString();
}

TEST(MaterialArguments, secondTextureWithTheDiffuseFileNameIsDropped)
{
    auto same = describe("Leaf [Tagged]", 0);
    same->setChannel("diffuseColor", Channel::textureChannel("C:/tex/leaf.png"));
    same->setChannel("opacity", Channel::textureChannel("D:/alpha/leaf.png"));
    auto m = zalUnrealMaterialTranslator::translate(*same);
    EXPECT_EQ(m.texture, "C:/tex/leaf.png");
    EXPECT_EQ(m.secondTexture, "");
    EXPECT_FLOAT_EQ(m.opacity, 1.0f);
    EXPECT_TRUE(m.parameters.contains(",AlphaMap:D///alpha/leaf.png:1:0;0;1;1,"));

    auto other = describe("Leaf [Tagged]", 0);
    other->setChannel("diffuseColor", Channel::textureChannel("C:/tex/leaf.png"));
    other->setChannel("opacity", Channel::textureChannel("C:/tex/leaf_mask.png"));
    EXPECT_EQ(zalUnrealMaterialTranslator::translate(*other).secondTexture, "C:/tex/leaf_mask.png");
}

TEST(MaterialArguments, translucentWithEmptyTagsIsTheSimpleTranslucentMaterial)
{
    auto d = describe("Glass", 2);
    d->setChannel("diffuseColor", Channel::colorChannel(1.0, 0.5, 0.25, 1.0));
    d->setChannel("opacity", Channel::scalarChannel(0.4));
    // The colour and opacity are taken before the translucent scaling of the channels.
    expectTranslation(
        *d, {"Glass [ConfigurableMaterialTranslucentSimple]", "", 255 | 128 << 8 | 64 << 16, 0.4f, "",
             "ShaderType:1,DiffuseMap:0.001;0.0005;0.00025:0.0005,AlphaMap:0.1;0.1;0.1:0.1" + kDefaultTail});
}

TEST(MaterialArguments, translucentTagsAreRenamedOnce)
{
    const std::pair<int, QString> cases[][2] = {
        {{2, "Translucent"}, {0, "[ConfigurableMaterialTranslucentSimple]"}},
        {{3, "Translucent"}, {0, "[ConfigurableMaterialTranslucentSimple]"}},
        {{2, "[ConfigurableMaterialTranslucentThick]"}, {0, "[ConfigurableMaterialTranslucentSimple]"}},
        {{2, "[ConfigurableMaterialTranslucentThin]"}, {0, "[ConfigurableMaterialTranslucentThick]"}},
    };
    for (const auto& c : cases) {
        auto d = describe("Glass", c[0].first, c[0].second);
        const auto m = zalUnrealMaterialTranslator::translate(*d);
        EXPECT_EQ(m.baseMaterial, "Glass " + c[1].second) << c[0].second.toStdString();
        EXPECT_TRUE(m.parameters.startsWith("ShaderType:1,")) << m.parameters.toStdString();
    }
}

TEST(MaterialArguments, cleanWaterPreset)
{
    for (const QString& tags : {QString(), QString("Clean")}) {
        auto d = describe("Water", 3, tags);
        d->setDisplacement(Channel::colorChannel(0.3, 2.0, 0.0, 1.0));
        d->setChannel("metalness", Channel::colorChannel(0.1, 0.2, 0.3, 0.5));
        d->setChannel("emissiveColor", Channel::textureChannel("foam.png", 0.5, 2.0, 4.0));
        expectTranslation(
            *d, {"Water", "", kWaterBlue, 1.0f, "",
                 "ShaderType:2,WaveSpeed:2,WaveSize:0.3,DiffuseMap:0;" + kWaterGreen +
                     ";1:0.5,AlphaMap:1;1;1:0.5,EmissionMap:foam.png:0.5:0;0;0.5;0.25" + kSpecularToIor +
                     ",NormalsMap:0.5;0.5;0.5:1,MetallicMap:0.5;0.5;0.5:0.45,RoughnessMap:1;1;1:1,"
                     "LightingMap:1;1;1:1,DisplacementMap:0.3;2;0:1,IORMap:1;1;1:1"});
    }
}

TEST(MaterialArguments, cleanWaterMakesAnUnsetEmissionATexture)
{
    auto d = describe("Water", 3, "Clean");
    const auto m = zalUnrealMaterialTranslator::translate(*d);
    EXPECT_TRUE(m.parameters.contains(",EmissionMap::1:0;0;1;1,")) << m.parameters.toStdString();
    // A diffuse colour of the description stays.
    d->setChannel("diffuseColor", Channel::colorChannel(0.2, 0.4, 0.8, 1.0));
    EXPECT_EQ(zalUnrealMaterialTranslator::translate(*d).colour, std::uint32_t(51 | 102 << 8 | 204 << 16));
}

TEST(MaterialArguments, pondPreset)
{
    auto d = describe("Pond", 3, "Pond");
    d->setChannel("diffuseColor", Channel::colorChannel(0.2, 0.4, 0.8, 1.0));
    expectTranslation(*d, {"Pond", "", kGrey, 1.0f, "",
                           "ShaderType:2,WaveSpeed:1,WaveSize:1,DiffuseMap::1:0;0;1;1,AlphaMap:1;1;1:0.5,"
                           "EmissionMap:0;0;0:500" +
                               kSpecularToIor + kDefaultNormal +
                               ",RoughnessMap:1;1;1:1,LightingMap:1;1;1:1,DisplacementMap:0;0;0:1,"
                               "IORMap:1;1;1:1"});
}

TEST(MaterialArguments, rapidsPreset)
{
    auto d = describe("Water", 3, "[ConfigurableMaterialWaterRapids]");
    d->setDisplacement(Channel::colorChannel(0.25, 0.5, 0.0, 1.0));
    d->setChannel("ior", Channel::scalarChannel(1.33));
    expectTranslation(*d, {"Water [ConfigurableMaterialWaterRapids]", "", kWaterBlue, 1.0f, "",
                           "ShaderType:2,WaveSpeed:0.5,WaveSize:0.25,DiffuseMap:0;" + kWaterGreen +
                               ";1:0.5,AlphaMap:1;1;1:0.5,EmissionMap:1;1;1:500" + kSpecularToIor +
                               ",NormalsMap:0.5;0.5;0.5:1,RoughnessMap:1;1;1:1,LightingMap:1;1;1:1,"
                               "DisplacementMap:0.25;0.5;0:1,IORMap:1;1;1:1.33"});
}

TEST(MaterialArguments, fireShaderAppendsItsTagOnce)
{
    auto d = describe("Torch", 4);
    expectTranslation(*d, {"Torch [ConfigurableMaterialFire]", "", kGrey, 1.0f, "",
                           "ShaderType:1,DiffuseMap:0.5;0.5;0.5:0.5,AlphaMap:1;1;1:1" + kDefaultTail});
    auto tagged = describe("Campfire [configurablematerialFIRE]", 4);
    EXPECT_EQ(zalUnrealMaterialTranslator::translate(*tagged).baseMaterial,
              "Campfire [configurablematerialFIRE]");
}

TEST(MaterialArguments, shaderTypeOneWithoutMetalnessHasRoughnessFactorPointThree)
{
    auto d = describe("Metal", 1);
    d->setChannel("roughness", Channel::scalarChannel(0.5));
    expectTranslation(*d, {"Metal", "", kGrey, 1.0f, "",
                           "ShaderType:3,DiffuseMap:0.5;0.5;0.5:0.5,AlphaMap:1;1;1:1,EmissionMap:0;0;0:500" +
                               kSpecularToIor + kDefaultNormal + ",RoughnessMap:0.5;0.5;0.5:0.15" +
                               kDefaultLightToIor});
    d->setChannel("metalness", Channel::scalarChannel(1.0));
    EXPECT_TRUE(zalUnrealMaterialTranslator::translate(*d).parameters.contains(
        ",MetallicMap:1;1;1:0.9,RoughnessMap:0.5;0.5;0.5:0.5,"));
}

TEST(MaterialArguments, mirrorTagTurnsShaderOneIntoZeroAndActsAsShaderOne)
{
    auto fire = describe("Torch", 4, "MIRROR");
    auto m = zalUnrealMaterialTranslator::translate(*fire);
    EXPECT_EQ(m.baseMaterial, "Torch [ConfigurableMaterialFire]");
    EXPECT_TRUE(m.parameters.startsWith("ShaderType:0,")) << m.parameters.toStdString();
    EXPECT_TRUE(m.parameters.contains(",RoughnessMap:1;1;1:0.3,"));

    auto plain = describe("Chrome", 0, "Chrome Mirror");
    m = zalUnrealMaterialTranslator::translate(*plain);
    EXPECT_EQ(m.baseMaterial, "Chrome") << "handled as shader type 1, so not matte";
    EXPECT_TRUE(m.parameters.startsWith("ShaderType:0,"));
    EXPECT_TRUE(m.parameters.contains(",RoughnessMap:1;1;1:0.3,"));
}

TEST(MaterialArguments, noMatBaseSendsAnEmptyParameterString)
{
    auto d = describe("Grass*NoMat*", 0);
    d->setChannel("diffuseColor", Channel::colorChannel(0.2, 0.4, 0.8, 1.0));
    expectTranslation(
        *d, {"Grass*NoMat* [ConfigurableMaterialMatte]", "", 51 | 102 << 8 | 204 << 16, 1.0f, "", ""});
}

TEST(MaterialArguments, animationTypesOneToThree)
{
    const QString rest = ",DiffuseMap:0.5;0.5;0.5:0.5,AlphaMap:1;1;1:1,";
    for (int type = 1; type <= 2; ++type) {
        auto d = describe("Flag [Tagged]", 0);
        d->setAnimation(type, 1.23456789, 0.75);
        EXPECT_TRUE(zalUnrealMaterialTranslator::translate(*d).parameters.startsWith(
            "ShaderType:0,AnimationPower:0.75,AnimationSpeed:1.23457,AnimationType:" +
            QString::number(type - 1) + rest));
    }
    auto three = describe("Flag [Tagged]", 0);
    three->setAnimation(3, 2.5, 0.75);
    EXPECT_TRUE(zalUnrealMaterialTranslator::translate(*three).parameters.startsWith(
        "ShaderType:0,AnimationPower:0.75,AnimationSpeed:2.5,AnimationType:2" + rest));
    // On a water shader the third type's numbers are a thousand times larger.
    auto water = describe("Water", 3);
    water->setAnimation(3, 2.5, 0.75);
    EXPECT_TRUE(zalUnrealMaterialTranslator::translate(*water).parameters.startsWith(
        "ShaderType:2,AnimationPower:750,AnimationSpeed:2500,AnimationType:2,WaveSpeed:1,WaveSize:1,"));
    auto none = describe("Still [Tagged]", 0);
    none->setAnimation(4, 2.5, 0.75);
    EXPECT_TRUE(zalUnrealMaterialTranslator::translate(*none).parameters.startsWith("ShaderType:0" + rest));
}

// Through a session: which materials reach the viewer, and when.
class MaterialSending : public zalModuleTestHost
{
protected:
    OdDbObjectId addMaterial(OdDbDatabase* db, const wchar_t* name)
    {
        OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr material = OdDbMaterial::createObject();
        material->setName(OdString(name));
        return dictionary->setAt(OdString(name), material);
    }

    QStringList materialLines(const Opened& o, const OdDbObjectId& id) const
    {
        return linesNamed(o.recorder, "addMaterial", name(id));
    }
};

TEST_F(MaterialSending, drawingMaterialsAreSentOnceAndByBlockAndByLayerNever)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId brick = addMaterial(db, L"Brick");
    auto d = host->physicsMaterials()->newDescription();
    d->setBaseMaterial("Brick");
    d->setChannel("diffuseColor", Channel::textureChannel("C:/tex/brick.png"));
    host->physicsMaterials()->setDescription(brick, d);

    const Opened o = open(db);
    bringUp(o);
    EXPECT_TRUE(materialLines(o, db->byBlockMaterialId()).isEmpty());
    EXPECT_TRUE(materialLines(o, db->byLayerMaterialId()).isEmpty());
    EXPECT_EQ(materialLines(o, db->globalMaterialId()).size(), 1);
    const QStringList sent = materialLines(o, brick);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent.first(),
              QString("addMaterial name=\"%1\" baseMaterial=\"Brick [ConfigurableMaterialMatte]\" "
                      "texture=\"C:/tex/brick.png\" colour=%2 opacity=1 secondTexture=\"\" "
                      "parameters=\"ShaderType:0,DiffuseMap:C///tex/brick.png:1:0;0;1;1,AlphaMap:1;1;1:1%3\"")
                  .arg(name(brick))
                  .arg(kGrey)
                  .arg(kDefaultTail));
    EXPECT_TRUE(name(brick).contains("_AcDbMaterial_"));

    // Another refresh finds every material held by the viewer.
    module->suspendSessionDbReactors();
    module->resumeSessionDbReactors();
    ASSERT_TRUE(waitFor(
        [&] { return o.session->registry().batchDepth() == 0 && !o.session->registry().isBatchOpen(); }));
    zalUnrealMaterialTranslator::translateMaterial(&o.session->registry(),
                                                   OdDbMaterial::cast(brick.openObject()).get());
    EXPECT_EQ(materialLines(o, brick).size(), 1);

    // Once the viewer has lost it, it goes again.
    o.recorder->simulateEntityLost(name(brick).toStdString(), "");
    ASSERT_TRUE(
        waitFor([&] { return !o.session->sender()->isEntityValid(name(brick).toUtf8().constData(), ""); }));
    zalUnrealMaterialTranslator::translateMaterial(&o.session->registry(),
                                                   OdDbMaterial::cast(brick.openObject()).get());
    EXPECT_EQ(materialLines(o, brick).size(), 2);
    EXPECT_EQ(materialLines(o, brick).last(), sent.first());
}

TEST_F(MaterialSending, unusableDescriptionSendsNothing)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId broken = addMaterial(db, L"Broken");
    auto d = host->physicsMaterials()->newDescription();
    d->setValid(false);
    host->physicsMaterials()->setDescription(broken, d);
    const Opened o = open(db);
    bringUp(o);
    zalUnrealMaterialTranslator::translateMaterial(&o.session->registry(),
                                                   OdDbMaterial::cast(broken.openObject()).get());
    EXPECT_TRUE(materialLines(o, broken).isEmpty());
    // A face that names it still carries its name.
    EXPECT_EQ(zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(),
                                                          name(broken)),
              name(broken));
    EXPECT_TRUE(materialLines(o, broken).isEmpty());
}

TEST_F(MaterialSending, ensureMaterialSendsOnDemandAndFallsBackToTheGlobalMaterial)
{
    OdDbDatabasePtr db = newDrawing();
    const Opened o = open(db);
    bringUp(o);
    const QString global = name(db->globalMaterialId());
    ASSERT_FALSE(global.isEmpty());
    EXPECT_EQ(
        zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(), QString()),
        global);
    const OdDbObjectId layer = db->getLayerZeroId();
    EXPECT_EQ(zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(),
                                                          name(layer)),
              global);
    EXPECT_EQ(zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(),
                                                          "no such object"),
              global);
    EXPECT_EQ(materialLines(o, db->globalMaterialId()).size(), 1);

    // A material added while the reactors sleep is sent by the first face that needs it.
    module->suspendSessionDbReactors();
    const OdDbObjectId stone = addMaterial(db, L"Stone");
    EXPECT_TRUE(materialLines(o, stone).isEmpty());
    EXPECT_EQ(zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(),
                                                          name(stone)),
              name(stone));
    ASSERT_EQ(materialLines(o, stone).size(), 1);
    // Built by the host from the drawing material: no colour of its own, so mid grey; its default gloss
    // gives a roughness, so it is not matte.
    EXPECT_EQ(field(materialLines(o, stone).first(), "baseMaterial"), "Stone");
    EXPECT_EQ(field(materialLines(o, stone).first(), "colour"), QString::number(kGrey));
    EXPECT_TRUE(
        field(materialLines(o, stone).first(), "parameters").contains(",RoughnessMap:0.5;0.5;0.5:0.5,"));
    EXPECT_EQ(zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(),
                                                          name(stone)),
              name(stone));
    EXPECT_EQ(materialLines(o, stone).size(), 1);
    module->resumeSessionDbReactors();

    // The global material lost by the viewer is sent again when asked for.
    o.recorder->simulateEntityLost(global.toStdString(), "");
    ASSERT_TRUE(
        waitFor([&] { return !o.session->sender()->isEntityValid(global.toUtf8().constData(), ""); }));
    EXPECT_EQ(
        zalUnrealMaterialTranslator::ensureMaterial(&o.session->registry(), o.session->database(), QString()),
        global);
    EXPECT_GE(materialLines(o, db->globalMaterialId()).size(), 2);
}

TEST_F(MaterialSending, materialMapsAreBakedFromTheParametersSent)
{
    OdDbDatabasePtr db = newDrawing();
    const Opened o = open(db);
    bringUp(o);
    const QString global = name(db->globalMaterialId());
    const QStringList sent = materialLines(o, db->globalMaterialId());
    ASSERT_EQ(sent.size(), 1);
    const std::string parameters = zalUnrealMaterialTranslator::materialParameters(global.toStdString());
    EXPECT_EQ(QString::fromStdString(parameters), field(sent.first(), "parameters"));
    EXPECT_TRUE(o.session->sender()->generateMaterialMaps(global.toUtf8().constData(), 256, 128));
    EXPECT_FALSE(o.session->sender()->generateMaterialMaps("never_sent_AcDbMaterial_1", 256, 128));
    EXPECT_EQ(zalUnrealMaterialTranslator::materialParameters("never_sent_AcDbMaterial_1"), "");
}
