// ASCII character helpers. The engine's texts (file names, keys, commands, form fields) are
// ASCII: these never depend on the C library's locale, and bytes above 127 are no letters.
#pragma once

#include <cstdint>

inline char bz_AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char bz_AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool bz_AsciiIsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool bz_AsciiIsDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline bool bz_AsciiIsAlnum(char c)
{
    return bz_AsciiIsLetter(c) || bz_AsciiIsDigit(c);
}

// The value of a hexadecimal digit, or -1.
inline int32_t bz_AsciiHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// True when the texts are equal but for letter case.
inline bool bz_AsciiEqualNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (bz_AsciiLower(*a) != bz_AsciiLower(*b))
            return false;
    return *a == *b;
}

// True when the text begins with the prefix but for letter case.
inline bool bz_AsciiStartsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (bz_AsciiLower(*text) != bz_AsciiLower(*prefix))
            return false;
    return true;
}

// Orders two texts after folding letters to lower case, so that "_" sorts before the letters
// (bz_StrCompareNoCase folds to upper case, where "_" sorts after them).
inline int32_t bz_AsciiCompareLower(const char *a, const char *b)
{
    for (;; ++a, ++b)
    {
        int32_t d = static_cast<unsigned char>(bz_AsciiLower(*a)) -
                    static_cast<unsigned char>(bz_AsciiLower(*b));
        if (d != 0 || !*a)
            return d;
    }
}
