// Builds random salads through the public setters, saves each with bz_Salad_Save and loads it
// back: a save either is refused, exactly when the salad holds something the text form cannot
// (judged here by rules of the test's own), or loads back as the same tree.
#include "text/Salad.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
// Names never hold "." (it separates the parts of a path); strings may.
const char kNameBytes[] = "abcXYZ_019 -=,{}/\"\n\t\x80\xff";
const char kStringBytes[] = "abcXYZ_019 -=,{}/\"\n\t\x80\xff.";

class Generator
{
public:
    explicit Generator(uint32_t start) : random_(start) {}

    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

    std::string Text(const char *alphabet, size_t alphabetSize, bool quotes)
    {
        size_t length = Below(8);
        switch (Below(40))
        {
        case 0: length = 509 + Below(5); break; // around the longest token
        case 1: length = 0; break;
        default: break;
        }
        std::string text;
        for (size_t k = 0; k < length; k++)
        {
            char c = alphabet[Below(static_cast<uint32_t>(alphabetSize))];
            // A double quote only now and then, so that most salads can be saved.
            while (c == '"' && (!quotes || Below(4) != 0))
                c = alphabet[Below(static_cast<uint32_t>(alphabetSize))];
            text += c;
        }
        return text;
    }
    std::string Name(bool quotes) { return Text(kNameBytes, sizeof kNameBytes - 1, quotes); }
    std::string String(bool quotes) { return Text(kStringBytes, sizeof kStringBytes - 1, quotes); }

    float Number()
    {
        switch (Below(6))
        {
        case 0: return static_cast<float>(static_cast<int32_t>(random_()) % 100000);
        case 1: return static_cast<float>(random_() & 0xFFFFFF);
        case 2:
        {
            // Any bit pattern: infinities and NaNs included now and then.
            uint32_t bits = static_cast<uint32_t>(random_());
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        case 3:
            return std::ldexp(static_cast<float>(random_() & 0xFFFFFF),
                              -static_cast<int>(Below(160)));
        case 4: return -0.0f;
        default: return static_cast<float>(random_()) / 1000.0f;
        }
    }

    std::string Path(bool quotes)
    {
        std::string path = Name(quotes);
        uint32_t parts = Below(30) == 0 ? 195 + Below(8) : Below(3);
        for (uint32_t k = 0; k < parts; k++)
            path += "." + (parts > 10 ? std::string("d") : Name(quotes));
        return path;
    }

private:
    std::mt19937 random_;
};

// Fills salad with random items; sub-salads are filled in turn while levels remain.
void Fill(Generator &g, bzSalad *salad, int levels, bool quotes)
{
    uint32_t count = g.Below(7);
    for (uint32_t k = 0; k < count; k++)
    {
        switch (g.Below(8))
        {
        case 0: bz_Salad_SetFloat(salad, g.Path(quotes).c_str(), g.Number()); break;
        case 1:
            bz_Salad_SetInt(salad, g.Path(quotes).c_str(), static_cast<int32_t>(g.Below(1u << 31)));
            break;
        case 2: bz_Salad_SetString(salad, g.Path(quotes).c_str(), g.String(quotes).c_str()); break;
        case 3:
        {
            // An unnamed number, string or sub-salad, given as text.
            bzSaladItem *item = bz_Salad_Obtain(salad, nullptr);
            if (!item)
                break;
            char text[64];
            if (g.Below(2))
                std::snprintf(text, sizeof text, "%.9g", static_cast<double>(g.Number()));
            else
                std::snprintf(text, sizeof text, "\"%s\"", g.String(false).substr(0, 40).c_str());
            bz_Salad_AssignValue(salad, item, g.Below(3) == 0 ? "{ }" : text);
            if (item->kind == BZ_SALAD_SALAD && levels > 0)
                Fill(g, item->value.salad, levels - 1, quotes);
            break;
        }
        default:
        {
            // A named sub-salad, filled in its turn.
            std::string name = g.Name(quotes);
            bzSaladItem *item = bz_Salad_Obtain(salad, name.c_str());
            if (!item || !bz_Salad_AssignValue(salad, item, "{ }") || levels <= 0)
                break;
            Fill(g, item->value.salad, levels - 1, quotes);
            break;
        }
        }
    }
}

// The test's own rules for what the text form holds: names and strings without a double
// quote and of at most 511 characters, finite numbers, and salads nested so that the saved
// text (one level of braces around the salad) stays within 200 levels.
bool Holdable(const char *text)
{
    return text && std::strlen(text) <= 511 && !std::strchr(text, '"');
}

bool Representable(const bzSalad *salad, int level);

bool ItemRepresentable(const bzSaladItem *item, int level)
{
    switch (item->kind)
    {
    case BZ_SALAD_NUMBER: return std::isfinite(item->value.number);
    case BZ_SALAD_STRING: return Holdable(item->value.string);
    case BZ_SALAD_SALAD: return Representable(item->value.salad, level + 1);
    default: return true;
    }
}

bool NamedRepresentable(const bzSaladItem *node, int level)
{
    if (!node)
        return true;
    return Holdable(node->name) && ItemRepresentable(node, level) &&
           NamedRepresentable(node->left, level) && NamedRepresentable(node->right, level);
}

bool Representable(const bzSalad *salad, int level)
{
    if (level >= 200)
        return false;
    for (const bzSaladItem *item = salad->unnamed; item; item = item->next)
        if (!ItemRepresentable(item, level))
            return false;
    return NamedRepresentable(salad->named, level);
}

void InOrder(const bzSaladItem *node, std::vector<const bzSaladItem *> &out)
{
    if (!node)
        return;
    InOrder(node->left, out);
    out.push_back(node);
    InOrder(node->right, out);
}

// Where the two salads first differ, or "" when they are the same. An item without a value
// saves as an empty string.
std::string Difference(const bzSalad *a, const bzSalad *b, const std::string &where);

std::string ItemDifference(const bzSaladItem *a, const bzSaladItem *b, const std::string &where)
{
    uint16_t kindA = a->kind == BZ_SALAD_EMPTY ? static_cast<uint16_t>(BZ_SALAD_STRING) : a->kind;
    const char *stringA = a->kind == BZ_SALAD_EMPTY ? "" : a->value.string;
    if (kindA != b->kind)
        return where + ": kind " + std::to_string(kindA) + " became " + std::to_string(b->kind);
    switch (kindA)
    {
    case BZ_SALAD_NUMBER:
        if (std::memcmp(&a->value.number, &b->value.number, sizeof(float)) != 0)
            return where + ": " + std::to_string(a->value.number) + " became " +
                   std::to_string(b->value.number);
        return "";
    case BZ_SALAD_STRING:
        if (std::strcmp(stringA, b->value.string) != 0)
            return where + ": [" + stringA + "] became [" + b->value.string + "]";
        return "";
    case BZ_SALAD_SALAD: return Difference(a->value.salad, b->value.salad, where);
    default: return where + ": unexpected kind";
    }
}

std::string Difference(const bzSalad *a, const bzSalad *b, const std::string &where)
{
    if (a->unnamedCount != b->unnamedCount)
        return where + ": unnamed count";
    const bzSaladItem *x = a->unnamed, *y = b->unnamed;
    for (int k = 0; x && y; x = x->next, y = y->next, k++)
    {
        std::string d = ItemDifference(x, y, where + "[" + std::to_string(k) + "]");
        if (!d.empty())
            return d;
    }
    if (x || y)
        return where + ": unnamed list length";
    std::vector<const bzSaladItem *> na, nb;
    InOrder(a->named, na);
    InOrder(b->named, nb);
    if (na.size() != nb.size())
        return where + ": named count " + std::to_string(na.size()) + " became " +
               std::to_string(nb.size());
    for (size_t k = 0; k < na.size(); k++)
    {
        if (std::strcmp(na[k]->name, nb[k]->name) != 0)
            return where + ": name [" + na[k]->name + "] became [" + nb[k]->name + "]";
        std::string d = ItemDifference(na[k], nb[k], where + "." + na[k]->name);
        if (!d.empty())
            return d;
    }
    return "";
}
} // namespace

TEST(SaladFuzz, SavedSaladsLoadBackTheSameOrAreRefused)
{
    ScopedTempDir dir;
    Generator g(20240611u);
    auto start = std::chrono::steady_clock::now();
    int rounds = 0, saved = 0, refused = 0;
    // At least 200 rounds however slow the machine, then as many as 1.5 s allow.
    for (; rounds < 5000; rounds++)
    {
        if (rounds >= 200 &&
            std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1500))
            break;
        bzSalad *salad = bz_Salad_ParseRoot("fuzz", "");
        ASSERT_NE(nullptr, salad);
        // Most rounds keep to what the text can hold; the others may not.
        Fill(g, salad, static_cast<int>(g.Below(5)), g.Below(4) == 0);
        const bool representable = Representable(salad, 0);
        const int32_t result = bz_Salad_Save(salad, "FUZZ.SAL");
        ASSERT_EQ(representable ? 1 : 0, result)
            << "round " << rounds << ": " << bz_Salad_GetError();
        if (result)
        {
            saved++;
            bzSalad *loaded = bz_Salad_LoadFile("FUZZ.SAL");
            ASSERT_NE(nullptr, loaded) << "round " << rounds << ": " << bz_Salad_GetError() << "\n"
                                       << ReadWholeFile("FUZZ.SAL");
            ASSERT_EQ(1, loaded->unnamedCount);
            ASSERT_EQ(BZ_SALAD_SALAD, loaded->unnamed->kind);
            ASSERT_EQ("", Difference(salad, loaded->unnamed->value.salad, "root"))
                << "round " << rounds << "\n"
                << ReadWholeFile("FUZZ.SAL");
            bz_Salad_Free(loaded);
        }
        else
            refused++;
        bz_Salad_Free(salad);
    }
    EXPECT_GT(saved, rounds / 2);
    EXPECT_GT(refused, 0);
    RecordProperty("rounds", rounds);
    RecordProperty("saved", saved);
}
