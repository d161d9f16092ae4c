// The pad and control-table queries over fake input tables.
#include "FakeInputTables.h"
#include "render/PadQueries.h"

#include <gtest/gtest.h>

namespace
{
class PadQueries : public ::testing::Test
{
protected:
    FakeInputTables input;
};

TEST_F(PadQueries, ChangedPadsAreTakenOnceAsPlayers)
{
    // Player 0 holds pad 2, player 3 pads 1 and 3, player 5 no pad at all.
    input.playerPads[0][1] = 2;
    input.playerPads[3][0] = 1;
    input.playerPads[3][2] = 3;
    input.pads[1].flags = BZ_PAD_CHANGED | BZ_PAD_CONNECTED;
    input.pads[2].flags = BZ_PAD_CHANGED;
    EXPECT_EQ(bz_Pad_TakeChangedPlayers(), 0x09u);
    EXPECT_EQ(input.pads[1].flags, BZ_PAD_CONNECTED); // only the changed bit is taken
    EXPECT_EQ(input.pads[2].flags, 0u);
    EXPECT_EQ(bz_Pad_TakeChangedPlayers(), 0u); // nothing new
    // A changed pad that no player holds.
    input.pads[0].flags = BZ_PAD_CHANGED;
    EXPECT_EQ(bz_Pad_TakeChangedPlayers(), 0u);
    EXPECT_EQ(input.pads[0].flags, 0u);
}

TEST_F(PadQueries, CurrentPlayerAndPlayerCount)
{
    bz_Control_SetCurrentPlayer(6);
    EXPECT_EQ(input.currentPlayer, 6);
    EXPECT_EQ(bz_Control_GetCurrentPlayer(), 6);
    input.playerCount = 3;
    EXPECT_EQ(bz_Control_GetPlayerCount(), 3);
}

TEST_F(PadQueries, CountFlagged)
{
    EXPECT_EQ(bz_Pad_CountFlagged(), 0);
    input.pads[0].flags = BZ_PAD_READY;
    input.pads[2].flags = BZ_PAD_READY | BZ_PAD_CONNECTED;
    input.pads[3].flags = BZ_PAD_CONNECTED | BZ_PAD_CHANGED;
    EXPECT_EQ(bz_Pad_CountFlagged(), 2);
}

TEST_F(PadQueries, PlayerHasReadyPad)
{
    const uint32_t ready = BZ_PAD_CONNECTED | BZ_PAD_READY;
    input.pads[0] = {};
    input.pads[0].deviceType = 1; // type 1 never counts
    input.pads[0].flags = ready;
    input.pads[1].deviceType = 4;
    input.pads[1].flags = ready;
    input.pads[2].deviceType = 4;
    input.pads[2].flags = BZ_PAD_CONNECTED; // not ready
    input.pads[3].deviceType = 0;           // not connected
    input.pads[3].flags = ready;
    input.playerPads[2][0] = 0;
    input.playerPads[2][1] = 2;
    input.playerPads[2][2] = 1;
    input.playerPads[4][0] = 3;
    const struct
    {
        int32_t player, slot, answer;
    } cases[] = {
        {2, -1, 1},
        {2, 0, 0},
        {2, 1, 0},
        {2, 2, 1},
        {4, -1, 0},
        {4, 0, 0},
        // All three indices negative.
        {5, -1, 0},
        // Out of range.
        {8, -1, 0},
        {-1, -1, 0},
        {2, 3, 0},
        {2, -2, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bz_Pad_PlayerHasReadyPad(c.player, c.slot), c.answer)
            << c.player << " " << c.slot;
}

TEST_F(PadQueries, ButtonRemap)
{
    EXPECT_EQ(bz_Control_SetButtonRemap(2, 5, 11), 2 * 30 + 5);
    EXPECT_EQ(input.remap[2][5], 11);
    // A negative player is the "no player" row 8.
    EXPECT_EQ(bz_Control_SetButtonRemap(-1, 29, 3), 8 * 30 + 29);
    EXPECT_EQ(input.remap[8][29], 3);
    EXPECT_EQ(bz_Control_SetButtonRemap(8, 0, 1), -1);
    EXPECT_EQ(bz_Control_SetButtonRemap(0, 30, 1), -1);
    EXPECT_EQ(bz_Control_SetButtonRemap(0, -1, 1), -1);
}

TEST_F(PadQueries, BindingTableLookUps)
{
    // Key names: row 0 key 30, row 1 key 57, row 2 key 200.
    input.keyNames = {{30, {0, 0}}, {57, {0, 0}}, {200, {0, 0}}};
    bzKeyRecord records[3] = {};
    records[0].keyName = 2;
    records[1].keyName = 1;
    records[2].keyName = 7; // no such key name
    bzBindingPair lists[2] = {{3, records}, {1, records + 1}};
    input.bindingPairs = 2;
    input.rows.resize(3);
    input.rows[1].words[0] = 77;
    input.rows[1].words[24 + 3] = reinterpret_cast<intptr_t>(lists);
    input.Install();

    const struct
    {
        int32_t row, player, record, list, keyCode;
    } keys[] = {
        {1, 3, 0, 0, 200},
        {1, 3, 1, 0, 57},
        {1, 3, 0, 1, 57},
        // Missing or outside: 0.
        {1, 3, 2, 0, 0},
        {1, 3, 3, 0, 0},
        {1, 3, 1, 1, 0},
        {1, 3, 0, 2, 0},
        {1, 2, 0, 0, 0},
        {0, 3, 0, 0, 0},
        {3, 3, 0, 0, 0},
        {1, 8, 0, 0, 0},
        {-1, 3, 0, 0, 0},
        {1, 3, -1, 0, 0},
    };
    for (const auto &k : keys)
        EXPECT_EQ(bz_Control_GetBindingKeyCode(k.row, k.player, k.record, k.list), k.keyCode)
            << k.row << " " << k.player << " " << k.record << " " << k.list;
    EXPECT_EQ(bz_Control_GetBindingCount(1, 3, 0), 3);
    EXPECT_EQ(bz_Control_GetBindingCount(1, 3, 1), 1);
    EXPECT_EQ(bz_Control_GetBindingCount(1, 3, 2), 0);
    EXPECT_EQ(bz_Control_GetBindingCount(1, 0, 0), 0);
    EXPECT_EQ(bz_Control_GetRowWord(1, 0), 77);
    EXPECT_EQ(bz_Control_GetRowWord(1, 27), reinterpret_cast<intptr_t>(lists));
    EXPECT_EQ(bz_Control_GetRowWord(1, 32), 0);
    EXPECT_EQ(bz_Control_GetRowWord(5, 0), 0);
    EXPECT_EQ(bz_Control_HasRow(0), 1);
    EXPECT_EQ(bz_Control_HasRow(2), 1);
    EXPECT_EQ(bz_Control_HasRow(3), 0);
    EXPECT_EQ(bz_Control_HasRow(-1), 0);
}

TEST_F(PadQueries, NoBindingTableYet)
{
    EXPECT_EQ(bz_Control_HasRow(0), 0);
    // Rows past 0 of a table that does not exist do not exist either.
    EXPECT_EQ(bz_Control_HasRow(1), 0);
    EXPECT_EQ(bz_Control_GetRowWord(0, 0), 0);
    EXPECT_EQ(bz_Control_GetBindingCount(0, 0, 0), 0);
    EXPECT_EQ(bz_Control_GetBindingKeyCode(0, 0, 0, 0), 0);
}

TEST_F(PadQueries, CountCommas)
{
    const struct
    {
        const char *text;
        int32_t commas;
    } cases[] = {{"", 0}, {nullptr, 0}, {"a", 0}, {",", 1}, {"a,b,,c,", 4}};
    for (const auto &c : cases)
        EXPECT_EQ(bz_Text_CountCommas(c.text), c.commas) << (c.text ? c.text : "null");
}

TEST(PadQueriesWithoutTables, AnswerNothing)
{
    bz_Input_SetTables(nullptr);
    EXPECT_EQ(bz_Pad_TakeChangedPlayers(), 0u);
    EXPECT_EQ(bz_Pad_CountFlagged(), 0);
    EXPECT_EQ(bz_Pad_PlayerHasReadyPad(0, -1), 0);
    EXPECT_EQ(bz_Control_SetButtonRemap(0, 0, 0), -1);
    bz_Control_SetCurrentPlayer(3);
    EXPECT_EQ(bz_Control_GetCurrentPlayer(), 0);
    EXPECT_EQ(bz_Control_GetPlayerCount(), 0);
}
} // namespace
