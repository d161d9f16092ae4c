// The debug display of an octree: lumps that draw the planes its nodes split their cells by.
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/Octree.h"
#include "scene/SceneServices.h"

namespace
{
// The packed colour of the planes: white, a quarter opaque.
constexpr bzColour kPlaneColour = 0x40FFFFFFu;

bzLump *NodeLumps(const bzOctreeNode *node, const bzBox *cell, bzMaterial *material, int32_t depth)
{
    bzV3 positions[8];
    bzModelFace faces[4] = {};
    uint32_t v = 0, f = 0;
    const bzV3 c = {{{(cell->min.x + cell->max.x) * 0.5f, (cell->min.y + cell->max.y) * 0.5f,
                      (cell->min.z + cell->max.z) * 0.5f}}};
    auto quad = [&](const bzV3 &a, const bzV3 &b, const bzV3 &d, const bzV3 &e)
    {
        positions[v] = a;
        positions[v + 1] = b;
        positions[v + 2] = d;
        positions[v + 3] = e;
        faces[f++] = {{v, v + 1, v + 2}, 0, 0};
        faces[f++] = {{v, v + 2, v + 3}, 0, 0};
        v += 4;
    };
    const bzBox &b = *cell;
    if (node->splitMask & 1)
        quad({{{c.x, b.min.y, b.min.z}}}, {{{c.x, b.max.y, b.min.z}}}, {{{c.x, b.max.y, b.max.z}}},
             {{{c.x, b.min.y, b.max.z}}});
    if (node->splitMask & 4)
        quad({{{b.min.x, b.min.y, c.z}}}, {{{b.max.x, b.min.y, c.z}}}, {{{b.max.x, b.max.y, c.z}}},
             {{{b.min.x, b.max.y, c.z}}});
    bzLump *lump = nullptr;
    if (f)
    {
        bzModel *model = bz_Scene_CreateModel("OctreeSplit", positions, v, faces, f, material);
        if (model)
        {
            lump = bz_Lump_CreateModel(model);
            bz_Scene_ReleaseModel(model); // the lump holds it now
        }
    }
    if (!lump)
        lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "OctreeNode");
    if (!lump)
        return nullptr;
    for (int32_t octant = 0; octant < 8; octant++)
    {
        bzBox child;
        if ((node->leafMask & (1u << octant)) || depth + 1 >= BZ_OCTREE_MAX_DEPTH ||
            !OctreeChildBox(cell, node, &child, octant))
            continue;
        bzLump *sub = NodeLumps(static_cast<const bzOctreeNode *>(node->child[octant]), &child,
                                material, depth + 1);
        if (sub)
        {
            bz_Lump_Detach(sub);
            bz_Lump_Attach(lump, sub);
        }
    }
    return lump;
}
} // namespace

bzLump *bzOctree_MakeDebugLumps(const bzOctree *octree)
{
    if (!octree || !octree->root)
        return nullptr;
    bzMaterial *material = bz_Scene_CreateMaterialWithColour("OctreePlanes", kPlaneColour);
    bz_Scene_ClearMaterialFlags(material, 0x8);
    bz_Scene_SetMaterialFlags(material, 0x44);
    bz_Scene_UpdateMaterial(material, 0);
    bzLump *lump = NodeLumps(octree->root, &octree->bounds, material, 0);
    bz_Scene_ReleaseMaterial(material); // the models hold it
    return lump;
}
