// Lump tree listings and reports, printed through formatted printing to standard output.
#include "scene/LumpDump.h"

#include "maths/Matrix.h"
#include "scene/Lump.h"

#include <cstdio>

namespace
{
// The listing's depth and running line number; only bz_Lump_PrintCount resets them.
int32_t gDepth;
int32_t gLine;

uint32_t Address(const void *p)
{
    return static_cast<uint32_t>((uintptr_t)p);
}
} // namespace

void bz_Lump_Print(const bzLump *lump)
{
    if (!lump)
        return;
    for (int32_t i = 0; i < gDepth; i++)
        std::printf("  ");
    std::printf("Lump : %d - Adr:%.8x, Type:%d, Name:%s, Flags:%.8x\n", gLine, Address(lump),
                static_cast<int>(lump->type), lump->name, lump->flags);
    gLine++;
}

void bz_Lump_PrintTree(const bzLump *lump)
{
    gDepth++;
    for (const bzLump *at = lump; at; at = at->next)
    {
        bz_Lump_Print(at);
        if (at->firstChild)
            bz_Lump_PrintTree(at->firstChild);
    }
    gDepth--;
}

void bz_Lump_PrintCount(const bzLump *root)
{
    gLine = 0;
    gDepth = 0;
    bz_Lump_PrintTree(root);
    std::printf("%d lumps\n", gLine);
}

int32_t bz_Lump_PrintInfo(bzLump *lump)
{
    if (!lump)
    {
        std::printf("LUMP IS NULL\n");
        return 1;
    }
    std::printf("LUMP:%08x (\"%s\")\n", Address(lump), lump->name);
    std::printf("type:     %s\n", bz_Lump_GetTypeName(lump->type));
    if (const char *object = bz_Lump_GetObjectName(lump))
        std::printf("object:   %s\n", object);
    bz_M34_Print(bz_Lump_GetMatrix(lump));
    std::printf("children: %i\n", bz_Lump_CountChildren(lump));
    std::printf("parent:   %08x\n", Address(lump->parent));
    std::printf("\n");
    return 1;
}

int32_t bz_Lump_Info(bzLump *lump)
{
    return bz_Lump_PrintInfo(lump);
}

int32_t bz_Lump_ReportSuperfluousNulls(const bzLump *root)
{
    int32_t printed = 0;
    for (const bzLump *at = root; at; at = bz_Lump_NextPreOrder(at, root))
    {
        if (at->type != BZ_LUMP_TYPE_NULL)
            continue;
        const int32_t children = bz_Lump_CountChildren(at);
        if (children >= 2)
            continue;
        std::printf("SuperfluousNullLump %s - %s - NChidren %d - %x\n", at->name,
                    (at->flags & BZ_LUMP_ACTIVE) ? "ACTIVE" : "NOT ACTIVE", children, Address(at));
        printed++;
    }
    return printed;
}
