// The engine-wide bone-name tables: a cache of up to 50 bone names, and up to 20 tables of
// name ids in bone order, with their parents and the remaps between tables made on demand.
#include "core/Debug.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "models/ModelAccess.h"

#include <cstring>

namespace
{
constexpr int32_t kNameSize = 32;

struct BoneTable
{
    uint8_t count;
    uint8_t hasParents;
    uint8_t *remaps[BZ_BONE_TABLE_SLOTS]; // owned, one per other table, made on request
    uint8_t *ids;                         // count name ids, inside this block
    uint8_t *parents;                     // count parent bytes or null, inside this block
};

char *gNames[BZ_BONE_NAME_SLOTS];
BoneTable *gTables[BZ_BONE_TABLE_SLOTS];

uint8_t NameId(const char *name)
{
    for (int32_t i = 0; i < BZ_BONE_NAME_SLOTS; ++i)
        if (gNames[i] && bz_StrCompareNoCase(gNames[i], name, kNameSize) == 0)
            return static_cast<uint8_t>(i);
    for (int32_t i = 0; i < BZ_BONE_NAME_SLOTS; ++i)
        if (!gNames[i])
        {
            gNames[i] = static_cast<char *>(bz_MemAlloc(kNameSize + 1, BZ_MEM_CLEAR));
            if (!gNames[i])
                return BZ_BONE_NO_NAME;
            std::strncpy(gNames[i], name, kNameSize);
            return static_cast<uint8_t>(i);
        }
    return BZ_BONE_NO_NAME;
}

const BoneTable *Table(int32_t slot)
{
    return slot >= 0 && slot < BZ_BONE_TABLE_SLOTS ? gTables[slot] : nullptr;
}

// The index of the first bone of table whose id is the given one, or -1.
int32_t FindId(const BoneTable *table, uint8_t id)
{
    for (int32_t i = 0; i < table->count; ++i)
        if (table->ids[i] == id)
            return i;
    return -1;
}
} // namespace

int32_t bz_GetBoneNameTable(const char *names, int32_t count, int32_t stride,
                            const uint8_t *parents)
{
    BZ_ASSERT(names || count == 0);
    if (!names || count <= 0 || count > BZ_BONE_NAME_SLOTS)
        return -1;
    uint8_t ids[BZ_BONE_NAME_SLOTS];
    for (int32_t i = 0; i < count; ++i)
    {
        const char *name = names + static_cast<ptrdiff_t>(i) * stride;
        if (name[0] == '\0')
            return -1;
        ids[i] = NameId(name);
    }
    for (int32_t s = 0; s < BZ_BONE_TABLE_SLOTS; ++s)
        if (gTables[s] && gTables[s]->count == count &&
            std::memcmp(gTables[s]->ids, ids, static_cast<size_t>(count)) == 0)
            return s;
    for (int32_t s = 0; s < BZ_BONE_TABLE_SLOTS; ++s)
    {
        if (gTables[s])
            continue;
        const uint32_t size = static_cast<uint32_t>(sizeof(BoneTable)) +
                              static_cast<uint32_t>(count) * (parents ? 2u : 1u);
        auto *table = static_cast<BoneTable *>(bz_MemAlloc(size, BZ_MEM_CLEAR));
        if (!table)
            return -1;
        auto *bytes = reinterpret_cast<uint8_t *>(table + 1);
        table->ids = bytes;
        std::memcpy(table->ids, ids, static_cast<size_t>(count));
        if (parents)
        {
            table->parents = bytes + count;
            std::memcpy(table->parents, parents, static_cast<size_t>(count));
        }
        table->count = static_cast<uint8_t>(count);
        table->hasParents = parents ? 1 : 0;
        gTables[s] = table;
        return s;
    }
    return -1;
}

const char *bz_GetBoneName(int32_t id)
{
    return id >= 0 && id < BZ_BONE_NAME_SLOTS ? gNames[id] : nullptr;
}

const char *bz_GetBoneNameFromTable(int32_t table, int32_t bone)
{
    const BoneTable *t = Table(table);
    if (!t || bone < 0 || bone >= t->count)
        return nullptr;
    return bz_GetBoneName(t->ids[bone]);
}

const uint8_t *bz_GetBoneRemap(int32_t from, int32_t to)
{
    BoneTable *source = const_cast<BoneTable *>(Table(from));
    const BoneTable *target = Table(to);
    BZ_ASSERT(source && target);
    if (!source || !target)
        return nullptr;
    if (source->remaps[to])
        return source->remaps[to];
    auto *remap = static_cast<uint8_t *>(bz_MemAlloc(target->count, BZ_MEM_CLEAR));
    if (!remap)
        return nullptr;
    for (int32_t j = 0; j < target->count; ++j)
    {
        int32_t found = FindId(source, target->ids[j]);
        if (found < 0 && target->parents)
        {
            // Up the target's parent chain to the first ancestor the source has; a chain
            // longer than the table is a loop and ends the walk.
            uint8_t bone = static_cast<uint8_t>(j);
            for (int32_t steps = 0; steps < target->count && found < 0; ++steps)
            {
                const uint8_t parent = target->parents[bone];
                if (parent == BZ_BONE_NO_PARENT || parent >= target->count)
                    break;
                found = FindId(source, target->ids[parent]);
                bone = parent;
            }
        }
        remap[j] = static_cast<uint8_t>(found < 0 ? 0 : found);
    }
    source->remaps[to] = remap;
    return remap;
}

void bz_ResetBoneNameTables()
{
    for (BoneTable *&table : gTables)
    {
        if (!table)
            continue;
        for (uint8_t *remap : table->remaps)
            if (remap)
                bz_MemFree(remap);
        bz_MemFree(table);
        table = nullptr;
    }
    for (char *&name : gNames)
    {
        if (name)
            bz_MemFree(name);
        name = nullptr;
    }
}
