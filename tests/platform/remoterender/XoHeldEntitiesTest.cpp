// What the sender believes the viewer holds: pairs held again are told apart from new ones (the sender
// counts only new content), an entity's meshes are found under it, and nothing of a forgotten entry is
// used again when its name comes back.
#include "XoHeldEntities.h"
#include "XoRemoteRenderMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Kind = XoHeldEntities::Kind;

TEST(XoHeldEntities, HoldingAgainIsToldApartAndKeepsTheLatestKind)
{
    XoHeldEntities held;
    EXPECT_FALSE(held.hold("Root", "", Kind::Other));
    EXPECT_FALSE(held.hold("E1", "Root", Kind::Other));
    EXPECT_FALSE(held.hold("E1_mat", "E1", Kind::Mesh)); // its owner is the entity just held
    EXPECT_TRUE(held.hold("E1", "Root", Kind::Other));
    EXPECT_TRUE(held.hold("E1_mat", "E1", Kind::Other));
    bool isHeld = false;
    EXPECT_FALSE(held.isMesh("E1_mat", "E1", &isHeld)) << "the kind of the last hold counts";
    EXPECT_TRUE(isHeld);
    // The same name under another owner is a pair of its own.
    EXPECT_FALSE(held.hold("E1_mat", "Root", Kind::Mesh));
    EXPECT_TRUE(held.isHeld("E1_mat", "E1"));
    EXPECT_TRUE(held.isHeld("E1_mat", "Root"));
    EXPECT_FALSE(held.isHeld("E1_mat", "E2"));
}

TEST(XoHeldEntities, ANameForgottenAndHeldAgainStartsAfresh)
{
    XoHeldEntities held;
    held.hold("Root", "", Kind::Other);
    held.hold("A", "Root", Kind::Other);
    held.forget("A", "");
    EXPECT_FALSE(held.isHeld("A"));
    // "A" was the last entry held and is gone: a mesh under a new "A" must not reach the old one.
    EXPECT_FALSE(held.hold("A_mat", "A", Kind::Mesh));
    EXPECT_TRUE(held.isHeld("A_mat", "A"));
    EXPECT_FALSE(held.hold("A", "Root", Kind::Other));
    held.forgetChildren("A", false);
    EXPECT_FALSE(held.isHeld("A_mat"));
    EXPECT_TRUE(held.isHeld("A", "Root"));
    held.clear();
    EXPECT_FALSE(held.hold("A", "Root", Kind::Other)) << "nothing is held after clear()";
}

TEST(XoRemoteRenderMessage, StringsStayReadableAsMoreAreAddedAndTheMessageMoves)
{
    // Short strings live inside their string object: storage that moved them as it grew would leave the
    // fields' views behind.
    XoRemoteRenderMessage m(XoMessageType::ViewerMessage);
    std::vector<std::string> texts;
    for (int i = 0; i < 40; ++i)
        texts.push_back(i % 2 ? "s" + std::to_string(i) : std::string(30 + i, char('a' + i % 26)));
    for (const std::string& text : texts)
        m.addString(text);
    XoRemoteRenderMessage moved(std::move(m));
    ASSERT_EQ(moved.fields().size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(moved.field(i).text(), texts[i]) << i;
}

TEST(XoHeldEntities, AMeshsOwnerDoesNotStandForTheNextEntitysBlock)
{
    // Entities of a block come in a run, each followed by its meshes: the block must stay the owner of the
    // next entity, and each mesh go under its own entity.
    XoHeldEntities held;
    held.hold("Root", "", Kind::Other);
    for (const char* e : {"E1", "E2", "E3"}) {
        EXPECT_FALSE(held.hold(e, "Root", Kind::Other));
        EXPECT_FALSE(held.hold(std::string(e) + "_m", e, Kind::Mesh));
    }
    for (const char* e : {"E1", "E2", "E3"}) {
        EXPECT_TRUE(held.isHeld(e, "Root")) << e;
        bool isHeld = false;
        EXPECT_TRUE(held.isMesh(std::string(e) + "_m", e, &isHeld)) << e;
        EXPECT_TRUE(isHeld);
    }
    EXPECT_FALSE(held.isHeld("E2", "E1"));
    EXPECT_FALSE(held.isHeld("E3_m", "E2"));
    held.forgetChildren("Root", true);
    for (const char* name : {"E1", "E2", "E3", "E1_m", "E2_m", "E3_m"})
        EXPECT_FALSE(held.isHeld(name)) << name;
}

TEST(XoHeldEntities, NamesApartOnlyAfterANulOrFarInAreApart)
{
    // Names are byte strings of their own length, kept with the entry: a copy up to a nul, or a name
    // cut short, would make two of them one.
    XoHeldEntities held;
    const std::string a("A\0B", 3), b("A\0C", 3);
    const std::string longA = std::string(300, 'n') + "a", longB = std::string(300, 'n') + "b";
    EXPECT_FALSE(held.hold(a, "", Kind::Other));
    EXPECT_FALSE(held.hold(b, "", Kind::Other));
    EXPECT_FALSE(held.hold(longA, a, Kind::Mesh));
    EXPECT_FALSE(held.hold(longB, b, Kind::Other));
    EXPECT_TRUE(held.isHeld(longA, a));
    EXPECT_FALSE(held.isHeld(longA, b));
    held.forget(a, "");
    EXPECT_FALSE(held.isHeld(a));
    EXPECT_TRUE(held.isHeld(b));
    EXPECT_TRUE(held.isHeld(longB, b));
    held.forgetChildren(a, false);
    EXPECT_FALSE(held.isHeld(longA));
}

TEST(XoHeldEntities, ChildrenAndOwnersStayRightAcrossTheirFirstInlineSlot)
{
    // An entry keeps its first owner and first child inline and more elsewhere: forgetting in any order
    // must leave every other pair findable, with each child's place in its owner's list right.
    XoHeldEntities held;
    const int n = 9;
    for (int i = 0; i < n; ++i)
        EXPECT_FALSE(held.hold("C" + std::to_string(i), "P", Kind::Mesh));
    // C4 also under three more owners.
    for (const char* owner : {"Q", "R", "S"})
        EXPECT_FALSE(held.hold("C4", owner, Kind::Other));
    std::vector<bool> forgotten(n, false);
    for (int i : {0, 8, 3, 1, 7}) {
        held.forget("C" + std::to_string(i), "P");
        forgotten[std::size_t(i)] = true;
        for (int j = 0; j < n; ++j)
            EXPECT_EQ(held.isHeld("C" + std::to_string(j), "P"), !forgotten[std::size_t(j)]) << i << " " << j;
    }
    held.forget("C4", "R");
    EXPECT_TRUE(held.isHeld("C4", "Q"));
    EXPECT_FALSE(held.isHeld("C4", "R"));
    EXPECT_TRUE(held.isHeld("C4", "S"));
    held.forget("C4", "Q");
    EXPECT_TRUE(held.isHeld("C4", "S"));
    EXPECT_TRUE(held.isHeld("C4", "P"));
    // The owner's remaining children are all reached through its list: C2, C4, C5, C6 go, C4 stays under S.
    held.forgetChildren("P", false);
    for (int j = 0; j < n; ++j)
        EXPECT_FALSE(held.isHeld("C" + std::to_string(j), "P")) << j;
    EXPECT_TRUE(held.isHeld("C4", "S"));
    EXPECT_FALSE(held.isHeld("C2"));
    EXPECT_FALSE(held.isHeld("C6"));
}

TEST(XoHeldEntities, ReservingRoomKeepsEverythingHeldAndNeverLosesThePlaceOfTheLast)
{
    // Reserving rebuilds the table: every pair, each entry's children and the entries remembered for the
    // next hold must survive it, and a smaller reserve must not rebuild into too small a table.
    XoHeldEntities held;
    held.hold("Root", "", Kind::Other);
    for (int i = 0; i < 100; ++i) {
        held.hold("E" + std::to_string(i), "Root", Kind::Other);
        held.hold("E" + std::to_string(i) + "_m", "E" + std::to_string(i), Kind::Mesh);
    }
    held.reserve(100000);
    held.reserve(3);
    EXPECT_TRUE(held.hold("E99_m", "E99", Kind::Mesh)) << "the entry last held is still the one in the table";
    EXPECT_FALSE(held.hold("E100", "Root", Kind::Other));
    for (int i = 0; i <= 100; ++i)
        EXPECT_TRUE(held.isHeld("E" + std::to_string(i), "Root")) << i;
    held.forgetChildren("Root", true);
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(held.isHeld("E" + std::to_string(i) + "_m")) << i;
}

TEST(XoHeldEntities, NamesOfEveryLengthForgottenHeldAgainAndClearedReadBackWhole)
{
    // Entries and their names share one block, and a forgotten name's block is used again: a block given
    // back as the wrong size ends up under a longer name, whose characters then run into a neighbour's.
    XoHeldEntities held;
    auto name = [](int i) {
        return "N" + std::to_string(i) + std::string(std::size_t(i % 97), char('a' + i % 26));
    };
    for (int i = 0; i < 3000; ++i)
        ASSERT_FALSE(held.hold(name(i), "Root", i % 2 ? Kind::Mesh : Kind::Other));
    for (int i = 0; i < 3000; i += 2)
        held.forget(name(i), "");
    // Names of every length up to far longer take the places of the forgotten ones.
    auto longer = [&](int i) { return name(i) + std::string(std::size_t(i % 251), 'z'); };
    for (int i = 3000; i < 4500; ++i)
        ASSERT_FALSE(held.hold(longer(i), "Root", Kind::Mesh));
    for (int i = 0; i < 3000; ++i)
        EXPECT_EQ(held.isHeld(name(i), "Root"), i % 2 == 1) << i;
    for (int i = 3000; i < 4500; ++i)
        EXPECT_TRUE(held.isHeld(longer(i), "Root")) << i;
    bool isHeld = false;
    EXPECT_TRUE(held.isMesh(name(7), "Root", &isHeld));

    // Cleared with an owner of thousands of children and a name of many owners: nothing stays, and all
    // of it can be held again.
    for (int i = 0; i < 40; ++i)
        held.hold("Shared", "Owner" + std::to_string(i), Kind::Other);
    held.clear();
    EXPECT_FALSE(held.isHeld("Root"));
    EXPECT_FALSE(held.isHeld(name(1), "Root"));
    EXPECT_FALSE(held.isHeld("Shared"));
    for (int i = 0; i < 3000; ++i)
        ASSERT_FALSE(held.hold(name(i), "Root", Kind::Other)) << i;
    held.forgetChildren("Root", true);
    EXPECT_FALSE(held.isHeld(name(2999), "Root"));
}

TEST(XoHeldEntities, NamesAskedInTheOrderOfAnEarlierPassAreAnsweredAsTheTableHoldsThem)
{
    // A refresh asks about a drawing's names in the same order pass after pass, and each answer comes
    // through the name asked before it: a name forgotten, or everything cleared, since the order was
    // learned must read as not held, and holding another name after asking about one must not hold
    // the one asked about.
    XoHeldEntities held;
    auto entity = [](int i) { return "E" + std::to_string(i); };
    for (int i = 0; i < 50; ++i) {
        held.hold(entity(i), "Root", Kind::Other);
        held.hold(entity(i) + "_m", entity(i), Kind::Mesh);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(held.isHeld(entity(i), "Root")) << pass << " " << i;
    }
    ASSERT_FALSE(held.isHeld("E7", "Elsewhere"));

    // E21 is forgotten while E20 was the name asked last; E31 after E30 was asked in this pass.
    for (int i = 0; i <= 20; ++i)
        ASSERT_TRUE(held.isHeld(entity(i), "Root")) << i;
    held.forget("E21", "");
    held.forgetChildren("E21", false);
    EXPECT_FALSE(held.isHeld("E21", "Root"));
    EXPECT_FALSE(held.isHeld("E21"));
    for (int i = 22; i <= 30; ++i)
        ASSERT_TRUE(held.isHeld(entity(i), "Root")) << i;
    held.forget("E31", "Root");
    EXPECT_FALSE(held.isHeld("E31"));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(held.isHeld(entity(i), "Root"), i != 21 && i != 31) << i;

    // The name asked about last, forgotten, then asked about again.
    EXPECT_TRUE(held.isHeld("E40", "Root"));
    held.forget("E40", "Root");
    EXPECT_FALSE(held.isHeld("E40", "Root"));
    EXPECT_FALSE(held.isHeld("E40"));

    // Asking about E41, then holding a new name: the new name gets an entry of its own.
    EXPECT_TRUE(held.isHeld("E41", "Root"));
    EXPECT_FALSE(held.hold("F1", "Root", Kind::Other));
    EXPECT_TRUE(held.isHeld("F1", "Root"));
    EXPECT_FALSE(held.hold("E41", "Other", Kind::Other)) << "a new owner of the name asked about";
    EXPECT_TRUE(held.isHeld("E41", "Other"));
    EXPECT_TRUE(held.isHeld("E41", "Root"));

    held.clear();
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(held.isHeld(entity(i))) << i;
}
