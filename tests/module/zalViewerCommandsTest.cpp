// The four viewer commands through the host console.
#include "tests/common/zalModuleTestHost.h"

class ViewerCommands : public zalModuleTestHost
{
};

TEST_F(ViewerCommands, unrealcommandSendsTheAnswerAndNothingForAnEmptyOne)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();

    host->console()->queueAnswers({""});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Done);
    EXPECT_TRUE(o.recorder->lines().isEmpty());

    host->console()->queueAnswers({"r.ScreenPercentage 50"});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Done);
    EXPECT_EQ(o.recorder->consoleCommands(), QStringList({"r.ScreenPercentage 50"}));
    EXPECT_TRUE(host->console()->transcript().join('\n').contains("Console Command"));
}

TEST_F(ViewerCommands, outlinerAndPostProcessSendTheirCommands)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();
    EXPECT_EQ(host->console()->executeCommand("unrealoutliner"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->executeCommand("unrealpostprocess"), zalHostConsole::Done);
    EXPECT_EQ(o.recorder->consoleCommands(), QStringList({"ShowOutliner", "PostProcessSettings"}));
}

TEST_F(ViewerCommands, cameraModeWithTheDefaultSendsType2AndTurnsCameraModeOff)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.widget->setCameraMode(true);
    o.recorder->clear();

    host->console()->queueAnswers({""});
    EXPECT_EQ(host->console()->executeCommand("unrealcameramode"), zalHostConsole::Done);
    EXPECT_EQ(o.recorder->lines("setNavigationType"), QStringList({"setNavigationType type=2"}));
    EXPECT_FALSE(o.widget->cameraMode());

    host->console()->queueAnswers({"0"});
    EXPECT_EQ(host->console()->executeCommand("unrealcameramode"), zalHostConsole::Done);
    EXPECT_EQ(o.recorder->lines("setNavigationType").last(), "setNavigationType type=0");
    EXPECT_TRUE(o.widget->cameraMode());
    EXPECT_TRUE(host->console()->transcript().join('\n').contains("Navigation Type (0,1,2)"));
}

TEST_F(ViewerCommands, cancellingAPromptSendsNothing)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();
    host->console()->queueAnswers({zalHostConsole::cancelToken()});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Cancelled);
    host->console()->queueAnswers({zalHostConsole::cancelToken()});
    EXPECT_EQ(host->console()->executeCommand("unrealcameramode"), zalHostConsole::Cancelled);
    EXPECT_TRUE(o.recorder->lines().isEmpty());
}

TEST_F(ViewerCommands, withoutARenderViewOrAStartedViewerNothingHappens)
{
    // A drawing without a render view.
    OdDbDatabasePtr bare = newDrawing();
    host->addDocument(bare);
    host->console()->setCurrentDatabase(bare);
    EXPECT_EQ(host->console()->executeCommand("unrealoutliner"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->executeCommand("unrealpostprocess"), zalHostConsole::Done);
    // The camera mode checks before it prompts: the answer stays queued.
    host->console()->queueAnswers({"1"});
    EXPECT_EQ(host->console()->executeCommand("unrealcameramode"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->pendingAnswers(), QStringList({"1"}));
    host->console()->clearAnswers();
    EXPECT_TRUE(transports.isEmpty());

    // A render view whose viewer has not started yet.
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    o.recorder->clear();
    host->console()->queueAnswers({"stat fps"});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->executeCommand("unrealoutliner"), zalHostConsole::Done);
    host->console()->queueAnswers({"1"});
    EXPECT_EQ(host->console()->executeCommand("unrealcameramode"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->pendingAnswers(), QStringList({"1"}));
    EXPECT_TRUE(o.recorder->lines().isEmpty());
    EXPECT_FALSE(o.widget->cameraMode());
}
