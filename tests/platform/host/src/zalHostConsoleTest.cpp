#include "tests/common/zalTestHost.h"

#include "IzalConsole.h"
#include "zalHostConsole.h"

#include "DbCommandContext.h"
#include "DbDatabase.h"
#include "DbObject.h"
#include "DbUserIO.h"
#include "Ed/EdCommand.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

class zalHostTestCommand : public OdEdCommand
{
public:
    zalHostTestCommand(const char* name, std::function<void(OdDbCommandContext*)> body)
        : m_name(name), m_body(std::move(body))
    {
    }
    const OdString groupName() const override { return OdString("zalHostTest"); }
    const OdString globalName() const override { return m_name; }
    void execute(OdEdCommandContext* context) override { m_body(OdDbCommandContext::cast(context).get()); }

private:
    OdString m_name;
    std::function<void(OdDbCommandContext*)> m_body;
};

class zalHostTestTracker : public OdEdPointTracker
{
public:
    std::vector<OdGePoint3d> values;
    void setValue(const OdGePoint3d& value) override { values.push_back(value); }
    int addDrawables(OdGsView*) override { return 0; }
    void removeDrawables(OdGsView*) override {}
};

} // namespace

class zalHostConsoleTest : public ::testing::Test
{
protected:
    zalTestHost host{zalHostOptions::Console};
    zalHostConsole* console = host.app()->console();
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    std::vector<std::unique_ptr<OdStaticRxObject<zalHostTestCommand>>> commands;

    QString text;
    int number = -1;
    double real = -1.0;
    OdDbDatabase* seenDatabase = nullptr;
    OdStaticRxObject<zalHostTestTracker> tracker;
    OdGePoint3d point;

    void add(const char* name, std::function<void(OdDbCommandContext*)> body)
    {
        commands.push_back(std::make_unique<OdStaticRxObject<zalHostTestCommand>>(name, std::move(body)));
        odedRegCmds()->addCommand(commands.back().get());
    }

    void SetUp() override
    {
        add("zalhost_string", [this](OdDbCommandContext* c) {
            text =
                QString::fromStdWString(c->userIO()->getString(OdString("Console Command")).toStdWString());
        });
        add("zalhost_int", [this](OdDbCommandContext* c) {
            number = c->userIO()->getInt(OdString("Navigation Type (0,1,2)"), OdEd::kInpDefault, 2);
        });
        add("zalhost_positive", [this](OdDbCommandContext* c) {
            real = c->userIO()->getReal(OdString("Scale"), OdEd::kInpNonZero | OdEd::kInpNonNeg, 1.0);
        });
        add("zalhost_count", [this](OdDbCommandContext* c) {
            number = c->userIO()->getInt(OdString("Count"), OdEd::kInpNonNeg, 5);
        });
        add("zalhost_point", [this](OdDbCommandContext* c) {
            point = c->userIO()->getPoint(OdString("Set Position"), OdEd::kGptDefault, nullptr, OdString(),
                                          &tracker);
        });
        add("zalhost_keyword", [this](OdDbCommandContext* c) {
            number = c->userIO()->getKeyword(OdString("Mode"), OdString("Fast Slow"));
        });
        add("zalhost_database", [this](OdDbCommandContext* c) {
            seenDatabase = c->database();
            c->userIO()->putString(OdString("looked"));
        });
        add("zalhost_fail", [](OdDbCommandContext*) { throw OdError(eInvalidInput); });
    }
    void TearDown() override { odedRegCmds()->removeGroup(OdString("zalHostTest")); }
};

TEST_F(zalHostConsoleTest, transcriptKeepsTheLastLinesOfALongSession)
{
    QString script;
    for (int i = 0; i < zalHostConsole::kTranscriptLines; ++i)
        script += QStringLiteral("zalhost_string\nanswer %1\n").arg(i);
    EXPECT_EQ(console->runScript(script), zalHostConsole::kTranscriptLines);
    const QStringList lines = console->transcript();
    EXPECT_EQ(lines.size(), zalHostConsole::kTranscriptLines);
    // Several lines per command: the oldest commands are gone, the newest are there in order.
    const int last = zalHostConsole::kTranscriptLines - 1;
    EXPECT_FALSE(lines.contains(QStringLiteral("Console Command: answer 0")));
    const int newest = lines.indexOf(QStringLiteral("Console Command: answer %1").arg(last));
    const int before = lines.indexOf(QStringLiteral("Console Command: answer %1").arg(last - 1));
    ASSERT_GE(newest, 0);
    EXPECT_LT(before, newest);
    EXPECT_GE(before, 0);
    EXPECT_GE(newest, lines.size() - 3);
}

TEST_F(zalHostConsoleTest, queuedAnswerFeedsThePrompt)
{
    console->queueAnswers({"stat fps"});
    EXPECT_EQ(console->executeCommand("zalhost_string"), zalHostConsole::Done);
    EXPECT_EQ(text, "stat fps");
    EXPECT_TRUE(console->transcript().contains("Console Command: stat fps"));
    EXPECT_TRUE(console->pendingAnswers().isEmpty());
}

TEST_F(zalHostConsoleTest, emptyQueueCancels)
{
    EXPECT_EQ(console->executeCommand("zalhost_string"), zalHostConsole::Cancelled);
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(zalHostConsoleTest, cancelTokenCancelsAndKeepsLaterAnswers)
{
    console->queueAnswers({zalHostConsole::cancelToken(), "later"});
    EXPECT_EQ(console->executeCommand("zalhost_int"), zalHostConsole::Cancelled);
    EXPECT_EQ(number, -1);
    EXPECT_EQ(console->pendingAnswers(), QStringList({"later"}));
}

TEST_F(zalHostConsoleTest, emptyAnswerTakesTheDefault)
{
    console->queueAnswers({""});
    EXPECT_EQ(console->executeCommand("zalhost_int"), zalHostConsole::Done);
    EXPECT_EQ(number, 2);
}

TEST_F(zalHostConsoleTest, invalidAnswerAsksAgain)
{
    console->queueAnswers({"two", "1"});
    EXPECT_EQ(console->executeCommand("zalhost_int"), zalHostConsole::Done);
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(console->transcript().contains("Requires an integer value."));
}

// A real prompt refusing zero and negatives, then an integer prompt refusing negatives only: each
// refused answer is named and asked again.
TEST_F(zalHostConsoleTest, numericPromptsAskAgainUntilTheOptionsAllowTheAnswer)
{
    console->queueAnswers({"x", "0", "-1.5", "2.5"});
    EXPECT_EQ(console->executeCommand("zalhost_positive"), zalHostConsole::Done);
    EXPECT_EQ(real, 2.5);
    const QStringList realLines = console->transcript();
    for (const char* refusal :
         {"Requires a real value.", "Value must not be zero.", "Value must not be negative."})
        EXPECT_TRUE(realLines.contains(refusal)) << refusal;

    console->queueAnswers({"1.5", "-3", "0"});
    EXPECT_EQ(console->executeCommand("zalhost_count"), zalHostConsole::Done);
    EXPECT_EQ(number, 0);
    const QStringList countLines = console->transcript().mid(realLines.size());
    for (const char* refusal : {"Requires an integer value.", "Value must not be negative."})
        EXPECT_TRUE(countLines.contains(refusal)) << refusal;
    EXPECT_FALSE(countLines.contains("Value must not be zero."));
}

TEST_F(zalHostConsoleTest, invalidAnswersUntilTheQueueEndsCancel)
{
    console->queueAnswers({"two", "three"});
    EXPECT_EQ(console->executeCommand("zalhost_int"), zalHostConsole::Cancelled);
}

TEST_F(zalHostConsoleTest, pointGoesThroughTheTracker)
{
    console->queueAnswers({"1,2.5,-3"});
    EXPECT_EQ(console->executeCommand("zalhost_point"), zalHostConsole::Done);
    EXPECT_EQ(point, OdGePoint3d(1, 2.5, -3));
    ASSERT_EQ(tracker.values.size(), 1u);
    EXPECT_EQ(tracker.values.front(), OdGePoint3d(1, 2.5, -3));
}

TEST_F(zalHostConsoleTest, twoCoordinatesGiveAPointAtZero)
{
    console->queueAnswers({"4,5"});
    EXPECT_EQ(console->executeCommand("zalhost_point"), zalHostConsole::Done);
    EXPECT_EQ(point, OdGePoint3d(4, 5, 0));
}

TEST_F(zalHostConsoleTest, keywordByNameOrBeginning)
{
    console->queueAnswers({"slow"});
    EXPECT_EQ(console->executeCommand("zalhost_keyword"), zalHostConsole::Done);
    EXPECT_EQ(number, 1);
    console->queueAnswers({"F"});
    EXPECT_EQ(console->executeCommand("zalhost_keyword"), zalHostConsole::Done);
    EXPECT_EQ(number, 0);
}

TEST_F(zalHostConsoleTest, commandSeesTheCurrentDatabase)
{
    EXPECT_EQ(console->currentDatabase(), nullptr);
    host.app()->addDocument(db.get());
    IzalConsole* service = zalService<IzalConsole>(IzalConsole_id);
    EXPECT_EQ(service->currentDatabase(), static_cast<OdRxObject*>(db.get()));
    EXPECT_EQ(console->executeCommand("zalhost_database"), zalHostConsole::Done);
    EXPECT_EQ(seenDatabase, db.get());
    EXPECT_TRUE(console->transcript().contains("looked"));
    host.app()->removeDocument(db.get());
    EXPECT_EQ(service->currentDatabase(), nullptr);
}

TEST_F(zalHostConsoleTest, unknownAndFailingCommandsAreReported)
{
    EXPECT_EQ(console->executeCommand("zalhost_none"), zalHostConsole::UnknownCommand);
    EXPECT_EQ(console->executeCommand("zalhost_fail"), zalHostConsole::Failed);
    EXPECT_FALSE(console->lastError().isEmpty());
}

TEST_F(zalHostConsoleTest, scriptRunsCommandsWithTheirAnswers)
{
    EXPECT_EQ(console->runScript("zalhost_string\r\nr.ScreenPercentage 50\n\nzalhost_int\n\n"), 2);
    EXPECT_EQ(text, "r.ScreenPercentage 50");
    EXPECT_EQ(number, 2);
}

TEST_F(zalHostConsoleTest, scriptStopsAtTheFirstCommandThatDoesNotFinish)
{
    EXPECT_EQ(console->runScript("zalhost_int\n*Cancel*\nzalhost_string\nnever"), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_TRUE(console->pendingAnswers().isEmpty());
}

TEST_F(zalHostConsoleTest, placementIsHandedToTheHost)
{
    IzalConsole* service = zalService<IzalConsole>(IzalConsole_id);
    OdDbObjectPtr material = db->globalMaterialId().safeOpenObject();
    service->setPlacementPropertySource(material.get(), db.get(), 0);
    EXPECT_EQ(console->placementPropertySource().get(), static_cast<OdRxObject*>(material.get()));
    service->placementAppended(material.get(), db.get());
    EXPECT_EQ(console->lastPlacedObject(), db->globalMaterialId());
    EXPECT_TRUE(console->placementPropertySource().isNull());
}
