// Shared state and look-ups of the GUI's two halves (controls and drawing in Gui.cpp,
// messages and input in GuiMessages.cpp). Not part of the engine's interface.
#pragma once

#include "render/Gui.h"

namespace bzgui
{
extern bzGui gGuis[BZ_GUI_COUNT];
extern int32_t gEditing;    // text fields being edited
extern int32_t gNavigation; // navigation switch
extern uint32_t gKeyMask;

// A GUI record in use, or null.
bzGui *InUse(int32_t gui);
// The control of an id in the GUI (first page in page order holding it), or null; *page gets
// its page index.
bzGuiControl *FindControl(bzGui *g, int32_t id, int32_t *page);
// The first page holding a control in use, or -1.
int32_t FirstPageWithControls(const bzGui *g);
int32_t FirstShownPage(const bzGui *g);
bool Focusable(const bzGuiControl &c);
// Rows of a list box that fit its height.
int32_t RowsThatFit(const bzGuiControl &list);
// Adds the scroll slider of a list box in slot of page; answers its id or 0.
int32_t AddListSlider(int32_t gui, int32_t page, bzGuiControl *list);
// The list box of a scroll slider's owner id, re-laid from the slider's value.
void RelayList(bzGui *g, const bzGuiControl &slider);
} // namespace bzgui
