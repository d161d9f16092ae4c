#include "render/PadQueries.h"

#include "render/InputTables.h"

namespace
{
const bzInputTables &T()
{
    return *bz_Input_GetTables();
}

bool ValidPlayer(int32_t player)
{
    return player >= 0 && player < BZ_PLAYER_COUNT;
}

// The binding list (array of pairs) of a player in a row, or null.
const bzBindingPair *BindingList(int32_t row, int32_t player)
{
    if (!ValidPlayer(player) || !T().controlRows || row < 0 || row >= T().controlRowCount)
        return nullptr;
    return reinterpret_cast<const bzBindingPair *>(
        T().controlRows[row].words[BZ_CONTROL_FIRST_LIST_WORD + player]);
}

const bzBindingPair *BindingPair(int32_t row, int32_t player, int32_t list)
{
    const bzBindingPair *pairs = BindingList(row, player);
    if (!pairs || list < 0 || list >= T().bindingPairs)
        return nullptr;
    return &pairs[list];
}
} // namespace

uint32_t bz_Pad_TakeChangedPlayers()
{
    if (!T().pads)
        return 0;
    uint32_t padMask = 0;
    for (int32_t p = 0; p < BZ_PAD_COUNT; ++p)
        if (T().pads[p].flags & BZ_PAD_CHANGED)
        {
            padMask |= 1u << p;
            T().pads[p].flags &= ~BZ_PAD_CHANGED;
        }
    if (!T().playerPads)
        return 0;
    uint32_t players = 0;
    for (int32_t player = 0; player < BZ_PLAYER_COUNT; ++player)
        for (int32_t s = 0; s < BZ_PLAYER_PAD_SLOTS; ++s)
        {
            const int32_t pad = T().playerPads[player][s];
            if (pad >= 0 && pad < BZ_PAD_COUNT && (padMask & (1u << pad)))
                players |= 1u << player;
        }
    return players;
}

void bz_Control_SetCurrentPlayer(int32_t player)
{
    if (T().currentPlayer)
        *T().currentPlayer = player;
}

int32_t bz_Control_GetCurrentPlayer()
{
    return T().currentPlayer ? *T().currentPlayer : 0;
}

int32_t bz_Pad_CountFlagged()
{
    if (!T().pads)
        return 0;
    int32_t n = 0;
    for (int32_t p = 0; p < BZ_PAD_COUNT; ++p)
        if (T().pads[p].flags & BZ_PAD_READY)
            ++n;
    return n;
}

int32_t bz_Pad_PlayerHasReadyPad(int32_t player, int32_t slot)
{
    if (!T().pads || !T().playerPads || !ValidPlayer(player) || slot < -1 ||
        slot >= BZ_PLAYER_PAD_SLOTS)
        return 0;
    const int32_t first = slot < 0 ? 0 : slot;
    const int32_t last = slot < 0 ? BZ_PLAYER_PAD_SLOTS - 1 : slot;
    for (int32_t s = first; s <= last; ++s)
    {
        const int32_t pad = T().playerPads[player][s];
        if (pad < 0 || pad >= BZ_PAD_COUNT)
            continue;
        const bzPadState &state = T().pads[pad];
        const uint32_t both = BZ_PAD_CONNECTED | BZ_PAD_READY;
        if (state.deviceType != 0 && state.deviceType != 1 && (state.flags & both) == both)
            return 1;
    }
    return 0;
}

int32_t bz_Control_SetButtonRemap(int32_t player, int32_t button, int32_t physicalBit)
{
    const int32_t row = player < 0 ? BZ_REMAP_ROWS - 1 : player;
    if (!T().buttonRemap || player >= BZ_PLAYER_COUNT || button < 0 || button >= BZ_REMAP_BUTTONS)
        return -1;
    T().buttonRemap[row][button] = physicalBit;
    return row * BZ_REMAP_BUTTONS + button;
}

int32_t bz_Control_GetBindingKeyCode(int32_t row, int32_t player, int32_t record, int32_t list)
{
    const bzBindingPair *pair = BindingPair(row, player, list);
    if (!pair || !pair->records || record < 0 || record >= pair->count || !T().keyNames)
        return 0;
    const int32_t name = pair->records[record].keyName;
    if (name < 0 || name >= T().keyNameCount)
        return 0;
    return T().keyNames[name].keyCode;
}

int32_t bz_Control_GetBindingCount(int32_t row, int32_t player, int32_t list)
{
    const bzBindingPair *pair = BindingPair(row, player, list);
    return pair ? pair->count : 0;
}

intptr_t bz_Control_GetRowWord(int32_t row, int32_t word)
{
    if (!T().controlRows || row < 0 || row >= T().controlRowCount || word < 0 ||
        word >= BZ_CONTROL_ROW_WORDS)
        return 0;
    return T().controlRows[row].words[word];
}

int32_t bz_Text_CountCommas(const char *text)
{
    int32_t n = 0;
    for (const char *p = text; p && *p; ++p)
        if (*p == ',')
            ++n;
    return n;
}

int32_t bz_Control_GetPlayerCount()
{
    return T().playerCount ? *T().playerCount : 0;
}

int32_t bz_Control_HasRow(int32_t row)
{
    return T().controlRows && row >= 0 && row < T().controlRowCount ? 1 : 0;
}
