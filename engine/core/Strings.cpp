#include "core/Strings.h"

#include "core/Ascii.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Utility.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
// ---------------------------------------------------------------------------------------
// Wildcard patterns

// Character classes of the escapes /w, /d and /a.
bool IsWhite(unsigned char c)
{
    return c == '\n' || c == '\r' || c == '\t' || c == ' ';
}
// The character an escape stands for: /n, /r and /t are control characters, anything else is
// the character itself.
unsigned char EscapedChar(char c)
{
    switch (c)
    {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return static_cast<unsigned char>(c);
    }
}

// Checks the bracket expression that starts after "[" at p; returns the position after its
// closing "]", or null when it is not closed.
const char *SkipSet(const char *p)
{
    if (*p == '~')
        ++p;
    while (*p != ']')
    {
        if (*p == '\0')
            return nullptr;
        if (*p == '/')
        {
            ++p;
            if (*p == '\0')
                return nullptr;
        }
        ++p;
    }
    return p + 1;
}

// A pattern is well formed when every "/" has a character after it and every "[" is closed.
bool PatternIsWellFormed(const char *p)
{
    while (*p)
    {
        if (*p == '/')
        {
            if (p[1] == '\0')
                return false;
            p += 2;
        }
        else if (*p == '[')
        {
            p = SkipSet(p + 1);
            if (!p)
                return false;
        }
        else
            ++p;
    }
    return true;
}

// Reads one character of a set, with its "/" escape; advances p.
unsigned char ReadSetChar(const char *&p)
{
    if (*p == '/')
    {
        ++p;
        return EscapedChar(*p++);
    }
    return static_cast<unsigned char>(*p++);
}

// Whether the set starting after "[" at p holds c; sets next to the position after the "]".
// The pattern has been checked, so the set is closed.
bool MatchSet(const char *p, unsigned char c, const char *&next)
{
    bool negate = false;
    if (*p == '~')
    {
        negate = true;
        ++p;
    }
    bool found = false;
    while (*p != ']')
    {
        unsigned char lo = ReadSetChar(p);
        unsigned char hi = lo;
        if (*p == '-' && p[1] != ']')
        {
            ++p;
            hi = ReadSetChar(p);
        }
        if (c >= lo && c <= hi)
            found = true;
    }
    next = p + 1;
    return found != negate;
}

// Whether the element at p (not "*", not the end of the alternative) matches the character c
// of the text; sets next to the position after the element.
bool MatchElement(const char *p, unsigned char c, const char *&next)
{
    switch (*p)
    {
    case '?': next = p + 1; return true;
    case '[': return MatchSet(p + 1, c, next);
    case '/':
        next = p + 2;
        switch (p[1])
        {
        case 'w': return IsWhite(c);
        case 'd': return bz_AsciiIsDigit(c);
        case 'a': return bz_AsciiIsLetter(c);
        default: return c == EscapedChar(p[1]);
        }
    default: next = p + 1; return c == static_cast<unsigned char>(*p);
    }
}

// Matches the first alternative of a well-formed pattern against the text.
bool MatchAlternative(const char *p, const char *t)
{
    for (;;)
    {
        if (*p == '\0' || *p == ';')
            return *t == '\0';
        if (*p == '*')
        {
            while (*p == '*')
                ++p;
            if (*p == '\0' || *p == ';')
                return true;
            // Move to the first character the next element matches; later ones are not tried.
            const char *next;
            while (*t != '\0' && !MatchElement(p, static_cast<unsigned char>(*t), next))
                ++t;
            if (*t == '\0')
                return false;
            continue;
        }
        const char *next;
        if (*t == '\0' || !MatchElement(p, static_cast<unsigned char>(*t), next))
            return false;
        p = next;
        ++t;
    }
}

// ---------------------------------------------------------------------------------------
// Version texts

char gVersionString[32];
char gVersionPath[48];
char gVersionAndDate[64];
const char kBuildDate[] = "Mar 14 2005";
constexpr int32_t kVersionMajor = 1;
constexpr int32_t kVersionMinor = 0;
constexpr int32_t kVersionRelease = 1;

char *DupWith(const char *text, bool upper)
{
    if (!text)
        return nullptr;
    size_t length = std::strlen(text);
    if (length >= BZ_MEM_MAX_BLOCK)
        return nullptr;
    char *copy = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(length + 1), 0));
    if (!copy)
        return nullptr;
    for (size_t i = 0; i <= length; ++i)
    {
        char c = text[i];
        copy[i] = (upper && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return copy;
}
int32_t RoundToInt(double value)
{
    return bz_SaturateToInt(std::floor(value + 0.5));
}

// Every time text fits in this many bytes, terminator included.
constexpr size_t kTimeTextSize = 16;
} // namespace

char *bz_StrDup(const char *text)
{
    return DupWith(text, false);
}

char *bz_StrDupUpper(const char *text)
{
    return DupWith(text, true);
}

char *bz_OrdinalString(char *out, int32_t number, int32_t upperCase, int32_t suffixOnly)
{
    const char *suffix;
    int32_t last = number % 10;
    if (number == 0)
        suffix = "";
    else if (last == 1 && number != 11)
        suffix = upperCase ? "ST" : "st";
    else if (last == 2 && number != 12)
        suffix = upperCase ? "ND" : "nd";
    else if (last == 3 && number != 13)
        suffix = upperCase ? "RD" : "rd";
    else
        suffix = upperCase ? "TH" : "th";
    if (suffixOnly)
        std::snprintf(out, 3, "%s", suffix);
    else
        std::snprintf(out, 14, "%d%s", number, suffix);
    return out;
}

int32_t bz_WildcardMatch(const char *pattern, const char *text)
{
    if (!pattern || !text)
        return 0;
    bool invert = false;
    if (*pattern == '~')
    {
        invert = true;
        ++pattern;
    }
    if (!PatternIsWellFormed(pattern))
        return 0;
    return MatchAlternative(pattern, text) != invert ? 1 : 0;
}

const char *bz_GetBuildDate()
{
    return kBuildDate;
}

const char *bz_GetVersionString()
{
    std::snprintf(gVersionString, sizeof gVersionString, "V%d.%d.%d", kVersionMajor, kVersionMinor,
                  kVersionRelease);
    return gVersionString;
}

const char *bz_GetVersionPath()
{
    std::snprintf(gVersionPath, sizeof gVersionPath, "ORU/%s", bz_GetVersionString());
    return gVersionPath;
}

const char *bz_GetVersionAndDate()
{
    std::snprintf(gVersionAndDate, sizeof gVersionAndDate, "%s  %s", bz_GetVersionString(),
                  bz_GetBuildDate());
    return gVersionAndDate;
}

char *bz_FormatHMS(char *out, float seconds, int32_t dashes, int32_t twoDigits)
{
    if (dashes && seconds == 0.0f)
    {
        std::snprintf(out, kTimeTextSize, "%s", twoDigits ? "--:--.--" : "-:--.--");
        return out;
    }
    int32_t t = bz_SaturateToInt(seconds);
    std::snprintf(out, kTimeTextSize, twoDigits ? "%02d:%02d.%02d" : "%01d:%02d.%02d", t / 3600,
                  (t % 3600) / 60, t % 60);
    return out;
}

char *bz_FormatClockHundredths(char *out, float seconds, int32_t dashes, int32_t twoDigits)
{
    if (dashes && seconds == 0.0f)
        std::snprintf(out, kTimeTextSize, "%s", twoDigits ? "--:--.--" : "-:--.--");
    else
    {
        int32_t hundredths = RoundToInt(static_cast<double>(seconds) * 100.0);
        std::snprintf(out, kTimeTextSize, twoDigits ? "%02d:%02d.%02d" : "%01d:%02d.%02d",
                      hundredths / 6000, (hundredths / 100) % 60, hundredths % 100);
    }
    return bz_BlinkColons(out);
}

char *bz_FormatMinSec(char *out, float seconds, int32_t dashes, int32_t twoDigits)
{
    if (dashes && seconds == 0.0f)
        std::snprintf(out, kTimeTextSize, "%s", twoDigits ? "--:--" : "-:--");
    else
    {
        int32_t t = RoundToInt(seconds);
        std::snprintf(out, kTimeTextSize, twoDigits ? "%02d:%02d" : "%01d:%02d", t / 60, t % 60);
    }
    return bz_BlinkColons(out);
}

char *bz_BlinkColons(char *text)
{
    if (!text || !bz_ReplaySquareWave(1.0f, 50.0f, 0.0f))
        return text;
    for (char *c = text; *c; ++c)
        if (*c == ':')
            *c = ' ';
    return text;
}

int32_t bz_StrCompareNoCase(const char *a, const char *b, int32_t maxLength)
{
    for (int32_t i = 0; maxLength < 0 || i < maxLength; ++i)
    {
        int32_t ca = static_cast<unsigned char>(a[i]);
        int32_t cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z')
            ca -= 'a' - 'A';
        if (cb >= 'a' && cb <= 'z')
            cb -= 'a' - 'A';
        if (ca != cb)
            return ca - cb;
        if (!ca)
            break;
    }
    return 0;
}
