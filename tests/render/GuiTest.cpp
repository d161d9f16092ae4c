// The GUI: creation limits and bad arguments, GM message routing and default actions, the
// colour roles, the line editor, list-box scrolling, the input pass over fake input tables
// and the draw pass through the recording renderer table.
#include "ClockVirtualCounter.h"
#include "FakeInputTables.h"
#include "ModelsTestSupport.h"
#include "render/Font.h"
#include "render/Gui.h"
#include "support/TextRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct Message
{
    int32_t code, gui, id;
    intptr_t a, b;
    bool operator==(const Message &o) const
    {
        return code == o.code && gui == o.gui && id == o.id && a == o.a && b == o.b;
    }
};
std::vector<Message> gSeen;
uint32_t gConsume = 0;  // code the hook consumes
int32_t gDestroyOn = 0; // code on which the hook destroys its GUI
uint32_t RecordingHook(int32_t code, int32_t gui, int32_t id, intptr_t a, intptr_t b)
{
    gSeen.push_back({code, gui, id, a, b});
    if (gDestroyOn && code == gDestroyOn)
        bz_GUI_Destroy(gui);
    return static_cast<uint32_t>(code) == gConsume ? 1u : 0u;
}

std::vector<int32_t> Codes()
{
    std::vector<int32_t> codes;
    for (const Message &m : gSeen)
        if (m.code != BZ_GM_COLOUR && m.code != BZ_GM_IMAGE_COORDS)
            codes.push_back(m.code);
    return codes;
}

class GuiTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        GUI_Reset();
        gSeen.clear();
        gConsume = 0;
        gDestroyOn = 0;
        bzgRenderTable.PDAdd2DVertexList = RecordTextRun;
        RecordedRuns().clear();
        bz_RenderState_ResetDefaults();
        bz_RenderState_InitDefaults();
        const int32_t keys[8] = {'+', '-', 'n', 'p', '[', ']', 's', 'b'};
        bz_GUI_SetNavigationKeys(keys);
        bz_GUI_SetNavigation(1);
        bz_GUI_SetKeyMask(0);
        bz_Font_GetDefault(); // made once, before the recorder is read
        bz_MemDevice_Reset();
    }
    void TearDown() override
    {
        for (int32_t n = 1; n <= BZ_GUI_COUNT; ++n)
            if (bz_GUI_Get(n)->inUse)
                bz_GUI_Destroy(n);
        GUI_Reset();
        bz_GUI_SetNavigationKeys(nullptr);
        bz_Font_ReleaseDefault();
        RecordedRuns().clear();
        ModelsTest::TearDown();
    }

    // A GUI at (100, 50) of 300 x 200 with page 0 and a recording hook.
    static int32_t MakeGui(uint32_t colour = 0xFF808080)
    {
        const int32_t rect[4] = {100, 50, 300, 200};
        bzGuiDescription d = {};
        std::strcpy(d.title, "Title");
        const int32_t gui = bz_GUI_Create(rect, &d, colour);
        EXPECT_GT(gui, 0);
        EXPECT_EQ(bz_GUI_AddPage(gui, 0, 0), 0);
        EXPECT_EQ(bz_GUI_SetHook(gui, RecordingHook), 0);
        return gui;
    }

    // One frame of input: the mouse at (x, y) with the left button down or up.
    void Frame(int32_t x, int32_t y, bool down)
    {
        input.Mouse().mouseX = x;
        input.Mouse().mouseY = y;
        input.Mouse().click = down ? static_cast<uint32_t>(BZ_MOUSE_LEFT) : 0u;
        bz_GUI_Render();
    }

    FakeInputTables input;
};

TEST_F(GuiTest, NinthGuiIsRefused)
{
    for (int32_t n = 1; n <= 8; ++n)
        EXPECT_EQ(bz_GUI_Create(nullptr, nullptr, 0), n);
    bzgLastError = 0;
    EXPECT_EQ(bz_GUI_Create(nullptr, nullptr, 0), 0);
    EXPECT_EQ(bzgLastError, BZ_ERROR_NO_MEMORY);
    // A destroyed GUI's number is free again; its record starts afresh.
    EXPECT_EQ(bz_GUI_Destroy(3), 0);
    EXPECT_EQ(bz_GUI_Destroy(3), BZ_ERROR_INVALID_HANDLE);
    EXPECT_EQ(bz_GUI_Create(nullptr, nullptr, 0), 3);
    EXPECT_EQ(bz_GUI_Get(3)->style, 31u);
}

TEST_F(GuiTest, BadNumbersAndLongTexts)
{
    const int32_t gui = MakeGui();
    for (int32_t bad : {0, 9, -1})
    {
        EXPECT_EQ(bz_GUI_Get(bad), nullptr);
        EXPECT_EQ(bz_GUI_AddPage(bad, 0, 0), BZ_ERROR_INVALID_PARAMETER) << bad;
        EXPECT_EQ(bz_GUI_AddButton(bad, 0, 0, 0, 10, 10, 1, 1, "x"), BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bz_GUI_Destroy(bad), BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bz_GUI_Show(bad, 1), BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, bad, -1, 0, 1), 0u);
        EXPECT_EQ(bz_GUI_FirstFreeSlot(bad, 0), -1);
        EXPECT_EQ(bz_GUI_GetControl(bad, 1), nullptr);
    }
    for (int32_t badPage : {16, -1})
    {
        EXPECT_EQ(bz_GUI_AddPage(gui, badPage, 0), BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bz_GUI_AddButton(gui, badPage, 0, 0, 10, 10, 1, 1, "x"),
                  BZ_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bz_GUI_FirstFreeSlot(gui, badPage), -1);
        EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, gui, -1, badPage, 1), 0u);
        EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_HIDE_PAGE, gui, -1, badPage, 0), 0u);
    }
    // A page that was never added has no slots.
    EXPECT_EQ(bz_GUI_AddButton(gui, 5, 0, 0, 10, 10, 1, 1, "x"), BZ_ERROR_NO_MEMORY);
    // A GUI not in use.
    EXPECT_EQ(bz_GUI_AddPage(7, 0, 0), BZ_ERROR_INVALID_HANDLE);
    EXPECT_EQ(bz_GUI_Show(7, 1), BZ_ERROR_INVALID_HANDLE);

    // Texts keep their first 63 characters.
    const std::string hundred(100, 'h');
    EXPECT_EQ(bz_GUI_AddButton(gui, 0, 0, 0, 10, 10, 7, 1, hundred.c_str()), 0);
    EXPECT_EQ(std::string(bz_GUI_GetText(7)), std::string(63, 'h'));
    EXPECT_EQ(bz_GUI_SetText(7, (hundred + "tail").c_str()), 0);
    EXPECT_EQ(std::strlen(bz_GUI_GetText(7)), 63u);
    EXPECT_EQ(bz_GUI_SetText(7, "short"), 0);
    EXPECT_STREQ(bz_GUI_GetText(7), "short");
    bzgLastError = 0;
    EXPECT_EQ(bz_GUI_GetText(8), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_GUI_SetText(8, "x"), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_GUI_SetRenderCallback(gui, 8, nullptr), BZ_ERROR_NOT_FOUND);
    // Set-value calls need the GUI shown.
    EXPECT_EQ(bz_GUI_SetValue(gui, 7, 1), BZ_ERROR_INVALID_PARAMETER);
    bz_GUI_Show(gui, 1);
    EXPECT_EQ(bz_GUI_SetValue(gui, 7, 1), 0);
    EXPECT_EQ(bz_GUI_GetValue(gui, 7), 1);
    EXPECT_EQ(bz_GUI_FindGui(7), gui);
    EXPECT_EQ(bz_GUI_FindShownGui(7), gui);
    EXPECT_EQ(bz_GUI_FindGui(8), 0);
    // A title longer than its room ends within it.
    bzGuiDescription d = {};
    std::memset(d.title, 'T', sizeof d.title);
    const int32_t second = bz_GUI_Create(nullptr, &d, 0);
    EXPECT_EQ(std::strlen(bz_GUI_Get(second)->description.title), 63u);
}

TEST_F(GuiTest, APageHoldsSixtyFourControls)
{
    const int32_t gui = MakeGui();
    for (int32_t i = 0; i < 64; ++i)
        ASSERT_EQ(bz_GUI_AddButton(gui, 0, 0, 0, 10, 10, 100 + i, 1, "b"), 0) << i;
    EXPECT_EQ(bz_GUI_FirstFreeSlot(gui, 0), -1);
    bzgLastError = 0;
    EXPECT_EQ(bz_GUI_AddCheckBox(gui, 0, 0, 0, 10, 10, 999, 1, "c"), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(bzgLastError, BZ_ERROR_NO_MEMORY);
}

TEST_F(GuiTest, ActivatingAnUnfocusedCheckBoxFocusesAndFlipsIt)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(gui, 0, 10, 60, 100, 16, 6, 1, "OK");
    bz_GUI_AddCheckBox(gui, 0, 10, 30, 100, 16, 5, 1, "Sound");
    bz_GUI_Show(gui, 0);
    const bzGuiControl *box = bz_GUI_GetControl(gui, 5);
    EXPECT_EQ(box->focused, 0); // the button, first on the page, has the focus
    gSeen.clear();
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_ACTIVATE_CONTROL, gui, 5, 0, 0), 0u);
    EXPECT_EQ(box->focused, 1);
    EXPECT_EQ(box->value, 1);
    // The focus moved first; the hook hears of each step after it is done.
    EXPECT_EQ(Codes(), (std::vector<int32_t>{BZ_GM_UNFOCUS, BZ_GM_FOCUS, BZ_GM_ACTIVATE_CONTROL}));
    bz_GUI_SendMessage(BZ_GM_ACTIVATE_CONTROL, gui, 5, 0, 0);
    EXPECT_EQ(box->value, 0);
    // Focusing the button takes the focus from the check box.
    bz_GUI_SendMessage(BZ_GM_FOCUS, gui, 6, 0, 0);
    EXPECT_EQ(box->focused, 0);
    EXPECT_EQ(bz_GUI_GetControl(gui, 6)->focused, 1);
    // A hook answering non-zero to a hook-first message stops it.
    gConsume = BZ_GM_SLIDER_UP;
    bz_GUI_AddSlider(gui, 0, 0, 0, 50, 10, 9, 1, 4);
    bz_GUI_SendMessage(BZ_GM_SLIDER_UP, gui, 9, 0, 0);
    EXPECT_EQ(bz_GUI_GetSliderValueOf(gui, 9), 0);
    // Messages for an id that no page holds are dropped before the hook.
    gSeen.clear();
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_FOCUS, gui, 4242, 0, 0), 0u);
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(GuiTest, RadioButtonsOfAPageAreExclusive)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddPage(gui, 1, 0);
    for (int32_t id : {1, 2, 3})
        bz_GUI_AddRadioButton(gui, 0, 0, 20 * id, 80, 16, id, 1, "r");
    bz_GUI_AddRadioButton(gui, 1, 0, 0, 80, 16, 4, 1, "other page");
    bz_GUI_SetValue(gui, 4, 1); // not shown: refused
    bz_GUI_Show(gui, 1);
    bz_GUI_GetControl(gui, 4)->value = 1;
    for (int32_t pick : {2, 1, 3, 3})
    {
        bz_GUI_SendMessage(BZ_GM_ACTIVATE_CONTROL, gui, pick, 0, 0);
        for (int32_t id : {1, 2, 3})
            EXPECT_EQ(bz_GUI_GetValue(gui, id), id == pick ? 1 : 0) << pick << " " << id;
    }
    // The other page's radio button is not touched.
    EXPECT_EQ(bz_GUI_GetValue(gui, 4), 1);
}

TEST_F(GuiTest, SlidersStepWithinTheirRange)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddSlider(gui, 0, 0, 0, 100, 10, 9, 1, 2);
    bz_GUI_Show(gui, 1);
    gSeen.clear();
    // At the minimum: the value stays and the slider is still activated.
    bz_GUI_SendMessage(BZ_GM_SLIDER_DOWN, gui, 9, 0, 0);
    EXPECT_EQ(bz_GUI_GetSliderValueOf(gui, 9), 0);
    EXPECT_EQ(Codes(), (std::vector<int32_t>{BZ_GM_SLIDER_DOWN, BZ_GM_ACTIVATE_CONTROL}));
    for (int i = 0; i < 5; ++i)
        bz_GUI_SendMessage(BZ_GM_SLIDER_UP, gui, 9, 0, 0);
    EXPECT_EQ(bz_GUI_GetSliderValueOf(gui, 9), 2);
    EXPECT_EQ(bz_GUI_GetSliderValue(9), 2);
    int32_t value = -1, slider = -1;
    EXPECT_EQ(bz_GUI_GetValues(9, &value, &slider), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(slider, 2);
    EXPECT_EQ(bz_GUI_DefaultSliderMax(), 1000000);
}

TEST_F(GuiTest, EditLine)
{
    const struct
    {
        const char *before;
        int32_t size, cursor, key;
        const char *after;
        int32_t answer;
    } cases[] = {
        // A three-letter text with the cursor at 1.
        {"abc", 64, 1, 8, "bc", -1},
        {"abc", 64, 1, 127, "ac", 0},
        {"abc", 64, 1, 'x', "axbc", 1},
        {"abc", 64, 1, 11, "abc", -1},
        {"abc", 64, 1, 12, "abc", 2},
        {"abc", 64, 1, 29, "abc", -1},
        {"abc", 64, 1, 28, "abc", 1},
        // At the ends.
        {"abc", 64, 0, 8, "abc", 0},
        {"abc", 64, 0, 29, "abc", 0},
        {"abc", 64, 3, 28, "abc", 0},
        {"abc", 64, 3, 127, "abc", 0},
        {"abc", 64, 3, 'd', "abcd", 1},
        {"abc", 64, 3, 8, "ab", -1},
        // A full buffer of size 8 holding 7 characters: the last one drops off.
        {"abcdefg", 8, 0, 'X', "Xabcdef", 1},
        {"abcdefg", 8, 6, 'X', "abcdefX", 1},
        {"abcdefg", 8, 7, 'X', "abcdefg", 0},
        // A cursor past the text, and keys that are no edit.
        {"abc", 64, 4, 'x', "abc", 0},
        {"abc", 64, -1, 'x', "abc", 0},
        {"abc", 64, 1, 200, "abc", 0},
        {"abc", 64, 1, 10, "abc", 0},
        {"", 64, 0, 8, "", 0},
        {"", 64, 0, 'a', "a", 1},
    };
    for (const auto &c : cases)
    {
        char buffer[64] = {};
        std::strcpy(buffer, c.before);
        EXPECT_EQ(bz_GUI_EditLine(c.size, c.cursor, buffer, c.key), c.answer)
            << c.before << " " << c.cursor << " " << c.key;
        EXPECT_STREQ(buffer, c.after) << c.before << " " << c.cursor << " " << c.key;
    }
}

TEST_F(GuiTest, UncodedMessageIsReported)
{
    const int32_t gui = MakeGui();
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_GUI_SendMessage(1999, gui, -1, 0, 0), 0u);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "BUGGER");
    EXPECT_NE(std::strstr(bz_Error_LastReportText(), "Uncoded GM_* message"), nullptr);
    EXPECT_NE(std::strstr(bz_Error_LastReportText(), "1306"), nullptr);
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(GuiTest, ColourRoles)
{
    // Red 200, green 60, blue 20.
    const int32_t gui = MakeGui(0x11C83C14);
    bz_GUI_AddPage(gui, 2, 0);
    const uint32_t c = 0x11C83C14, at125 = 0xFFFA4B19, at75 = 0xFF962D0F, at150 = 0xFFFF5A1E,
                   at80 = 0xFFA03010, low = 0xFF000014, none = 0xFF000000;
    const uint32_t expected[34] = {none, at125, low, c,    low, c, at75,  c, at75, c,   c, low,
                                   c,    at75,  c,   c,    low, c, at75,  c, c,    low, c, at75,
                                   c,    c,     c,   at75, c,   c, at150, c, at75, c};
    for (int32_t role = 0; role <= 33; ++role)
        EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, role, 0), expected[role]) << role;
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, 34, 0), none);
    // Role 3 is darker while page b is shown.
    bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, gui, -1, 2, 0);
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, 3, 2), at80);
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, 3, 0), c);
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, 3, 16), c);
}

TEST_F(GuiTest, ActivationMovesBetweenGuis)
{
    const int32_t one = MakeGui();
    const int32_t two = MakeGui();
    bz_GUI_AddButton(one, 0, 0, 0, 10, 10, 1, 1, "a");
    bz_GUI_AddButton(two, 0, 0, 0, 10, 10, 2, 1, "b");
    bz_GUI_Show(one, 1);
    EXPECT_EQ(bz_GUI_Get(one)->active, 1);
    EXPECT_EQ(bz_GUI_Get(one)->pages[0]->shown, 1);
    EXPECT_EQ(bz_GUI_GetControl(one, 1)->focused, 1); // the first page's first control
    bz_GUI_Show(two, 1);
    EXPECT_EQ(bz_GUI_Get(one)->active, 0);
    EXPECT_EQ(bz_GUI_Get(one)->pages[0]->shown, 0);
    EXPECT_EQ(bz_GUI_GetControl(one, 1)->focused, 0);
    EXPECT_EQ(bz_GUI_Get(two)->active, 1);
    // Closing two destroys it and activates the highest other GUI in use.
    bz_GUI_SendMessage(BZ_GM_CLOSE, two, -1, 0, 0);
    EXPECT_EQ(bz_GUI_Get(two)->inUse, 0);
    EXPECT_EQ(bz_GUI_Get(one)->active, 1);
    EXPECT_EQ(bz_GUI_Get(one)->pages[0]->shown, 1);
    // Moving: the position comes from the two words a points to.
    const int32_t pos[2] = {7, 9};
    bz_GUI_SendMessage(BZ_GM_MOVE, one, -1, reinterpret_cast<intptr_t>(pos), 0);
    EXPECT_EQ(bz_GUI_Get(one)->x, 7);
    EXPECT_EQ(bz_GUI_Get(one)->y, 9);
}

TEST_F(GuiTest, ImageCoordinates)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(gui, 0, 0, 0, 32, 16, 1, 1, "");
    bz_IMGMAP *image = bz_CreateImgMap("Picture", BZ_IMAGE_8888, 64, 64, 0);
    bz_GUI_GetControl(gui, 1)->image = image;
    float uv[4] = {-1, -1, -1, -1};
    bz_GUI_SendMessage(BZ_GM_IMAGE_COORDS, gui, 1, 0, reinterpret_cast<intptr_t>(uv));
    EXPECT_EQ(uv[0], 0.0f);
    EXPECT_EQ(uv[1], 0.0f);
    EXPECT_EQ(uv[2], 0.5f);
    EXPECT_EQ(uv[3], 0.25f);
    bz_GUI_SendMessage(BZ_GM_IMAGE_COORDS, gui, 1, 1, reinterpret_cast<intptr_t>(uv));
    EXPECT_EQ(uv[2], 1.0f);
    EXPECT_EQ(uv[3], 1.0f);
    bz_ReleaseImgMap(image);
}

TEST_F(GuiTest, ListBoxesScrollWithTheirOwnSliders)
{
    const int32_t gui = MakeGui();
    // Default font lines of 15 + 2: five rows fit in 85 pixels.
    ASSERT_EQ(bz_GUI_AddListBox(gui, 0, 10, 30, 120, 85, 20, 1, nullptr), 0);
    ASSERT_EQ(bz_GUI_AddListBox(gui, 0, 150, 30, 120, 85, 21, 1, nullptr), 0);
    char items[12][BZ_GUI_ITEM_SIZE] = {};
    for (int i = 0; i < 12; ++i)
        std::snprintf(items[i], sizeof items[i], "item %d", i);
    ASSERT_EQ(bz_GUI_SetItems(20, items, 12), 0);
    ASSERT_EQ(bz_GUI_SetItems(21, items, 4), 0);
    EXPECT_EQ(bz_GUI_SetItems(5, items, 1), BZ_ERROR_INVALID_PARAMETER);
    bz_GUI_Show(gui, 1);
    Frame(0, 0, false);
    // Only the full list gets a slider.
    bzGuiControl *first = bz_GUI_GetControl(gui, 20);
    ASSERT_NE(first->list->sliderId, 0);
    EXPECT_EQ(bz_GUI_GetControl(gui, 21)->list->sliderId, 0);
    EXPECT_EQ(first->width, 110);
    const bzGuiControl *slider = bz_GUI_GetControl(gui, first->list->sliderId);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->kind, BZ_GUI_SLIDER);
    EXPECT_EQ(slider->x, 120);
    EXPECT_EQ(slider->width, 10);
    EXPECT_EQ(slider->height, 85);
    EXPECT_EQ(slider->flags, 17u);
    EXPECT_EQ(slider->sliderMax, 10);
    EXPECT_EQ(slider->ownerList, 20);

    // The second list fills up and gets a slider of its own.
    ASSERT_EQ(bz_GUI_SetItems(21, items, 12), 0);
    Frame(0, 0, false);
    bzGuiControl *second = bz_GUI_GetControl(gui, 21);
    ASSERT_NE(second->list->sliderId, 0);
    EXPECT_NE(second->list->sliderId, first->list->sliderId);

    // Stepping a slider scrolls its own list only: (12 - 5 + 1) x value / 10 rows, never past
    // the last 5 (value 1 to 10, then held at 10).
    const struct
    {
        int32_t code;
        int32_t firstRow;
    } steps[] = {{BZ_GM_SLIDER_UP, 0}, {BZ_GM_SLIDER_UP, 1},   {BZ_GM_SLIDER_UP, 2},
                 {BZ_GM_SLIDER_UP, 3}, {BZ_GM_SLIDER_DOWN, 2}, {BZ_GM_SLIDER_UP, 3},
                 {BZ_GM_SLIDER_UP, 4}, {BZ_GM_SLIDER_UP, 4},   {BZ_GM_SLIDER_UP, 5},
                 {BZ_GM_SLIDER_UP, 6}, {BZ_GM_SLIDER_UP, 7},   {BZ_GM_SLIDER_UP, 7},
                 {BZ_GM_SLIDER_UP, 7}};
    for (const auto &s : steps)
    {
        bz_GUI_SendMessage(s.code, gui, second->list->sliderId, 0, 0);
        EXPECT_EQ(second->list->firstRow, s.firstRow);
        EXPECT_EQ(first->list->firstRow, 0);
    }
    // The drawn rows start at the first visible one.
    RecordedRuns().clear();
    Frame(0, 0, false);
    bool sawItem7 = false, sawItem6 = false;
    for (const RecordedRun &r : RecordedRuns())
        if (r.penX > 250)
        {
            sawItem7 |= r.text == "item 7";
            sawItem6 |= r.text == "item 6";
        }
    EXPECT_TRUE(sawItem7);
    EXPECT_FALSE(sawItem6);
}

int32_t gRendered = 0;
struct ImageDraw
{
    bz_IMGMAP *image;
    float x, y, w, h, uv[4];
};
std::vector<ImageDraw> gImages;
void RecordImage(bz_IMGMAP *image, float x, float y, float w, float h, const float *uv)
{
    gImages.push_back({image, x, y, w, h, {uv[0], uv[1], uv[2], uv[3]}});
}
int32_t ReplaceDrawing(bzGuiControl *control, int32_t gui, int32_t page)
{
    ++gRendered;
    EXPECT_EQ(gui, 1);
    EXPECT_EQ(page, 0);
    return control->id == 31 ? 1 : 0;
}

TEST_F(GuiTest, DrawPassThroughTheRendererTable)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(gui, 0, 10, 30, 80, 20, 30, 1, "Play");
    bz_GUI_AddButton(gui, 0, 10, 60, 80, 20, 31, 1, "Custom");
    bz_GUI_AddButton(gui, 0, 10, 90, 80, 20, 32, 0, "Hidden");
    bz_GUI_AddCheckBox(gui, 0, 10, 120, 80, 20, 33, 1, "Check");
    bz_GUI_AddButton(gui, 0, 10, 150, 80, 20, 34, 0x21, "Shown"); // drawn, never focused
    bz_IMGMAP *image = bz_CreateImgMap("Picture", BZ_IMAGE_8888, 40, 40, 0);
    bz_GUI_GetControl(gui, 30)->image = image;
    gRendered = 0;
    bz_GUI_SetRenderCallback(gui, 31, ReplaceDrawing);
    bz_GUI_SetRenderCallback(gui, 33, ReplaceDrawing);
    bzgRenderTable.PDDrawScreenImage = RecordImage;
    gImages.clear();

    // Not shown: nothing drawn.
    bz_MemDevice_Reset();
    Frame(0, 0, false);
    EXPECT_EQ(bz_MemDevice_CallCount(32), 0u);
    EXPECT_TRUE(RecordedRuns().empty());

    bz_GUI_Show(gui, 1);
    bz_MemDevice_Reset();
    RecordedRuns().clear();
    Frame(0, 0, false);
    std::vector<std::string> texts;
    for (const RecordedRun &r : RecordedRuns())
        texts.push_back(r.text);
    // The frame's title, then the controls in slot order; the replaced and the disabled
    // controls print nothing.
    EXPECT_EQ(texts, (std::vector<std::string>{"Title", "Play", "Check", "Shown"}));
    EXPECT_EQ(gRendered, 2);
    // The frame, its title bar, the two buttons, the check box: boxes through slot 32, the
    // first button's picture through slot 82.
    EXPECT_EQ(bz_MemDevice_CallCount(32), 5u);
    const bzMemDeviceCall *frame = bz_MemDevice_GetCall(0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->slot, 32);
    EXPECT_EQ(bz_MemDevice_ArgFloat(frame->args[0]), 100.0f);
    EXPECT_EQ(bz_MemDevice_ArgFloat(frame->args[2]), 300.0f);
    EXPECT_EQ(frame->args[4], 0xFFA0A0A0u); // the colour word at 125 percent
    // Texts are placed relative to the GUI: the button's centred in it.
    EXPECT_EQ(RecordedRuns()[1].penX, 100 + 10 + 40 - 16);
    // The picture fills the button: 80 x 20 of a 40 x 40 image.
    ASSERT_EQ(gImages.size(), 1u);
    EXPECT_EQ(gImages[0].image, image);
    EXPECT_EQ(gImages[0].x, 110.0f);
    EXPECT_EQ(gImages[0].y, 80.0f);
    EXPECT_EQ(gImages[0].uv[2], 2.0f);
    EXPECT_EQ(gImages[0].uv[3], 0.5f);
    bz_ReleaseImgMap(image);
}

TEST_F(GuiTest, InputPassFocusesActivatesAndEdits)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddCheckBox(gui, 0, 10, 30, 80, 20, 1, 1, "Check");
    bz_GUI_AddButton(gui, 0, 10, 60, 80, 20, 2, 0x21, "No focus");
    bz_GUI_AddButton(gui, 0, 10, 90, 80, 20, 3, 0, "Disabled");
    bz_GUI_AddTextField(gui, 0, 10, 120, 80, 20, 4, 1, "ab");
    VirtualCounter counter;
    counter.StartTimer();
    bz_GUI_Show(gui, 1);
    EXPECT_EQ(bz_GUI_GetControl(gui, 1)->focused, 1);

    // A click on the check box: pressed, then let go over it.
    Frame(100 + 15, 50 + 35, true);
    Frame(100 + 15, 50 + 35, false);
    EXPECT_EQ(bz_GUI_GetValue(gui, 1), 1);
    // A click beside every control is a click on empty space, for the hook; a second press
    // within 250 ms is a double click.
    counter.AdvanceMs(1000);
    gSeen.clear();
    Frame(100 + 200, 50 + 150, true);
    Frame(100 + 200, 50 + 150, false);
    std::vector<int32_t> codes = Codes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), BZ_GM_CLICK_EMPTY), codes.end());
    EXPECT_EQ(std::find(codes.begin(), codes.end(), BZ_GM_CLICK_OTHER), codes.end());
    counter.AdvanceMs(100);
    gSeen.clear();
    Frame(100 + 200, 50 + 150, true);
    Frame(100 + 200, 50 + 150, false);
    codes = Codes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), BZ_GM_CLICK_OTHER), codes.end());
    EXPECT_NE(std::find(codes.begin(), codes.end(), BZ_GM_TICK), codes.end());
    EXPECT_NE(std::find(codes.begin(), codes.end(), BZ_GM_MOUSE_OVER_PAGE), codes.end());

    // Next-control skips the unfocusable and the disabled buttons.
    input.Press('n', true);
    Frame(0, 0, false);
    input.Press('n', false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 4)->focused, 1);
    EXPECT_EQ(bz_GUI_GetControl(gui, 1)->focused, 0);
    EXPECT_EQ(bz_GUI_EditingCount(), 1);
    // Wrap-around back to the check box.
    input.Press('n', true);
    Frame(0, 0, false);
    input.Press('n', false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 1)->focused, 1);
    EXPECT_EQ(bz_GUI_EditingCount(), 0);
    input.Press('p', true);
    Frame(0, 0, false);
    input.Press('p', false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 4)->focused, 1);

    // Typing into the focused text field at its cursor.
    bzGuiControl *field = bz_GUI_GetControl(gui, 4);
    field->cursor = 2;
    input.Keyboard().typedKey = 'c';
    input.Keyboard().typedChar = 'c';
    Frame(0, 0, false);
    input.Keyboard().typedKey = input.Keyboard().typedChar = 0;
    EXPECT_STREQ(field->text, "abc");
    EXPECT_EQ(field->cursor, 3);
    input.Keyboard().typedKey = 8;
    Frame(0, 0, false);
    input.Keyboard().typedKey = 0;
    EXPECT_STREQ(field->text, "ab");
    gSeen.clear();
    input.Press('s', true);
    Frame(0, 0, false);
    input.Press('s', false);
    const std::vector<int32_t> entered = Codes();
    EXPECT_NE(std::find(entered.begin(), entered.end(), BZ_GM_TEXT_ENTERED), entered.end());
}

TEST_F(GuiTest, KeysHeldWhenShownAreIgnoredUntilReleased)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(gui, 0, 0, 20, 10, 10, 1, 1, "a");
    bz_GUI_AddButton(gui, 0, 0, 40, 10, 10, 2, 1, "b");
    input.Press('n', true);
    bz_GUI_Show(gui, 1);
    Frame(0, 0, false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 1)->focused, 1);
    input.Press('n', false);
    Frame(0, 0, false);
    input.Press('n', true);
    Frame(0, 0, false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 2)->focused, 1);
    // The key mask and the input block turn the keys off.
    input.Press('n', false);
    Frame(0, 0, false);
    bz_GUI_SetKeyMask(1);
    input.Press('n', true);
    Frame(0, 0, false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 2)->focused, 1);
    bz_GUI_SetKeyMask(0);
    input.Keyboard().inputBlock = 1;
    Frame(0, 0, false);
    EXPECT_EQ(bz_GUI_GetControl(gui, 2)->focused, 1);
}

TEST_F(GuiTest, ClosingInsideTheInputPassEndsItSafely)
{
    const int32_t other = MakeGui();
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(other, 0, 0, 20, 10, 10, 1, 1, "a");
    bz_GUI_AddPage(gui, 1, 0);
    bz_GUI_AddButton(gui, 0, 0, 20, 10, 10, 2, 1, "b");
    bz_GUI_AddSlider(gui, 1, 0, 20, 10, 10, 3, 1, 5);
    bz_GUI_Show(other, 1);
    bz_GUI_Show(gui, 1);
    // The back key closes the GUI during its own pass: destroyed, the other one active again,
    // and nothing after the close runs for it.
    input.Press('b', true);
    Frame(0, 0, false); // held since showing: ignored
    EXPECT_EQ(bz_GUI_Get(gui)->inUse, 1);
    input.Press('b', false);
    Frame(0, 0, false);
    input.Press('b', true);
    gSeen.clear();
    Frame(0, 0, false);
    input.Press('b', false);
    EXPECT_EQ(bz_GUI_Get(gui)->inUse, 0);
    for (const Message &m : gSeen)
    {
        if (m.gui == gui)
        {
            EXPECT_NE(m.code, BZ_GM_TICK);
        }
    }
    EXPECT_EQ(bz_GUI_Get(other)->active, 1);

    // A hook that destroys its GUI when told the mouse is over a page.
    const int32_t third = MakeGui();
    bz_GUI_AddPage(third, 3, 0);
    bz_GUI_AddButton(third, 0, 0, 20, 10, 10, 5, 1, "c");
    bz_GUI_AddButton(third, 3, 0, 20, 10, 10, 6, 1, "d");
    bz_GUI_Show(third, 1);
    gDestroyOn = BZ_GM_MOUSE_OFF_PAGE;
    Frame(0, 0, false);
    EXPECT_EQ(bz_GUI_Get(third)->inUse, 0);

    // A hook that destroys its GUI on a message it sees first: the default action does not
    // run on the freed control.
    const int32_t fourth = MakeGui();
    bz_GUI_AddSlider(fourth, 0, 0, 20, 10, 10, 7, 1, 5);
    bz_GUI_Show(fourth, 1);
    gDestroyOn = BZ_GM_SLIDER_UP;
    EXPECT_EQ(bz_GUI_SendMessage(BZ_GM_SLIDER_UP, fourth, 7, 0, 0), 0u);
    EXPECT_EQ(bz_GUI_Get(fourth)->inUse, 0);
    gDestroyOn = 0;
}

TEST_F(GuiTest, TitleBarDrag)
{
    const int32_t gui = MakeGui();
    bz_GUI_AddButton(gui, 0, 0, 40, 10, 10, 1, 1, "a");
    bz_GUI_Show(gui, 1);
    // Grab the title bar at (110, 55) and move by (20, 30).
    Frame(110, 55, true);
    Frame(130, 85, true);
    EXPECT_EQ(bz_GUI_Get(gui)->x, 120);
    EXPECT_EQ(bz_GUI_Get(gui)->y, 80);
    Frame(130, 85, false);
    Frame(200, 200, false);
    EXPECT_EQ(bz_GUI_Get(gui)->x, 120);
    // Without the drag style the title bar holds still.
    bz_GUI_Get(gui)->style &= ~BZ_GUI_STYLE_DRAG;
    Frame(125, 85, true);
    Frame(160, 120, true);
    Frame(160, 120, false);
    EXPECT_EQ(bz_GUI_Get(gui)->x, 120);
}
} // namespace

namespace
{
TEST_F(GuiTest, StateSettersOfAGui)
{
    const int32_t gui = MakeGui();
    ASSERT_EQ(bz_GUI_AddSlider(gui, 0, 10, 10, 100, 12, 40, 1, 20), 0);
    bzGui *g = bz_GUI_Get(gui);
    // Not shown yet: the slider value cannot be set.
    EXPECT_EQ(bz_GUI_SetSliderValue(gui, 40, 7), BZ_ERROR_INVALID_PARAMETER);
    bz_GUI_Show(gui, 1);
    EXPECT_EQ(bz_GUI_SetSliderValue(gui, 40, 7), 0);
    EXPECT_EQ(bz_GUI_GetSliderValueOf(gui, 40), 7);
    EXPECT_EQ(bz_GUI_SetSliderValue(gui, 41, 7), BZ_ERROR_INVALID_PARAMETER);

    // Input off and on again; activation sends 1004 and with it 1005.
    EXPECT_EQ(bz_GUI_DisableInput(gui), 0);
    EXPECT_EQ(g->inputEnabled, 0);
    gSeen.clear();
    EXPECT_EQ(bz_GUI_Activate(gui), 0);
    EXPECT_EQ(g->inputEnabled, 1);
    const std::vector<int32_t> codes = Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], BZ_GM_ACTIVATE);
    EXPECT_EQ(codes.back(), BZ_GM_ACTIVATE_GUI);

    EXPECT_EQ(bz_GUI_SetShown(gui, 0, 0), 0);
    EXPECT_EQ(g->shown, 0);
    // Style bit 0 of the creation style (31) cleared and set.
    EXPECT_EQ(bz_GUI_ClearStyleBit(gui), 0);
    EXPECT_EQ(g->style & 1u, 0u);
    EXPECT_EQ(bz_GUI_SetStyleBit(gui), 0);
    EXPECT_EQ(g->style, 31u);

    // A GUI that is not in use is refused by each.
    for (int32_t bad : {0, 9, gui + 1})
    {
        EXPECT_EQ(bz_GUI_Activate(bad), BZ_ERROR_INVALID_HANDLE) << bad;
        EXPECT_EQ(bz_GUI_DisableInput(bad), BZ_ERROR_INVALID_HANDLE) << bad;
        EXPECT_EQ(bz_GUI_SetShown(bad, 0, 1), BZ_ERROR_INVALID_HANDLE) << bad;
        EXPECT_EQ(bz_GUI_SetStyleBit(bad), BZ_ERROR_INVALID_HANDLE) << bad;
        EXPECT_EQ(bz_GUI_ClearStyleBit(bad), BZ_ERROR_INVALID_HANDLE) << bad;
    }
}
} // namespace
