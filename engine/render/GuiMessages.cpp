// GUI messages: the dispatcher with its default actions, the line editor and the per-frame
// input pass.
#include "core/Clock.h"
#include "core/Error.h"
#include "device/ImageRecord.h"
#include "maths/Colour.h"
#include "render/Font.h"
#include "render/GuiInternal.h"
#include "render/InputTables.h"

#include <cstring>

using namespace bzgui;

namespace
{
constexpr uint32_t kDoubleClickMs = 250;

// The input state gathered once a frame.
struct GuiInput
{
    int32_t mouseX, mouseY;
    uint32_t buttons;  // held
    uint32_t pressed;  // went down this frame
    uint32_t released; // went up this frame
    int32_t doubleClick;
    int32_t nav[8];
    int32_t key, ch; // typed this frame while a text field is edited
    uint32_t frameMs;
    uint32_t lastPressMs;
    uint32_t lastGatherMs;
};
GuiInput gInput;
int32_t gNavKeys[8] = {-1, -1, -1, -1, -1, -1, -1, -1};

enum class Hook
{
    First,
    After,
    Only,
};

// How each code meets the hook; false for a code that is not handled.
bool HookKind(int32_t code, Hook *kind)
{
    switch (code)
    {
    case BZ_GM_CLOSE:
    case BZ_GM_DESTROY:
    case BZ_GM_ACTIVATE:
    case BZ_GM_DEACTIVATE:
    case BZ_GM_IMAGE_COORDS:
    case BZ_GM_SLIDER_DOWN:
    case BZ_GM_SLIDER_UP:
    case BZ_GM_COLOUR: *kind = Hook::First; return true;
    case BZ_GM_MOVE:
    case BZ_GM_ACTIVATE_GUI:
    case BZ_GM_SHOW_PAGE:
    case BZ_GM_HIDE_PAGE:
    case BZ_GM_ACTIVATE_CONTROL:
    case BZ_GM_DEACTIVATE_CONTROL:
    case BZ_GM_FOCUS:
    case BZ_GM_UNFOCUS: *kind = Hook::After; return true;
    case BZ_GM_TICK:
    case BZ_GM_MOUSE_OVER_PAGE:
    case BZ_GM_MOUSE_OFF_PAGE:
    case BZ_GM_CLICK_EMPTY:
    case BZ_GM_CLICK_OTHER:
    case BZ_GM_TEXT_ENTERED: *kind = Hook::Only; return true;
    default: return false;
    }
}

bzGuiPage *PageOf(bzGui *g, intptr_t page)
{
    if (page < 0 || page >= BZ_GUI_PAGES)
        return nullptr;
    return g->pages[page];
}

uint32_t ColourOf(bzGui *g, int32_t role, intptr_t page)
{
    const bzColour c = g->colour;
    switch (role)
    {
    case 1: return bz_Colour_ScalePercent(c, 125);
    case 6:
    case 8:
    case 13:
    case 18:
    case 23:
    case 27:
    case 32: return bz_Colour_ScalePercent(c, 75);
    case 30: return bz_Colour_ScalePercent(c, 150);
    case 3:
    {
        bzGuiPage *p = PageOf(g, page);
        return p && p->shown ? bz_Colour_ScalePercent(c, 80) : c;
    }
    case 2:
    case 4:
    case 11:
    case 16:
    case 21: return 0xFF000000u | (c & 0xFFu);
    case 5:
    case 7:
    case 9:
    case 10:
    case 12:
    case 14:
    case 15:
    case 17:
    case 19:
    case 20:
    case 22:
    case 24:
    case 25:
    case 26:
    case 28:
    case 29:
    case 31:
    case 33: return c;
    default: return 0xFF000000u;
    }
}

// The default actions. The GUI may be destroyed by a message sent on the way; every step
// that follows a send checks that it is still in use.
void DefaultAction(int32_t code, int32_t gui, bzGui *g, int32_t id, bzGuiControl *c, int32_t page,
                   intptr_t a, intptr_t b)
{
    switch (code)
    {
    case BZ_GM_CLOSE:
        g->latch = 0;
        for (int32_t n = BZ_GUI_COUNT; n >= 1; --n)
            if (n != gui && gGuis[n - 1].inUse)
            {
                bz_GUI_SendMessage(BZ_GM_ACTIVATE, n, -1, 0, 1);
                break;
            }
        if (g->inUse)
            bz_GUI_SendMessage(BZ_GM_DESTROY, gui, -1, 0, 0);
        break;
    case BZ_GM_DESTROY: bz_GUI_Destroy(gui); break;
    case BZ_GM_MOVE:
        if (a)
        {
            const auto *pos = reinterpret_cast<const int32_t *>(a);
            g->x = pos[0];
            g->y = pos[1];
        }
        break;
    case BZ_GM_ACTIVATE_GUI: bz_GUI_SendMessage(BZ_GM_ACTIVATE, gui, -1, 0, 1); break;
    case BZ_GM_ACTIVATE:
        for (int32_t n = 1; n <= BZ_GUI_COUNT; ++n)
            if (n != gui && gGuis[n - 1].inUse && gGuis[n - 1].active)
                bz_GUI_SendMessage(BZ_GM_DEACTIVATE, n, -1, 0, 0);
        if (!g->inUse)
            break;
        if (b == 1)
        {
            const int32_t p = FirstPageWithControls(g);
            if (p >= 0)
                bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, gui, -1, p, 1);
        }
        if (g->inUse)
            g->active = 1;
        break;
    case BZ_GM_DEACTIVATE:
        for (int32_t p = 0; p < BZ_GUI_PAGES && g->inUse; ++p)
            if (g->pages[p] && g->pages[p]->shown)
                bz_GUI_SendMessage(BZ_GM_HIDE_PAGE, gui, -1, p, 0);
        g->active = 0;
        break;
    case BZ_GM_SHOW_PAGE:
    {
        if (!PageOf(g, a))
            break;
        for (int32_t p = 0; p < BZ_GUI_PAGES && g->inUse; ++p)
            if (p != a && g->pages[p] && g->pages[p]->shown)
                bz_GUI_SendMessage(BZ_GM_HIDE_PAGE, gui, -1, p, 0);
        if (g->inUse && !g->active)
            bz_GUI_SendMessage(BZ_GM_ACTIVATE, gui, -1, 0, 0);
        bzGuiPage *pg = g->inUse ? PageOf(g, a) : nullptr;
        if (!pg)
            break;
        pg->shown = 1;
        if (b == 1)
            for (bzGuiControl &k : pg->slots)
                if (Focusable(k))
                {
                    bz_GUI_SendMessage(BZ_GM_FOCUS, gui, k.id, 0, 0);
                    break;
                }
        break;
    }
    case BZ_GM_HIDE_PAGE:
    {
        bzGuiPage *pg = PageOf(g, a);
        if (!pg)
            break;
        for (int32_t s = 0; s < BZ_GUI_SLOTS && g->inUse && g->pages[a] == pg; ++s)
            if (pg->slots[s].inUse && pg->slots[s].focused)
                bz_GUI_SendMessage(BZ_GM_UNFOCUS, gui, pg->slots[s].id, 0, 0);
        if (g->inUse && g->pages[a] == pg)
            pg->shown = 0;
        break;
    }
    case BZ_GM_ACTIVATE_CONTROL:
        if (!c)
            break;
        if (!c->focused)
        {
            bz_GUI_SendMessage(BZ_GM_FOCUS, gui, id, 0, 0);
            c = FindControl(InUse(gui), id, &page);
            if (!c)
                break;
        }
        if (c->kind == BZ_GUI_CHECKBOX)
            c->value = !c->value;
        else if (c->kind == BZ_GUI_RADIO)
        {
            bzGuiPage *pg = g->pages[page];
            for (int32_t s = 0; s < BZ_GUI_SLOTS && g->inUse && g->pages[page] == pg; ++s)
            {
                bzGuiControl &k = pg->slots[s];
                if (&k != c && k.inUse && k.kind == BZ_GUI_RADIO && k.value == 1)
                    bz_GUI_SendMessage(BZ_GM_DEACTIVATE_CONTROL, gui, k.id, 0, 0);
            }
            if (g->inUse && g->pages[page] == pg)
                c->value = 1;
        }
        else if (c->kind == BZ_GUI_TEXTFIELD)
            c->cursor = 0;
        break;
    case BZ_GM_DEACTIVATE_CONTROL:
        if (c && c->kind == BZ_GUI_RADIO)
            c->value = 0;
        break;
    case BZ_GM_FOCUS:
    {
        if (!c)
            break;
        if (FirstShownPage(g) != page)
            bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, gui, -1, page, 0);
        bzGuiPage *pg = g->inUse ? g->pages[page] : nullptr;
        for (int32_t s = 0; pg && s < BZ_GUI_SLOTS && g->inUse && g->pages[page] == pg; ++s)
        {
            bzGuiControl &k = pg->slots[s];
            if (&k != c && k.inUse && k.focused)
                bz_GUI_SendMessage(BZ_GM_UNFOCUS, gui, k.id, 0, 0);
        }
        if (!g->inUse || g->pages[page] != pg)
            break;
        if (c->kind == BZ_GUI_TEXTFIELD && !c->focused)
            ++gEditing;
        c->focused = 1;
        break;
    }
    case BZ_GM_UNFOCUS:
        if (!c)
            break;
        if (c->kind == BZ_GUI_TEXTFIELD)
        {
            c->cursor = 0;
            if (c->focused && gEditing > 0)
                --gEditing;
        }
        c->focused = 0;
        break;
    case BZ_GM_IMAGE_COORDS:
    {
        auto *out = reinterpret_cast<float *>(b);
        if (!out)
            break;
        out[0] = out[1] = 0.0f;
        out[2] = out[3] = 1.0f;
        if (a == 0 && c && c->image && c->image->width > 0 && c->image->height > 0)
        {
            out[2] = static_cast<float>(c->width) / static_cast<float>(c->image->width);
            out[3] = static_cast<float>(c->height) / static_cast<float>(c->image->height);
        }
        break;
    }
    case BZ_GM_SLIDER_DOWN:
    case BZ_GM_SLIDER_UP:
        if (!c)
            break;
        if (c->kind == BZ_GUI_SLIDER)
        {
            if (code == BZ_GM_SLIDER_DOWN && c->sliderValue > c->sliderMin)
                --c->sliderValue;
            if (code == BZ_GM_SLIDER_UP && c->sliderValue < c->sliderMax)
                ++c->sliderValue;
            if (c->ownerList)
                RelayList(g, *c);
        }
        bz_GUI_SendMessage(BZ_GM_ACTIVATE_CONTROL, gui, id, 0, 0);
        break;
    default: break;
    }
}
} // namespace

uint32_t bz_GUI_SendMessage(int32_t code, int32_t gui, int32_t id, intptr_t a, intptr_t b)
{
    Hook kind;
    if (!HookKind(code, &kind))
    {
        bzgErrorFile = "bz_GUIMessages";
        bzgErrorLine = 1306;
        bz_ReportError("BUGGER", "Uncoded GM_* message");
        return 0;
    }
    bzGui *g = InUse(gui);
    if (!g)
        return 0;
    int32_t page = -1;
    bzGuiControl *c = nullptr;
    if (id >= 0)
    {
        c = FindControl(g, id, &page);
        if (!c)
            return 0; // no page holds it: dropped
    }
    const bzGuiHook hook = g->hook;
    if (kind == Hook::Only)
    {
        if (hook)
            hook(code, gui, id, a, b);
        return 0;
    }
    if (kind == Hook::First && hook)
    {
        if (hook(code, gui, id, a, b) != 0)
            return 0;
        // The hook may have closed the GUI or removed the control.
        if (!InUse(gui))
            return 0;
        if (id >= 0 && !(c = FindControl(g, id, &page)))
            return 0;
    }
    if (code == BZ_GM_COLOUR)
        return ColourOf(g, static_cast<int32_t>(a), b);
    DefaultAction(code, gui, g, id, c, page, a, b);
    if (kind == Hook::After && hook && InUse(gui))
        hook(code, gui, id, a, b);
    return 0;
}

int32_t bz_GUI_EditLine(int32_t size, int32_t cursor, char *text, int32_t key)
{
    if (!text || size < 1)
        return 0;
    const int32_t L = static_cast<int32_t>(strnlen(text, static_cast<size_t>(size - 1)));
    const int32_t p = cursor;
    if (p < 0 || p > L)
        return 0;
    switch (key)
    {
    case BZ_GUI_EDIT_LEFT: return p > 0 ? -1 : 0;
    case BZ_GUI_EDIT_RIGHT: return p < L ? 1 : 0;
    case BZ_GUI_EDIT_HOME: return -p;
    case BZ_GUI_EDIT_END: return L - p;
    case BZ_GUI_EDIT_BACKSPACE:
        if (p == 0)
            return 0;
        std::memmove(text + p - 1, text + p, static_cast<size_t>(L - p));
        text[L - 1] = 0;
        return -1;
    case BZ_GUI_EDIT_DELETE:
        if (p < L)
        {
            std::memmove(text + p, text + p + 1, static_cast<size_t>(L - p - 1));
            text[L - 1] = 0;
        }
        return 0;
    default: break;
    }
    if (key >= 32 && key < 127 && p < size - 1)
    {
        // The tail moves right; a full buffer loses its last character.
        const int32_t newLength = L + 1 < size - 1 ? L + 1 : size - 1;
        std::memmove(text + p + 1, text + p, static_cast<size_t>(newLength - p - 1));
        text[p] = static_cast<char>(key);
        text[newLength] = 0;
        return 1;
    }
    return 0;
}

void bz_GUI_SetNavigationKeys(const int32_t *keys)
{
    for (int32_t i = 0; i < 8; ++i)
        gNavKeys[i] = keys ? keys[i] : -1;
}

void bz_GUI_SetNavigation(int32_t on)
{
    gNavigation = on;
}

void bz_GUI_GatherInput()
{
    const uint32_t now = PDGetMilliseconds();
    gInput.frameMs = now - gInput.lastGatherMs;
    gInput.lastGatherMs = now;
    const uint32_t before = gInput.buttons;
    gInput.buttons = 0;
    if (const bzPadState *mouse = bz_Input_MousePad())
    {
        gInput.mouseX = mouse->mouseX;
        gInput.mouseY = mouse->mouseY;
        gInput.buttons = mouse->click;
    }
    gInput.pressed = gInput.buttons & ~before;
    gInput.released = before & ~gInput.buttons;
    gInput.doubleClick = 0;
    if (gInput.pressed)
    {
        gInput.doubleClick = gInput.lastPressMs != 0 && now - gInput.lastPressMs < kDoubleClickMs;
        gInput.lastPressMs = now ? now : 1;
    }
    const bzPadState *keyboard = bz_Input_KeyboardPad();
    const bool blocked = !keyboard || keyboard->inputBlock || (gKeyMask & 1u) || !gNavigation;
    for (int32_t i = 0; i < 8; ++i)
    {
        const int32_t k = gNavKeys[i];
        gInput.nav[i] =
            !blocked && k >= 0 && k < BZ_PAD_KEYS && (keyboard->keys[k] & BZ_KEY_PRESSED) != 0;
    }
    gInput.key = gInput.ch = 0;
    if (gEditing && keyboard)
    {
        gInput.key = keyboard->typedKey;
        gInput.ch = keyboard->typedChar;
    }
}

namespace
{
bool Inside(int32_t x, int32_t y, int32_t rx, int32_t ry, int32_t rw, int32_t rh)
{
    return x >= rx && y >= ry && x < rx + rw && y < ry + rh;
}

int32_t Inset(const bzGui *g)
{
    return ((g->style & BZ_GUI_STYLE_INSET2) ? 1 : 0) + ((g->style & BZ_GUI_STYLE_INSET1) ? 1 : 0);
}

bzGuiControl *FocusedControl(bzGuiPage *pg)
{
    for (bzGuiControl &c : pg->slots)
        if (c.inUse && c.focused)
            return &c;
    return nullptr;
}

// The next (step 1) or previous (step -1) page holding controls after page, wrapping.
int32_t NextPage(const bzGui *g, int32_t page, int32_t step)
{
    for (int32_t i = 1; i <= BZ_GUI_PAGES; ++i)
    {
        const int32_t p = ((page + step * i) % BZ_GUI_PAGES + BZ_GUI_PAGES) % BZ_GUI_PAGES;
        if (g->pages[p])
            for (const bzGuiControl &c : g->pages[p]->slots)
                if (c.inUse)
                    return p;
    }
    return -1;
}

// The next or previous focusable slot after slot, wrapping over the 64 slots.
bzGuiControl *NextFocusable(bzGuiPage *pg, int32_t slot, int32_t step)
{
    for (int32_t i = 1; i <= BZ_GUI_SLOTS; ++i)
    {
        const int32_t s = ((slot + step * i) % BZ_GUI_SLOTS + BZ_GUI_SLOTS) % BZ_GUI_SLOTS;
        if (Focusable(pg->slots[s]))
            return &pg->slots[s];
    }
    return nullptr;
}

// The key steps of the input pass; false once the GUI is gone.
bool KeySteps(int32_t gui, bzGui *g, const int32_t *nav)
{
    if (nav[BZ_GUI_KEY_BACK])
    {
        bz_GUI_SendMessage(BZ_GM_CLOSE, gui, -1, 0, 0);
        if (!g->inUse)
            return false;
    }
    const int32_t shown = FirstShownPage(g);
    if (shown >= 0 && (nav[BZ_GUI_KEY_NEXT_PAGE] || nav[BZ_GUI_KEY_PREVIOUS_PAGE]))
    {
        const int32_t p = NextPage(g, shown, nav[BZ_GUI_KEY_NEXT_PAGE] ? 1 : -1);
        if (p >= 0 && p != shown)
            bz_GUI_SendMessage(BZ_GM_SHOW_PAGE, gui, -1, p, 1);
        if (!g->inUse)
            return false;
    }
    const int32_t page = FirstShownPage(g);
    if (page < 0)
        return true;
    if (nav[BZ_GUI_KEY_DECREASE] || nav[BZ_GUI_KEY_INCREASE])
        if (bzGuiControl *f = FocusedControl(g->pages[page]))
        {
            bz_GUI_SendMessage(nav[BZ_GUI_KEY_DECREASE] ? BZ_GM_SLIDER_DOWN : BZ_GM_SLIDER_UP, gui,
                               f->id, 0, 0);
            if (!g->inUse)
                return false;
        }
    if (nav[BZ_GUI_KEY_NEXT_CONTROL] || nav[BZ_GUI_KEY_PREVIOUS_CONTROL])
    {
        bzGuiPage *pg = g->pages[page];
        if (!pg)
            return true;
        bzGuiControl *f = FocusedControl(pg);
        const int32_t step = nav[BZ_GUI_KEY_NEXT_CONTROL] ? 1 : -1;
        const int32_t from = f ? static_cast<int32_t>(f - pg->slots) : (step > 0 ? -1 : 0);
        if (bzGuiControl *next = NextFocusable(pg, from, step))
            if (next != f)
                bz_GUI_SendMessage(BZ_GM_FOCUS, gui, next->id, 0, 0);
        if (!g->inUse)
            return false;
    }
    return true;
}
} // namespace

void bz_GUI_ProcessInput(int32_t gui)
{
    bzGui *g = InUse(gui);
    if (!g)
        return;
    // Navigation keys held when the GUI was shown are ignored until all are let go.
    int32_t nav[8];
    bool any = false;
    for (int32_t i = 0; i < 8; ++i)
        any = any || gInput.nav[i];
    if (g->latch && any)
        std::memset(nav, 0, sizeof nav);
    else
    {
        g->latch = 0;
        std::memcpy(nav, gInput.nav, sizeof nav);
    }
    const bool select = nav[BZ_GUI_KEY_SELECT] != 0;
    if (g->active && !KeySteps(gui, g, nav))
        return;

    bz_GUI_SendMessage(BZ_GM_TICK, gui, -1, static_cast<intptr_t>(gInput.frameMs),
                       static_cast<intptr_t>(PDGetMilliseconds()));
    if (!g->inUse)
        return;

    // Title-bar drag.
    const int32_t inset = Inset(g);
    float titleLine = bz_Font_GetLineHeight(g->description.titleFont);
    const int32_t titleH = (titleLine < 1 ? 16 : static_cast<int32_t>(titleLine)) + 2;
    const int32_t mx = gInput.mouseX, my = gInput.mouseY;
    if (!gInput.buttons)
        g->dragging = 0;
    else if (!g->dragging && (gInput.pressed & gInput.buttons) && (g->style & BZ_GUI_STYLE_DRAG) &&
             Inside(mx, my, g->x + inset, g->y + inset, g->width - 2 * inset, titleH))
    {
        g->dragging = 1;
        g->dragX = mx - g->x;
        g->dragY = my - g->y;
    }
    if (g->dragging)
    {
        const int32_t pos[2] = {mx - g->dragX, my - g->dragY};
        if (pos[0] != g->x || pos[1] != g->y)
            bz_GUI_SendMessage(BZ_GM_MOVE, gui, -1, reinterpret_cast<intptr_t>(pos), 0);
        if (!g->inUse)
            return;
    }

    const bool inGui =
        Inside(mx, my, g->x + inset, g->y + inset, g->width - 2 * inset, g->height - 2 * inset);
    bool hit = false;
    for (int32_t p = 0; p < BZ_GUI_PAGES; ++p)
    {
        bzGuiPage *pg = g->pages[p];
        if (!pg)
            continue;
        bz_GUI_SendMessage(inGui ? BZ_GM_MOUSE_OVER_PAGE : BZ_GM_MOUSE_OFF_PAGE, gui, -1, p, 0);
        for (int32_t s = 0; s < BZ_GUI_SLOTS; ++s)
        {
            // A message on the way may have closed the GUI or replaced its pages.
            if (!g->inUse || g->pages[p] != pg)
                return;
            bzGuiControl &c = pg->slots[s];
            if (!Focusable(c))
                continue;
            const int32_t id = c.id;
            if (c.kind == BZ_GUI_LISTBOX && c.list && !c.list->sliderId &&
                c.list->itemCount >= RowsThatFit(c))
                AddListSlider(gui, p, &c);
            if (c.kind == BZ_GUI_TEXTFIELD && c.focused && pg->shown)
            {
                if (select)
                    bz_GUI_SendMessage(BZ_GM_TEXT_ENTERED, gui, id, 0, 0);
                else if (gInput.key)
                {
                    const int32_t key = gInput.ch >= 32 && gInput.ch < 127 ? gInput.ch : gInput.key;
                    c.cursor += bz_GUI_EditLine(BZ_GUI_TEXT_SIZE, c.cursor, c.text, key);
                }
            }
            if (!g->inUse || g->pages[p] != pg || !pg->shown)
                continue;
            const bool over = Inside(mx, my, g->x + c.x, g->y + c.y, c.width, c.height);
            if (over && (gInput.pressed & BZ_MOUSE_LEFT))
            {
                hit = true;
                c.pressed = 1;
                if (!c.focused)
                    bz_GUI_SendMessage(BZ_GM_FOCUS, gui, id, 0, 0);
            }
            else if (c.pressed && (gInput.released & BZ_MOUSE_LEFT))
            {
                c.pressed = 0;
                if (over)
                {
                    hit = true;
                    bz_GUI_SendMessage(BZ_GM_ACTIVATE_CONTROL, gui, id, 0, 0);
                }
            }
        }
    }
    if (g->inUse && inGui && !hit && (gInput.pressed & BZ_MOUSE_LEFT))
        bz_GUI_SendMessage(gInput.doubleClick ? BZ_GM_CLICK_OTHER : BZ_GM_CLICK_EMPTY, gui, -1, mx,
                           my);
}
