#include "TextTestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "text/TextValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
class TextValues : public ::testing::Test
{
protected:
    ScopedTempDir dir_;
    bzTextReader *reader_ = nullptr;

    bzTextReader *Load(const std::string &text)
    {
        if (reader_)
            bz_Text_Close(reader_);
        reader_ = ReaderOver(text);
        EXPECT_NE(nullptr, reader_);
        return reader_;
    }
    void TearDown() override
    {
        bz_Text_Close(reader_);
        bz_Text_SetCommaMode();
        bz_Text_SetAssetLoaders(nullptr);
    }
};
} // namespace

TEST_F(TextValues, FloatLines)
{
    bzTextReader *r = Load("1.5, 2.5\n1.5 2.5 3.5 9\n4,5,6\n7 ,8, 9\n<K>\nx y z\n");
    float a = -1, b = -1, c = -1;
    EXPECT_EQ(0, bz_Text_ReadFloat3(r, &a, &b, &c));
    EXPECT_EQ(-1.0f, c) << "a missing value is left unchanged";
    EXPECT_EQ(1, bz_Text_ReadFloat3(r, &a, &b, &c));
    EXPECT_EQ(1.5f, a);
    EXPECT_EQ(2.5f, b);
    EXPECT_EQ(3.5f, c);
    float v[3];
    EXPECT_EQ(1, bz_Text_ReadVector(r, v));
    EXPECT_EQ(6.0f, v[2]);
    EXPECT_EQ(1, bz_Text_ReadVector(r, v));
    EXPECT_EQ(7.0f, v[0]);
    EXPECT_EQ(9.0f, v[2]);
    EXPECT_EQ(0, bz_Text_ReadFloat3(r, &a, &b, &c)) << "a key line";
    a = b = c = 5;
    EXPECT_EQ(1, bz_Text_ReadFloat3(r, &a, &b, &c)) << "tokens that do not convert";
    EXPECT_EQ(5.0f, a);
    EXPECT_EQ(0, bz_Text_ReadFloat3(r, &a, &b, &c)) << "the end";

    r = Load("1 2 3 4 5 6 7 8\n[S]\n<K>\n0.25\n");
    float f[8] = {};
    EXPECT_EQ(1, bz_Text_ReadFloat8(r, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]));
    EXPECT_EQ(8.0f, f[7]);
    EXPECT_EQ(0, bz_Text_ReadFloat(r, &a)) << "ReadFloat refuses a header";
    EXPECT_EQ(0.0f, bz_Text_GetFloat(r)) << "and a key";
    EXPECT_EQ(0.25f, bz_Text_GetFloat(r));
    EXPECT_EQ(0.0f, bz_Text_GetFloat(r)) << "nothing left";
}

TEST_F(TextValues, IntegerLinesAndTheSentinel)
{
    bzTextReader *r = Load("0x10\n010\n-7\n<KEY>\n42\n<NEXT>\n1 2 3 4 5 6 7 8\n0xFFFFFFFF\n0\n3\n");
    int32_t value = 0;
    EXPECT_EQ(1, bz_Text_ReadInt(r, &value));
    EXPECT_EQ(16, value);
    EXPECT_EQ(1, bz_Text_ReadInt(r, &value));
    EXPECT_EQ(8, value);
    EXPECT_EQ(1, bz_Text_ReadInt(r, &value));
    EXPECT_EQ(-7, value);
    // A key line fails the read and is consumed: the next read starts after it.
    EXPECT_EQ(0, bz_Text_ReadInt(r, &value));
    EXPECT_EQ(1, bz_Text_ReadInt(r, &value));
    EXPECT_EQ(42, value);
    EXPECT_EQ(BZ_TEXT_NO_INT, bz_Text_GetInt(r));
    EXPECT_EQ((int32_t)0xFECCFECC, BZ_TEXT_NO_INT);
    int32_t i[8] = {};
    EXPECT_EQ(1, bz_Text_ReadInt8(r, &i[0], &i[1], &i[2], &i[3], &i[4], &i[5], &i[6], &i[7]));
    EXPECT_EQ(8, i[7]);
    EXPECT_EQ(-1, bz_Text_GetInt(r)) << "a full 32-bit pattern";
    EXPECT_EQ(1, bz_Text_ReadBool(r, &value));
    EXPECT_EQ(0, value);
    EXPECT_EQ(1, bz_Text_ReadBool(r, &value));
    EXPECT_EQ(1, value);
    EXPECT_EQ(BZ_TEXT_NO_INT, bz_Text_GetInt(r));
}

TEST_F(TextValues, ReadersWithoutTheKeyTest)
{
    bzTextReader *r = Load("4000000000\n0x1F\n1F\n-2\n70000\n1,-1\n5, 6, 7, 300\n<K>\n");
    uint32_t u = 0;
    EXPECT_EQ(1, bz_Text_ReadUInt(r, &u));
    EXPECT_EQ(4000000000u, u);
    EXPECT_EQ(1, bz_Text_ReadHex(r, &u));
    EXPECT_EQ(0x1Fu, u);
    EXPECT_EQ(1, bz_Text_ReadHex(r, &u)) << "the token is there but lacks 0x";
    EXPECT_EQ(0x1Fu, u);
    int16_t s = 0;
    EXPECT_EQ(1, bz_Text_ReadShort(r, &s));
    EXPECT_EQ(-2, s);
    EXPECT_EQ(1, bz_Text_ReadShort(r, &s));
    EXPECT_EQ((int16_t)70000, s);
    int8_t b[4] = {};
    EXPECT_EQ(1, bz_Text_ReadByte2(r, &b[0], &b[1]));
    EXPECT_EQ(1, b[0]);
    EXPECT_EQ(-1, b[1]);
    EXPECT_EQ(1, bz_Text_ReadByte4(r, &b[0], &b[1], &b[2], &b[3]));
    EXPECT_EQ(7, b[2]);
    EXPECT_EQ((int8_t)300, b[3]);
    EXPECT_EQ(1, bz_Text_ReadUInt(r, &u)) << "a key line is a value line here";
}

TEST_F(TextValues, CompositesAndColours)
{
    bzTextReader *r = Load("255, 128, 0\n255, 128, 0, 64\n1 2 3\n4 5 6\n"
                           "1 0 0\n0 1 0\n0 0 1\n10 20 30\n1 0 0\n0 1 0\n<K>\n");
    uint32_t colour = 0;
    EXPECT_EQ(1, bz_Text_ReadColour(r, &colour));
    EXPECT_EQ(0xFFFF8000u, colour);
    EXPECT_EQ(1, bz_Text_ReadColourRGBA(r, &colour));
    EXPECT_EQ(0x40FF8000u, colour);
    float pair[6] = {};
    EXPECT_EQ(1, bz_Text_ReadVectorPair(r, pair));
    EXPECT_EQ(4.0f, pair[3]);
    EXPECT_EQ(6.0f, pair[5]);
    float m[12] = {};
    EXPECT_EQ(1, bz_Text_ReadMatrix(r, m));
    EXPECT_EQ(1.0f, m[8]);
    EXPECT_EQ(30.0f, m[11]);
    EXPECT_EQ(0, bz_Text_ReadMatrix(r, m)) << "a key line stops the matrix";

    r = Load("1 2 3 4\n5 6\n");
    float rec[4] = {};
    EXPECT_EQ(1, bz_Text_ReadFloat4Rec(r, rec));
    EXPECT_EQ(1, bz_Text_ReadFloat2Rec(r, rec));
    EXPECT_EQ(6.0f, rec[1]);
    EXPECT_EQ(4.0f, rec[3]);
}

TEST_F(TextValues, StringsKeepSpacesAndEndAtCommas)
{
    bzTextReader *r = Load("New York, USA\nred,green,blue\none\nshort\nabc\nname\nlower\n");
    char name[BZ_TEXT_NAME_SIZE];
    EXPECT_EQ(1, bz_Text_ReadName(r, name));
    EXPECT_STREQ("New York", name);
    char a[BZ_TEXT_NAME_SIZE], b[BZ_TEXT_NAME_SIZE], c[BZ_TEXT_NAME_SIZE];
    EXPECT_EQ(1, bz_Text_ReadNames3(r, a, b, c));
    EXPECT_STREQ("red", a);
    EXPECT_STREQ("blue", c);
    EXPECT_EQ(0, bz_Text_ReadNames2(r, a, b)) << "one token only";
    char small[4];
    EXPECT_EQ(1, bz_Text_ReadNameInto(r, small, sizeof small));
    EXPECT_STREQ("sho", small) << "cut to the buffer, terminated";
    char whole[BZ_TEXT_LINE_SIZE];
    EXPECT_EQ(1, bz_Text_ReadNameInto(r, whole, 0));
    EXPECT_STREQ("abc", whole);
    char *copy = nullptr;
    EXPECT_EQ(1, bz_Text_ReadNameDup(r, &copy));
    EXPECT_STREQ("name", copy);
    bz_MemFree(copy);
    EXPECT_EQ(1, bz_Text_ReadNameUpper(r, &copy));
    EXPECT_STREQ("LOWER", copy);
    bz_MemFree(copy);
    EXPECT_EQ(0, bz_Text_ReadName(r, name));

    bz_Text_SetTabMode();
    r = Load("Paris, France\tnext\n");
    EXPECT_EQ(1, bz_Text_ReadName(r, name));
    EXPECT_STREQ("Paris, France", name);
}

TEST_F(TextValues, OverlongNamesFailInsteadOfOverflowing)
{
    const std::string longName(200, 'm');
    bzTextReader *r = Load(longName + "\n" + longName + "\n" + std::string(63, 'k') + "\n");
    char name[BZ_TEXT_NAME_SIZE + 8];
    memset(name, '#', sizeof name);
    bzgLastError = 0;
    EXPECT_EQ(0, bz_Text_ReadName(r, name));
    EXPECT_EQ(BZ_ERROR_PARAMETER_OUT_OF_RANGE, bzgLastError);
    EXPECT_STREQ("", name);
    EXPECT_EQ('#', name[BZ_TEXT_NAME_SIZE]) << "nothing written past the name buffer";

    // An asset whose name does not fit fails to load; the loader is not asked.
    static int calls;
    calls = 0;
    bzTextAssetLoaders loaders = {};
    loaders.loadMaterial = [](const char *) -> bzMaterial *
    {
        calls++;
        return nullptr;
    };
    bz_Text_SetAssetLoaders(&loaders);
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Text_ReadMaterial(r));
    EXPECT_EQ(BZ_ERROR_PARAMETER_OUT_OF_RANGE, bzgLastError);
    EXPECT_EQ(0, calls);
    EXPECT_EQ(1, bz_Text_ReadName(r, name)) << "63 characters fit";
}

TEST_F(TextValues, AssetReadersPassTheNameToTheirLoader)
{
    static std::string seen;
    static int option;
    bzTextAssetLoaders loaders = {};
    loaders.loadModel = [](const char *name) -> bzModel *
    {
        seen = name;
        return (bzModel *)&seen;
    };
    loaders.getImgMap = [](int32_t o, const char *name) -> bz_IMGMAP *
    {
        option = o;
        seen = name;
        return (bz_IMGMAP *)&option;
    };
    bz_Text_SetAssetLoaders(&loaders);
    bzTextReader *r = Load("CAR, spare\nSKY\nGROUND\nLEVEL\n");
    EXPECT_EQ((bzModel *)&seen, bz_Text_ReadModel(r));
    EXPECT_EQ("CAR", seen);
    EXPECT_EQ((bz_IMGMAP *)&option, bz_Text_ReadImgMap(r, 3));
    EXPECT_EQ(3, option);
    EXPECT_EQ("SKY", seen);
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Text_ReadImgMap(r, 0)) << "no image-file loader installed";
    EXPECT_EQ(BZ_ERROR_UNSUPPORTED, bzgLastError);
    EXPECT_EQ(nullptr, bz_Text_ReadLumpFile(r));
}

TEST_F(TextValues, QuotedTextBlockLinesAndTags)
{
    bzTextReader *r = Load("x \"\"hello world\"\" y \"\"cut here\"\" \"\"open");
    char buffer[8];
    EXPECT_EQ(1, bz_Text_ReadQuoted(r, buffer, sizeof buffer));
    EXPECT_STREQ("hello w", buffer);
    EXPECT_EQ(1, bz_Text_ReadQuoted(r, buffer, 4));
    EXPECT_STREQ("cut", buffer);
    EXPECT_EQ(0, bz_Text_ReadQuoted(r, buffer, sizeof buffer));
    EXPECT_EQ(r->size, bz_Text_GetPos(r));

    r = Load("a { b\n{ }\n{ } }\n");
    EXPECT_EQ(1, bz_Text_LineOpensBlock(r));
    EXPECT_EQ(0, bz_Text_LineOpensBlock(r));
    EXPECT_EQ(0, bz_Text_LineOpensBlock(r));
    EXPECT_EQ(0, bz_Text_LineOpensBlock(r));

    r = Load("text // <no>\n{ [hidden] } more <KEY>\n");
    char until[64];
    const char *expected = "text // <no>\n{ [hidden] } more ";
    EXPECT_EQ((int32_t)strlen(expected), bz_Text_ReadUntilTag(r, until, sizeof until));
    EXPECT_STREQ(expected, until);
    EXPECT_EQ('<', bz_Text_GetChar(r, 0));

    char trim[] = "value \t\r\n";
    bz_StrTrimRight(trim);
    EXPECT_STREQ("value", trim);
}

TEST_F(TextValues, WritersProduceReadableText)
{
    bzFileHandle *file = bz_Text_CreateFile("OUT.TXT");
    ASSERT_NE(nullptr, file);
    bz_Text_WriteSection(file, "S");
    bz_Text_WriteKey(file, "K");
    bz_Text_WriteInt(file, -5);
    bz_Text_WriteInt2(file, 1, 2);
    bz_Text_WriteInt3(file, 1, 2, 3);
    bz_Text_WriteUInt(file, 4000000000u);
    bz_Text_WriteShort(file, -300);
    bz_Text_WriteBytePair(file, -1, 7);
    bz_Text_WriteString(file, "New York, USA");
    bz_Text_WriteFloat2(file, 0.5f, 1.0f);
    bz_Text_WriteFloat4(file, 1, 2, 3, 4);
    bz_Text_WriteFloat5(file, 1, 2, 3, 4, 5.25f);
    bz_Text_CloseFile(file);
    EXPECT_EQ("\n[S]\n\n<K>\n-5\n1 2\n1 2 3\n4000000000\n-300\n-1,7\nNew York, USA\n"
              "0.500000,1.000000\n1.000000,2.000000,3.000000,4.000000\n"
              "1.000000,2.000000,3.000000,4.000000,5.250000\n",
              ReadWholeFile("OUT.TXT"));
    bzTextReader *r = Load(ReadWholeFile("OUT.TXT"));
    ASSERT_TRUE(bz_Text_FindSection(r, "S", 0));
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ(-5, bz_Text_GetInt(r));
}

TEST_F(TextValues, SaveWritesOnlyWhenChanged)
{
    const std::string text = "\n[A]\n\n<K>\n1\n\n[B]\n\n<K>\n2\n\n[C]\n\n<K>\n3\n";
    WriteWholeFile("EDIT.TXT", text);
    bzTextReader *r = bz_Script_Load("EDIT.TXT");
    ASSERT_NE(nullptr, r);
    reader_ = r;
    WriteWholeFile("EDIT.TXT", "untouched");
    bz_Text_Save(r, nullptr);
    EXPECT_EQ("untouched", ReadWholeFile("EDIT.TXT")) << "nothing changed, nothing written";

    EXPECT_EQ(0, bz_Text_DeleteSection(r, "Z"));
    EXPECT_EQ(0, r->changed);
    EXPECT_EQ(1, bz_Text_DeleteSection(r, "B"));
    EXPECT_EQ(1, r->changed);
    bz_Text_Save(r, nullptr);
    EXPECT_EQ("\n[A]\n\n<K>\n1\n\n[C]\n\n<K>\n3\n", ReadWholeFile("EDIT.TXT"));
    bz_Text_Save(r, "COPY");
    EXPECT_EQ(ReadWholeFile("EDIT.TXT"), ReadWholeFile("COPY.TXT"));
    bz_Text_Save(r, "COPY.DAT");
    EXPECT_EQ(ReadWholeFile("EDIT.TXT"), ReadWholeFile("COPY.DAT"));
    EXPECT_EQ(1, r->changed) << "the flag stays set";
}

TEST_F(TextValues, EditingInsertsDeletesAndAppends)
{
    const std::string text = "\n[A]\n\n<K>\n1\n\n<L>\n2\n\n[B]\n\n<K>\n3\n";
    bzTextReader *r = Load(text);
    bz_Text_InsertLine(r, "A", "added");
    EXPECT_EQ("\n[A]\n\n<K>\n1\n\n<L>\n2\nadded\n\n[B]\n\n<K>\n3\n",
              std::string((char *)r->data, r->size));
    bz_Text_InsertLine(r, "B", "last");
    EXPECT_EQ("\n[A]\n\n<K>\n1\n\n<L>\n2\nadded\n\n[B]\n\n<K>\n3\nlast\n",
              std::string((char *)r->data, r->size));
    bz_Text_InsertLine(r, "Q", "never");
    EXPECT_EQ(std::string::npos, std::string((char *)r->data, r->size).find("never"));

    EXPECT_EQ(1, bz_Text_DeleteKey(r, "A", "K"));
    EXPECT_EQ("\n[A]\n\n\n<L>\n2\nadded\n\n[B]\n\n<K>\n3\nlast\n",
              std::string((char *)r->data, r->size));
    EXPECT_EQ(0, bz_Text_DeleteKey(r, "A", "K"));
    EXPECT_EQ(1, bz_Text_DeleteKey(r, "B", "K"));
    EXPECT_EQ("\n[A]\n\n\n<L>\n2\nadded\n\n[B]\n\n", std::string((char *)r->data, r->size));
    bz_Text_AppendLine(r, "tail");
    EXPECT_EQ("\n[A]\n\n\n<L>\n2\nadded\n\n[B]\n\n\ntail", std::string((char *)r->data, r->size));
    EXPECT_EQ(0, r->data[r->size]);

    // A header straight after a line, and a last line without a line end.
    r = Load("[A]\n1\n[B]\n2");
    bz_Text_InsertLine(r, "A", "x");
    bz_Text_InsertLine(r, "B", "y");
    EXPECT_EQ("[A]\n1\nx\n[B]\n2\ny\n", std::string((char *)r->data, r->size));
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    bz_Text_SkipSpace(r, 1);
    EXPECT_EQ(1, bz_Text_DeleteCurrentSection(r));
    EXPECT_EQ("[B]\n2\ny\n", std::string((char *)r->data, r->size));
    EXPECT_EQ(1, bz_Text_DeleteSection(r, "B"));
    EXPECT_EQ(1, r->size) << "nothing left: one 0 byte";
    EXPECT_EQ(0, r->data[0]);
}

// The header of the section being deleted is found behind the comments that follow it, even
// when those hold brackets of their own.
TEST_F(TextValues, DeleteSectionFindsItsHeaderPastComments)
{
    struct Case
    {
        const char *text, *after;
    } cases[] = {
        {"[A] // see [X]\n1\n[B]\n2\n", "[B]\n2\n"},
        {"[A]\n// moved to [X]\n  / old [Y]\n1\n[B]\n2\n", "[B]\n2\n"},
        {"[Z]\n0\n[A] 1 2\n[B]\n2\n", "[Z]\n0\n[B]\n2\n"},
    };
    for (const Case &c : cases)
    {
        bzTextReader *r = Load(c.text);
        EXPECT_EQ(1, bz_Text_DeleteSection(r, "A")) << c.text;
        EXPECT_EQ(c.after, std::string((char *)r->data, r->size)) << c.text;
        EXPECT_TRUE(bz_Text_FindSection(r, "B", 0)) << c.text;
    }
}
