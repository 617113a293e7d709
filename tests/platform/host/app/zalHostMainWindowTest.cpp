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
#include "zalSelectionController.h"

#include "DbFace.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cmath>

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

namespace {

QPoint pixelOf(zalDrawingView* view, const OdGePoint3d& world)
{
    QPointF p;
    EXPECT_TRUE(view->project(world, p));
    return p.toPoint();
}

// A command of another group that says nothing, as the module's viewer commands do.
class QuietCommand : public OdEdCommand
{
public:
    const OdString groupName() const override { return OdString("TestGroup"); }
    const OdString globalName() const override { return OdString("zzquiet"); }
    void execute(OdEdCommandContext*) override {}
};

} // namespace

TEST_F(MainWindow, ClicksAnswerEntityAndPointPromptsAndSelectOtherwise)
{
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    window->show();
    Drawing d = makeDrawing();
    documents->adoptDrawing(d.db.get(), host.filePath(QStringLiteral("four.dxf")));
    zalCommandLine* line = window->commandLine();
    zalDrawingView* view = window->currentTab()->drawingView();
    view->resize(600, 400);

    // Without a prompt a click selects, and the entity is drawn highlighted.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, pixelOf(view, OdGePoint3d(4, 1, 0)));
    ASSERT_EQ(window->selectionController()->selection().size(), 1u);
    EXPECT_EQ(window->selectionController()->selection().front(), d.faceB);
    EXPECT_EQ(view->highlighted(), std::vector<OdDbObjectId>{d.faceB});
    EXPECT_TRUE(line->history().contains(QStringLiteral("Selected AcDbFace %1.").arg(hex(d.faceB))))
        << line->history().toStdString();
    // Escape in the view clears it.
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_TRUE(view->highlighted().empty());

    // "move": the entity by a click, the displacement by a click beside the model (on the ground).
    const QPoint target(pixelOf(view, OdGePoint3d(9, -4, 0)));
    QTimer::singleShot(50, [&] {
        EXPECT_TRUE(line->promptText().contains(QStringLiteral("click an entity")))
            << line->promptText().toStdString();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, pixelOf(view, OdGePoint3d(1, 1, 0)));
        QTimer::singleShot(50, [&] {
            EXPECT_TRUE(line->promptText().contains(QStringLiteral("x,y[,z]")))
                << line->promptText().toStdString();
            QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, target);
        });
    });
    line->submit(QStringLiteral("move"));
    EXPECT_FALSE(line->isPrompting());
    OdDbFacePtr moved = d.faceA.safeOpenObject();
    OdGePoint3d corner;
    moved->getVertexAt(0, corner);
    // The corner moved from the origin to the clicked point, which lies on z = 0 under the cursor.
    EXPECT_NEAR(corner.z, 0.0, 1e-9);
    QPointF seen;
    ASSERT_TRUE(view->project(corner, seen));
    EXPECT_LE(std::hypot(seen.x() - target.x() - 0.5, seen.y() - target.y() - 0.5), 1.0);
    moved.release();

    // "erase" answered by a click on face B; a click on nothing keeps the prompt open.
    QTimer::singleShot(50, [&] {
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        EXPECT_TRUE(line->isPrompting());
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, pixelOf(view, OdGePoint3d(4, 1, 0)));
    });
    line->submit(QStringLiteral("erase"));
    EXPECT_TRUE(d.faceB.isErased());
    EXPECT_TRUE(line->history().contains(QStringLiteral("Nothing to pick there.")));

    // Escape in the drawing view cancels a prompt.
    QTimer::singleShot(50, [&] { QTest::keyClick(view, Qt::Key_Escape); });
    line->submit(QStringLiteral("erase"));
    EXPECT_FALSE(line->isPrompting());
    EXPECT_FALSE(d.line.isErased());
    EXPECT_TRUE(line->history().endsWith(QStringLiteral("*Cancel*")));
}

TEST_F(MainWindow, HelpListsEveryCommandAndTabCompletesNames)
{
    OdStaticRxObject<QuietCommand> quiet;
    odedRegCmds()->addCommand(&quiet);
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    window->show();
    Drawing d = makeDrawing();
    documents->adoptDrawing(d.db.get(), host.filePath(QStringLiteral("five.dxf")));
    zalCommandLine* line = window->commandLine();

    line->submit(QStringLiteral("?"));
    const QStringList names = zalHostConsole::commandNames();
    EXPECT_TRUE(names.contains(QStringLiteral("zzquiet")));
    EXPECT_TRUE(names.contains(QStringLiteral("erase")));
    const QString history = line->history();
    for (const QString& name : names)
        EXPECT_TRUE(history.contains(QRegularExpression(QStringLiteral("\\n  %1 +\\S").arg(name))))
            << name.toStdString();
    EXPECT_TRUE(history.contains(QStringLiteral("erases an entity")));

    // A silent command still ends with a line.
    line->submit(QStringLiteral("zzquiet"));
    EXPECT_TRUE(line->history().endsWith(QStringLiteral("zzquiet finished.")));

    // One match is filled in; several are listed, and the focus stays in the line.
    QApplication::setActiveWindow(window.get());
    line->input()->setFocus();
    ASSERT_TRUE(line->input()->hasFocus());
    QTest::keyClicks(line->input(), QStringLiteral("er"));
    QTest::keyClick(line->input(), Qt::Key_Tab);
    EXPECT_EQ(line->input()->text(), QStringLiteral("erase "));
    line->input()->clear();
    QTest::keyClicks(line->input(), QStringLiteral("s"));
    QTest::keyClick(line->input(), Qt::Key_Tab);
    EXPECT_TRUE(line->history().endsWith(QStringLiteral("save  setmaterial")))
        << line->history().toStdString();
    EXPECT_TRUE(line->input()->hasFocus());
    line->input()->clear();

    // The first answer on the command's own line.
    line->submit(QStringLiteral("erase ") + hex(d.faceA));
    EXPECT_TRUE(d.faceA.isErased());
    odedRegCmds()->removeCmd(OdString("TestGroup"), OdString("zzquiet"));
}

#include "zalHostMainWindowTest.moc"

// A hostile drawing chosen through File > Open: the window stays up, opens no tab, and an error box
// names the block and the file. The box is shown without a nested event loop (the menu action has
// returned while it is up), so nothing else of the host waits for it.
TEST_F(MainWindow, AHostileDrawingOpenedFromTheMenuShowsAnErrorBoxNamingTheBlock)
{
    window.reset(new zalHostMainWindow(host.app(), documents.get()));
    window->show();
    QAction* open = nullptr;
    for (QAction* menu : window->menuBar()->actions())
        if (menu->menu())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == QLatin1String("&Open...")) open = a;
    ASSERT_NE(open, nullptr);

    const QByteArray face = "0\n3DFACE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n"
                            "13\n0\n23\n1\n33\n0\n";
    const auto blocks = [&](const QList<QPair<QByteArray, QByteArray>>& nameAndInsert) {
        QByteArray s = "0\nSECTION\n2\nBLOCKS\n";
        for (const auto& [name, inner] : nameAndInsert)
            s += "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n10\n0\n20\n0\n30\n0\n3\n" + name + "\n" + face +
                 "0\nINSERT\n8\n0\n2\n" + inner + "\n10\n1\n20\n0\n30\n0\n0\nENDBLK\n8\n0\n";
        return s + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\n" + nameAndInsert.first().first +
               "\n10\n0\n20\n0\n30\n0\n0\nENDSEC\n0\nEOF\n";
    };
    const struct
    {
        const char* file;
        QByteArray dxf;
        const char* message;
    } rows[] = {
        {"self.dxf", blocks({{"LOOP", "LOOP"}}), "block \"LOOP\" inserts itself"},
        {"pair.dxf", blocks({{"PING", "PONG"}, {"PONG", "PING"}}), "inserts itself through block \"P"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const QString path = host.filePath(QString::fromLatin1(row.file));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(row.dxf), row.dxf.size());
        f.close();

        // The user types the file's path in the open dialog. Its own accept waits for the view of the
        // folder, which a thread fills in (and may not, in a process without a terminal): the choice
        // is taken as made instead.
        bool picked = false;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            picked = true;
            // Typed as a whole path: selecting needs the folder's view, which may not be filled yet.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name)
                name->setText(path);
            else
                dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        });
        answer.start(50);
        open->trigger();
        answer.stop();
        ASSERT_TRUE(picked) << "no open dialog came up";

        QMessageBox* box = nullptr;
        for (int i = 0; i < 100 && !box; ++i) {
            QApplication::processEvents();
            for (QMessageBox* b : window->findChildren<QMessageBox*>(QStringLiteral("openError")))
                if (b->isVisible()) box = b;
        }
        ASSERT_NE(box, nullptr) << "no error box";
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_TRUE(box->text().contains(QLatin1String(row.message))) << box->text().toStdString();
        EXPECT_TRUE(box->text().contains(QString::fromLatin1(row.file))) << box->text().toStdString();
        EXPECT_EQ(window->tabs()->count(), 0) << "nothing of the refused drawing is open";
        EXPECT_TRUE(documents->drawings().isEmpty());
        box->close();
        QApplication::processEvents();
    }
}
