// Unsaved changes in a real main window (offscreen): the modified marker on tab and title, Save to
// the drawing's own file, the Save / Discard / Cancel question when a modified drawing would close,
// no question in headless runs, and undo / redo from the Edit menu.
#include "zalDocumentManager.h"
#include "zalDrawingTab.h"
#include "zalHostAppTestSupport.h"
#include "zalHostCommands.h"
#include "zalHostConsole.h"
#include "zalHostMainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zalHostAppTest;

namespace {

class UnsavedChanges : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { zalHostCommands::registerAll(); }
    static void TearDownTestSuite() { zalHostCommands::unregisterAll(); }
    void SetUp() override
    {
        documents.reset(new zalDocumentManager(host.app()));
        window.reset(new zalHostMainWindow(host.app(), documents.get()));
        drawing = makeDrawing();
        file = host.filePath(QStringLiteral("one.dxf"));
        documents->adoptDrawing(drawing.db.get(), file);
    }
    void TearDown() override
    {
        window->setAskToSave(false);
        window.reset();
        documents.reset();
    }
    void edit() { ASSERT_EQ(host.app()->console()->runScript(QStringLiteral("move\n#1\n1,0,0\n")), 1); }
    OdGePoint3d firstCorner() const
    {
        OdDbFacePtr face = drawing.faceA.safeOpenObject();
        OdGePoint3d p;
        face->getVertexAt(0, p);
        return p;
    }
    // Answers the next unsaved-changes question with button; the question's text lands in asked.
    void answerWith(QMessageBox::StandardButton button)
    {
        auto* timer = new QTimer(window.get());
        QObject::connect(timer, &QTimer::timeout, window.get(), [this, timer, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->objectName() != QLatin1String("unsavedChanges")) return;
            asked << box->text();
            timer->stop();
            box->button(button)->click();
        });
        timer->start(20);
    }

    Host host;
    std::unique_ptr<zalDocumentManager> documents;
    std::unique_ptr<zalHostMainWindow> window;
    Drawing drawing;
    QString file;
    QStringList asked;
};

} // namespace

TEST_F(UnsavedChanges, TabAndTitleMarkAnEditedDrawingUntilItIsSaved)
{
    EXPECT_EQ(window->tabs()->tabText(0), QStringLiteral("one.dxf"));
    EXPECT_FALSE(window->isWindowModified());
    edit();
    EXPECT_EQ(window->tabs()->tabText(0), QStringLiteral("one.dxf*"));
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_TRUE(window->windowTitle().contains(QLatin1String("[*]")));

    window->saveCurrent();
    EXPECT_TRUE(QFileInfo(file).size() > 0);
    EXPECT_EQ(window->tabs()->tabText(0), QStringLiteral("one.dxf"));
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_FALSE(documents->isModified(drawing.db.get()));
}

TEST_F(UnsavedChanges, QuittingWithUnsavedChangesAsksAndCancelKeepsTheDrawingOpen)
{
    window->show();
    edit();
    answerWith(QMessageBox::Cancel);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(QLatin1String("one.dxf")));
    EXPECT_EQ(window->tabs()->count(), 1);
    EXPECT_FALSE(QFileInfo::exists(file));

    answerWith(QMessageBox::Save);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(window->tabs()->count(), 0);
    // What was saved is the edited drawing.
    EXPECT_TRUE(QFileInfo(file).size() > 0);
}

TEST_F(UnsavedChanges, DiscardClosesWithoutWritingAndAnUnchangedDrawingClosesWithoutAsking)
{
    window->show();
    edit();
    answerWith(QMessageBox::Discard);
    window->closeCurrent();
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(window->tabs()->count(), 0);
    EXPECT_FALSE(QFileInfo::exists(file));

    Drawing other = makeDrawing();
    documents->adoptDrawing(other.db.get(), host.filePath(QStringLiteral("two.dxf")));
    answerWith(QMessageBox::Cancel); // would keep it open if it were asked
    EXPECT_TRUE(window->close());
    EXPECT_EQ(asked.size(), 1);
}

TEST_F(UnsavedChanges, HeadlessRunsNeverAsk)
{
    window->setAskToSave(false);
    edit();
    answerWith(QMessageBox::Cancel);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(asked.isEmpty());
}

TEST_F(UnsavedChanges, EditMenuUndoAndRedoTakeBackOneCommand)
{
    QAction* undo = window->findChild<QAction*>(QStringLiteral("undoAction"));
    QAction* redo = window->findChild<QAction*>(QStringLiteral("redoAction"));
    ASSERT_TRUE(undo && redo);
    EXPECT_TRUE(undo->shortcuts().contains(QKeySequence(Qt::CTRL + Qt::Key_Z)));
    EXPECT_TRUE(redo->shortcuts().contains(QKeySequence(Qt::CTRL + Qt::Key_Y)));
    edit();
    edit();
    EXPECT_EQ(firstCorner(), OdGePoint3d(2, 0, 0));
    undo->trigger();
    EXPECT_EQ(firstCorner(), OdGePoint3d(1, 0, 0));
    undo->trigger();
    EXPECT_EQ(firstCorner(), OdGePoint3d(0, 0, 0));
    redo->trigger();
    EXPECT_EQ(firstCorner(), OdGePoint3d(1, 0, 0));
    // An undone edit still differs from the file.
    EXPECT_TRUE(window->isWindowModified());
}

TEST_F(UnsavedChanges, UndoingBackToTheSavedDrawingClearsTheMarkerAndRedoSetsItAgain)
{
    QAction* undo = window->findChild<QAction*>(QStringLiteral("undoAction"));
    QAction* redo = window->findChild<QAction*>(QStringLiteral("redoAction"));
    ASSERT_TRUE(undo && redo);
    const auto marked = [this] {
        const bool tab = window->tabs()->tabText(0) == QLatin1String("one.dxf*");
        EXPECT_EQ(tab, window->isWindowModified()) << "tab and title disagree";
        EXPECT_EQ(tab, documents->isModified(drawing.db.get())) << "tab and document disagree";
        return tab;
    };
    edit();
    window->saveCurrent();
    ASSERT_FALSE(marked());
    edit();
    EXPECT_TRUE(marked());
    undo->trigger();
    EXPECT_EQ(firstCorner(), OdGePoint3d(1, 0, 0));
    EXPECT_FALSE(marked()) << "undo came back to the saved drawing";
    undo->trigger();
    EXPECT_TRUE(marked()) << "one step before the saved drawing";
    redo->trigger();
    EXPECT_FALSE(marked());
    redo->trigger();
    EXPECT_TRUE(marked());
    undo->trigger();
    EXPECT_FALSE(marked());

    // A change outside any command joins the last step: the saved position is left all the same.
    {
        OdDbFacePtr face = drawing.faceA.safeOpenObject(OdDb::kForWrite);
        face->setVertexAt(1, OdGePoint3d(5, 5, 5));
    }
    EXPECT_TRUE(marked()) << "a step that grew after the save";
    undo->trigger();
    EXPECT_TRUE(marked());
    redo->trigger();
    EXPECT_TRUE(marked());

    // Past the saved drawing and a new edit from there: the saved drawing cannot come back.
    window->saveCurrent();
    ASSERT_FALSE(marked());
    undo->trigger();
    edit();
    undo->trigger();
    EXPECT_TRUE(marked()) << "the redo that led to the saved drawing is gone";
    EXPECT_EQ(firstCorner(), OdGePoint3d(0, 0, 0));
}
