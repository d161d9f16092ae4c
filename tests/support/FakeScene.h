// Stand-ins for the neighbours of the scene graph until they are built: models with a face list
// and a checksum, colour materials, and a dynamics controller with an action replay that
// records events. Each installs its services for its lifetime and frees what it made.
#pragma once

#include "maths/Vector.h"
#include "scene/SceneServices.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct bzModelFace
{
    uint32_t vertex[3];
    uint16_t materialEntry;
    uint16_t flags;
};

struct bzModel
{
    char name[32];
    int32_t refCount;
    std::vector<bzV3> vertices;
    std::vector<bzModelFace> faces;
    uint32_t checksum; // stored checksum word, 0 = none
    uint8_t partFlags; // bit 0: positions already welded for shadows
    int32_t welds;     // times the positions were welded
};

struct bzMaterial
{
    char name[32];
    int32_t refCount;
    bzColour colour;
    uint32_t flags;
    uint32_t updatedWith;
};

// The xor of the face words, rotated left one bit per word.
inline uint32_t FakeModelChecksum(const bzModel *model)
{
    uint32_t sum = 0;
    for (const bzModelFace &f : model->faces)
    {
        const uint32_t words[4] = {f.vertex[0], f.vertex[1], f.vertex[2],
                                   (uint32_t)f.materialEntry | (uint32_t)f.flags << 16};
        for (uint32_t w : words)
            sum = ((sum << 1) | (sum >> 31)) ^ w;
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
        };
        bz_Scene_SetModelServices(&services);
    }
    ~FakeModels()
    {
        bz_Scene_SetModelServices(nullptr);
        current = nullptr;
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
