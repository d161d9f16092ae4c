// Small text services: duplication, wildcard patterns, ordinals, clock-style times, the CRC-32
// checksum (declared in Crc32.h, included here) and the program's version texts.
#pragma once

#include "core/Crc32.h" // bz_Crc32 and bz_Crc32String

#include <cstdint>

// A new memory-manager block holding a copy of the text (length + 1 bytes); null for a null
// text or when no memory is left. The Upper form converts 'a'-'z' to 'A'-'Z'.
char *bz_StrDup(const char *text);
char *bz_StrDupUpper(const char *text);

// English ordinal of a number: "1st", "2nd", "3rd", "4th", "11th", "111st"; no suffix for 0.
// With upperCase the suffix is upper-cased; with suffixOnly only the suffix is written.
// out needs room for 14 bytes. Returns out.
char *bz_OrdinalString(char *out, int32_t number, int32_t upperCase, int32_t suffixOnly);

// 1 when the text matches the wildcard pattern, else 0.
//   ?       any one character          *      any run of characters (no backtracking)
//   [a-z]   a set of characters, [~..] negated; "/" escapes inside a set
//   /n /r /t  newline, return, tab     /w /d /a  white space, digit, letter
//   /x      the character x itself     ~ (first)  inverts the result
//   ;       ends the pattern (only the first alternative decides)
// A malformed pattern (an unclosed "[", a "/" at the very end) matches nothing.
int32_t bz_WildcardMatch(const char *pattern, const char *text);

// Clock-style times of a time in seconds, written into out (at least 16 bytes). The dash flag
// writes dashes for a time of exactly 0; the two-digit flag chooses "%02d" for the first field.
// HMS: hours:minutes.seconds of the truncated time.
char *bz_FormatHMS(char *out, float seconds, int32_t dashes, int32_t twoDigits);
// Minutes:seconds.hundredths of the rounded time, then bz_BlinkColons.
char *bz_FormatClockHundredths(char *out, float seconds, int32_t dashes, int32_t twoDigits);
// Minutes:seconds of the rounded time, then bz_BlinkColons.
char *bz_FormatMinSec(char *out, float seconds, int32_t dashes, int32_t twoDigits);
// In the "off" half of a 1 Hz blink at the replay time, every ':' of the text becomes a blank.
char *bz_BlinkColons(char *text);

// Version texts, in static buffers.
const char *bz_GetBuildDate();
const char *bz_GetVersionString();
const char *bz_GetVersionPath();
const char *bz_GetVersionAndDate();

// Compares two texts without regard to ASCII letter case, over at most maxLength characters
// (a negative maxLength compares them whole): below 0, 0 or above 0 as a sorts before, with or
// after b.
int32_t bz_StrCompareNoCase(const char *a, const char *b, int32_t maxLength = -1);
