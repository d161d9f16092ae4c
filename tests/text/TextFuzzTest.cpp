// Random and mutated text files through the reader, the value readers, the editing operations
// and the salad parser: no crash, no sanitizer report, every loop ends.
#include "TextTestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "text/Salad.h"
#include "text/TextValues.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace
{
const char *const kSamples[] = {
    "[A]\n<K>\n1\n2\n[B]\n<K>\n3\n",
    "// settings\n[GENERAL]\n<NAME>\nNew York, USA\n<SIZE>\n1.5, 2.5 3.5\n{\n<HIDDEN>\n}\n",
    "[M]\n<MATRIX>\n1 0 0\n0 1 0\n0 0 1\n10 20 30\n<COLOUR>\n255, 128, 0, 64\n<HEX>\n0x1F\n",
    "x @C([Q]) y\n@@ [R]\n<K>\n\"\"quoted text\"\"\n{ { } }\n",
    "[T]\r\n<TABS>\r\na\t\tb\t,c\r\n/ lone slash\r\n<E>\r\n",
    "a = 1, b = { 2, 3 }, c = \"x y\"\nd.e = { f = -1.5e3, g }\n",
};

const char kSpecial[] = "[]<>{}/@)\t\r\n\",. =-0x9";

class Random
{
public:
    explicit Random(uint32_t state) : state_(state) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint32_t state_;
};

std::string Mutate(Random &random, std::string text)
{
    int rounds = 1 + (int)random.Below(8);
    for (int k = 0; k < rounds; k++)
    {
        size_t at = text.empty() ? 0 : random.Below((uint32_t)text.size() + 1);
        switch (random.Below(6))
        {
        case 0: // any byte
            text.insert(at, 1, (char)random.Below(256));
            break;
        case 1: // a byte the reader treats specially
            text.insert(at, 1, kSpecial[random.Below(sizeof kSpecial - 1)]);
            break;
        case 2:
            if (!text.empty())
                text.erase(at < text.size() ? at : text.size() - 1, 1 + random.Below(4));
            break;
        case 3: // a long run
            text.insert(at, 200 + random.Below(120), (char)('a' + random.Below(26)));
            break;
        case 4:
            if (!text.empty())
                text[at < text.size() ? at : 0] ^= (char)(1 << random.Below(8));
            break;
        case 5: // a copy of a piece of itself
            if (!text.empty())
            {
                size_t from = random.Below((uint32_t)text.size());
                text.insert(at, text.substr(from, random.Below(64)));
            }
            break;
        }
    }
    return text;
}

std::string RandomText(Random &random)
{
    std::string text;
    size_t length = random.Below(600);
    for (size_t k = 0; k < length; k++)
        text +=
            random.Below(3) ? kSpecial[random.Below(sizeof kSpecial - 1)] : (char)random.Below(256);
    return text;
}

// Calls step until it stops moving the position or gives up, at most limit times.
template <typename Step> void Drive(bzTextReader *reader, int limit, Step step)
{
    for (int k = 0; k < limit && bz_Text_GetPos(reader) < reader->size; k++)
    {
        int32_t before = bz_Text_GetPos(reader);
        step();
        if (bz_Text_GetPos(reader) == before)
            bz_Text_NextLine(reader, 0);
        if (bz_Text_GetPos(reader) == before)
            break;
    }
}

void Exercise(bzTextReader *r, Random &random)
{
    const int limit = r->size + 4;
    Drive(r, limit, [&] { bz_Text_ReadLine(r); });

    char name[BZ_TEXT_LINE_SIZE];
    std::vector<std::string> sections;
    bz_Text_SeekStart(r);
    for (int k = 0; k < limit && bz_Text_NextSectionName(r, name); k++)
    {
        sections.push_back(std::string(name + 1, strlen(name) - 2));
        for (int j = 0; j < limit && bz_Script_NextKeyName(r, name); j++)
            bz_Script_ReadValueLine(r);
    }
    for (const std::string &section : sections)
    {
        if (bz_Text_FindSection(r, section.c_str(), 0))
        {
            bz_Text_FindKey(r, "K");
            bz_Script_AtBlockEnd(r);
        }
    }
    bz_Text_SeekStart(r);
    bz_Text_FindToken(r, "<K>", "[}");
    bz_Text_CountLines(r);

    // Value readers in turn.
    bz_Text_SeekStart(r);
    int which = 0;
    Drive(r, limit,
          [&]
          {
              float f[12];
              int32_t i[8];
              uint32_t u;
              int16_t s;
              int8_t b[4];
              char a[BZ_TEXT_NAME_SIZE], c[BZ_TEXT_NAME_SIZE], d[BZ_TEXT_NAME_SIZE];
              char *copy = nullptr;
              char buffer[40];
              switch (which++ % 18)
              {
              case 0: bz_Text_ReadFloat3(r, &f[0], &f[1], &f[2]); break;
              case 1:
                  bz_Text_ReadInt8(r, &i[0], &i[1], &i[2], &i[3], &i[4], &i[5], &i[6], &i[7]);
                  break;
              case 2: bz_Text_GetInt(r); break;
              case 3: bz_Text_ReadName(r, a); break;
              case 4: bz_Text_ReadNames3(r, a, c, d); break;
              case 5:
                  if (bz_Text_ReadNameUpper(r, &copy))
                      bz_MemFree(copy);
                  break;
              case 6: bz_Text_ReadQuoted(r, buffer, sizeof buffer); break;
              case 7: bz_Text_ReadColourRGBA(r, &u); break;
              case 8: bz_Text_ReadMatrix(r, f); break;
              case 9: bz_Text_ReadHex(r, &u); break;
              case 10: bz_Text_ReadByte4(r, &b[0], &b[1], &b[2], &b[3]); break;
              case 11: bz_Text_LineOpensBlock(r); break;
              case 12: bz_Text_ReadUntilTag(r, buffer, sizeof buffer); break;
              case 13: bz_Text_ReadWord(r); break;
              case 14: bz_Text_ReadChars(r, buffer, (int32_t)random.Below(sizeof buffer)); break;
              case 15: bz_Text_ReadRestOfLine(r, buffer, sizeof buffer); break;
              case 16: bz_Text_ReadShort(r, &s); break;
              case 17: bz_Text_ReadNameInto(r, buffer, (int32_t)random.Below(sizeof buffer)); break;
              }
          });

    // Block skips from wherever a bracket stands.
    bz_Text_SeekStart(r);
    Drive(r, limit,
          [&]
          {
              if (random.Below(2))
                  bz_Script_SkipNestedBlock(r);
              else
                  bz_Script_SkipBlock(r);
          });

    // Editing keeps the buffer whole.
    if (!sections.empty())
    {
        const std::string &section = sections[random.Below((uint32_t)sections.size())];
        bz_Text_InsertLine(r, section.c_str(), "inserted = 1");
        bz_Text_DeleteKey(r, section.c_str(), "K");
        if (random.Below(2))
            bz_Text_DeleteSection(r, section.c_str());
    }
    bz_Text_AppendLine(r, "[END]");
    ASSERT_EQ(0, r->data[r->size]);
    ASSERT_GE(r->size, 1);
}
} // namespace

TEST(TextFuzz, RandomAndMutatedFiles)
{
    ScopedTempDir dir;
    KeepAlive keepAlive;
    Random random(0x5eed1234u);
    auto start = std::chrono::steady_clock::now();
    int files = 0;
    for (; files < 2000; files++)
    {
        // Bounded in time as well, for slow machines and sanitizers.
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(8))
            break;
        std::string text =
            files % 5 == 0 ? RandomText(random) : Mutate(random, kSamples[random.Below(6)]);
        bool enciphered = random.Below(3) == 0;
        if (random.Below(4) == 0)
            bz_Text_SetTabMode();
        bzTextReader *reader = ReaderOver(text, enciphered);
        ASSERT_NE(nullptr, reader) << files;
        Exercise(reader, random);
        bz_Text_Close(reader);
        bz_Text_SetCommaMode();

        bzSalad *salad = bz_Salad_ParseRoot("fuzz", text.c_str());
        if (salad)
        {
            char printed[256];
            bz_Salad_PrintToBuffer(salad, printed, sizeof printed);
            bz_Salad_Free(salad);
        }
        if (HasFatalFailure())
            return;
    }
    bz_Text_FreeLineBuffer();
    EXPECT_GT(files, 50);
    RecordProperty("files", files);
    RecordProperty("reports", (int)bz_Error_ReportCount());
}
