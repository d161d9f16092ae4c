// Stand-ins for the neighbours of the scene graph until they are built: models with a face list,
// a box and a checksum, colour materials, a collision layer that gathers and tests faces for a
// form, and a dynamics controller with an action replay that records events. Each installs its
// services for its lifetime and frees what it made.
#pragma once

#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "scene/ModelGeometry.h"
#include "scene/Lump.h"
#include "scene/SceneServices.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct bzOctree;

struct bzModel
{
    char name[32];
    int32_t refCount;
    std::vector<bzV3> vertices;
    std::vector<bzModelFace> faces;
    uint32_t checksum;                         // stored checksum word, 0 = none
    uint8_t partFlags;                         // bit 0: positions already welded for shadows
    int32_t welds;                             // times the positions were welded
    std::vector<bzMaterial *> materialEntries; // a face's material entry names one of these
    std::vector<bzV2> texCoords;               // one per vertex, or none
    uint32_t modelFlags;                       // BZ_MODEL_NO_CHECKSUM
    bzBox box;                                 // kept by FakeModels::Refresh
    bzV3 centre;
    float radius;
    int32_t noBox;    // the model reports no bounds
    bzOctree *octree; // an octree of the model's own faces, or null
    int32_t posed;    // a skinned lump of the model is posed: its vertices moved by poseOffset
    bzV3 poseOffset;
    int32_t poseFails; // the posed bounds cannot be computed
    int32_t boneCount; // bones of its stand-in skeleton
};

// The fake models' skin instance: the model first, as the scene reads it, and the bone count
// of its skeleton when it was made.
struct bzSkinInstance
{
    bzModel *model;
    int32_t boneCount;
};

struct bzMaterial
{
    char name[32];
    int32_t refCount;
    bzColour colour;
    uint32_t flags;
    uint32_t updatedWith;
    uint8_t sideFlags; // BZ_RAY_MATERIAL_TWO_SIDED
    uint32_t rayClass;
};

// The xor of the face words, rotated left one bit per word.
inline uint32_t FakeModelChecksum(const bzModel *model)
{
    uint32_t sum = 0;
    for (const bzModelFace &f : model->faces)
    {
        const uint32_t words[4] = {f.v[0], f.v[1], f.v[2],
                                   (uint32_t)f.entry | (uint32_t)f.flags << 16};
        for (uint32_t w : words)
            sum = ((sum << 1) | (sum >> 31)) ^ w;
    }
    return sum;
}

// The checksum the models subsystem computes with its switches: the face words (switch 1), the
// bits of the vertex positions (switch 2), rotated left one bit per element (switch 3).
inline uint32_t FakeModelChecksumOf(const bzModel *model, int32_t faces, int32_t positions,
                                    int32_t rotate)
{
    uint32_t sum = 0;
    auto add = [&](uint32_t w) { sum = (rotate ? ((sum << 1) | (sum >> 31)) : sum) ^ w; };
    if (faces)
        for (const bzModelFace &f : model->faces)
        {
            add(f.v[0]);
            add(f.v[1]);
            add(f.v[2]);
            add((uint32_t)f.entry | (uint32_t)f.flags << 16);
        }
    if (positions)
        for (const bzV3 &v : model->vertices)
            for (float c : v.v)
            {
                uint32_t bits;
                std::memcpy(&bits, &c, 4);
                add(bits);
            }
    return sum;
}

class FakeModels
{
public:
    static inline FakeModels *current;

    FakeModels()
    {
        current = this;
        const bzSceneModelServices services = {
            [](bzModel *m) { m->refCount++; },
            [](bzModel *m)
            {
                m->refCount--;
                current->releases++;
            },
            [](const bzModel *m) -> const char * { return m->name; },
            [](const char *name, bzColour colour) -> bzMaterial *
            { return current->NewMaterial(name ? name : "", colour); },
            [](bzMaterial *m, uint32_t bits) { m->flags &= ~bits; },
            [](bzMaterial *m, uint32_t value) { m->updatedWith = value; },
            [](bzMaterial *m) { m->refCount++; },
            [](bzMaterial *m) { m->refCount--; },
            [](const char *path) -> bzModel *
            {
                if (std::strstr(path, "MISSING"))
                    return nullptr;
                return current->NewModel(path);
            },
            [](bzModel *m, const bzM34 *matrix) -> int32_t
            {
                for (bzV3 &v : m->vertices)
                    bz_M34_TransformPoint(matrix, &v);
                Refresh(m);
                return 0;
            },
            [](bzModel *m)
            {
                if (!(m->partFlags & 1))
                {
                    m->welds++;
                    m->partFlags |= 1;
                }
            },
            [](bzModel *m) -> bzSkinInstance *
            {
                m->refCount++;
                current->skinInstances++;
                return new bzSkinInstance{m, m->boneCount};
            },
            [](bzSkinInstance *instance)
            {
                instance->model->refCount--;
                current->skinInstances--;
                delete instance;
            },
            [](const char *folder, bzLump *root) -> int32_t
            {
                current->resourceSaves.push_back({folder, root});
                return current->resourceSaveResult;
            },
        };
        bz_Scene_SetModelServices(&services);
        const bzSceneGeometryServices geometry = {
            [](const bzModel *m, bzModelMesh *out) -> int32_t
            {
                out->positions = m->vertices.data();
                out->vertexCount = (uint32_t)m->vertices.size();
                out->faces = m->faces.data();
                out->faceCount = (uint32_t)m->faces.size();
                out->materialEntries = (const uint8_t *)m->materialEntries.data();
                out->materialEntryCount = (uint32_t)m->materialEntries.size();
                out->materialEntrySize = sizeof(bzMaterial *);
                return 1;
            },
            [](const bzModel *m, bzBox *box, bzV3 *centre, float *radius) -> int32_t
            {
                if (m->noBox)
                    return 0;
                *box = m->box;
                *centre = m->centre;
                *radius = m->radius;
                return 1;
            },
            [](const bzMaterial *m, bzMaterialRayInfo *out)
            {
                out->flags = m->flags;
                out->sideFlags = m->sideFlags;
                out->rayClass = m->rayClass;
            },
            [](const bzModel *m, uint32_t face, bzV2 *out) -> int32_t
            {
                if (face >= m->faces.size() || m->texCoords.size() < m->vertices.size())
                    return 0;
                for (int i = 0; i < 3; i++)
                    out[i] = m->texCoords[m->faces[face].v[i]];
                return 1;
            },
            [](const bzModel *m) -> uint32_t { return m->checksum; },
            [](const bzModel *m) -> uint32_t { return m->modelFlags; },
            [](const bzModel *m, int32_t a, int32_t b, int32_t c) -> uint32_t
            {
                current->checksumsComputed++;
                return FakeModelChecksumOf(m, a, b, c);
            },
            [](bzMaterial *m, uint32_t bits) { m->flags |= bits; },
            [](const bzModel *m) -> bzOctree * { return m->octree; },
            [](const char *name, const bzV3 *positions, uint32_t vertexCount,
               const bzModelFace *faces, uint32_t faceCount, bzMaterial *material) -> bzModel *
            {
                bzModel *m = current->NewModel(name);
                m->vertices.assign(positions, positions + vertexCount);
                m->faces.assign(faces, faces + faceCount);
                m->materialEntries = {material};
                if (material)
                    material->refCount++;
                m->checksum = 0;
                Refresh(m);
                return m;
            },
            [](const bzLump *lump) -> int32_t
            {
                const bzModel *m = bz_Lump_GetModel(lump);
                return m && m->posed;
            },
            [](bzLump *lump, bzBox *out) -> int32_t
            {
                const bzModel *m = bz_Lump_GetModel(lump);
                if (!m || m->poseFails)
                    return -1;
                *out = m->box;
                return 0;
            },
            [](bzLump *lump) -> bzV3 *
            {
                const bzModel *m = bz_Lump_GetModel(lump);
                bzV3 *posed =
                    (bzV3 *)bz_TempStack_Alloc(1, (uint32_t)(m->vertices.size() * sizeof(bzV3)), 0);
                if (!posed)
                    return nullptr;
                for (size_t i = 0; i < m->vertices.size(); i++)
                    bz_V3_AddInto(&m->vertices[i], &m->poseOffset, &posed[i]);
                return posed;
            },
            nullptr, // freed as a block of temporary stack 1
        };
        bz_Scene_SetGeometryServices(&geometry);
    }
    ~FakeModels()
    {
        bz_Scene_SetModelServices(nullptr);
        bz_Scene_SetGeometryServices(nullptr);
        current = nullptr;
    }

    // The box, centre and radius from the vertices.
    static void Refresh(bzModel *m)
    {
        if (m->vertices.empty())
        {
            m->box = {};
            m->centre = {};
            m->radius = 0;
            return;
        }
        bz_Box_FromPoints(m->vertices.data(), (int32_t)m->vertices.size(), &m->box);
        for (int j = 0; j < 3; j++)
            m->centre.v[j] = (m->box.min.v[j] + m->box.max.v[j]) * 0.5f;
        m->radius = 0;
        for (const bzV3 &v : m->vertices)
        {
            const float d = bz_V3_Distance(&v, &m->centre);
            m->radius = d > m->radius ? d : m->radius;
        }
    }

    // A model of the given triangles (three corners each), one vertex per corner.
    bzModel *NewMesh(const std::string &name, const std::vector<bzV3> &corners,
                     bzMaterial *material = nullptr)
    {
        bzModel *m = NewModel(name);
        m->vertices = corners;
        m->faces.clear();
        for (uint32_t k = 0; k + 2 < corners.size(); k += 3)
            m->faces.push_back({{k, k + 1, k + 2}, 0, 0});
        if (material)
            m->materialEntries = {material};
        m->checksum = 0;
        Refresh(m);
        return m;
    }

    // A model with one reference (its maker's), four vertices and two faces.
    bzModel *NewModel(const std::string &name)
    {
        models.push_back(std::make_unique<bzModel>());
        bzModel *m = models.back().get();
        std::strncpy(m->name, name.c_str(), sizeof m->name - 1);
        m->refCount = 1;
        m->vertices = {{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{1, 1, 0}}}};
        m->faces = {{{0, 1, 2}, 0, 0}, {{2, 1, 3}, 0, 1}};
        m->checksum = FakeModelChecksum(m);
        Refresh(m);
        return m;
    }
    bzMaterial *NewMaterial(const std::string &name, bzColour colour)
    {
        materials.push_back(std::make_unique<bzMaterial>());
        bzMaterial *m = materials.back().get();
        std::strncpy(m->name, name.c_str(), sizeof m->name - 1);
        m->refCount = 1;
        m->colour = colour;
        m->flags = 0xFF;
        return m;
    }

    std::vector<std::unique_ptr<bzModel>> models;
    std::vector<std::unique_ptr<bzMaterial>> materials;
    int releases = 0;
    int skinInstances = 0; // made and not yet freed
    int checksumsComputed = 0;
    // The calls to save a tree's models and materials, and what they give.
    struct ResourceSave
    {
        std::string folder;
        bzLump *root;
    };
    std::vector<ResourceSave> resourceSaves;
    int32_t resourceSaveResult = 0;
};

// A collision layer whose form is a box: it gathers the faces of the tree's models whose
// triangles (placed by their lumps' transforms into the tree's space) meet the box, and its
// test reports a hit when any gathered face lies within the form's reach of its centre.
struct bzForm
{
    bzBox bounds;
    float reach; // the test hits when a gathered corner lies within reach of the box centre
};

class FakeForms
{
public:
    static inline FakeForms *current;
    struct Header
    {
        int32_t count;
        int32_t capacity;
        bzV3 *corners;
    };

    FakeForms()
    {
        current = this;
        const bzSceneFormServices services = {
            [](bzForm *form, bzLump *tree, void *header, void *buffer, int32_t capacity) -> int32_t
            {
                current->gathers++;
                Header *h = (Header *)header;
                h->count = 0;
                h->capacity = capacity;
                h->corners = (bzV3 *)buffer;
                struct Walk
                {
                    bzForm *form;
                    Header *h;
                };
                Walk walk = {form, h};
                bz_Lump_WalkFromRoot(
                    tree,
                    [](bzLump *lump, const bzM34 *matrix, void *user) -> intptr_t
                    {
                        Walk *w = (Walk *)user;
                        const bzModel *m = bz_Lump_GetModel(lump);
                        if (!m)
                            return 0;
                        for (const bzModelFace &f : m->faces)
                        {
                            bzV3 v[3];
                            bool inside = false;
                            for (int i = 0; i < 3; i++)
                            {
                                bz_M34_TransformPointInto(matrix, &v[i], &m->vertices[f.v[i]]);
                                inside |= bz_Box_PointInside(&v[i], &w->form->bounds) != 0;
                            }
                            if (inside && w->h->count < w->h->capacity)
                                for (int i = 0; i < 3; i++)
                                    w->h->corners[w->h->count * 3 + i] = v[i];
                            if (inside && w->h->count < w->h->capacity)
                                w->h->count++;
                        }
                        return 0;
                    },
                    &walk);
                return h->count;
            },
            [](void *header, bzForm *form) -> int32_t
            {
                current->tests++;
                const Header *h = (const Header *)header;
                bzV3 centre;
                for (int j = 0; j < 3; j++)
                    centre.v[j] = (form->bounds.min.v[j] + form->bounds.max.v[j]) * 0.5f;
                for (int32_t k = 0; k < h->count * 3; k++)
                    if (bz_V3_Distance(&h->corners[k], &centre) <= form->reach)
                        return 1;
                return 0;
            },
        };
        bz_Scene_SetFormServices(&services);
    }
    ~FakeForms()
    {
        bz_Scene_SetFormServices(nullptr);
        current = nullptr;
    }

    int gathers = 0;
    int tests = 0;
};

// A dynamics element with its matrix attribute, a dynamics object with its override word, and a
// replay that records every event with the name of its session.
struct FakeElement
{
    bzM34 attribute;
    int32_t currentClass; // non-zero: the element is of the controller's current class
    int32_t announced;    // changes announced
};

struct FakeBody
{
    int32_t overrideWord;
};

class FakeDynamics
{
public:
    static inline FakeDynamics *current;

    struct Session
    {
        std::string name;
        uint32_t elementSize;
    };
    struct Event
    {
        std::string session;
        bzLumpMatrixModeEvent data;
    };

    FakeDynamics()
    {
        current = this;
        const bzSceneDynamicsServices services = {
            [](void *element) -> bzM34 *
            {
                FakeElement *e = (FakeElement *)element;
                if (!e->currentClass)
                    return nullptr;
                e->announced++;
                return &e->attribute;
            },
            [](const void *object) -> int32_t { return ((const FakeBody *)object)->overrideWord; },
            [](void *) { current->calls.push_back("links"); },
            [](bzLump *) { current->calls.push_back("mechanics"); },
            [](bzLump *) { current->calls.push_back("element"); },
            [](const char *name, uint32_t size) -> void *
            {
                current->sessions.push_back({name, size});
                return (void *)(intptr_t)current->sessions.size();
            },
            [](void *session, const void *data) -> int32_t
            {
                const size_t k = (size_t)(intptr_t)session - 1;
                current->events.push_back(
                    {current->sessions.at(k).name, *(const bzLumpMatrixModeEvent *)data});
                return 0;
            },
        };
        bz_Scene_SetDynamicsServices(&services);
    }
    ~FakeDynamics()
    {
        bz_Scene_SetDynamicsServices(nullptr);
        current = nullptr;
    }

    std::vector<std::string> calls;
    std::vector<Session> sessions;
    std::vector<Event> events;
};
