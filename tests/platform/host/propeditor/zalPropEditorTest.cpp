// The host's property editor on the offscreen platform: pages drawn from a source's description,
// edited through the real widgets, rebuilt on request.
#include "zalPropEditorServices.h"
#include "zalPropertyPage.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "PropBase.h"
#include "RxDictionary.h"
#include "RxObjectImpl.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>

// Readable failures.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString qs(const OdString& text)
{
    return QString::fromStdWString(text.toStdWString());
}

// A source whose page is a small settings store; it records every edit and asks for a rebuild when
// the edited property says so.
class StoreSource : public OdPropBase
{
public:
    QMap<QString, QString> values{{"Count", "5"},     {"Ratio", "0.675"}, {"On", "false"},  {"Mode", "Basic"},
                                  {"Name", "first"},  {"Command", ""},    {"Color", "255"}, {"Width", "1920"},
                                  {"Height", "1080"}, {"Secret", "1"},    {"Locked", "2"}};
    QStringList edits;
    int descriptions = 0;
    OdRxObject* lastDatabase = nullptr;

    bool getPropertyValues(OdPropContext& context) override
    {
        ++descriptions;
        lastDatabase = context.database();
        OdPropContext::Element root = context.root();
        root.addProperty(L"Title", L"<b>Hello</b>", L"htmllabel");
        OdPropContext::Element general = root.addCategory(L"General");
        general.setAttribute(L"VisibleName", "General Settings");
        general.addProperty(L"Count", od(values["Count"]), L"int")
            .setAttribute(L"VisibleName", "Count")
            .setAttribute(L"Min", 2.0)
            .setAttribute(L"Max", 100.0)
            .setAttribute(L"step", 5.0);
        general.addProperty(L"Ratio", od(values["Ratio"]), L"double")
            .setAttribute(L"Min", 0.0)
            .setAttribute(L"Max", 10.0)
            .setAttribute(L"step", 0.05)
            .setAttribute(L"decimals", 5);
        general.addProperty(L"On", od(values["On"]), L"bool");
        general.addProperty(L"Mode", od(values["Mode"]), L"combo");
        general.addProperty(L"Name", od(values["Name"]), L"string");
        general.addProperty(L"Command", od(values["Command"]), L"string").setAttribute(L"notifymode", 0);
        general.addProperty(L"Color", od(values["Color"]), L"colorref");
        general.addProperty(L"Secret", od(values["Secret"]), L"int").setAttribute(L"Hidden", true);
        general.addProperty(L"Locked", od(values["Locked"]), L"int").setAttribute(L"Enabled", false);
        general.addProperty(L"Go", L"", L"button").setAttribute(L"VisibleName", "Go!");
        OdPropContext::Element row = general.addCategory(L"Size");
        row.setAttribute(L"layout", "horizontal").setAttribute(L"expandable", true);
        row.addProperty(L"Width", od(values["Width"]), L"int")
            .setAttribute(L"minwidth", 60)
            .setAttribute(L"maxwidth", 60);
        row.addProperty(L"X", L"", L"label").setAttribute(L"VisibleName", "x");
        row.addProperty(L"Height", od(values["Height"]), L"int")
            .setAttribute(L"unit", "px")
            .setAttribute(L"Description", "Height of the image");
        OdPropContext::Element hidden = root.addCategory(L"Expert");
        hidden.setAttribute(L"Hidden", true);
        hidden.addProperty(L"Deep", L"1", L"int");
        return true;
    }
    bool setPropertyValue(const OdString& path, const OdString& value, Action_t& action) override
    {
        QString name = qs(path).section('/', -1);
        edits << qs(path) + "=" + qs(value);
        if (name == "Go") return true;
        if (!values.contains(name)) return false;
        values[name] = qs(value);
        if (name == "Mode" || name == "Command") action = kReloadPage;
        if (name == "Command") values[name].clear();
        return true;
    }
    bool getPropertyPossibleValues(const OdString& path, OdArray<OdString>& list, OdArray<OdString>&) override
    {
        if (!qs(path).endsWith("/Mode")) return false;
        for (const char* entry : {"Histogram", "Basic", "Manual"})
            list.push_back(OdString(entry));
        return true;
    }

    static OdString od(const QString& text) { return OdString(text.toStdWString()); }
};

class PropEditorTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char arg0[] = "propeditor";
        static char* argv[] = {arg0, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    void SetUp() override
    {
        services = zalPropEditorServices::createObject();
        window.reset(new QWidget);
        layout = new QVBoxLayout(window.get());
        source = OdRxObjectImpl<StoreSource>::createObject();
        pageId = services->createPropView(layout);
        ASSERT_FALSE(pageId.isEmpty());
        page = services->page(pageId);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(
            services->attachPropSource(pageId, source.get(), L"Properties", OdString(), L"scrollable=true"));
        window->resize(500, 900);
        window->show();
    }

    template <class T> T* editor(const QString& path) const { return qobject_cast<T*>(page->editor(path)); }

    OdSmartPtr<zalPropEditorServices> services;
    std::unique_ptr<QWidget> window;
    QVBoxLayout* layout = nullptr;
    OdSmartPtr<StoreSource> source;
    OdString pageId;
    zalPropertyPage* page = nullptr;
};

TEST_F(PropEditorTest, pageSitsInTheLayoutAndShowsEveryVisibleProperty)
{
    EXPECT_EQ(layout->indexOf(page), 0);
    EXPECT_EQ(page->parentWidget(), window.get());
    EXPECT_NE(page->findChild<QScrollArea*>(), nullptr);
    EXPECT_EQ(page->propertyPaths(),
              QStringList({"Title", "General/Count", "General/Ratio", "General/On", "General/Mode",
                           "General/Name", "General/Command", "General/Color", "General/Locked", "General/Go",
                           "General/Size/Width", "General/Size/X", "General/Size/Height"}));
    // Hidden properties and hidden categories are not drawn.
    EXPECT_EQ(page->editor("General/Secret"), nullptr);
    EXPECT_EQ(page->editor("Expert/Deep"), nullptr);
    EXPECT_EQ(page->editor("Expert"), nullptr);
    for (const QString& path : page->propertyPaths())
        EXPECT_TRUE(page->editor(path)->isVisibleTo(page)) << path.toStdString();

    auto* title = editor<QLabel>("Title");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->textFormat(), Qt::RichText);
    auto* header = editor<QToolButton>("General:header");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text(), "General Settings");
}

TEST_F(PropEditorTest, spinBoxesHonourRangeStepAndDecimals)
{
    auto* count = editor<QSpinBox>("General/Count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->minimum(), 2);
    EXPECT_EQ(count->maximum(), 100);
    EXPECT_EQ(count->singleStep(), 5);
    EXPECT_EQ(count->value(), 5);

    auto* ratio = editor<QDoubleSpinBox>("General/Ratio");
    ASSERT_NE(ratio, nullptr);
    EXPECT_EQ(ratio->decimals(), 5);
    EXPECT_DOUBLE_EQ(ratio->singleStep(), 0.05);
    EXPECT_DOUBLE_EQ(ratio->maximum(), 10.0);
    EXPECT_DOUBLE_EQ(ratio->value(), 0.675);

    auto* locked = editor<QSpinBox>("General/Locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_FALSE(locked->isEnabled());
    EXPECT_TRUE(count->isEnabled());

    auto* width = editor<QSpinBox>("General/Size/Width");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->minimumWidth(), 60);
    EXPECT_EQ(width->maximumWidth(), 60);
}

TEST_F(PropEditorTest, wheelChangesSpinAndComboBoxesOnlyOnceTheyHaveTheFocus)
{
    QApplication::setActiveWindow(window.get());
    auto* count = editor<QSpinBox>("General/Count");
    auto* mode = editor<QComboBox>("General/Mode");
    ASSERT_NE(count, nullptr);
    ASSERT_NE(mode, nullptr);
    ASSERT_GT(mode->count(), 1);
    const int modeBefore = mode->currentIndex();
    auto wheel = [](QWidget* w) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent event(at, w->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &event);
    };
    page->findChild<QScrollArea*>()->setFocus();
    wheel(count);
    wheel(mode);
    EXPECT_EQ(count->value(), 5);
    EXPECT_EQ(mode->currentIndex(), modeBefore);
    EXPECT_TRUE(source->edits.isEmpty()) << source->edits.join(' ').toStdString();

    count->setFocus();
    ASSERT_TRUE(count->hasFocus());
    wheel(count);
    EXPECT_NE(count->value(), 5);
    mode->setFocus();
    wheel(mode);
    EXPECT_NE(mode->currentIndex(), modeBefore);
    EXPECT_EQ(source->edits.size(), 2);
}

TEST_F(PropEditorTest, fieldsSayWhatTheyAreTheirRangeAndUnit)
{
    auto* count = editor<QSpinBox>("General/Count");
    ASSERT_NE(count, nullptr);
    EXPECT_TRUE(count->toolTip().contains("Count"));
    EXPECT_TRUE(count->toolTip().contains("From 2 to 100")) << count->toolTip().toStdString();
    auto* ratio = editor<QDoubleSpinBox>("General/Ratio");
    ASSERT_NE(ratio, nullptr);
    EXPECT_TRUE(ratio->toolTip().contains("From 0 to 10, in steps of 0.05"))
        << ratio->toolTip().toStdString();
    auto* height = editor<QSpinBox>("General/Size/Height");
    ASSERT_NE(height, nullptr);
    EXPECT_EQ(height->suffix(), " px");
    EXPECT_EQ(height->value(), 1080);
    EXPECT_TRUE(height->toolTip().startsWith("Height of the image"));
    EXPECT_TRUE(height->toolTip().contains("px"));
}

TEST_F(PropEditorTest, editsThroughTheWidgetsReachTheSource)
{
    auto* count = editor<QSpinBox>("General/Count");
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "42");
    EXPECT_TRUE(source->edits.isEmpty()) << "typing alone must not send";
    QTest::keyClick(count, Qt::Key_Return);
    // Above the maximum is held at the maximum.
    count->setValue(500);
    auto* ratio = editor<QDoubleSpinBox>("General/Ratio");
    ratio->setValue(1.25);
    editor<QCheckBox>("General/On")->click();
    auto* name = editor<QLineEdit>("General/Name");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "second");
    QTest::keyClick(name, Qt::Key_Enter);
    QTest::mouseClick(editor<QPushButton>("General/Go"), Qt::LeftButton);

    EXPECT_EQ(source->edits, QStringList({"General/Count=42", "General/Count=100", "General/Ratio=1.25",
                                          "General/On=true", "General/Name=second", "General/Go="}));
    EXPECT_EQ(source->values["Count"], "100");
    EXPECT_EQ(page->editCount(), 6);
}

TEST_F(PropEditorTest, comboOffersThePossibleValuesAndActionTwelveRebuildsThePage)
{
    auto* mode = editor<QComboBox>("General/Mode");
    ASSERT_NE(mode, nullptr);
    ASSERT_EQ(mode->count(), 3);
    EXPECT_EQ(mode->itemText(0), "Histogram");
    EXPECT_EQ(mode->currentText(), "Basic");

    const int builds = page->buildCount();
    const int descriptions = source->descriptions;
    mode->setCurrentIndex(2);
    EXPECT_EQ(source->edits, QStringList({"General/Mode=Manual"}));
    EXPECT_EQ(page->buildCount(), builds + 1);
    EXPECT_EQ(source->descriptions, descriptions + 1);
    // The rebuilt page has new widgets showing the stored value.
    auto* rebuilt = editor<QComboBox>("General/Mode");
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_NE(rebuilt, mode);
    EXPECT_EQ(rebuilt->currentText(), "Manual");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(page->findChildren<QComboBox*>("General/Mode").size(), 1);

    // An edit with action 0 keeps the page as it is.
    editor<QSpinBox>("General/Count")->setValue(10);
    EXPECT_EQ(page->buildCount(), builds + 1);
}

TEST_F(PropEditorTest, notifyModeZeroSendsOnEnterOnlyAndTheRebuildClearsTheField)
{
    auto* command = editor<QLineEdit>("General/Command");
    ASSERT_NE(command, nullptr);
    command->setFocus();
    QTest::keyClicks(command, "stat fps");
    editor<QSpinBox>("General/Count")->setFocus();
    EXPECT_TRUE(source->edits.isEmpty());
    command->setFocus();
    QTest::keyClick(command, Qt::Key_Return);
    EXPECT_EQ(source->edits, QStringList({"General/Command=stat fps"}));
    auto* cleared = editor<QLineEdit>("General/Command");
    ASSERT_NE(cleared, nullptr);
    EXPECT_TRUE(cleared->text().isEmpty());
}

TEST_F(PropEditorTest, colourIsChosenInAColourDialogAndSentAsColorRef)
{
    auto* color = editor<QPushButton>("General/Color");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->text(), "#ff0000");
    QTest::mouseClick(color, Qt::LeftButton);
    auto* dialog = page->findChild<QColorDialog*>("General/Color:dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->currentColor(), QColor(255, 0, 0));
    dialog->setCurrentColor(QColor(128, 64, 32));
    dialog->accept();
    // Red in the low byte: 128 + 64·256 + 32·65536.
    EXPECT_EQ(source->edits, QStringList({"General/Color=" + QString::number(128 + 64 * 256 + 32 * 65536)}));
}

TEST_F(PropEditorTest, horizontalCategoryIsOneRowAndGroupsFold)
{
    auto* width = editor<QSpinBox>("General/Size/Width");
    auto* height = editor<QSpinBox>("General/Size/Height");
    auto* x = editor<QLabel>("General/Size/X");
    ASSERT_TRUE(width && height && x);
    EXPECT_EQ(x->text(), "x");
    EXPECT_EQ(width->parentWidget(), height->parentWidget());
    EXPECT_NE(qobject_cast<QHBoxLayout*>(width->parentWidget()->layout()), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(width->mapTo(page, QPoint()).y(), height->mapTo(page, QPoint()).y());
    EXPECT_LT(width->mapTo(page, QPoint()).x(), height->mapTo(page, QPoint()).x());

    auto* header = editor<QToolButton>("General:header");
    QTest::mouseClick(header, Qt::LeftButton);
    EXPECT_FALSE(width->isVisibleTo(page));
    // Folded groups stay folded across a rebuild.
    services->refreshPage(pageId, source.get(), true);
    EXPECT_FALSE(editor<QSpinBox>("General/Count")->isVisibleTo(page));
    QTest::mouseClick(editor<QToolButton>("General:header"), Qt::LeftButton);
    EXPECT_TRUE(editor<QSpinBox>("General/Count")->isVisibleTo(page));
}

TEST_F(PropEditorTest, refreshRereadsValuesAndDetachStopsTheCalls)
{
    source->values["Count"] = "77";
    int descriptions = source->descriptions;
    EXPECT_TRUE(services->refreshPage(pageId, source.get(), true));
    EXPECT_EQ(source->descriptions, descriptions + 1);
    EXPECT_EQ(editor<QSpinBox>("General/Count")->value(), 77);

    // Only the page's own source refreshes it.
    OdSmartPtr<StoreSource> other = OdRxObjectImpl<StoreSource>::createObject();
    EXPECT_FALSE(services->refreshPage(pageId, other.get(), true));
    EXPECT_FALSE(services->refreshPage(L"nope", source.get(), true));

    const long references = source->numRefs();
    EXPECT_TRUE(services->detachPage(pageId));
    EXPECT_EQ(source->numRefs(), references - 1);
    EXPECT_TRUE(page->propertyPaths().isEmpty());
    EXPECT_EQ(page->editor("General/Count"), nullptr);
    descriptions = source->descriptions;
    EXPECT_FALSE(services->refreshPage(pageId, source.get(), true));
    EXPECT_EQ(source->descriptions, descriptions);
    EXPECT_FALSE(services->detachPage(L"nope"));
}

TEST_F(PropEditorTest, attachWithDatabaseHandsItToTheContext)
{
    OdSmartPtr<StoreSource> database = OdRxObjectImpl<StoreSource>::createObject();
    EXPECT_EQ(services->pageDatabase(pageId), nullptr);
    ASSERT_TRUE(services->attachPropSource(pageId, source.get(), L"Properties", OdString(), OdString(),
                                           database.get()));
    EXPECT_EQ(services->pageDatabase(pageId), database.get());
    EXPECT_EQ(source->lastDatabase, database.get());
    // Without "scrollable=true" the page is not scrolled.
    EXPECT_EQ(page->findChild<QScrollArea*>(), nullptr);
    EXPECT_FALSE(services->attachPropSource(pageId, nullptr, L"", OdString(), OdString()));
    EXPECT_FALSE(services->attachPropSource(L"nope", source.get(), L"", OdString(), OdString()));
}

TEST_F(PropEditorTest, pageDestroyedWithItsWindowIsForgotten)
{
    window.reset();
    EXPECT_EQ(services->page(pageId), nullptr);
    EXPECT_FALSE(services->detachPage(pageId));
    EXPECT_EQ(services->pageDatabase(pageId), nullptr);
    EXPECT_TRUE(services->createPropView(nullptr).isEmpty());
}

// A source that only gives text: the page reads it back into a tree.
class TextSource : public OdPropSource
{
public:
    OdString text;
    QStringList edits;
    bool getPropertyValues(OdString& out) override
    {
        out += text;
        return !text.isEmpty();
    }
    bool setPropertyValue(const OdString& path, const OdString& value, Action_t&) override
    {
        edits << qs(path) + "=" + qs(value);
        return true;
    }
    bool getPropertyPossibleValues(const OdString&, OdArray<OdString>&, OdArray<OdString>&) override
    {
        return false;
    }
};

TEST_F(PropEditorTest, textOnlySourcesAreDrawnFromTheirText)
{
    OdSmartPtr<TextSource> text = OdRxObjectImpl<TextSource>::createObject();
    text->text =
        L"<Property Path=\"\"><category Name=\"Fountain\"><property Name=\"Lifetime\" Type=\"double\" "
        L"Value=\"2.5\" Min=\"0.1\" Max=\"15\"/></category></Property>";
    ASSERT_TRUE(services->attachPropSource(pageId, text.get(), L"Fountain", OdString(), OdString()));
    EXPECT_EQ(page->propertyPaths(), QStringList({"Fountain/Lifetime"}));
    auto* lifetime = editor<QDoubleSpinBox>("Fountain/Lifetime");
    ASSERT_NE(lifetime, nullptr);
    EXPECT_DOUBLE_EQ(lifetime->maximum(), 15.0);
    lifetime->setValue(3);
    EXPECT_EQ(text->edits, QStringList({"Fountain/Lifetime=3"}));

    // Unreadable text gives an empty page, not a failure.
    text->text = L"<Property><category Name=\"Fountain\">";
    EXPECT_TRUE(services->refreshPage(pageId, text.get(), true));
    EXPECT_TRUE(page->propertyPaths().isEmpty());
}

TEST(PropEditorRegistration, servicesArePublishedOnceAndRemovedAgain)
{
    EXPECT_TRUE(odrxPropServices().isNull());
    OdPropServicesPtr published = zalPropEditorServices::registerServices();
    ASSERT_FALSE(published.isNull());
    EXPECT_EQ(odrxPropServices().get(), published.get());
    EXPECT_EQ(zalPropEditorServices::registerServices().get(), published.get());
    zalPropEditorServices::unregisterServices();
    EXPECT_TRUE(odrxPropServices().isNull());
}

} // namespace

namespace {

// A source over one block reference of a drawing: "Line/X" moves it along x.
class LineSource : public OdPropBase
{
public:
    OdDbObjectId line;
    bool getPropertyValues(OdPropContext& context) override
    {
        OdDbBlockReferencePtr l = line.safeOpenObject();
        OdPropContext::Element category = context.root().addCategory(L"Line");
        category.addProperty(L"X", OdString(std::to_wstring(l->position().x).c_str()), L"double")
            .setAttribute(L"Min", -100.0)
            .setAttribute(L"Max", 100.0);
        return true;
    }
    bool setPropertyValue(const OdString&, const OdString& value, Action_t&) override
    {
        OdDbBlockReferencePtr l = line.safeOpenObject(OdDb::kForWrite);
        OdGePoint3d p = l->position();
        p.x = qs(value).toDouble();
        l->setPosition(p);
        return true;
    }
    bool getPropertyPossibleValues(const OdString&, OdArray<OdString>&, OdArray<OdString>&) override
    {
        return false;
    }
};

} // namespace

// One edit through the page after a command on the same drawing: undo must take back the edit
// alone. withDatabase: the page is attached with the drawing, or without one (the host then knows
// only its open drawings, one of which is another drawing the edit does not touch).
void checkEditIsAStepOfItsOwn(zalPropEditorServices* services, const OdString& pageId, zalPropertyPage* page,
                              bool withDatabase)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    OdSmartPtr<LineSource> lineSource = OdRxObjectImpl<LineSource>::createObject();
    OdDbObjectId otherLine;
    for (OdDbDatabase* d : {db.get(), other.get()}) {
        OdDbBlockTableRecordPtr ms = d->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockReferencePtr l = OdDbBlockReference::createObject();
        l->setDatabaseDefaults(d);
        l->setBlockTableRecord(d->getPaperSpaceId());
        l->setRotation(1.0);
        (d == db.get() ? lineSource->line : otherLine) = ms->appendOdDbEntity(l.get());
    }
    const auto line = [&] {
        OdDbBlockReferencePtr l = lineSource->line.safeOpenObject();
        return std::make_pair(l->position(), l->rotation());
    };
    const auto rotation = [](const OdDbObjectId& id) {
        return OdDbBlockReferencePtr(id.safeOpenObject())->rotation();
    };
    services->setOpenDrawings([&] { return QList<OdDbDatabase*>{other.get(), db.get()}; });
    // A command, as the host's console runs one: a step, then its change; the other drawing too.
    for (OdDbDatabase* d : {db.get(), other.get()}) {
        d->startUndoRecord();
        OdDbBlockReferencePtr l =
            (d == db.get() ? lineSource->line : otherLine).safeOpenObject(OdDb::kForWrite);
        l->setRotation(2.0);
    }
    ASSERT_TRUE(services->attachPropSource(pageId, lineSource.get(), L"Line", OdString(), OdString(),
                                           withDatabase ? db.get() : nullptr));
    auto* x = qobject_cast<QDoubleSpinBox*>(page->editor("Line/X"));
    ASSERT_NE(x, nullptr);
    x->setValue(4);
    ASSERT_EQ(line().first, OdGePoint3d(4, 0, 0));

    db->undo();
    EXPECT_EQ(line().first, OdGePoint3d(0, 0, 0)) << "the edit is undone";
    EXPECT_EQ(line().second, 2.0) << "the command before it is not";
    db->undo();
    EXPECT_EQ(line().second, 1.0);
    db->redo();
    db->redo();
    EXPECT_EQ(line(), std::make_pair(OdGePoint3d(4, 0, 0), 2.0));

    // The drawing the edit left alone: its last command is still what one undo takes back.
    other->undo();
    EXPECT_EQ(rotation(otherLine), 1.0);
    services->setOpenDrawings({});
    services->detachPage(pageId);
}

TEST_F(PropEditorTest, aPropertyEditIsAnUndoStepOfItsOwn)
{
    checkEditIsAStepOfItsOwn(services.get(), pageId, page, true);
}

TEST_F(PropEditorTest, anEditOnAPageWithoutDatabaseIsAnUndoStepOfItsOwnToo)
{
    checkEditIsAStepOfItsOwn(services.get(), pageId, page, false);
}
