// The engine frame driver: the once-a-frame sequence around rendering. Before the frame the
// engine's timers, animations and the first render-point hooks; the frame itself
// (bz_Engine_RenderFrame: particles, scene begin, every enabled viewport, glow, GUI, screen
// fade, console, debug text, frame statistics, mouse pointer, the 2-D flush); the present; the
// end of the frame. Beside it: the frame-rate meter, the screen fade with its blocking loop,
// the display aspect, the text render-state setters and the software mouse pointer.
//
// The neighbours that are not built yet (sound, input, the action replay's frame hook and the
// dynamics controller's render-point lists) are reached through hooks that are null until
// their owners install them; a null hook is skipped.
#pragma once

#include "maths/Types.h"

#include <cstddef>
#include <cstdint>

struct bz_IMGMAP;
struct bzFont;
struct bzViewport;

// Hooks of the neighbours the frame calls.
struct bzEngineFrameHooks
{
    void (*soundUpdate)();          // end of the frame
    void (*inputUpdate)();          // in the present
    void (*replayFrame)();          // the action replay's per-frame hook
    void (*renderPoint)(int32_t n); // the dynamics controller's lists of render point n (0-2)
};
void bz_Engine_SetFrameHooks(const bzEngineFrameHooks *hooks);

// Switches of the frame.
struct bzEngineSwitches
{
    int32_t particlesOff;
    int32_t particleGuard;
    int32_t glow;
    int32_t debugMessages;
};
extern bzEngineSwitches bzgEngineSwitches;

// The frame.
void bz_Engine_FrameUpdate();
int32_t bz_Engine_RenderFrame();
void bz_Engine_PresentFrame();
void bz_Engine_EndFrame();
void bz_Engine_StartRenderPoint();
void bz_Engine_ResetFrame();
void bz_Engine_ClearResetFlag();
int32_t bz_Engine_GetResetFlag();
// Milliseconds spent in bz_Engine_RenderFrame since the start.
uint32_t bz_Engine_GetRenderTime();

// Memory diagnostics: a request of level 1-5 makes the present print the report and clear the
// request. Level 1 prints the memory summary; 2 also the loaded images; 3 the loaded models;
// 4 the lump allocation and processed counts per type.
extern int32_t bzgEngineDiagnostics;
void bz_Engine_MemoryDiagnostics();
// Formats one line into a 4,096-byte buffer, hands it to the debug text sink followed by a
// line feed, and prints it with a line feed to the standard output.
void bz_Engine_DebugPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The engine clock in seconds: with the replay's fixed frame times, the sum of the fixed
// frame times of the frames presented so far; else the clock's elapsed engine time.
float bz_Engine_Now();

// Frame-rate meter: counts frames; every 10th call refreshes the rate.
void bz_Engine_MeasureFrameRate();
float bz_Engine_GetFrameRate();
void bz_Engine_ResetFrameRate();

// Screen fade. Modes: 0 off, 1 fading in, 2 fading out, 3 held out, 4 constant tint.
enum : int32_t
{
    BZ_FADE_OFF = 0,
    BZ_FADE_IN = 1,
    BZ_FADE_OUT = 2,
    BZ_FADE_HELD = 3,
    BZ_FADE_TINT = 4,
};
typedef void (*bzFadeCallback)(int32_t fadedIn);
// Starts a fade; unless noWait is set it runs whole frames until the fade is done. A duration
// that is not a positive number completes in the first frame.
void bz_Engine_FadeScreen(bzFadeCallback callback, int32_t fadeIn, float duration, bzColour colour,
                          int32_t noWait);
void bz_Engine_FadeIn(bzFadeCallback callback, float duration, bzColour colour, int32_t noWait);
void bz_Engine_FadeOut(bzFadeCallback callback, float duration, bzColour colour, int32_t noWait);
void bz_Engine_SetTint(bzColour colour, float alpha);
void bz_Engine_ClearFade();
float bz_Engine_GetFadeAlpha();
int32_t bz_Engine_GetFadeMode();
void bz_Engine_DrawScreenFade();

// Display: width and height in pixels, and the aspect the picture is meant to have.
void bz_Display_SetSize(int32_t width, int32_t height);
// The size last set (either pointer may be null).
void bz_Display_GetSize(int32_t *width, int32_t *height);
// display aspect = aspect, ratio = width / height, pixel aspect = aspect / ratio; then every
// viewport's aspect is recomputed.
void bz_Display_SetAspect(float aspect);

// One mode of the display's mode list: its size and its pixel format code (23 a 16-bit
// format, 22 a 32-bit one).
struct bzDisplayMode
{
    int32_t width;
    int32_t height;
    int32_t format;
};
// Whether the display runs in a window (set by the display set-up).
void bz_Display_SetWindowed(int32_t windowed);
// The index of the first mode of that size whose format is 23 for 16 bits or 22 for 32 bits
// (other depths never match); -1 with last error 9 when none matches; 27 (the windowed-mode
// code) while the display runs in a window.
int32_t bz_Display_FindMode(const bzDisplayMode *modes, int32_t count, int32_t width,
                            int32_t height, int32_t bits);
// Asks the renderer for the mode (slot 49) and answers its error unchanged; on success the
// particle-emitter pool is rebuilt and the device buffers made (slot 69), and 0 is answered.
int32_t bz_Display_ChangeMode(int32_t adapter, int32_t width, int32_t height, int32_t viewWidth,
                              int32_t viewHeight, float aspect, uint32_t flags,
                              int32_t refreshRate);

// The current display object: the previous one is released, the new one (null allowed) takes
// one reference.
void bz_Display_SetCurrent(bz_IMGMAP *display);
bz_IMGMAP *bz_Display_GetCurrent();

// The render-state word is the target of 2-D drawing (null: the whole screen): the renderer is
// told of the new one (slot 43), which becomes current; the one before is answered.
bzViewport *bz_RenderState_Note(bzViewport *state);
// Engine start of the image layer: marked started, its folder text cleared, then the
// renderer's image resources (slot 21).
void bz_Engine_InitImageResources();

// The four screen-effect parameters, through the renderer (slots 66 and 67).
void bz_RenderState_GetEffectParams(float *a, float *b, float *c, float *d);
void bz_RenderState_SetEffectParams(float a, float b, float c, float d);
// The standard library's quicksort.
void bz_Sort(void *base, size_t count, size_t size, int (*compare)(const void *, const void *));

// Text render state: colour row index (0-31; other indices are ignored) gets the corners
// (first = word0, second = word1, third = word2, fourth = word3) and the flag word.
void bz_RenderState_SetColourSet(int32_t index, uint32_t word1, uint32_t word0, uint32_t word2,
                                 uint32_t word3, uint32_t flag);
bzFont *bz_Font_GetFromTable(int32_t n);
void bz_Font_SetScale(bzFont *font, float scaleX, float scaleY);
void bz_Font_SetLineGap(bzFont *font, float gap);
void bz_Font_SetSpacing(bzFont *font, float spacing);
// Answers the previous colour number (0 for a null font).
int32_t bz_Font_SetColourIndex(bzFont *font, int32_t colour);
void bz_Text_SetScale(float x, float y);

// Glow.
void bz_Glow_Enable();
void bz_Glow_Setup();
void bz_Glow_SetParams(float a, uint32_t unused, float b);
void bz_Glow_GetParams(float *a, float *b);

// Mouse pointer: null selects the built-in arrow (32 x 32, "MousePointer"), made once.
void bz_MousePointer_Set(bz_IMGMAP *image);
void bz_MousePointer_Show();
void bz_MousePointer_Hide();
void bz_MousePointer_Draw();
int32_t bz_MousePointer_IsVisible();
bz_IMGMAP *bz_MousePointer_GetImage();
// Gives back the pointer images (engine shut-down).
void bz_MousePointer_Release();
// The mouse pad's position and click word (handed out and reset); outs may be null.
void bz_Mouse_GetPosition(int32_t *x, int32_t *y, uint32_t *clicks);
void bz_Mouse_GetMovement(int32_t *dx, int32_t *dy, uint32_t *clicks);
