// Lump tree listings and reports: the exact lines, counts and indentation, and which NULL lumps
// the superfluous-NULL report names.
#include "FakeScene.h"

#include "scene/Lump.h"
#include "scene/LumpDump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{
std::string Hex8(const void *p)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.8x", (unsigned)(uintptr_t)p);
    return text;
}

std::string HexPlain(const void *p)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", (unsigned)(uintptr_t)p);
    return text;
}

TEST(LumpDump, PrintCountListsEveryLumpByDepthThenTheCount)
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    testing::internal::CaptureStdout();
    bz_Lump_PrintCount(root);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "  Lump : 0 - Adr:" + Hex8(root) + ", Type:0, Name:root, Flags:00000001\n1 lumps\n");

    bzLump *b = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "b");
    b->flags |= 0x800;
    bz_Lump_AppendChild(root, b);
    bzLump *c = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "c");
    bz_Lump_AppendChild(b, c);
    testing::internal::CaptureStdout();
    bz_Lump_PrintCount(root);
    // A second listing starts again at line 0.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "  Lump : 0 - Adr:" + Hex8(root) + ", Type:0, Name:root, Flags:00000001\n" +
                  "    Lump : 1 - Adr:" + Hex8(b) + ", Type:0, Name:b, Flags:00000801\n" +
                  "      Lump : 2 - Adr:" + Hex8(c) + ", Type:1, Name:c, Flags:00000001\n" +
                  "3 lumps\n");
    bz_Lump_DestroyTree(root);
}

TEST(LumpDump, SuperfluousNullsAreThoseWithFewerThanTwoChildren)
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "two");
    bzLump *one = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "one");
    bzLump *none = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "none");
    bzLump *model = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, "leafmodel");
    bz_Lump_AppendChild(root, one);
    bz_Lump_AppendChild(root, model);
    bz_Lump_AppendChild(one, none);
    none->flags &= ~BZ_LUMP_ACTIVE;
    testing::internal::CaptureStdout();
    const int32_t n = bz_Lump_ReportSuperfluousNulls(root);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "SuperfluousNullLump one - ACTIVE - NChidren 1 - " + HexPlain(one) + "\n" +
                  "SuperfluousNullLump none - NOT ACTIVE - NChidren 0 - " + HexPlain(none) + "\n");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(bz_Lump_CountTree(root), 4);
    bz_Lump_DestroyTree(root);
}

TEST(LumpDump, InfoBlockNamesTheModelAndLeavesOutACameraObject)
{
    FakeModels models;
    bzModel *m = models.NewModel("car.mod");
    bzLump *lump = bz_Lump_CreateModel(m);
    bz_Scene_ReleaseModel(m);
    std::snprintf(lump->name, sizeof lump->name, "body");
    testing::internal::CaptureStdout();
    EXPECT_EQ(bz_Lump_PrintInfo(lump), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "LUMP:" + Hex8(lump) +
                  " (\"body\")\ntype:     BZ_LUMP_TYPE_MODEL\nobject:   car.mod\n"
                  "matrix.row[0]  +1.000\t+0.000\t+0.000\n"
                  "matrix.row[1]  +0.000\t+1.000\t+0.000\n"
                  "matrix.row[2]  +0.000\t+0.000\t+1.000\n"
                  "matrix.row[3]  +0.000\t+0.000\t+0.000\n"
                  "children: 0\nparent:   00000000\n\n");
    bz_Lump_DestroyTree(lump);

    bzLump *camera = bz_Lump_CreateCamera(nullptr, 60.0f);
    testing::internal::CaptureStdout();
    bz_Lump_Info(camera);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("object:"), std::string::npos);
    EXPECT_NE(out.find("type:     BZ_LUMP_TYPE_CAMERA\n"), std::string::npos);
    bz_Lump_DestroyTree(camera);

    testing::internal::CaptureStdout();
    EXPECT_EQ(bz_Lump_PrintInfo(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "LUMP IS NULL\n");
}
} // namespace
