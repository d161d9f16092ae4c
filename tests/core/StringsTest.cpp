#include "ClockVirtualCounter.h"

#include "core/Memory.h"
#include "core/Strings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cfloat>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
struct WildcardCase
{
    const char *pattern;
    const char *text;
    int32_t expected;
};

TEST(StringsTest, WildcardTable)
{
    const WildcardCase cases[] = {
        {"*.txt", "a.txt", 1},
        {"*.txt", "a.txt2", 0},
        {"a?c", "abc", 1},
        {"a?c", "ac", 0},
        {"abc?", "abc", 0}, // "?" does not match the end
        {"[~0-9]x", "5x", 0},
        {"[~0-9]x", "bx", 1},
        {"/d/d", "42", 1},
        {"/d/d", "4a", 0},
        {"/d/d", "421", 0},
        {"core/d/d/d", "core007", 1},
        {"core/d/d/d", "core07", 0},
        {"*a", "aba", 0}, // the star stops at the first "a" and does not try later ones
        {"*a", "bba", 1},
        {"*", "", 1},
        {"***", "anything", 1},
        {"a**b", "axxb", 1},
        {"*.txt", "a.b.txt", 0}, // no backtracking: the star stops at the first "."
        {"", "", 1},
        {"", "a", 0},
        {"abc", "ABC", 0}, // case matters
        {"[a-c]", "b", 1},
        {"[a-c]", "d", 0},
        {"[abc]x", "cx", 1},
        {"[a-]", "-", 1}, // "-" before "]" is a plain character
        {"[/]]", "]", 1}, // escaped "]" inside a set
        {"[/-]", "-", 1}, // escaped "-" is no range
        {"[a/-c]", "b", 0},
        {"[~]", "q", 1}, // negated empty set
        {"[]", "q", 0},  // empty set
        {"/w", " ", 1},
        {"/w", "\t", 1},
        {"/w", "x", 0},
        {"/a/a", "Zq", 1},
        {"/a", "1", 0},
        {"/n", "\n", 1},
        {"/t", "\t", 1},
        {"/*", "*", 1},
        {"/*", "x", 0},
        {"/?", "?", 1},
        {"//", "/", 1},
        {"/;", ";", 1},
        {"/[", "[", 1},
        {"/~", "~", 1},
        {"a]", "a]", 1},
        {"a~", "a~", 1}, // "~" only inverts at the start
        {"~*.txt", "a.txt", 0},
        {"~*.txt", "a.dat", 1},
        {"a;b", "a", 1}, // only the first alternative decides
        {"a;b", "b", 0},
        {"*;b", "zzz", 1},
        {"*/d", "ab7", 1},
        {"*[0-9]x", "ab7x", 1},
        {"*?", "a", 1},
        {"*?", "", 0},
        // Repeated characters after a star: the star stops at the first character the next
        // element matches, even when the one after it would match as well.
        {"*ab", "aab", 0},
        {"*aab", "aab", 1},
        {"*a", "aa", 0},
        {"*aa", "aaa", 0},
        {"*bc", "bbc", 0},
        {"x*yy", "xyy", 1},
        {"x*yy", "xyyy", 0},
        {"*/d5", "115", 0},
        {"*/d5", "15", 1},
        {"*[ab]b", "aab", 0},
        {"*[ab]b", "cab", 1},
        {"*?b", "bb", 1},
        // malformed patterns match nothing, inverted or not
        {"[abc", "a", 0},
        {"~[abc", "x", 0},
        {"x[abc", "y", 0},
        {"~x[abc", "y", 0},
        {"ab/", "ab", 0},
        {"[a/", "a", 0},
    };
    for (const WildcardCase &c : cases)
        EXPECT_EQ(bz_WildcardMatch(c.pattern, c.text), c.expected)
            << "pattern \"" << c.pattern << "\" text \"" << c.text << "\"";
    EXPECT_EQ(bz_WildcardMatch(nullptr, "a"), 0);
    EXPECT_EQ(bz_WildcardMatch("a", nullptr), 0);
}

TEST(StringsTest, WildcardMatchesHighCharactersInRanges)
{
    const char pattern[] = "[\x80-\xff]";
    EXPECT_EQ(bz_WildcardMatch(pattern, "\xe9"), 1);
    EXPECT_EQ(bz_WildcardMatch(pattern, "e"), 0);
}

// A reference matcher written from the pattern rules, for the fuzz test below: the pattern is
// first turned into a list of elements, each a star or the set of characters it accepts.
struct ReferenceElement
{
    bool star;
    std::bitset<256> accepts;
};

// The character a "/" escape stands for inside a set, or as a plain escape.
unsigned char ReferenceEscape(char c)
{
    return c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : static_cast<unsigned char>(c);
}

// Reads one set character at p (with its "/" escape); false when the pattern ends first.
bool ReferenceSetChar(const std::string &p, size_t &i, unsigned char &c)
{
    if (i >= p.size())
        return false;
    if (p[i] == '/')
    {
        if (i + 1 >= p.size())
            return false;
        c = ReferenceEscape(p[i + 1]);
        i += 2;
        return true;
    }
    c = static_cast<unsigned char>(p[i++]);
    return true;
}

// The elements of the first alternative; false for a malformed pattern (a "/" at the end or a
// "[" never closed, anywhere in the pattern).
bool ReferenceElements(const std::string &p, std::vector<ReferenceElement> &out)
{
    bool inFirst = true;
    size_t i = 0;
    while (i < p.size())
    {
        ReferenceElement e{false, {}};
        const char c = p[i];
        if (c == ';')
        {
            inFirst = false;
            ++i;
            continue;
        }
        if (c == '*')
        {
            e.star = true;
            ++i;
        }
        else if (c == '?')
        {
            e.accepts.set();
            e.accepts.reset(0);
            ++i;
        }
        else if (c == '/')
        {
            if (i + 1 >= p.size())
                return false;
            const char k = p[i + 1];
            for (int ch = 1; ch < 256; ++ch)
            {
                const bool white = ch == '\n' || ch == '\r' || ch == '\t' || ch == ' ';
                const bool digit = ch >= '0' && ch <= '9';
                const bool letter = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
                if (k == 'w'   ? white
                    : k == 'd' ? digit
                    : k == 'a' ? letter
                               : ch == ReferenceEscape(k))
                    e.accepts.set(static_cast<size_t>(ch));
            }
            i += 2;
        }
        else if (c == '[')
        {
            ++i;
            bool negate = false;
            if (i < p.size() && p[i] == '~')
            {
                negate = true;
                ++i;
            }
            for (;;)
            {
                if (i >= p.size())
                    return false;
                if (p[i] == ']')
                {
                    ++i;
                    break;
                }
                unsigned char lo = 0;
                if (!ReferenceSetChar(p, i, lo))
                    return false;
                unsigned char hi = lo;
                if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']')
                {
                    ++i;
                    if (!ReferenceSetChar(p, i, hi))
                        return false;
                }
                for (int ch = lo; ch <= hi; ++ch)
                    e.accepts.set(static_cast<size_t>(ch));
            }
            if (negate)
                e.accepts.flip();
            e.accepts.reset(0);
        }
        else
        {
            e.accepts.set(static_cast<unsigned char>(c));
            ++i;
        }
        if (inFirst)
            out.push_back(e);
    }
    return true;
}

// -1 for a malformed pattern, else 1 or 0 by the matching steps: a run of stars moves the
// text to the first character the next element accepts, and no later one is tried.
int32_t ReferenceMatch(std::string pattern, const std::string &text)
{
    bool invert = false;
    if (!pattern.empty() && pattern[0] == '~')
    {
        invert = true;
        pattern.erase(0, 1);
    }
    std::vector<ReferenceElement> elements;
    if (!ReferenceElements(pattern, elements))
        return -1;
    size_t e = 0;
    size_t t = 0;
    bool match;
    for (;;)
    {
        if (e == elements.size())
        {
            match = t == text.size();
            break;
        }
        if (elements[e].star)
        {
            while (e < elements.size() && elements[e].star)
                ++e;
            if (e == elements.size())
            {
                match = true;
                break;
            }
            while (t < text.size() && !elements[e].accepts[static_cast<unsigned char>(text[t])])
                ++t;
            if (t == text.size())
            {
                match = false;
                break;
            }
            continue;
        }
        if (t == text.size() || !elements[e].accepts[static_cast<unsigned char>(text[t])])
        {
            match = false;
            break;
        }
        ++e;
        ++t;
    }
    return match != invert ? 1 : 0;
}

// The reference agrees with the table's hand-written rows, so it can judge random ones.
TEST(StringsTest, WildcardReferenceAgreesWithHandWrittenRows)
{
    const WildcardCase rows[] = {
        {"*ab", "aab", 0}, {"*aab", "aab", 1}, {"*a", "aba", 0},       {"[~0-9]x", "bx", 1},
        {"/d/d", "42", 1}, {"a;b", "b", 0},    {"~*.txt", "a.dat", 1}, {"[a-]", "-", 1},
        {"[/]]", "]", 1},  {"[~]", "q", 1},    {"[]", "q", 0},         {"*/d5", "115", 0},
    };
    for (const WildcardCase &c : rows)
        EXPECT_EQ(ReferenceMatch(c.pattern, c.text), c.expected) << c.pattern << " / " << c.text;
    EXPECT_EQ(ReferenceMatch("[abc", "a"), -1);
    EXPECT_EQ(ReferenceMatch("ab/", "ab"), -1);
}

// Random patterns over a small alphabet, judged by the reference matcher. The matcher must
// never read past either string (the sanitizers watch the exact-size copies), and a malformed
// pattern matches nothing, inverted or not.
TEST(StringsTest, WildcardFuzzAgreesWithTheReference)
{
    const char alphabet[] = "ab5*?[]~/-;dwn ";
    const char textAlphabet[] = "ab5*? \n;-]";
    std::mt19937 gen(12345);
    int compared = 0;
    for (int i = 0; i < 40000; ++i)
    {
        std::string pattern, text;
        int pl = gen() % 9, tl = gen() % 7;
        for (int k = 0; k < pl; ++k)
            pattern += alphabet[gen() % (sizeof alphabet - 1)];
        for (int k = 0; k < tl; ++k)
            text += textAlphabet[gen() % (sizeof textAlphabet - 1)];
        std::vector<char> p(pattern.begin(), pattern.end()), t(text.begin(), text.end());
        p.push_back('\0');
        t.push_back('\0');
        int32_t r = bz_WildcardMatch(p.data(), t.data());
        // "~" in front inverts a well-formed pattern; a malformed one gives 0 both ways.
        std::string inverted = "~" + pattern;
        int32_t ri = bz_WildcardMatch(inverted.c_str(), t.data());
        if (pattern.empty() || pattern[0] != '~')
        {
            ASSERT_LE(r + ri, 1) << pattern << " / " << text;
        }
        const int32_t expected = ReferenceMatch(pattern, text);
        if (expected < 0)
        {
            ASSERT_EQ(r, 0) << "malformed: " << pattern << " / " << text;
            continue;
        }
        ASSERT_EQ(r, expected) << "pattern \"" << pattern << "\" text \"" << text << "\"";
        ++compared;
    }
    // Most random patterns are well formed, so the comparison is not an empty one.
    EXPECT_GT(compared, 20000);
}

// Bitwise reference of the reflected CRC-32.
uint32_t ReferenceCrc(const unsigned char *data, size_t length)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
    {
        c ^= data[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

TEST(StringsTest, Crc32)
{
    EXPECT_EQ(bz_Crc32String("abc", 0), 0x352441C2u);
    EXPECT_EQ(bz_Crc32String("123456789", 0), 0xCBF43926u);
    EXPECT_EQ(bz_Crc32String("The quick brown fox jumps over the lazy dog", 0), 0x414FA339u);
    EXPECT_EQ(bz_Crc32(0x12345678u, 0, "abc"), 0x12345678u); // length 0 keeps the value
    EXPECT_EQ(bz_Crc32String("", 7), 7u);
    // A running value continues a checksum.
    EXPECT_EQ(bz_Crc32String("def", bz_Crc32String("abc", 0)), bz_Crc32String("abcdef", 0));

    std::mt19937 gen(7);
    for (size_t length : {1u, 2u, 255u, 256u, 1000u})
    {
        std::vector<unsigned char> buffer(length);
        for (auto &b : buffer)
            b = static_cast<unsigned char>(gen());
        EXPECT_EQ(bz_Crc32(0, static_cast<uint32_t>(length), buffer.data()),
                  ReferenceCrc(buffer.data(), length));
    }
}

TEST(StringsTest, Ordinals)
{
    const struct
    {
        int32_t number;
        const char *text;
    } cases[] = {{1, "1st"},     {2, "2nd"},     {3, "3rd"},   {4, "4th"},   {11, "11th"},
                 {12, "12th"},   {13, "13th"},   {21, "21st"}, {22, "22nd"}, {23, "23rd"},
                 {111, "111st"}, {112, "112nd"}, {0, "0"},     {10, "10th"}, {-1, "-1th"}};
    char out[16];
    for (const auto &c : cases)
        EXPECT_STREQ(bz_OrdinalString(out, c.number, 0, 0), c.text) << c.number;
    EXPECT_STREQ(bz_OrdinalString(out, 22, 1, 0), "22ND");
    EXPECT_STREQ(bz_OrdinalString(out, 3, 0, 1), "rd");
    EXPECT_STREQ(bz_OrdinalString(out, 4, 1, 1), "TH");
    EXPECT_STREQ(bz_OrdinalString(out, 0, 1, 1), "");
    EXPECT_STREQ(bz_OrdinalString(out, INT32_MIN, 0, 0), "-2147483648th");
}

TEST(StringsTest, StrDup)
{
    char *copy = bz_StrDup("Hello, z!");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "Hello, z!");
    EXPECT_EQ(bz_MemSize(copy), 10u);
    char *upper = bz_StrDupUpper("Hello, z! \xe9");
    ASSERT_NE(upper, nullptr);
    EXPECT_STREQ(upper, "HELLO, Z! \xe9");
    bz_MemFree(copy);
    bz_MemFree(upper);
    EXPECT_EQ(bz_StrDup(nullptr), nullptr);
    EXPECT_EQ(bz_StrDupUpper(nullptr), nullptr);
    char *empty = bz_StrDup("");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    bz_MemFree(empty);
}

TEST(StringsTest, VersionTexts)
{
    EXPECT_STREQ(bz_GetBuildDate(), "Mar 14 2005");
    EXPECT_STREQ(bz_GetVersionString(), "V1.0.1");
    EXPECT_STREQ(bz_GetVersionPath(), "ORU/V1.0.1");
    EXPECT_STREQ(bz_GetVersionAndDate(), "V1.0.1  Mar 14 2005");
}

// Engine time 0.75 s: the blink shows the colons. At 0.25 s they are blanked.
class TimeTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        counter_.StartTimer();
        counter_.AdvanceMs(750);
        ASSERT_EQ(bz_ReplaySquareWave(1.0f, 50.0f, 0.0f), 0);
    }
    VirtualCounter counter_;
};

TEST_F(TimeTextTest, FormatHMS)
{
    const struct
    {
        float seconds;
        int32_t dashes, twoDigits;
        const char *text;
    } cases[] = {
        {3725.0f, 0, 1, "01:02.05"}, {3725.0f, 0, 0, "1:02.05"},   {3725.9f, 0, 1, "01:02.05"},
        {59.999f, 1, 1, "00:00.59"}, {0.0f, 1, 1, "--:--.--"},     {0.0f, 1, 0, "-:--.--"},
        {0.0f, 0, 1, "00:00.00"},    {36000.0f, 0, 1, "10:00.00"}, {0.4f, 1, 0, "0:00.00"},
    };
    char out[16];
    for (const auto &c : cases)
        EXPECT_STREQ(bz_FormatHMS(out, c.seconds, c.dashes, c.twoDigits), c.text) << c.seconds;
}

TEST_F(TimeTextTest, FormatMinSecAndHundredths)
{
    char out[16];
    EXPECT_STREQ(bz_FormatMinSec(out, 59.6f, 0, 1), "01:00"); // rounded
    EXPECT_STREQ(bz_FormatMinSec(out, 125.2f, 0, 0), "2:05");
    EXPECT_STREQ(bz_FormatMinSec(out, 0.0f, 1, 1), "--:--");
    EXPECT_STREQ(bz_FormatMinSec(out, 0.0f, 1, 0), "-:--");
    EXPECT_STREQ(bz_FormatClockHundredths(out, 61.256f, 0, 1), "01:01.26");
    EXPECT_STREQ(bz_FormatClockHundredths(out, 5.004f, 0, 0), "0:05.00");
    EXPECT_STREQ(bz_FormatClockHundredths(out, 0.0f, 1, 1), "--:--.--");
}

TEST_F(TimeTextTest, ExtremeTimesStayInTheBuffer)
{
    const float extremes[] = {-1.0f, -3725.0f, FLT_MAX, -FLT_MAX, 1e30f, NAN, INFINITY};
    for (float t : extremes)
    {
        char out[16];
        EXPECT_LT(std::strlen(bz_FormatHMS(out, t, 0, 1)), 16u);
        EXPECT_LT(std::strlen(bz_FormatClockHundredths(out, t, 0, 0)), 16u);
        EXPECT_LT(std::strlen(bz_FormatMinSec(out, t, 1, 1)), 16u);
    }
}

TEST_F(TimeTextTest, ColonsBlinkOnceASecond)
{
    char out[16];
    EXPECT_STREQ(bz_FormatMinSec(out, 65.0f, 0, 1), "01:05");
    counter_.AdvanceMs(500); // 1.25 s: first half of the second
    EXPECT_STREQ(bz_FormatMinSec(out, 65.0f, 0, 1), "01 05");
    EXPECT_STREQ(bz_FormatClockHundredths(out, 65.0f, 0, 1), "01 05.00");
    EXPECT_STREQ(bz_FormatHMS(out, 65.0f, 0, 1), "00:01.05"); // HMS does not blink
    char text[] = "a:b::c";
    EXPECT_STREQ(bz_BlinkColons(text), "a b  c");
    EXPECT_EQ(bz_BlinkColons(nullptr), nullptr);
}
} // namespace

TEST(StringsTest, CaseBlindCompare)
{
    struct Case
    {
        const char *a, *b;
        int32_t n;
        int sign;
    };
    const Case cases[] = {
        {"STDOUT", "stdout", -1, 0}, {"abc", "ABD", -1, -1}, {"abd", "ABC", -1, 1},
        {"ab", "abc", -1, -1},       {"abcX", "ABCy", 3, 0}, {"", "", -1, 0},
        {"a[", "A{", -1, -1},        {"x", "y", 0, 0},
    };
    for (const Case &c : cases)
    {
        int32_t r = bz_StrCompareNoCase(c.a, c.b, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
    }
}
