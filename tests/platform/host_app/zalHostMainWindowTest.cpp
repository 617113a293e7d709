// The main window: a tab per drawing with the drawing view beside the view its "UnrealRender" factory
// makes (a stand-in factory here; the real module runs in the end-to-end test), the render view
// following the drawing view's camera, and the command line answering prompts typed by the user.
#include "zalHostMainWindow.h"
#include "zalCommandLine.h"
#include "zalDocumentManager.h"
#include "zalDrawingTab.h"
#include "zalDrawingView.h"
#include "zalHostAppTestSupport.h"
#include "zalHostCommands.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zalHostAppTest;

// Stands in for the module's render widget: counts the camera requests it gets.
class StandInRenderWidget : public QWidget
{
    Q_OBJECT
public:
    int cameraUpdates = 0;
public slots:
    void updateRenderCamera() { ++cameraUpdates; }
};

namespace {

class MainWindow : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { zalHostCommands::registerAll(); }
    static void TearDownTestSuite() { zalHostCommands::unregisterAll(); }
    void SetUp() override { documents.reset(new zalDocumentManager(host.app())); }
    void TearDown() override
    {
        window.reset();
        documents.reset();
    }

    Host host;
    std::unique_ptr<zalDocumentManager> documents;
    std::unique_ptr<zalHostMainWindow> window;
};

} // namespace

TEST_F(MainWindow, WithoutTheRenderModuleATabSaysSo)
{
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    Drawing d = makeDrawing();
    documents->adoptDrawing(d.db.get(), host.filePath(QStringLiteral("one.dxf")));
    ASSERT_EQ(window->tabs()->count(), 1);
    EXPECT_EQ(window->tabs()->tabText(0), QStringLiteral("one.dxf"));
    zalDrawingTab* tab = window->currentTab();
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->renderWidget(), nullptr);
    EXPECT_NE(tab->findChild<QLabel*>(), nullptr);
    EXPECT_EQ(host.app()->console()->database(), d.db.get());
    EXPECT_FALSE(window->settingsDock()->isVisibleTo(window.get())); // no module, no panel
}

TEST_F(MainWindow, RenderViewFromTheFactoryFollowsTheDrawingViewsCamera)
{
    QPointer<StandInRenderWidget> made;
    OdDbDatabase* factoryDb = nullptr;
    ASSERT_TRUE(host.app()->viewSystem()->registerViewType(
        QStringLiteral("UnrealRender"), QStringLiteral("Navigation"),
        [&](OdDbDatabase* db, QWidget*, QWidget*) {
            factoryDb = db;
            made = new StandInRenderWidget;
            made->hide(); // the real widget starts hidden too
            return made.data();
        }));
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    window->show();
    Drawing d = makeDrawing();
    documents->adoptDrawing(d.db.get(), host.filePath(QStringLiteral("two.dxf")));
    zalDrawingTab* tab = window->currentTab();
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(made);
    EXPECT_EQ(factoryDb, d.db.get());
    EXPECT_EQ(tab->renderWidget(), made.data());
    EXPECT_TRUE(made->isVisible()); // shown, so a real one starts its viewer
    ASSERT_NE(tab->renderView(), nullptr);
    EXPECT_EQ(tab->renderView()->gsView(), tab->drawingView()->gsView());
    EXPECT_EQ(host.app()->viewSystem()->view(d.db.get()), tab->renderView());

    QCoreApplication::processEvents();
    const int before = made->cameraUpdates;
    tab->drawingView()->orbit(0.3, 0.0);
    tab->drawingView()->zoom(1.5);
    QCoreApplication::processEvents();
    EXPECT_EQ(made->cameraUpdates, before + 2);

    // Closing the drawing closes its render view and its widget.
    documents->closeDrawing(d.db.get());
    EXPECT_EQ(window->tabs()->count(), 0);
    EXPECT_FALSE(made);
    host.app()->viewSystem()->unregisterViewType(QStringLiteral("UnrealRender"));
}

TEST_F(MainWindow, CommandLineAnswersPromptsTypedByTheUser)
{
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    window->show();
    Drawing d = makeDrawing();
    documents->adoptDrawing(d.db.get(), host.filePath(QStringLiteral("three.dxf")));
    zalCommandLine* line = window->commandLine();
    ASSERT_TRUE(line->isVisible());
    const int before = window->currentTab()->drawingView()->primitiveCount();

    // The answer is typed while the command waits at its prompt.
    QTimer::singleShot(50, [line, &d] {
        EXPECT_TRUE(line->isPrompting());
        QTest::keyClicks(line->input(), hex(d.faceB));
        QTest::keyClick(line->input(), Qt::Key_Return);
    });
    QTest::keyClicks(line->input(), QStringLiteral("erase"));
    QTest::keyClick(line->input(), Qt::Key_Return);
    EXPECT_FALSE(line->isPrompting());
    EXPECT_TRUE(d.faceB.isErased());
    EXPECT_TRUE(line->history().contains(QStringLiteral("Erased 1 entity.")))
        << line->history().toStdString();
    EXPECT_EQ(window->currentTab()->drawingView()->primitiveCount(), before - 1);

    // Escape at a prompt cancels the command.
    QTimer::singleShot(50, [line] { QTest::keyClick(line->input(), Qt::Key_Escape); });
    line->submit(QStringLiteral("erase"));
    EXPECT_FALSE(d.faceA.isErased());
    EXPECT_TRUE(line->history().contains(QStringLiteral("*Cancel*")));
}

#include "zalHostMainWindowTest.moc"
