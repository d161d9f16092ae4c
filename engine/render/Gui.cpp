#include "render/Gui.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "render/Font.h"
#include "render/GuiInternal.h"

#include <cstring>

namespace bzgui
{
bzGui gGuis[BZ_GUI_COUNT];
int32_t gEditing;
int32_t gNavigation;
uint32_t gKeyMask;

bzGui *InUse(int32_t gui)
{
    bzGui *g = bz_GUI_Get(gui);
    return g && g->inUse ? g : nullptr;
}

bzGuiControl *FindControl(bzGui *g, int32_t id, int32_t *page)
{
    if (!g || id < 0)
        return nullptr;
    for (int32_t p = 0; p < BZ_GUI_PAGES; ++p)
    {
        bzGuiPage *pg = g->pages[p];
        if (!pg)
            continue;
        for (bzGuiControl &c : pg->slots)
            if (c.inUse && c.id == id)
            {
                if (page)
                    *page = p;
                return &c;
            }
    }
    return nullptr;
}

int32_t FirstPageWithControls(const bzGui *g)
{
    for (int32_t p = 0; p < BZ_GUI_PAGES; ++p)
        if (g->pages[p])
            for (const bzGuiControl &c : g->pages[p]->slots)
                if (c.inUse)
                    return p;
    return -1;
}

int32_t FirstShownPage(const bzGui *g)
{
    for (int32_t p = 0; p < BZ_GUI_PAGES; ++p)
        if (g->pages[p] && g->pages[p]->shown)
            return p;
    return -1;
}

bool Focusable(const bzGuiControl &c)
{
    return c.inUse && (c.flags & BZ_GUI_ENABLED) && !(c.flags & BZ_GUI_NO_FOCUS);
}

int32_t RowsThatFit(const bzGuiControl &list)
{
    bzFont *font = list.list ? list.list->font : nullptr;
    const int32_t line = static_cast<int32_t>(bz_Font_GetLineHeight(font)) + 2;
    return line > 0 ? list.height / line : 0;
}

int32_t AddListSlider(int32_t gui, int32_t page, bzGuiControl *list)
{
    bzGui *g = InUse(gui);
    if (!g || !list->list)
        return 0;
    // Every list box gets a slider id of its own: the list box's GUI, page and slot.
    const int32_t slot = static_cast<int32_t>(list - g->pages[page]->slots);
    const int32_t id =
        BZ_GUI_LIST_SLIDER_ID + ((gui - 1) * BZ_GUI_PAGES + page) * BZ_GUI_SLOTS + slot;
    if (bz_GUI_AddSlider(gui, page, list->x + list->width - 10, list->y, 10, list->height, id, 17,
                         10) != 0)
        return 0;
    bzGuiControl *slider = FindControl(g, id, nullptr);
    slider->ownerList = list->id;
    slider->sliderMin = 0;
    list->list->sliderId = id;
    list->width -= 10;
    return id;
}

void RelayList(bzGui *g, const bzGuiControl &slider)
{
    bzGuiControl *list = FindControl(g, slider.ownerList, nullptr);
    if (!list || !list->list)
        return;
    const int32_t fit = RowsThatFit(*list);
    const int32_t count = list->list->itemCount;
    // The slider's value is a fraction of its range (0 to 10 for the sliders the GUI adds):
    // at its maximum the last rows are shown. The list never scrolls past its last row nor
    // before its first.
    const int32_t range = slider.sliderMax - slider.sliderMin;
    int32_t first =
        range > 0 ? (count - fit + 1) * (slider.sliderValue - slider.sliderMin) / range : 0;
    const int32_t lastFirst = count - fit > 0 ? count - fit : 0;
    if (first > lastFirst)
        first = lastFirst;
    if (first < 0)
        first = 0;
    list->list->firstRow = first;
}
} // namespace bzgui

using namespace bzgui;

namespace
{
void FreePages(bzGui *g)
{
    for (bzGuiPage *&p : g->pages)
    {
        if (!p)
            continue;
        for (bzGuiControl &c : p->slots)
            if (c.list)
            {
                bz_MemFree(c.list->items);
                bz_MemFree(c.list);
            }
        bz_MemFree(p);
        p = nullptr;
    }
}

void CopyText(char *dest, const char *text)
{
    std::memset(dest, 0, BZ_GUI_TEXT_SIZE);
    if (text)
        std::strncat(dest, text, BZ_GUI_TEXT_SIZE - 1);
}

// Takes the first free slot of a page for a control of a kind; null with the error in *err.
bzGuiControl *AddControl(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                         int32_t id, uint32_t flags, int32_t kind, int32_t *err)
{
    bzGui *g = bz_GUI_Get(gui);
    if (!g || page < 0 || page >= BZ_GUI_PAGES)
    {
        *err = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const int32_t slot = bz_GUI_FirstFreeSlot(gui, page);
    if (!g->inUse || slot < 0)
    {
        *err = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzGuiControl *c = &g->pages[page]->slots[slot];
    *c = {};
    c->inUse = 1;
    c->x = x;
    c->y = y;
    c->width = w;
    c->height = h;
    c->id = id;
    c->flags = flags;
    c->kind = kind;
    *err = 0;
    return c;
}

int32_t Result(int32_t err)
{
    if (err)
        bzgLastError = err;
    return err;
}

int32_t AddTextControl(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t id, uint32_t flags, int32_t kind, const char *text)
{
    int32_t err = 0;
    if (bzGuiControl *c = AddControl(gui, page, x, y, w, h, id, flags, kind, &err))
        CopyText(c->text, text);
    return Result(err);
}

// ---- Drawing

void Box(float x, float y, float w, float h, uint32_t colour)
{
    if (bzgRenderTable.PDDraw2DRect)
        bzgRenderTable.PDDraw2DRect(x, y, w, h, colour, 0, nullptr, 0);
}

uint32_t Colour(int32_t gui, int32_t role, int32_t b = 0)
{
    return bz_GUI_SendMessage(BZ_GM_COLOUR, gui, -1, role, b);
}

void Text(bzFont *font, const char *text, float x, float y, float width, uint32_t flags = 0)
{
    bz_Font_PrintString(font, text, flags, x, y, width);
}

void DrawImage(int32_t gui, const bzGuiControl &c, float x, float y)
{
    if (!c.image || !bzgRenderTable.PDDrawScreenImage)
        return;
    float uv[4];
    bz_GUI_SendMessage(BZ_GM_IMAGE_COORDS, gui, c.id, 0, reinterpret_cast<intptr_t>(uv));
    bzgRenderTable.PDDrawScreenImage(c.image, x, y, static_cast<float>(c.width),
                                     static_cast<float>(c.height), uv);
}

void DrawControl(int32_t gui, bzGui *g, const bzGuiControl &c)
{
    const float x = static_cast<float>(g->x + c.x), y = static_cast<float>(g->y + c.y);
    const float w = static_cast<float>(c.width), h = static_cast<float>(c.height);
    const float lh = bz_Font_GetLineHeight(c.font);
    switch (c.kind)
    {
    case BZ_GUI_BUTTON:
        Box(x, y, w, h, Colour(gui, c.focused ? 6 : 5));
        DrawImage(gui, c, x, y);
        Text(c.font, c.text, x + w * 0.5f, y + (h - lh) * 0.5f, 0, BZ_TEXT_CENTRE);
        break;
    case BZ_GUI_CHECKBOX:
    case BZ_GUI_RADIO:
    {
        const int32_t base = c.kind == BZ_GUI_CHECKBOX ? 10 : 15;
        Box(x, y, h, h, Colour(gui, base));
        if (c.value)
            Box(x + 3, y + 3, h - 6, h - 6, Colour(gui, base + 1));
        if (c.focused)
            Box(x, y + h - 1, w, 1, Colour(gui, base + 3));
        Text(c.font, c.text, x + h + 4, y + (h - lh) * 0.5f, 0);
        break;
    }
    case BZ_GUI_TEXTFIELD:
        Box(x, y, w, h, Colour(gui, c.focused ? 23 : 22));
        Text(c.font, c.text, x + 2, y + (h - lh) * 0.5f, 0);
        if (c.focused)
        {
            char before[BZ_GUI_TEXT_SIZE] = {};
            std::strncat(before, c.text, static_cast<size_t>(c.cursor < 0 ? 0 : c.cursor));
            const float cx = x + 2 + bz_Font_GetStringWidth(c.font, before, 0);
            Box(cx, y + 2, 1, h - 4, Colour(gui, 21));
        }
        break;
    case BZ_GUI_SLIDER:
    {
        Box(x, y, w, h, Colour(gui, 25));
        const int32_t range = c.sliderMax - c.sliderMin;
        const float t = range > 0 ? static_cast<float>(c.sliderValue - c.sliderMin) / range : 0.0f;
        if (w >= h)
            Box(x + t * (w - 6), y, 6, h, Colour(gui, c.focused ? 27 : 26));
        else
            Box(x, y + t * (h - 6), w, 6, Colour(gui, c.focused ? 27 : 26));
        break;
    }
    case BZ_GUI_LISTBOX:
    {
        Box(x, y, w, h, Colour(gui, 28));
        if (!c.list)
            break;
        const float row = bz_Font_GetLineHeight(c.list->font) + 2;
        const int32_t fit = RowsThatFit(c);
        for (int32_t r = 0; r < fit; ++r)
        {
            const int32_t item = c.list->firstRow + r;
            if (item < 0 || item >= c.list->itemCount)
                break;
            Text(c.list->font, c.list->items[item], x + 2, y + 1 + r * row, w - 4);
        }
        break;
    }
    default: break;
    }
}

void DrawGui(int32_t gui, bzGui *g)
{
    int32_t inset = 0;
    if (g->style & BZ_GUI_STYLE_INSET2)
        ++inset;
    if (g->style & BZ_GUI_STYLE_INSET1)
        ++inset;
    const float x = static_cast<float>(g->x), y = static_cast<float>(g->y);
    Box(x, y, static_cast<float>(g->width), static_cast<float>(g->height), Colour(gui, 1));
    float titleLine = bz_Font_GetLineHeight(g->description.titleFont);
    if (titleLine < 1)
        titleLine = 16;
    Box(x + inset, y + inset, static_cast<float>(g->width - 2 * inset), titleLine + 2,
        Colour(gui, 30));
    if (g->description.title[0])
        Text(g->description.titleFont, g->description.title, x + inset + 2, y + inset + 1, 0);
    for (int32_t p = 0; p < BZ_GUI_PAGES; ++p)
    {
        bzGuiPage *page = g->pages[p];
        if (!page || !page->shown)
            continue;
        for (bzGuiControl &c : page->slots)
        {
            if (!c.inUse)
                continue;
            if (c.render && c.render(&c, gui, p) != 0)
                continue;
            if ((c.flags & BZ_GUI_ENABLED) && c.kind >= BZ_GUI_BUTTON && c.kind <= BZ_GUI_LISTBOX)
                DrawControl(gui, g, c);
        }
    }
}
} // namespace

void GUI_Reset()
{
    std::memset(gGuis, 0, sizeof gGuis);
    gEditing = 0;
    gNavigation = 0;
}

bzGui *bz_GUI_Get(int32_t gui)
{
    if (gui < 1 || gui > BZ_GUI_COUNT)
        return nullptr;
    return &gGuis[gui - 1];
}

int32_t bz_GUI_Create(const int32_t *rect, const bzGuiDescription *description, uint32_t colour)
{
    for (int32_t n = 1; n <= BZ_GUI_COUNT; ++n)
    {
        bzGui *g = &gGuis[n - 1];
        if (g->inUse)
            continue;
        *g = {};
        g->inUse = 1;
        g->style = BZ_GUI_STYLE_DEFAULT;
        if (rect)
        {
            g->x = rect[0];
            g->y = rect[1];
            g->width = rect[2];
            g->height = rect[3];
        }
        if (description)
            g->description = *description;
        g->description.title[sizeof g->description.title - 1] = 0;
        g->colour = colour;
        return n;
    }
    bzgLastError = BZ_ERROR_NO_MEMORY;
    return 0;
}

int32_t bz_GUI_Destroy(int32_t gui)
{
    bzGui *g = bz_GUI_Get(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_PARAMETER);
    if (!g->inUse)
        return Result(BZ_ERROR_INVALID_HANDLE);
    for (bzGuiPage *p : g->pages)
        if (p)
            for (bzGuiControl &c : p->slots)
                if (c.inUse && c.focused && c.kind == BZ_GUI_TEXTFIELD && gEditing > 0)
                    --gEditing;
    g->inUse = 0;
    g->shown = 0;
    g->active = 0;
    g->inputEnabled = 0;
    g->dragging = 0;
    FreePages(g);
    return 0;
}

int32_t bz_GUI_SetHook(int32_t gui, bzGuiHook hook)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->hook = hook;
    return 0;
}

int32_t bz_GUI_AddPage(int32_t gui, int32_t page, int32_t header)
{
    bzGui *g = bz_GUI_Get(gui);
    if (!g || page < 0 || page >= BZ_GUI_PAGES)
        return Result(BZ_ERROR_INVALID_PARAMETER);
    if (!g->inUse)
        return Result(BZ_ERROR_INVALID_HANDLE);
    if (!g->pages[page])
    {
        auto *p = static_cast<bzGuiPage *>(bz_MemAlloc(sizeof(bzGuiPage), 1));
        if (!p)
            return Result(BZ_ERROR_NO_MEMORY);
        p->header = header;
        g->pages[page] = p;
    }
    return 0;
}

int32_t bz_GUI_AddButton(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                         int32_t id, uint32_t flags, const char *text)
{
    return AddTextControl(gui, page, x, y, w, h, id, flags, BZ_GUI_BUTTON, text);
}

int32_t bz_GUI_AddCheckBox(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t id, uint32_t flags, const char *text)
{
    return AddTextControl(gui, page, x, y, w, h, id, flags, BZ_GUI_CHECKBOX, text);
}

int32_t bz_GUI_AddRadioButton(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                              int32_t id, uint32_t flags, const char *text)
{
    return AddTextControl(gui, page, x, y, w, h, id, flags, BZ_GUI_RADIO, text);
}

int32_t bz_GUI_AddTextField(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                            int32_t id, uint32_t flags, const char *text)
{
    return AddTextControl(gui, page, x, y, w, h, id, flags, BZ_GUI_TEXTFIELD, text);
}

int32_t bz_GUI_AddSlider(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                         int32_t id, uint32_t flags, int32_t maximum)
{
    int32_t err = 0;
    if (bzGuiControl *c = AddControl(gui, page, x, y, w, h, id, flags, BZ_GUI_SLIDER, &err))
        c->sliderMax = maximum;
    return Result(err);
}

int32_t bz_GUI_AddListBox(int32_t gui, int32_t page, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t id, uint32_t flags, bzFont *listFont)
{
    int32_t err = 0;
    bzGuiControl *c = AddControl(gui, page, x, y, w, h, id, flags, BZ_GUI_LISTBOX, &err);
    if (!c)
        return Result(err);
    c->list = static_cast<bzGuiList *>(bz_MemAlloc(sizeof(bzGuiList), 1));
    if (!c->list)
    {
        c->inUse = 0;
        return Result(BZ_ERROR_NO_MEMORY);
    }
    c->list->font = listFont;
    return 0;
}

int32_t bz_GUI_DefaultSliderMax()
{
    return BZ_GUI_DEFAULT_SLIDER_MAX;
}

namespace
{
bzGuiControl *AnyControl(int32_t id, bool shownOnly, int32_t *gui)
{
    for (int32_t n = 1; n <= BZ_GUI_COUNT; ++n)
    {
        bzGui *g = &gGuis[n - 1];
        if (!g->inUse || (shownOnly && !g->shown))
            continue;
        if (bzGuiControl *c = FindControl(g, id, nullptr))
        {
            if (gui)
                *gui = n;
            return c;
        }
    }
    return nullptr;
}

// The control of an id in a GUI in use and shown, or null with last error 29.
bzGuiControl *ShownControl(int32_t gui, int32_t id)
{
    bzGui *g = InUse(gui);
    bzGuiControl *c = g && g->shown ? FindControl(g, id, nullptr) : nullptr;
    if (!c)
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return c;
}
} // namespace

int32_t bz_GUI_SetText(int32_t id, const char *text)
{
    bzGuiControl *c = AnyControl(id, false, nullptr);
    if (!c)
        return Result(BZ_ERROR_INVALID_PARAMETER);
    CopyText(c->text, text);
    if (c->cursor > static_cast<int32_t>(std::strlen(c->text)))
        c->cursor = static_cast<int32_t>(std::strlen(c->text));
    return 0;
}

const char *bz_GUI_GetText(int32_t id)
{
    bzGuiControl *c = AnyControl(id, false, nullptr);
    if (!c)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return c->text;
}

int32_t bz_GUI_SetItems(int32_t id, const char (*items)[BZ_GUI_ITEM_SIZE], int32_t count)
{
    bzGuiControl *c = AnyControl(id, false, nullptr);
    if (!c || !c->list || count < 0 || (count > 0 && !items))
        return Result(BZ_ERROR_INVALID_PARAMETER);
    bzGuiList *list = c->list;
    if (count > list->capacity)
    {
        const int32_t capacity =
            (count + BZ_GUI_ITEM_GROWTH - 1) / BZ_GUI_ITEM_GROWTH * BZ_GUI_ITEM_GROWTH;
        void *block = bz_MemAlloc(static_cast<uint32_t>(capacity) * BZ_GUI_ITEM_SIZE, 1);
        if (!block)
            return Result(BZ_ERROR_NO_MEMORY);
        bz_MemFree(list->items);
        list->items = static_cast<char(*)[BZ_GUI_ITEM_SIZE]>(block);
        list->capacity = capacity;
    }
    for (int32_t i = 0; i < count; ++i)
    {
        std::memcpy(list->items[i], items[i], BZ_GUI_ITEM_SIZE);
        list->items[i][BZ_GUI_ITEM_SIZE - 1] = 0;
    }
    list->itemCount = count;
    if (list->firstRow >= count)
        list->firstRow = 0;
    return 0;
}

int32_t bz_GUI_GetSliderValue(int32_t id)
{
    bzGuiControl *c = AnyControl(id, false, nullptr);
    return c ? c->sliderValue : 0;
}

int32_t bz_GUI_GetValues(int32_t id, int32_t *value, int32_t *sliderValue)
{
    bzGuiControl *c = AnyControl(id, false, nullptr);
    if (!c)
        return Result(BZ_ERROR_INVALID_PARAMETER);
    if (value)
        *value = c->value;
    if (sliderValue)
        *sliderValue = c->sliderValue;
    return 0;
}

int32_t bz_GUI_SetValue(int32_t gui, int32_t id, int32_t value)
{
    bzGuiControl *c = ShownControl(gui, id);
    if (!c)
        return BZ_ERROR_INVALID_PARAMETER;
    c->value = value;
    return 0;
}

int32_t bz_GUI_SetSliderValue(int32_t gui, int32_t id, int32_t value)
{
    bzGuiControl *c = ShownControl(gui, id);
    if (!c)
        return BZ_ERROR_INVALID_PARAMETER;
    c->sliderValue = value;
    return 0;
}

int32_t bz_GUI_GetValue(int32_t gui, int32_t id)
{
    bzGuiControl *c = FindControl(InUse(gui), id, nullptr);
    return c ? c->value : 0;
}

int32_t bz_GUI_GetSliderValueOf(int32_t gui, int32_t id)
{
    bzGuiControl *c = FindControl(InUse(gui), id, nullptr);
    return c ? c->sliderValue : 0;
}

bzGuiControl *bz_GUI_GetControl(int32_t gui, int32_t id)
{
    return FindControl(InUse(gui), id, nullptr);
}

int32_t bz_GUI_SetRenderCallback(int32_t gui, int32_t id, bzGuiRenderFn render)
{
    bzGuiControl *c = FindControl(InUse(gui), id, nullptr);
    if (!c)
        return Result(BZ_ERROR_NOT_FOUND);
    c->render = render;
    return 0;
}

int32_t bz_GUI_FindGui(int32_t id)
{
    int32_t gui = 0;
    AnyControl(id, false, &gui);
    return gui;
}

int32_t bz_GUI_FindShownGui(int32_t id)
{
    int32_t gui = 0;
    AnyControl(id, true, &gui);
    return gui;
}

int32_t bz_GUI_FirstFreeSlot(int32_t gui, int32_t page)
{
    bzGui *g = bz_GUI_Get(gui);
    if (!g || page < 0 || page >= BZ_GUI_PAGES || !g->pages[page])
        return -1;
    for (int32_t s = 0; s < BZ_GUI_SLOTS; ++s)
        if (!g->pages[page]->slots[s].inUse)
            return s;
    return -1;
}

int32_t bz_GUI_Show(int32_t gui, int32_t showFirstPage)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(bz_GUI_Get(gui) ? BZ_ERROR_INVALID_HANDLE : BZ_ERROR_INVALID_PARAMETER);
    g->inputEnabled = 1;
    g->shown = 1;
    g->dragging = 0;
    if (showFirstPage)
    {
        const int32_t p = FirstPageWithControls(g);
        if (p >= 0)
            g->pages[p]->shown = 1;
    }
    g->latch = 1;
    bz_GUI_SendMessage(BZ_GM_ACTIVATE_GUI, gui, -1, 0, 0);
    return 0;
}

int32_t bz_GUI_Activate(int32_t gui)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->inputEnabled = 1;
    bz_GUI_SendMessage(BZ_GM_ACTIVATE_GUI, gui, -1, 0, 0);
    return 0;
}

int32_t bz_GUI_DisableInput(int32_t gui)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->inputEnabled = 0;
    return 0;
}

int32_t bz_GUI_SetShown(int32_t gui, int32_t, int32_t shown)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->shown = shown;
    return 0;
}

void bz_GUI_SetKeyMask(uint32_t mask)
{
    gKeyMask = mask;
}

int32_t bz_GUI_SetStyleBit(int32_t gui)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->style |= 1u;
    return 0;
}

int32_t bz_GUI_ClearStyleBit(int32_t gui)
{
    bzGui *g = InUse(gui);
    if (!g)
        return Result(BZ_ERROR_INVALID_HANDLE);
    g->style &= ~1u;
    return 0;
}

int32_t bz_GUI_EditingCount()
{
    return gEditing;
}

void bz_GUI_Render()
{
    bz_GUI_GatherInput();
    for (int32_t n = 1; n <= BZ_GUI_COUNT; ++n)
    {
        bzGui *g = &gGuis[n - 1];
        if (!g->inUse || !g->shown)
            continue;
        if (g->inputEnabled)
            bz_GUI_ProcessInput(n);
        if (g->inUse && g->shown)
            DrawGui(n, g);
    }
}
