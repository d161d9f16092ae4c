#include "models/TriStrips.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Progress.h"
#include "device/RenderTable.h"

#include <cstring>
#include <initializer_list>

namespace
{
// One triangle's neighbours while strips are built.
struct Adjacency
{
    uint32_t share[4];     // bits 0-2 own shared corners, bits 4-6 the neighbour's
    uint32_t neighbour[3]; // triangle numbers
    uint32_t edge[3][3];   // shared edge start, end (neighbour's winding), opposite vertex
    uint32_t count;        // 0 to 3
    uint32_t used;         // 1 once in a strip
};
static_assert(sizeof(Adjacency) == 72);

void FindNeighbours(const uint32_t *tris, int32_t count, Adjacency *adj)
{
    for (int32_t f = 0; f < count; ++f)
    {
        const uint32_t *fc = &tris[3 * f];
        Adjacency &a = adj[f];
        for (int32_t g = 0; g < count && a.count < 3; ++g)
        {
            const uint32_t *gc = &tris[3 * g];
            uint32_t own = 0, theirs = 0;
            int32_t matched = 0;
            for (int32_t k = 0; k < 3; ++k)
                for (int32_t j = 0; j < 3; ++j)
                    if (gc[k] == fc[j])
                    {
                        own |= 1u << j;
                        theirs |= 0x10u << k;
                        ++matched;
                        break;
                    }
            if (matched != 2)
                continue;
            const uint32_t slot = a.count++;
            a.share[slot] = own | theirs;
            a.neighbour[slot] = static_cast<uint32_t>(g);
            uint32_t *e = a.edge[slot];
            if (theirs == 0x30) // corners 0 and 1
                e[0] = gc[0], e[1] = gc[1], e[2] = gc[2];
            else if (theirs == 0x50) // corners 0 and 2
                e[0] = gc[2], e[1] = gc[0], e[2] = gc[1];
            else // corners 1 and 2
                e[0] = gc[1], e[1] = gc[2], e[2] = gc[0];
        }
    }
}

// The first three strip vertices from a triangle and the corners it shares; false when the
// shared corners are not two different ones (a triangle with a repeated vertex).
bool StartVertices(const uint32_t *c, uint32_t share, uint32_t *p, uint32_t *q, uint32_t *r)
{
    switch (share & 7)
    {
    case 3: *p = c[2], *q = c[0], *r = c[1]; return true;
    case 5: *p = c[1], *q = c[2], *r = c[0]; return true;
    case 6: *p = c[0], *q = c[1], *r = c[2]; return true;
    default: return false;
    }
}

// Grows one strip from triangle f into out; its length, or 0 when no neighbour joined it.
int32_t GrowStrip(const uint32_t *tris, Adjacency *adj, int32_t f, uint32_t *out)
{
    uint32_t p = 0, q = 0, r = 0;
    int32_t t = 0;
    int32_t current = f;
    for (;;)
    {
        bool grown = false;
        for (int32_t pass = 0; pass < 2 && !grown; ++pass) // plain step, then swap step
        {
            const Adjacency &a = adj[current];
            for (uint32_t slot = 0; slot < a.count && !grown; ++slot)
            {
                const uint32_t n = a.neighbour[slot];
                if (adj[n].used)
                    continue;
                if (t == 0)
                {
                    if (!StartVertices(&tris[3 * current], a.share[slot], &p, &q, &r))
                        continue;
                    out[0] = p, out[1] = q, out[2] = r;
                }
                const uint32_t start = a.edge[slot][0], end = a.edge[slot][1];
                const uint32_t s = a.edge[slot][2];
                const bool even = (t % 2) == 0;
                if (pass == 0)
                {
                    if (!(even ? (start == r && end == q) : (start == q && end == r)))
                        continue;
                    adj[n].used = 1;
                    adj[f].used = 1;
                    out[3 + t] = s;
                    p = q, q = r, r = s;
                    t += 1;
                }
                else
                {
                    if (!(even ? (start == p && end == r) : (start == r && end == p)))
                        continue;
                    adj[n].used = 1;
                    adj[f].used = 1;
                    // The tail p, q, r becomes p, q, p, r, s: one join triangle, then n.
                    out[2 + t] = p;
                    out[3 + t] = r;
                    out[4 + t] = s;
                    q = r, r = s;
                    t += 2;
                }
                current = static_cast<int32_t>(n);
                grown = true;
            }
        }
        if (!grown)
            return t >= 1 ? t + 3 : 0;
    }
}

uint32_t SaturatingLess(uint32_t total, uint32_t bytes)
{
    return total > bytes ? total - bytes : 0;
}

// Appends the drawn triangles of the entry's strip (joins left out, odd ones turned back to
// their winding) and then its list triangles, as part vertex numbers; the count of numbers.
uint32_t EntryTriangles(const bzMaterialEntry &e, uint32_t *out)
{
    uint32_t n = 0;
    for (uint32_t k = 2; e.stripIndices && k < e.stripIndexCount; ++k)
    {
        const uint32_t a = e.baseVertex + e.stripIndices[k - 2];
        const uint32_t b = e.baseVertex + e.stripIndices[k - 1];
        const uint32_t c = e.baseVertex + e.stripIndices[k];
        if (a == b || b == c || a == c)
            continue;
        out[n++] = a;
        if ((k - 2) % 2 == 0)
            out[n++] = b, out[n++] = c;
        else
            out[n++] = c, out[n++] = b;
    }
    for (uint32_t k = 0; e.listIndices && k < e.listIndexCount; ++k)
        out[n++] = e.listBaseVertex + e.listIndices[k];
    return n;
}

// Room for the numbers EntryTriangles writes.
uint32_t EntryTriangleRoom(const bzMaterialEntry &e)
{
    const uint32_t strip = e.stripIndexCount > 2 ? 3 * (e.stripIndexCount - 2) : 0;
    return strip + e.listIndexCount;
}

// Stores numbers as 16-bit indices above their smallest; false when memory runs out.
bool Relative(const uint32_t *numbers, uint32_t n, uint16_t **indices, uint32_t *base,
              uint32_t *span)
{
    *indices = nullptr;
    *base = 0;
    *span = 0;
    if (n == 0)
        return true;
    uint32_t lo = numbers[0], hi = numbers[0];
    for (uint32_t i = 1; i < n; ++i)
    {
        lo = numbers[i] < lo ? numbers[i] : lo;
        hi = numbers[i] > hi ? numbers[i] : hi;
    }
    BZ_ASSERT(hi - lo <= 0xFFFF);
    auto *out = static_cast<uint16_t *>(bz_MemAlloc(n * 2, 0));
    if (!out)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<uint16_t>(numbers[i] - lo);
    *indices = out;
    *base = lo;
    *span = hi - lo + 1;
    return true;
}

void FreeStrip(bzModelPart *part, bzMaterialEntry &e)
{
    if (e.stripIndices)
    {
        part->memSize = SaturatingLess(part->memSize, e.stripIndexCount * 2);
        bz_MemFree(e.stripIndices);
    }
    e.stripIndices = nullptr;
    e.stripIndexCount = 0;
    e.verticesUsed = 0;
    e.baseVertex = 0;
}

void FreeList(bzModelPart *part, bzMaterialEntry &e)
{
    if (e.listIndices)
    {
        part->memSize = SaturatingLess(part->memSize, e.listIndexCount * 2);
        bz_MemFree(e.listIndices);
    }
    e.listIndices = nullptr;
    e.listIndexCount = 0;
    e.listVertexSpan = 0;
    e.listBaseVertex = 0;
}

// Strips one entry; false when memory runs out (the entry is then unchanged).
bool StripEntry(bzModelPart *part, bzMaterialEntry &e)
{
    const uint32_t room = EntryTriangleRoom(e);
    const int32_t count = static_cast<int32_t>(room / 3);
    auto *tris = static_cast<uint32_t *>(bz_MemAlloc((room + 1) * 4, 0));
    auto *strips = static_cast<uint32_t *>(bz_MemAlloc((room + 1) * 4, 0));
    auto *lengths = static_cast<int32_t *>(bz_MemAlloc(BZ_TRISTRIP_MAX_STRIPS * 4, BZ_MEM_CLEAR));
    // The joined strip: 2 + the strip lengths - 2 each, + at most 5 a join.
    const uint32_t joinedRoom = room + 5 * static_cast<uint32_t>(count) + 2;
    auto *joined = static_cast<uint32_t *>(bz_MemAlloc(joinedRoom * 4, 0));
    bool ok = tris && strips && lengths && joined;
    if (ok)
    {
        const uint32_t n = EntryTriangles(e, tris);
        int32_t stripCount = 0;
        const int32_t left =
            BuildTriStrips(tris, static_cast<int32_t>(n / 3), strips, &stripCount, lengths);
        uint32_t j = 0;
        const uint32_t *s = strips;
        for (int32_t i = 0; i < stripCount; ++i)
        {
            const int32_t len = lengths[i];
            if (i == 0)
                joined[j++] = s[0], joined[j++] = s[1];
            for (int32_t k = 2; k < len; ++k)
                joined[j++] = s[k];
            if (i + 1 < stripCount)
            {
                const uint32_t *next = s + len;
                joined[j++] = s[len - 1];
                if ((len - 2) % 2 == 1)
                    joined[j++] = s[len - 1];
                joined[j++] = next[0];
                joined[j++] = next[0];
                joined[j++] = next[1];
            }
            s += len;
        }
        uint16_t *stripIndices = nullptr, *listIndices = nullptr;
        uint32_t stripBase = 0, stripSpan = 0, listBase = 0, listSpan = 0;
        ok = Relative(joined, j, &stripIndices, &stripBase, &stripSpan) &&
             Relative(tris, 3 * static_cast<uint32_t>(left), &listIndices, &listBase, &listSpan);
        if (ok)
        {
            FreeStrip(part, e);
            FreeList(part, e);
            e.stripIndices = stripIndices;
            e.stripIndexCount = j;
            e.baseVertex = stripBase;
            e.verticesUsed = stripSpan;
            e.listIndices = listIndices;
            e.listIndexCount = 3 * static_cast<uint32_t>(left);
            e.listBaseVertex = listBase;
            e.listVertexSpan = listSpan;
            part->memSize += 2 * (j + e.listIndexCount);
        }
        else if (stripIndices)
            bz_MemFree(stripIndices);
    }
    for (void *block : {static_cast<void *>(tris), static_cast<void *>(strips),
                        static_cast<void *>(lengths), static_cast<void *>(joined)})
        if (block)
            bz_MemFree(block);
    return ok;
}

bool UnstripEntry(bzModelPart *part, bzMaterialEntry &e)
{
    auto *tris = static_cast<uint32_t *>(bz_MemAlloc((EntryTriangleRoom(e) + 1) * 4, 0));
    if (!tris)
        return false;
    const uint32_t n = EntryTriangles(e, tris);
    uint16_t *list = nullptr;
    uint32_t base = 0, span = 0;
    const bool ok = Relative(tris, n, &list, &base, &span);
    bz_MemFree(tris);
    if (!ok)
        return false;
    FreeStrip(part, e);
    FreeList(part, e);
    e.listIndices = list;
    e.listIndexCount = n;
    e.listBaseVertex = base;
    e.listVertexSpan = span;
    part->memSize += 2 * n;
    return true;
}
} // namespace

int32_t BuildTriStrips(uint32_t *triangles, int32_t count, uint32_t *stripOut, int32_t *stripCount,
                       int32_t *lengths)
{
    BZ_ASSERT(stripCount && lengths && (count == 0 || (triangles && stripOut)));
    *stripCount = 0;
    if (count <= 0)
        return 0;
    auto *adj = static_cast<Adjacency *>(
        bz_MemAlloc(static_cast<uint32_t>(count) * sizeof(Adjacency), BZ_MEM_CLEAR));
    if (!adj)
        return count; // nothing stripped: every triangle is left over, in place
    FindNeighbours(triangles, count, adj);
    uint32_t cursor = 0;
    for (uint32_t pass = 1; pass <= 3; ++pass)
        for (int32_t f = 0; f < count && *stripCount < BZ_TRISTRIP_MAX_STRIPS; ++f)
        {
            if (adj[f].count != pass || adj[f].used)
                continue;
            const int32_t len = GrowStrip(triangles, adj, f, stripOut + cursor);
            if (len == 0)
                continue;
            lengths[(*stripCount)++] = len;
            cursor += static_cast<uint32_t>(len);
        }
    int32_t left = 0;
    for (int32_t f = 0; f < count; ++f)
        if (!adj[f].used)
        {
            std::memmove(&triangles[3 * left], &triangles[3 * f], 3 * sizeof(uint32_t));
            ++left;
        }
    bz_MemFree(adj);
    return left;
}

int32_t BuildModelTriStrips(bzModel *model)
{
    if (!model || !model->part)
        return 0;
    bzModelPart *part = model->part;
    bz_Progress_Begin(2 * part->entryCount);
    int32_t result = 0;
    for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
    {
        if (!StripEntry(part, part->entries[i]))
            result = bzgLastError = BZ_ERROR_NO_MEMORY;
        bz_Progress_Step();
    }
    bz_Progress_End();
    return result;
}

int32_t UndoModelTriStrips(bzModel *model)
{
    if (!model || !model->part)
        return 0;
    bzModelPart *part = model->part;
    bz_Progress_Begin(2 * part->entryCount);
    int32_t result = 0;
    for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
    {
        bzMaterialEntry &e = part->entries[i];
        bz_Progress_Step();
        if (!e.stripIndices)
            continue;
        if (!UnstripEntry(part, e))
            result = bzgLastError = BZ_ERROR_NO_MEMORY;
        if (bzgRenderTable.PDRebuildModelIndices)
            bzgRenderTable.PDRebuildModelIndices(model);
        bz_Progress_Step();
    }
    bz_Progress_End();
    return result;
}

int32_t ModelHasTriStrips(const bzModel *model)
{
    if (!model || !model->part)
        return 0;
    for (int32_t i = 0; model->part->entries && i < model->part->entryCount; ++i)
        if (model->part->entries[i].stripIndexCount != 0)
            return 1;
    return 0;
}
