// The property services of the drawing-database layer: the context a source describes itself in,
// the text form, and the registry of property sources per run-time class.
#include "PropBase.h"
#include "PropContext.h"
#include "PropServices.h"

#include "DbBlockReference.h"
#include "DbDatabase.h"
#include "DbEntity.h"
#include "RxDictionary.h"
#include "RxObjectImpl.h"
#include "StaticRxObject.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string utf8(const OdString& text)
{
    return text.toUtf8();
}

// A source describing two properties, one in a nested row.
class TwoPropertySource : public OdPropBase
{
public:
    using OdPropBase::getPropertyValues;
    bool getPropertyValues(OdPropContext& context) override
    {
        OdPropContext::Element camera = context.root().addCategory(L"Camera");
        camera.setAttribute(L"VisibleName", "Camera \"Settings\" & <more>");
        camera.addProperty(L"Bias", L"0.5", L"double")
            .setAttribute(L"Min", -150.0)
            .setAttribute(L"Max", 150.0)
            .setAttribute(L"step", 0.1)
            .setAttribute(L"Hidden", false);
        OdPropContext::Element row = camera.addCategory(L"Row");
        row.setAttribute(L"layout", "horizontal");
        row.addProperty(L"Width", L"1920", L"int")
            .setAttribute(L"decimals", 0)
            .setAttribute(L"Enabled", true);
        return true;
    }
    bool setPropertyValue(const OdString&, const OdString&, Action_t&) override { return false; }
    bool getPropertyPossibleValues(const OdString&, OdArray<OdString>&, OdArray<OdString>&) override
    {
        return false;
    }
};

TEST(OdPropContextTest, elementsKnowTheirPathsAndAttributes)
{
    OdPropContext context(L"Root");
    OdStaticRxObject<TwoPropertySource> source;
    ASSERT_TRUE(source.getPropertyValues(context));

    const OdPropContext::Node* bias = context.find(L"Root/Camera/Bias");
    ASSERT_NE(bias, nullptr);
    EXPECT_TRUE(bias->isProperty());
    EXPECT_EQ(utf8(bias->type()), "double");
    EXPECT_EQ(utf8(bias->value()), "0.5");
    EXPECT_EQ(utf8(bias->attribute(L"Min")), "-150");
    EXPECT_EQ(utf8(bias->attribute(L"step")), "0.1");
    // Attribute names ignore case: "Step" and "step" are one attribute.
    EXPECT_EQ(utf8(bias->attribute(L"Step")), "0.1");
    EXPECT_EQ(utf8(bias->attribute(L"Hidden")), "false");
    EXPECT_FALSE(bias->hasAttribute(L"Decimals"));
    EXPECT_EQ(utf8(bias->attribute(L"Decimals", L"7")), "7");

    const OdPropContext::Node* width = context.find(L"Root/Camera/Row/Width");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(utf8(width->attribute(L"Enabled")), "true");
    EXPECT_TRUE(width->parent->isCategory());
    EXPECT_EQ(utf8(width->parent->attribute(L"layout")), "horizontal");
    EXPECT_EQ(context.find(L"Camera/Bias"), nullptr);
}

TEST(OdPropContextTest, withoutRootPathThePathsStartAtTheFirstName)
{
    OdPropContext context;
    context.root().addProperty(L"UE_UiMode", L"Simple", L"combo");
    context.root().addCategory(L"Sky").addProperty(L"North", L"0", L"double");
    EXPECT_NE(context.find(L"UE_UiMode"), nullptr);
    EXPECT_NE(context.find(L"Sky/North"), nullptr);
}

TEST(OdPropContextTest, textCarriesEveryAttributeAsEscapedPairs)
{
    OdPropContext context(L"Root");
    OdStaticRxObject<TwoPropertySource> source;
    source.getPropertyValues(context);
    const std::string text = utf8(context.text());
    EXPECT_EQ(text.rfind("<Property Path=\"Root\">", 0), 0u) << text;
    EXPECT_NE(
        text.find(
            "<category Name=\"Camera\" VisibleName=\"Camera &quot;Settings&quot; &amp; &lt;more&gt;\">"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("<property Name=\"Bias\" Type=\"double\" Value=\"0.5\" Min=\"-150\" Max=\"150\" "
                        "step=\"0.1\" Hidden=\"false\"/>"),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("<property Name=\"Width\" Type=\"int\" Value=\"1920\" decimals=\"0\" Enabled=\"true\"/>"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("</Property>"), std::string::npos);
}

TEST(OdPropContextTest, setAttributeReplacesAndNullElementsIgnoreWrites)
{
    OdPropContext context;
    OdPropContext::Element element = context.root().addProperty(L"A", L"1", L"int");
    element.setAttribute(L"Min", 1).setAttribute(L"min", 2);
    EXPECT_EQ(utf8(element.node()->attribute(L"Min")), "2");
    EXPECT_EQ(element.node()->attributes.size(), 4u);

    OdPropContext::Element nameless = context.root().addCategory(OdString());
    EXPECT_TRUE(nameless.isNull());
    nameless.setAttribute(L"Hidden", true).addProperty(L"B", L"", L"string");
    EXPECT_EQ(context.rootNode().children.size(), 1u);
}

TEST(OdPropContextTest, numbersReadBack)
{
    EXPECT_EQ(utf8(OdPropContext::formatDouble(0.1)), "0.1");
    EXPECT_EQ(utf8(OdPropContext::formatDouble(-150)), "-150");
    EXPECT_EQ(utf8(OdPropContext::formatDouble(0.675)), "0.675");
    for (double value : {1.0 / 3.0, 12.4964, 1e-7, 123456789.125, -0.05}) {
        std::string text = utf8(OdPropContext::formatDouble(value));
        EXPECT_EQ(std::stod(text), value) << text;
    }
}

TEST(OdPropContextTest, textReadsBackToTheSameTree)
{
    OdPropContext written(L"Root");
    OdStaticRxObject<TwoPropertySource> source;
    source.getPropertyValues(written);
    written.root().addProperty(L"Note", L"line one\nline two 'quoted' \u00e9", L"string");

    OdPropContext read;
    OdString error(L"stale");
    ASSERT_TRUE(read.parse(written.text(), &error)) << utf8(error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(utf8(read.text()), utf8(written.text()));
    EXPECT_EQ(utf8(read.rootPath()), "Root");
    const OdPropContext::Node* bias = read.find(L"Root/Camera/Bias");
    ASSERT_NE(bias, nullptr);
    EXPECT_EQ(utf8(bias->attribute(L"Max")), "150");
    EXPECT_EQ(utf8(read.find(L"Root/Camera")->attribute(L"VisibleName")), "Camera \"Settings\" & <more>");
    EXPECT_EQ(read.find(L"Root/Note")->value(), OdString(L"line one\nline two 'quoted' \u00e9"));
}

TEST(OdPropContextTest, everyTruncationAndTrailingTextIsRefusedWithoutChange)
{
    OdPropContext written(L"Root");
    OdStaticRxObject<TwoPropertySource> source;
    source.getPropertyValues(written);
    const std::wstring text = written.text().toStdWString();
    // Only the final line break may go.
    size_t complete = text.size();
    while (complete > 0 && text[complete - 1] == L'\n')
        --complete;

    OdPropContext target(L"Kept");
    target.root().addProperty(L"A", L"1", L"int");
    const std::string before = utf8(target.text());
    for (size_t length = 0; length < complete; ++length) {
        OdString error;
        EXPECT_FALSE(target.parse(OdString(text.substr(0, length)), &error)) << length;
        EXPECT_FALSE(error.isEmpty()) << length;
    }
    EXPECT_EQ(utf8(target.text()), before);
    EXPECT_TRUE(target.parse(OdString(text.substr(0, complete))));

    for (const wchar_t* trailing : {L"x", L"<more/>", L"</Property>", L"&"}) {
        OdString error;
        EXPECT_FALSE(target.parse(OdString(text + trailing), &error)) << utf8(OdString(trailing));
        EXPECT_NE(utf8(error).find("offset"), std::string::npos);
    }
    EXPECT_TRUE(target.parse(OdString(text + L"  \n\t")));
}

TEST(OdPropContextTest, malformedElementsAreRefused)
{
    OdPropContext context;
    for (const wchar_t* text :
         {L"", L"plain", L"<a b=\"1\"></b>", L"<a b=1/>", L"<a b=\"1/>", L"<a b=\"&bogus;\"/>",
          L"<a b=\"<\"/>", L"<a b=\"1\"c=\"2\"/>", L"<a><b></a>", L"<>", L"<a b=\"&#;\"/>"}) {
        OdString error;
        EXPECT_FALSE(context.parse(OdString(text), &error)) << utf8(OdString(text));
        EXPECT_FALSE(error.isEmpty());
    }
    std::wstring deep;
    for (int i = 0; i < 1000; ++i)
        deep += L"<a>";
    EXPECT_FALSE(context.parse(OdString(deep)));
    EXPECT_TRUE(context.parse(L"<a b=\"&#65;&apos;\"><c/></a>"));
    EXPECT_EQ(utf8(context.rootNode().attribute(L"b")), "A'");
}

TEST(OdPropBaseTest, textFormIsTheContextWrittenFromTheEmptyRoot)
{
    OdSmartPtr<TwoPropertySource> source = OdRxObjectImpl<TwoPropertySource>::createObject();
    OdString text(L"prefix:");
    ASSERT_TRUE(source->getPropertyValues(text));
    EXPECT_EQ(utf8(text).rfind("prefix:<Property Path=\"\">", 0), 0u) << utf8(text);
    EXPECT_TRUE(source->isKindOf(OdPropSource::desc()));
    EXPECT_TRUE(source->isKindOf(OdPropBase::desc()));
    EXPECT_EQ(utf8(OdPropBase::desc()->name()), "OdPropBase");
    EXPECT_FALSE(OdPropSourcePtr(source.get()).isNull());
}

// Services without pages: only the class registry is exercised.
class RegistryOnlyServices : public OdPropServices
{
public:
    OdString createPropView(QLayout*) override { return OdString(); }
    bool attachPropSource(const OdString&, OdPropSource*, const OdString&, const OdString&, const OdString&,
                          OdRxObject*) override
    {
        return false;
    }
    bool refreshPage(const OdString&, OdPropSource*, bool) override { return false; }
    bool detachPage(const OdString&) override { return false; }
    OdRxObject* pageDatabase(const OdString&) const override { return nullptr; }
};

class OdPropServicesTest : public ::testing::Test
{
protected:
    void TearDown() override { odrxSysRegistry()->remove(OD_PROP_SERVICES); }
};

TEST_F(OdPropServicesTest, registryAnswersTheServicesOnlyWhenPublished)
{
    EXPECT_TRUE(odrxPropServices().isNull());
    // Something else under the name is not taken for the services.
    odrxSysRegistry()->putAt(OD_PROP_SERVICES, OdRxObjectImpl<TwoPropertySource>::createObject().get());
    EXPECT_TRUE(odrxPropServices().isNull());

    OdSmartPtr<RegistryOnlyServices> services = OdRxObjectImpl<RegistryOnlyServices>::createObject();
    odrxSysRegistry()->putAt(OD_PROP_SERVICES, services.get());
    EXPECT_EQ(odrxPropServices().get(), services.get());
}

TEST_F(OdPropServicesTest, sourcesAreMadeForTheNearestRegisteredClass)
{
    OdSmartPtr<RegistryOnlyServices> services = OdRxObjectImpl<RegistryOnlyServices>::createObject();
    OdRxObject* seen = nullptr;
    auto constructor = [&seen](OdRxObject* object) {
        seen = object;
        return OdPropSourcePtr(OdRxObjectImpl<TwoPropertySource>::createObject());
    };
    const OdString entityClass = OdDbEntity::desc()->name();
    EXPECT_FALSE(services->registerXmlProp(OdString(), constructor));
    EXPECT_FALSE(services->registerXmlProp(entityClass, OdPropServices::SourceConstructor()));
    ASSERT_TRUE(services->registerXmlProp(entityClass, constructor));
    EXPECT_FALSE(services->registerXmlProp(entityClass, constructor));
    EXPECT_TRUE(services->isXmlPropRegistered(entityClass));
    EXPECT_EQ(services->xmlPropFlags(entityClass), 0xFFFFFFFFu);

    // A block reference has no registration of its own: its parent's answers.
    OdDbBlockReferencePtr line = OdDbBlockReference::createObject();
    OdPropSourcePtr source = services->createXmlPropSource(line.get());
    ASSERT_FALSE(source.isNull());
    EXPECT_EQ(seen, line.get());

    // A database is no entity.
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    EXPECT_TRUE(services->createXmlPropSource(db.get()).isNull());
    EXPECT_TRUE(services->createXmlPropSource(nullptr).isNull());

    EXPECT_TRUE(services->unregisterXmlProp(entityClass));
    EXPECT_FALSE(services->unregisterXmlProp(entityClass));
    EXPECT_TRUE(services->createXmlPropSource(line.get()).isNull());
}

} // namespace
