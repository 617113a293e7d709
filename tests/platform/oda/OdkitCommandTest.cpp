#include "odkit.h"

#include <gtest/gtest.h>

#include <deque>

namespace {
// User IO answering from a queue, as a scripted host does; an empty queue cancels.
class QueueIO : public OdDbUserIO
{
public:
    std::deque<OdString> answers;
    OdArray<OdString> prompts;
    OdArray<OdString> output;

    OdString next(const OdString& prompt)
    {
        prompts.append(prompt);
        if (answers.empty()) throw OdEdCancel();
        OdString a = answers.front();
        answers.pop_front();
        return a;
    }
    OdString getString(const OdString& prompt, int, const OdString& def, const OdString&) override
    {
        OdString a = next(prompt);
        return a.isEmpty() ? def : a;
    }
    int getInt(const OdString& prompt, int, int def, const OdString&) override
    {
        OdString a = next(prompt);
        return a.isEmpty() ? def : int(std::wcstol(a.c_str(), nullptr, 10));
    }
    double getReal(const OdString& prompt, int, double def, const OdString&) override
    {
        OdString a = next(prompt);
        return a.isEmpty() ? def : std::wcstod(a.c_str(), nullptr);
    }
    OdGePoint3d getPoint(const OdString& prompt, int, const OdGePoint3d* def, const OdString&,
                         OdEdPointTracker*) override
    {
        OdString a = next(prompt);
        return a.isEmpty() && def ? *def : OdGePoint3d();
    }
    int getKeyword(const OdString& prompt, const OdString&, int def, int) override
    {
        next(prompt);
        return def;
    }
    void putString(const OdString& text) override { output.append(text); }
};

class Context : public OdDbCommandContext
{
public:
    OdSmartPtr<QueueIO> io = OdRxObjectImpl<QueueIO>::createObject();
    OdRxObjectPtr document;
    OdEdUserIO* userIO() override { return io.get(); }
    OdRxObject* baseDatabase() override { return document.get(); }
};

class AskCommand : public OdEdCommand
{
public:
    int lastValue = -1;
    const OdString groupName() const override { return L"OdkitTest"; }
    const OdString globalName() const override { return L"ask"; }
    const OdString localName() const override { return L"frage"; }
    void execute(OdEdCommandContext* context) override
    {
        OdDbCommandContextPtr ctx = context; // other contexts raise NotThatKindOfClass
        lastValue = ctx->userIO()->getInt(L"Navigation Type (0,1,2)", OdEd::kInpDefault, 2);
        ctx->userIO()->putString(OdString::formatted(L"got %d", lastValue));
    }
};

class OtherCommand : public OdEdCommand
{
public:
    const OdString groupName() const override { return L"OdkitTest"; }
    const OdString globalName() const override { return L"other"; }
    void execute(OdEdCommandContext*) override {}
};

class PlainContext : public OdEdCommandContext
{
public:
    OdEdUserIO* userIO() override { return nullptr; }
    OdRxObject* baseDatabase() override { return nullptr; }
};
} // namespace

class OdkitCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        odedRegCmds()->addCommand(&ask);
        odedRegCmds()->addCommand(&other);
    }
    void TearDown() override
    {
        odedRegCmds()->removeCmd(L"OdkitTest", L"ask");
        odedRegCmds()->removeCmd(L"OdkitTest", L"other");
    }
    OdStaticRxObject<AskCommand> ask;
    OdStaticRxObject<OtherCommand> other;
};

TEST_F(OdkitCommands, LookUpByNameAndGroup)
{
    EXPECT_EQ(odedRegCmds()->lookupCmd(L"ask").get(), static_cast<OdEdCommand*>(&ask));
    EXPECT_EQ(odedRegCmds()->lookupCmd(L"ASK", L"odkittest").get(), static_cast<OdEdCommand*>(&ask));
    EXPECT_EQ(odedRegCmds()->lookupCmd(L"frage").get(), static_cast<OdEdCommand*>(&ask)) << "local name";
    EXPECT_TRUE(odedRegCmds()->lookupCmd(L"ask", L"OtherGroup").isNull());
    EXPECT_TRUE(odedRegCmds()->lookupCmd(L"missing").isNull());
    EXPECT_TRUE(odedRegCmds()->groupNames().contains(L"OdkitTest"));
    OdArray<OdEdCommandPtr> group = odedRegCmds()->groupCommands(L"OdkitTest");
    ASSERT_EQ(group.size(), 2u);
    EXPECT_EQ(group[0].get(), static_cast<OdEdCommand*>(&ask));
    int total = 0;
    for (OdRxIteratorPtr it = odedRegCmds()->newIterator(); !it->done(); it->next())
        ++total;
    EXPECT_GE(total, 2);
    bool found = false;
    for (OdRxDictionaryIteratorPtr g = odedRegCmds()->newGroupIterator(); !g->done(); g->next())
        if (g->getKey() == L"OdkitTest") found = OdRxDictionaryPtr(g->object())->has(L"other");
    EXPECT_TRUE(found);
}

TEST_F(OdkitCommands, DuplicateNamesInAGroupAreRefused)
{
    OdStaticRxObject<AskCommand> again;
    EXPECT_THROW(odedRegCmds()->addCommand(&again), OdError);
}

TEST_F(OdkitCommands, RemoveTakesTheCommandAway)
{
    EXPECT_TRUE(odedRegCmds()->removeCmd(L"OdkitTest", L"other"));
    EXPECT_TRUE(odedRegCmds()->lookupCmd(L"other").isNull());
    EXPECT_FALSE(odedRegCmds()->removeCmd(L"OdkitTest", L"other"));
    EXPECT_TRUE(odedRegCmds()->lookupCmd(L"ask").get() != nullptr) << "the rest of the group stays";
    odedRegCmds()->removeCmd(L"OdkitTest", L"ask");
    EXPECT_FALSE(odedRegCmds()->groupNames().contains(L"OdkitTest")) << "an empty group disappears";
}

TEST_F(OdkitCommands, ExecuteWithADrawingContext)
{
    OdSmartPtr<Context> ctx = OdRxObjectImpl<Context>::createObject();
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    ctx->document = db.get();
    EXPECT_EQ(ctx->database(), db.get());
    EXPECT_EQ(ctx->dbUserIO(), ctx->io.get());

    ctx->io->answers = {L""}; // accept the default
    odedRegCmds()->executeCommand(&ask, ctx);
    EXPECT_EQ(ask.lastValue, 2);
    EXPECT_EQ(ctx->io->prompts.last(), OdString(L"Navigation Type (0,1,2)"));
    EXPECT_EQ(ctx->io->output.last(), OdString(L"got 2"));

    ctx->io->answers = {L"1"};
    odedRegCmds()->lookupCmd(L"ask")->execute(ctx);
    EXPECT_EQ(ask.lastValue, 1);
}

TEST_F(OdkitCommands, CancelledPromptEndsTheCommandAsAnOdError)
{
    OdSmartPtr<Context> ctx = OdRxObjectImpl<Context>::createObject();
    ask.lastValue = -1;
    try {
        odedRegCmds()->executeCommand(&ask, ctx);
        FAIL() << "no cancel";
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eUserBreak);
    }
    EXPECT_EQ(ask.lastValue, -1);
    EXPECT_EQ(ctx->database(), nullptr) << "no document";
}

TEST_F(OdkitCommands, ContextOfAnotherClassRaisesNotThatKindOfClass)
{
    OdSmartPtr<PlainContext> plain = OdRxObjectImpl<PlainContext>::createObject();
    EXPECT_THROW(odedRegCmds()->executeCommand(&ask, plain), OdError_NotThatKindOfClass);
}

namespace {
// Writes down what it hears; may take itself off the stack while it is told.
class Listener : public OdEdCommandStackReactor
{
public:
    std::vector<std::string> heard;
    bool leaveOnStart = false;
    void commandWillStart(OdEdCommand* c, OdEdCommandContext*) override
    {
        heard.push_back("start " + name(c));
        if (leaveOnStart) odedRegCmds()->removeReactor(this);
    }
    void commandEnded(OdEdCommand* c, OdEdCommandContext*) override { heard.push_back("ended " + name(c)); }
    void commandCancelled(OdEdCommand* c, OdEdCommandContext*) override
    {
        heard.push_back("cancelled " + name(c));
    }
    void commandFailed(OdEdCommand* c, OdEdCommandContext*) override { heard.push_back("failed " + name(c)); }

private:
    static std::string name(OdEdCommand* c)
    {
        const OdString n = c->globalName();
        return std::string(n.c_str(), n.c_str() + n.getLength());
    }
};
} // namespace

TEST_F(OdkitCommands, ReactorsHearEachCommandStartAndHowItEnded)
{
    OdStaticRxObject<Listener> listener;
    odedRegCmds()->addReactor(&listener);
    odedRegCmds()->addReactor(&listener); // once is enough
    OdSmartPtr<Context> ctx = OdRxObjectImpl<Context>::createObject();
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    ctx->document = db.get();
    ctx->io->answers = {L"1"};
    odedRegCmds()->executeCommand(&ask, ctx);
    EXPECT_THROW(odedRegCmds()->executeCommand(&ask, ctx), OdEdCancel); // no answer left
    OdSmartPtr<PlainContext> plain = OdRxObjectImpl<PlainContext>::createObject();
    EXPECT_THROW(odedRegCmds()->executeCommand(&ask, plain), OdError); // not a drawing context
    odedRegCmds()->executeCommand(&other, ctx);
    EXPECT_EQ(listener.heard,
              (std::vector<std::string>{"start ask", "ended ask", "start ask", "cancelled ask", "start ask",
                                        "failed ask", "start other", "ended other"}));

    // A reactor that leaves while it is told hears nothing more, and the command still runs.
    listener.heard.clear();
    listener.leaveOnStart = true;
    odedRegCmds()->executeCommand(&other, ctx);
    odedRegCmds()->executeCommand(&other, ctx);
    EXPECT_EQ(listener.heard, (std::vector<std::string>{"start other"}));
    odedRegCmds()->removeReactor(&listener);
}
