// Queries and setters over the input layer's pad and control tables (render/InputTables.h):
// which players own changed or usable pads, the current player, the per-player button
// remapping and look-ups in the control-binding table. With no tables installed every query
// answers 0 and every setter does nothing.
#pragma once

#include <cstdint>

// Takes the pads whose changed bit is set (clearing it) and answers the mask of players 0-7
// that hold one of them.
uint32_t bz_Pad_TakeChangedPlayers();
void bz_Control_SetCurrentPlayer(int32_t player);
int32_t bz_Control_GetCurrentPlayer();
// How many of the four pads have flag bit 1 set.
int32_t bz_Pad_CountFlagged();
// 1 when the player's pad in slot (0-2, or -1 for any) is connected and ready with a device
// type other than 0 and 1.
int32_t bz_Pad_PlayerHasReadyPad(int32_t player, int32_t slot);
// Writes the remap word of a player (negative: the "no player" row) and logical button
// (0-29); answers the word's index in the table, or -1 for an argument outside it.
int32_t bz_Control_SetButtonRemap(int32_t player, int32_t button, int32_t physicalBit);
// The key code of a key record of a player's binding list in a row; 0 when any step is
// missing or out of range.
int32_t bz_Control_GetBindingKeyCode(int32_t row, int32_t player, int32_t record, int32_t list);
// The count word of a pair of a player's binding list in a row; 0 when missing.
int32_t bz_Control_GetBindingCount(int32_t row, int32_t player, int32_t list);
// A word of a row of the control-binding table; 0 outside it.
intptr_t bz_Control_GetRowWord(int32_t row, int32_t word);
// The number of ',' in a zero-terminated text (0 for null).
int32_t bz_Text_CountCommas(const char *text);
int32_t bz_Control_GetPlayerCount();
// 1 when the row exists in the control-binding table.
int32_t bz_Control_HasRow(int32_t row);
