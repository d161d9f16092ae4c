// The engine's retained-mode GUI: up to 8 GUIs (windows, numbered 1-8), each with up to 16
// pages of up to 64 controls (button, check box, radio button, text field, slider, list box)
// addressed by caller-chosen ids. Every change of state is a GM message through
// bz_GUI_SendMessage, which gives the GUI's hook its say and performs the default action;
// each frame bz_GUI_Render gathers the input, turns it into messages for every active GUI
// and draws every shown GUI through the renderer table and the fonts.
#pragma once

#include <cstdint>

struct bzFont;
struct bz_IMGMAP;

constexpr int32_t BZ_GUI_COUNT = 8;
constexpr int32_t BZ_GUI_PAGES = 16;
constexpr int32_t BZ_GUI_SLOTS = 64;
constexpr int32_t BZ_GUI_TEXT_SIZE = 64;
constexpr int32_t BZ_GUI_ITEM_SIZE = 68;
constexpr int32_t BZ_GUI_ITEM_GROWTH = 10;
constexpr int32_t BZ_GUI_DEFAULT_SLIDER_MAX = 1000000;
// Ids of the scroll sliders the GUI adds to its list boxes start here.
constexpr int32_t BZ_GUI_LIST_SLIDER_ID = 1000000;

// GM message codes.
enum : int32_t
{
    BZ_GM_CLOSE = 1000,
    BZ_GM_DESTROY = 1001,
    BZ_GM_MOVE = 1002,
    BZ_GM_TICK = 1003,
    BZ_GM_ACTIVATE_GUI = 1004,
    BZ_GM_ACTIVATE = 1005,
    BZ_GM_DEACTIVATE = 1006,
    BZ_GM_MOUSE_OVER_PAGE = 2000,
    BZ_GM_MOUSE_OFF_PAGE = 2001,
    BZ_GM_SHOW_PAGE = 2002,
    BZ_GM_HIDE_PAGE = 2003,
    BZ_GM_CLICK_EMPTY = 3000,
    BZ_GM_CLICK_OTHER = 3001,
    BZ_GM_ACTIVATE_CONTROL = 3002,
    BZ_GM_DEACTIVATE_CONTROL = 3003,
    BZ_GM_FOCUS = 3004,
    BZ_GM_UNFOCUS = 3005,
    BZ_GM_TEXT_ENTERED = 3006,
    BZ_GM_IMAGE_COORDS = 3007,
    BZ_GM_SLIDER_DOWN = 3008,
    BZ_GM_SLIDER_UP = 3009,
    BZ_GM_COLOUR = 4000,
};

// Control kinds.
enum : int32_t
{
    BZ_GUI_BUTTON = 1,
    BZ_GUI_CHECKBOX = 2,
    BZ_GUI_RADIO = 3,
    BZ_GUI_TEXTFIELD = 4,
    BZ_GUI_SLIDER = 5,
    BZ_GUI_LISTBOX = 6,
};

// Control flags.
enum : uint32_t
{
    BZ_GUI_ENABLED = 0x01,  // drawn and focusable
    BZ_GUI_NO_FOCUS = 0x20, // drawn, skipped by focus navigation
};

// GUI style flags.
enum : uint32_t
{
    BZ_GUI_STYLE_DEFAULT = 31,
    BZ_GUI_STYLE_DRAG = 0x02,   // the title bar drags the GUI
    BZ_GUI_STYLE_INSET1 = 0x04, // frame inset by one pixel
    BZ_GUI_STYLE_INSET2 = 0x08, // and by another
};

// Navigation keys of the key table, by entry.
enum : int32_t
{
    BZ_GUI_KEY_INCREASE = 0,
    BZ_GUI_KEY_DECREASE = 1,
    BZ_GUI_KEY_NEXT_CONTROL = 2,
    BZ_GUI_KEY_PREVIOUS_CONTROL = 3,
    BZ_GUI_KEY_PREVIOUS_PAGE = 4,
    BZ_GUI_KEY_NEXT_PAGE = 5,
    BZ_GUI_KEY_SELECT = 6,
    BZ_GUI_KEY_BACK = 7,
};

// Key codes of the line editor.
enum : int32_t
{
    BZ_GUI_EDIT_BACKSPACE = 8,
    BZ_GUI_EDIT_HOME = 11,
    BZ_GUI_EDIT_END = 12,
    BZ_GUI_EDIT_RIGHT = 28,
    BZ_GUI_EDIT_LEFT = 29,
    BZ_GUI_EDIT_DELETE = 127,
};

// A GUI's message hook: answers non-zero to consume a message it sees first.
typedef uint32_t (*bzGuiHook)(int32_t code, int32_t gui, int32_t id, intptr_t a, intptr_t b);

struct bzGuiControl;
// A control's own drawing: non-zero skips the default drawing.
typedef int32_t (*bzGuiRenderFn)(bzGuiControl *control, int32_t gui, int32_t page);

// A list box's list: its font, items (68 bytes each) and scrolling.
struct bzGuiList
{
    bzFont *font; // null: the default font
    int32_t itemCount;
    int32_t firstRow;
    int32_t sliderId; // 0 until the scroll slider is added
    int32_t capacity;
    char (*items)[BZ_GUI_ITEM_SIZE];
};

struct bzGuiControl
{
    bzGuiList *list; // list boxes
    int32_t inUse;
    int32_t x, y; // relative to the GUI
    int32_t width, height;
    char text[BZ_GUI_TEXT_SIZE];
    bz_IMGMAP *image;
    bzFont *font; // null: the default font
    uint32_t flags;
    int32_t kind;
    int32_t id;
    int32_t focused;
    int32_t value; // check box, radio button: 0 or 1
    int32_t cursor;
    int32_t sliderValue, sliderMin, sliderMax;
    bzGuiRenderFn render;
    int32_t ownerList; // a list's scroll slider: the list box's id
    int32_t pressed;   // the mouse went down on it and is still held
};

struct bzGuiPage
{
    int32_t header;
    bzGuiControl slots[BZ_GUI_SLOTS];
    int32_t shown;
};

// The caller's description of a GUI (92 bytes in the original layout): the title font and
// the title, which always ends within its 64 bytes.
struct bzGuiDescription
{
    bzFont *titleFont; // null: the default font
    uint32_t word;
    char title[64];
    uint8_t rest[20];
};

struct bzGui
{
    int32_t inputEnabled;
    int32_t inUse;
    int32_t shown;
    int32_t active;
    uint32_t style;
    int32_t x, y, width, height;
    bzGuiDescription description;
    bzGuiPage *pages[BZ_GUI_PAGES];
    bzGuiHook hook;
    uint32_t colour;
    int32_t latch;    // set when shown: navigation keys ignored until none is pressed
    int32_t dragging; // the title bar is held
    int32_t dragX, dragY;
};

// ---- GUIs, pages and controls

// Clears every GUI record and the editing and navigation words (pages are not freed), then
// sets the default display mode through the renderer.
void GUI_Reset();
// The GUI record of a number 1-8, or null.
bzGui *bz_GUI_Get(int32_t gui);
// A GUI at the rectangle {x, y, width, height}: its number, or 0 with last error 14 when all
// eight are in use.
int32_t bz_GUI_Create(const int32_t *rect, const bzGuiDescription *description, uint32_t colour);
int32_t bz_GUI_Destroy(int32_t gui);
int32_t bz_GUI_SetHook(int32_t gui, bzGuiHook hook);
int32_t bz_GUI_AddPage(int32_t gui, int32_t page, int32_t header);
int32_t bz_GUI_AddButton(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                         int32_t id, uint32_t flags, const char *text);
int32_t bz_GUI_AddCheckBox(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t id, uint32_t flags, const char *text);
int32_t bz_GUI_AddRadioButton(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                              int32_t id, uint32_t flags, const char *text);
int32_t bz_GUI_AddTextField(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                            int32_t id, uint32_t flags, const char *text);
int32_t bz_GUI_AddSlider(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                         int32_t id, uint32_t flags, int32_t maximum);
int32_t bz_GUI_AddListBox(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t id, uint32_t flags, bzFont *listFont);
int32_t bz_GUI_DefaultSliderMax();
// Sets the text of the control with that id in any GUI in use (at most 63 characters).
int32_t bz_GUI_SetText(int32_t id, const char *text);
// The text, or null with last error 29.
const char *bz_GUI_GetText(int32_t id);
int32_t bz_GUI_SetItems(int32_t id, const char (*items)[BZ_GUI_ITEM_SIZE], int32_t count);
int32_t bz_GUI_GetSliderValue(int32_t id);
int32_t bz_GUI_GetValues(int32_t id, int32_t *value, int32_t *sliderValue);
int32_t bz_GUI_SetValue(int32_t gui, int32_t id, int32_t value);
int32_t bz_GUI_SetSliderValue(int32_t gui, int32_t id, int32_t value);
int32_t bz_GUI_GetValue(int32_t gui, int32_t id);
int32_t bz_GUI_GetSliderValueOf(int32_t gui, int32_t id);
bzGuiControl *bz_GUI_GetControl(int32_t gui, int32_t id);
int32_t bz_GUI_SetRenderCallback(int32_t gui, int32_t id, bzGuiRenderFn render);
int32_t bz_GUI_FindGui(int32_t id);
int32_t bz_GUI_FindShownGui(int32_t id);
int32_t bz_GUI_FirstFreeSlot(int32_t gui, int32_t page);
int32_t bz_GUI_Show(int32_t gui, int32_t showFirstPage);
int32_t bz_GUI_Activate(int32_t gui);
int32_t bz_GUI_DisableInput(int32_t gui);
int32_t bz_GUI_SetShown(int32_t gui, int32_t word, int32_t shown);
void bz_GUI_SetKeyMask(uint32_t mask);
int32_t bz_GUI_SetStyleBit(int32_t gui);
int32_t bz_GUI_ClearStyleBit(int32_t gui);
// Text fields being edited now.
int32_t bz_GUI_EditingCount();

// ---- Messages and input

uint32_t bz_GUI_SendMessage(int32_t code, int32_t gui, int32_t id, intptr_t a, intptr_t b);
// Edits a text of a buffer of size bytes at the cursor for one key; answers the cursor's
// movement.
int32_t bz_GUI_EditLine(int32_t size, int32_t cursor, char *text, int32_t key);
// The key codes of the eight navigation keys (BZ_GUI_KEY_* order).
void bz_GUI_SetNavigationKeys(const int32_t *keys);
// While off (the start), the navigation flags stay clear.
void bz_GUI_SetNavigation(int32_t on);
void bz_GUI_GatherInput();
void bz_GUI_ProcessInput(int32_t gui);
// The frame pass: input, then every shown GUI drawn.
void bz_GUI_Render();
