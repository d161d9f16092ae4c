// Loading a vehicle from the "[DYNAMICS]" section of its text data file, and the handling
// console lines that set its handling values.
#include "collision/Form.h"
#include "collision/Shape.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/CarInternal.h"
#include "physics/CarPhysics.h"
#include "physics/PhysSettings.h"
#include "physics/Vehicle.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "models/Model.h"
#include "scene/Lump.h"
#include "text/Text.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace bzCar;

namespace
{
constexpr float kDefaultMass = 1250.0f;
constexpr float kMinRideHeight = 0.02f;
constexpr float kMaxMass = 1e7f;

bool IsSwitch(int32_t index)
{
    return index == BZ_H_BumpSteer || index == BZ_H_OldWheelModel || index == BZ_H_GearBox ||
           index == BZ_H_Engine || index == BZ_H_LimitRevs;
}

// The first token of a line, separators comma, blank and tab.
const char *FirstToken(char *line, char **rest)
{
    char *save = nullptr;
    char *token = strtok_r(line, ", \t\r", &save);
    *rest = save;
    return token;
}

// The name inside a key's angle brackets (the reader gives them with it).
const char *KeyName(char *key)
{
    if (key[0] == '<')
        key++;
    if (char *close = std::strchr(key, '>'))
        *close = 0;
    return key;
}

bool ParseFloat(const char *text, float *out)
{
    if (!text)
        return false;
    char *end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}
} // namespace

int32_t bz_DynVehicle_IsBodyLump(const bzLump *lump)
{
    const char *name = bz_Lump_GetName(lump);
    if (!name)
        return 1;
    return std::strncmp(name, "LIT", 3) == 0 || std::strncmp(name, "spoiler", 7) == 0 ? 0 : 1;
}

namespace
{
intptr_t AddModelBox(bzLump *lump, void *user)
{
    if (const bzModel *model = bz_Lump_GetModel(lump))
    {
        const float corners[6] = {model->boxMin.x, model->boxMin.y, model->boxMin.z,
                                  model->boxMax.x, model->boxMax.y, model->boxMax.z};
        auto *sum = static_cast<uint32_t *>(user);
        for (float f : corners)
        {
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            *sum += bits;
        }
    }
    return 0;
}

bzM34 Identity()
{
    bzM34 m;
    for (int32_t k = 0; k < 4; k++)
        m.row[k] = V(k == 0 ? 1.0f : 0.0f, k == 1 ? 1.0f : 0.0f, k == 2 ? 1.0f : 0.0f);
    return m;
}

// Grows box by the model boxes of the body lumps of the subtree, placed by m (the lump's frame
// into the car's); a refused lump is left out with its subtree.
bool AddBodyBoxes(bzBox *box, const bzLump *lump, const bzM34 &m)
{
    bool found = false;
    if (const bzModel *model = bz_Lump_GetModel(lump))
    {
        const bzBox own = {model->boxMin, model->boxMax};
        bzBox placed;
        bz_Box_TransformInto(&own, &m, &placed);
        for (int32_t k = 0; k < 3; k++)
        {
            box->min.v[k] = std::min(box->min.v[k], placed.min.v[k]);
            box->max.v[k] = std::max(box->max.v[k], placed.max.v[k]);
        }
        found = true;
    }
    for (const bzLump *child = lump->firstChild; child; child = child->next)
    {
        if (!bz_DynVehicle_IsBodyLump(child))
            continue;
        bzM34 cm = child->matrix;
        bz_M34_PostMul(&cm, &m);
        found = AddBodyBoxes(box, child, cm) || found;
    }
    return found;
}
} // namespace

namespace
{
// The side profile of the car's models: what lies below the cut (the footprint), the length
// of what stands above it in the middle of the car (the cabin), and the height of the car's
// front and rear ends.
struct SideProfile
{
    float cut, z5, z95;
    bool footprint;
    float x0, x1, z0, z1;
    bool cabin;
    float c0, c1;
    float front, rear;
};

intptr_t ProfileVertices(bzLump *lump, const bzM34 *m, void *user)
{
    const bzModel *model = bz_Lump_GetModel(lump);
    if (!model || !model->part || !model->part->positions[0])
        return 0;
    auto *p = static_cast<SideProfile *>(user);
    const bzV3 *positions = model->part->positions[0];
    for (int32_t k = 0; k < model->part->vertexCount; k++)
    {
        const bzV3 v = Point(m, positions[k]);
        if (!std::isfinite(v.x + v.y + v.z))
            continue;
        if (v.y < p->cut)
        {
            p->x0 = p->footprint ? std::min(p->x0, v.x) : v.x;
            p->x1 = p->footprint ? std::max(p->x1, v.x) : v.x;
            p->z0 = p->footprint ? std::min(p->z0, v.z) : v.z;
            p->z1 = p->footprint ? std::max(p->z1, v.z) : v.z;
            p->footprint = true;
        }
        else if (v.z >= p->z5 && v.z <= p->z95)
        {
            p->c0 = p->cabin ? std::min(p->c0, v.z) : v.z;
            p->c1 = p->cabin ? std::max(p->c1, v.z) : v.z;
            p->cabin = true;
        }
        if (v.z > p->z95)
            p->front = std::max(p->front, v.y);
        if (v.z < p->z5)
            p->rear = std::max(p->rear, v.y);
    }
    return 0;
}

// The 12-vertex side-profile polyhedron of the car's models within the box (bottom already at
// the ride height), pulled in from the sides by `in`; null when the models give no footprint
// or the hull cannot be built.
bzForm *ProfileShape(bzLump *carLump, const bzBox &box, float in)
{
    if (!carLump)
        return nullptr;
    const float bottom = box.min.y, top = box.max.y;
    const float length = box.max.z - box.min.z;
    SideProfile p{};
    p.cut = bottom + 0.9f * (top - bottom);
    p.z5 = box.min.z + 0.05f * length;
    p.z95 = box.min.z + 0.95f * length;
    const bzM34 identity = Identity();
    for (int32_t walk = 0; walk < 2; walk++)
    {
        const float cut = p.cut;
        p = SideProfile{};
        p.cut = cut;
        p.z5 = box.min.z + 0.05f * length;
        p.z95 = box.min.z + 0.95f * length;
        // The front and rear heights start at the bottom: an end without vertices is flat.
        p.front = p.rear = bottom;
        bz_Lump_WalkWithMatrix(carLump, ProfileVertices, &identity, &p);
        if (p.cabin || walk == 1)
            break;
        p.cut = bottom + 0.9f * (cut - bottom);
    }
    if (!p.footprint)
        return nullptr;
    if (!p.cabin)
    {
        p.c0 = p.z0;
        p.c1 = p.z1;
    }
    float x0 = p.x0, x1 = p.x1;
    if (x1 - x0 > 2.0f * in)
    {
        x0 += in;
        x1 -= in;
    }
    const float front = std::clamp(p.front, bottom, top);
    const float rear = std::clamp(p.rear, bottom, top);
    // The profile in (z, y), from the rear bottom forward and back over the roof.
    const float profile[6][2] = {{p.z0, bottom}, {p.z1, bottom}, {p.z1, front},
                                 {p.c1, top},    {p.c0, top},    {p.z0, rear}};
    bzForm *form = bz_Form_Alloc(nullptr, BZ_SHAPE_POLYHEDRON, 12);
    if (!form)
        return nullptr;
    bzHull *hull = bz_Shape_Hull(form->firstShape);
    for (int32_t side = 0; side < 2; side++)
        for (int32_t k = 0; k < 6; k++)
            hull->vertices[side * 6 + k] = V(side ? x1 : x0, profile[k][1], profile[k][0]);
    hull->vertexCount = 12;
    bz_Form_CalcBounds(form, 1);
    if (hull->faceCount < 4)
    {
        bz_Form_Free(form);
        return nullptr;
    }
    return form;
}
} // namespace

int32_t bz_DynVehicle_ShapeCheckSum(bzLump *carLump)
{
    uint32_t sum = 0;
    if (carLump)
        bz_Lump_Walk(carLump, AddModelBox, &sum);
    return static_cast<int32_t>(sum);
}

namespace
{
int32_t LineEnd(const bzTextReader *r, int32_t at)
{
    while (at < r->size && r->text[at] != '\n')
        at++;
    return at < r->size ? at + 1 : at;
}

// The first non-blank byte of the line at `at`, or 0.
uint8_t LineHead(const bzTextReader *r, int32_t at, int32_t *headAt)
{
    while (at < r->size && (r->text[at] == ' ' || r->text[at] == '\t'))
        at++;
    *headAt = at;
    return at < r->size ? r->text[at] : 0;
}

// The key line at `at` names "<name>" (letter case aside).
bool KeyIs(const bzTextReader *r, int32_t at, const char *name)
{
    const int32_t n = static_cast<int32_t>(std::strlen(name));
    return at + n + 1 < r->size &&
           strncasecmp(reinterpret_cast<const char *>(r->text) + at + 1, name, n) == 0 &&
           r->text[at + n + 1] == '>';
}
} // namespace

int32_t bz_DynVehicle_ComposeShapeText(bzTextReader *reader, const char *shapeText, int32_t length,
                                       int32_t checkSum)
{
    if (!reader || !reader->text || (!shapeText && length > 0) || length < 0)
        return 0;
    char tail[64];
    const int32_t tailLength =
        std::snprintf(tail, sizeof tail, "\n<ShapeCheckSum>\n%d\n\n", static_cast<int>(checkSum));
    static const char kHead[] = "<Shape>\n";
    const int32_t headLength = static_cast<int32_t>(sizeof kHead - 1);
    if (headLength + length + tailLength + 1 > BZ_VEHICLE_SHAPE_TEXT_MAX)
        return 0;
    // The section's first line after its name.
    int32_t at = 0, head = 0;
    bool found = false;
    while (at < reader->size && !found)
    {
        found =
            LineHead(reader, at, &head) == '[' && head + 10 <= reader->size &&
            strncasecmp(reinterpret_cast<const char *>(reader->text) + head, "[DYNAMICS]", 10) == 0;
        at = LineEnd(reader, at);
    }
    if (!found)
        return 0;
    // Drop the old keys with their value lines; stop at the next section.
    while (at < reader->size)
    {
        const uint8_t c = LineHead(reader, at, &head);
        if (c == '[')
            break;
        if (c == '<' && (KeyIs(reader, head, "Shape") || KeyIs(reader, head, "ShapeCheckSum")))
        {
            int32_t end = LineEnd(reader, at);
            int32_t next = 0;
            while (end < reader->size)
            {
                const uint8_t d = LineHead(reader, end, &next);
                if (d == '<' || d == '[')
                    break;
                end = LineEnd(reader, end);
            }
            if (!bz_Text_Replace(reader, at, end, "", 0))
                return 0;
            continue;
        }
        at = LineEnd(reader, at);
    }
    // The composed text, with a line feed before it when the section's last line has none.
    char text[BZ_VEHICLE_SHAPE_TEXT_MAX];
    int32_t n = 0;
    if (at > 0 && reader->text[at - 1] != '\n')
        text[n++] = '\n';
    std::memcpy(text + n, kHead, headLength);
    n += headLength;
    if (length > 0)
        std::memcpy(text + n, shapeText, length);
    n += length;
    std::memcpy(text + n, tail, tailLength);
    n += tailLength;
    return bz_Text_Replace(reader, at, at, text, n) ? 1 : 0;
}

int32_t CarConsole_ParseArgs(bzTextReader *reader, bzDynVehicle *car)
{
    if (!reader || !car || !car->handling)
        return 0;
    int32_t set = 0;
    while (char *line = bz_Script_ReadValueLine(reader))
    {
        char *rest = nullptr;
        const char *name = FirstToken(line, &rest);
        const int32_t index = bz_DynVehicle_HandlingIndex(name);
        if (index < 0)
            continue;
        char *save = nullptr;
        const char *value = rest ? strtok_r(rest, ", \t\r", &save) : nullptr;
        if (!value)
            continue;
        if (index == BZ_H_Torque || index == BZ_H_GearRatios)
        {
            // Their values live in the drive state: the torque curve at 0, 1000, ... 9000 rpm,
            // and the gear ratios from reverse up (neutral keeps 0). Values past the table's
            // end are left out; one that is not a number ends the line.
            if (!car->drive)
                continue;
            bzDynVehicleDrive *d = car->drive;
            float *to = index == BZ_H_Torque ? d->torqueCurve : d->ratioTable;
            const int32_t room =
                index == BZ_H_Torque ? BZ_DRIVE_CURVE_POINTS : BZ_DRIVE_MAX_GEARS + 2;
            int32_t at = 0, taken = 0;
            for (; value && at < room; value = strtok_r(nullptr, ", \t\r", &save))
            {
                if (index == BZ_H_GearRatios && at == 1)
                    at++; // neutral
                float v;
                if (!ParseFloat(value, &v))
                    break;
                to[at++] = v;
                taken++;
            }
            if (!taken)
                continue;
            car->handling->changed = 1;
            set++;
            continue;
        }
        bzHandlingValue &slot = car->handling->values[index];
        if (IsSwitch(index))
        {
            // The rev limiter's "on" is stored with a blank.
            if (index == BZ_H_LimitRevs && strcasecmp(value, "on") == 0)
                bz_DynVehicle_SetSwitch(&slot, "on ");
            else
                bz_DynVehicle_SetSwitch(&slot, value);
        }
        else if (!ParseFloat(value, &slot.f))
            continue;
        car->handling->changed = 1;
        set++;
    }
    return set;
}

bzDynVehicle *bz_DynVehicle_Load(bzLump *carLump, bzTextReader *file, bzTextReader *handling)
{
    bzDynVehicle *car = bz_DynVehicle_Alloc(carLump);
    if (!car)
    {
        bz_ReportError("bz_DynVehicle_Load", "No memory for the vehicle");
        return nullptr;
    }
    bzForm *shape = nullptr;
    int32_t checkSum = 0;
    float mass = kDefaultMass;
    int32_t consoleAt = -1, limitsAt = -1;
    if (file)
    {
        if (!bz_Text_FindSection(file, "DYNAMICS", 0))
        {
            static const char kHeader[] = "\n[DYNAMICS]\n";
            bz_Text_Replace(file, file->size, file->size, kHeader,
                            static_cast<int32_t>(sizeof kHeader - 1));
        }
        else
        {
            char keyLine[BZ_TEXT_LINE_SIZE];
            while (bz_Script_NextKeyName(file, keyLine))
            {
                const char *key = KeyName(keyLine);
                if (strcasecmp(key, "Shape") == 0)
                {
                    shape = bzgVehicleServices.readShape
                                ? bzgVehicleServices.readShape(carLump, file)
                                : nullptr;
                }
                else if (strcasecmp(key, "ShapeCheckSum") == 0)
                {
                    checkSum = 0;
                    if (char *line = bz_Script_ReadValueLine(file))
                    {
                        char *rest = nullptr;
                        if (const char *token = FirstToken(line, &rest))
                            checkSum = static_cast<int32_t>(std::strtol(token, nullptr, 10));
                    }
                }
                else if (strcasecmp(key, "OverrideShapeCheckSum") == 0)
                    checkSum = -1;
                else if (strcasecmp(key, "Mass") == 0)
                {
                    float value;
                    if (ParseFloat(bz_Script_ReadValueLine(file), &value))
                        mass = value;
                }
                else if (strcasecmp(key, "RideHeight") == 0)
                {
                    float value;
                    if (ParseFloat(bz_Script_ReadValueLine(file), &value))
                        car->rideHeight = value;
                }
                else if (strcasecmp(key, "Console") == 0)
                    consoleAt = bz_Text_GetPos(file);
                else if (strcasecmp(key, "GraphicalWheelLimits") == 0)
                    limitsAt = bz_Text_GetPos(file);
            }
        }
    }
    // The probes reach 2 m: a suspension of 1.7 x the ride height must end inside that reach
    // (less the contact reach), or a wheel would count as touching with nothing under it.
    if (!std::isfinite(car->rideHeight))
        car->rideHeight = 0.2f;
    car->rideHeight = std::clamp(car->rideHeight, kMinRideHeight, BZ_CAR_MAX_RIDE_HEIGHT);
    mass = std::clamp(mass, 1.0f, kMaxMass);
    const float h = car->rideHeight;
    const bzV3 layout[4] = {V(-1.0f, h, 2.0f), V(1.0f, h, 2.0f), V(-1.0f, h, -2.0f),
                            V(1.0f, h, -2.0f)};
    for (int32_t i = 0; i < 4; i++)
        car->wheelPos[i] = layout[i];
    bool useLoaded = false, generated = false;
    if (shape)
    {
        const int32_t models = bzgVehicleServices.modelCheckSum
                                   ? bzgVehicleServices.modelCheckSum(carLump)
                                   : bz_DynVehicle_ShapeCheckSum(carLump);
        useLoaded = checkSum == -1 || (checkSum != 0 && checkSum == models) ||
                    shape->substance != 0 || shape->workSize != 0;
    }
    if (!useLoaded)
    {
        // A box from the body's models, else from the wheel layout: bottom at the ride height.
        bzBox box = {V(FLT_MAX, FLT_MAX, FLT_MAX), V(-FLT_MAX, -FLT_MAX, -FLT_MAX)};
        const bool found = bzgVehicleServices.bodyBox
                               ? bzgVehicleServices.bodyBox(carLump, &box) != 0
                               : carLump && AddBodyBoxes(&box, carLump, Identity());
        bool fromModels = false;
        if (!found || !(box.max.x > box.min.x && box.max.y > box.min.y && box.max.z > box.min.z) ||
            !std::isfinite(box.min.x + box.min.y + box.min.z + box.max.x + box.max.y + box.max.z))
        {
            box.min = V(-1.0f, h, -2.0f);
            box.max = V(1.0f, h + 1.2f, 2.0f);
        }
        else
        {
            fromModels = true;
            box.min.y = std::max(box.min.y, h);
            const float in = 0.75f * h;
            if (box.max.x - box.min.x > 2.0f * in)
            {
                box.min.x += in;
                box.max.x -= in;
            }
            box.max.y = std::max(box.max.y, box.min.y + 0.1f);
        }
        // The side profile of the models' vertices, else the box itself.
        shape = fromModels ? ProfileShape(carLump, box, 0.75f * h) : nullptr;
        if (!shape)
            shape = bz_DynVehicle_BoxShape(&box);
        generated = shape != nullptr;
    }
    if (bz_DynVehicle_Create(shape, car, mass) != BZ_ERROR_NONE)
    {
        bz_ReportError("bz_DynVehicle_Load", "The vehicle has no body");
        if (!useLoaded)
        {
            // A body that was made but not attached must not keep the shape freed here.
            if (BZDObject *made = bz_PhysCar_Body(car); made && made->form == shape)
                made->form = nullptr;
            bz_Form_Free(shape);
        }
        bz_DynVehicle_Destroy(car);
        return nullptr;
    }
    if (generated && file && file->name && bzgVehicleServices.shapeText)
    {
        // The generated shape's text goes into a fresh copy of the vehicle file, which is then
        // released: the file on disc is left as it is.
        if (bzTextReader *copy = bz_Script_Load(file->name))
        {
            char *text = static_cast<char *>(bz_MemAlloc(BZ_VEHICLE_SHAPE_TEXT_MAX, BZ_MEM_CLEAR));
            const int32_t length =
                text ? bzgVehicleServices.shapeText(shape, text, BZ_VEHICLE_SHAPE_TEXT_MAX) : -1;
            if (length >= 0)
            {
                const int32_t models = bzgVehicleServices.modelCheckSum
                                           ? bzgVehicleServices.modelCheckSum(carLump)
                                           : bz_DynVehicle_ShapeCheckSum(carLump);
                bz_DynVehicle_ComposeShapeText(copy, text, length, models);
            }
            bz_MemFree(text);
            bz_Text_Close(copy);
        }
    }
    BZDObject *body = bz_PhysCar_Body(car);
    for (int32_t i = 0; i < 4; i++)
    {
        car->steered[i] = i < 2 ? 1 : 0;
        car->axle[i] = i < 2 ? 0 : 1;
        car->suspGive[i] = h * 0.58823526f;
        car->grip[i] = 1.5f;
        car->suspLength[i] = h + car->suspGive[i];
        car->probeDist[i] = car->suspPrev[i] = h;
    }
    car->wheelInertia = 5.0f * car->wheelRadius * car->wheelRadius;
    if (body->mass >= 6000.0f)
        car->wheelInertia *= 2.0f;
    if (body->mass >= 30000.0f)
        car->wheelInertia *= 4.0f;
    car->frontRoll = car->rearRoll = 0.5f;
    car->pushOutGain = 1.0f;
    if (bzgVehicleServices.linkDefaultVolume)
        bzgVehicleServices.linkDefaultVolume(body);
    if (bzgVehicleServices.setCollisionFields)
        bzgVehicleServices.setCollisionFields(body, BZ_VEHICLE_COLLISION_FIRST,
                                              BZ_VEHICLE_COLLISION_SECOND);
    // The bank steering strength holds the 32-bit integer 1 until the handling is applied.
    const uint32_t one = 1;
    std::memcpy(&car->bankSteer, &one, sizeof one);
    car->driven = 1;
    if (handling)
    {
        bz_Text_Rewind(handling);
        // Its keys are compared without regard to case, as the vehicle file's are.
        char keyLine[BZ_TEXT_LINE_SIZE];
        if (bz_Text_FindSection(handling, "DYNAMICS", 0))
            while (bz_Script_NextKeyName(handling, keyLine))
                if (strcasecmp(KeyName(keyLine), "console") == 0)
                {
                    CarConsole_ParseArgs(handling, car);
                    break;
                }
    }
    if (file && consoleAt >= 0)
    {
        bz_Text_SetPos(file, consoleAt);
        CarConsole_ParseArgs(file, car);
    }
    if (file && limitsAt >= 0)
    {
        bz_Text_SetPos(file, limitsAt);
        if (char *line = bz_Script_ReadValueLine(file))
        {
            char *save = nullptr;
            float values[4];
            int32_t n = 0;
            for (char *t = strtok_r(line, ", \t\r", &save); t && n < 4;
                 t = strtok_r(nullptr, ", \t\r", &save))
                if (ParseFloat(t, &values[n]))
                    n++;
            for (int32_t i = 0; i < n; i++)
                car->graphicalWheelLimits[i] = values[i];
        }
    }
    body->physicsFlags |= BZ_PHYS_VEHICLE;
    return car;
}
