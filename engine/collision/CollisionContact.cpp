// Insertion of contacts into a body's run of contact rows.
#include "collision/CollisionContact.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "core/Error.h"

#include <cmath>

using namespace bzPairMaths;

static_assert(sizeof(bzCollisionContact) == 34 * 4 + 6 * (sizeof(void *) - 4),
              "a contact row is 34 words, its pointers and their alignment aside");

namespace
{
bzContactBodyViewFunction gView;
bzContactErrorReporter gReporter;
const bzShape *gShape;
int32_t gCorner;

constexpr float kNearSq = 0.0045f;
constexpr float kSameSideNearSq = 0.0005f;
constexpr float kSameSide = 0.95f;

void ReportKeyError()
{
    bz_PhysContacts_ReportError(BZ_CONTACT_ERROR_NAN, BZ_CONTACT_ERROR_NAN_TEXT);
}

// 1 when the contact lies in the region its body's joint makes its own.
bool InJointRegion(const bzContactBodyView &view, const bzV3 &point, const bzV3 &normal)
{
    const bzContactJointView *joint = &view.joint;
    if (joint->kind < 0 && (view.collisionFlags & BZ_BODY_JOINTED))
        joint = &view.partnerJoint;
    if (joint->kind < 0 || view.noJointFilter)
        return false;
    if (joint->kind == 2)
    {
        const bzV3 world = Direction(&view.matrix, normal);
        if (std::fabs(Dot(world, joint->axis)) > 0.5f)
            return false;
    }
    else if (joint->kind != 3)
        return false;
    if (view.collisionFlags & BZ_BODY_JOINTED)
        return true;
    float reach = 0.0f;
    for (int32_t i = 0; i < 3; i++)
    {
        const float toMax = std::fabs(view.formBounds.max.v[i] - joint->anchor.v[i]);
        const float toMin = std::fabs(view.formBounds.min.v[i] - joint->anchor.v[i]);
        const float nearer = toMax < toMin ? toMax : toMin;
        if (nearer > reach)
            reach = nearer;
    }
    const float limit = bzCollisionTolerance * 10.0f + reach;
    for (int32_t i = 0; i < 3; i++)
        if (!(std::fabs(point.v[i] - joint->anchor.v[i]) < limit))
            return false;
    return true;
}

void Write(bzCollisionContact *row, float key, BZDObject *body, uint32_t featureCode,
           const bzCollisionFace *face, const bzV3 &point, const bzV3 &normal,
           const bzV3 *secondPoint)
{
    row->key = key;
    row->body = body;
    row->otherBody = nullptr;
    row->face = face;
    row->type = featureCode;
    row->shape = gShape;
    row->corner = gCorner;
    row->point = point;
    row->normal = normal;
    if (secondPoint)
        row->otherPoint = *secondPoint;
}
} // namespace

void bz_PhysContacts_SetBodyView(bzContactBodyViewFunction view)
{
    gView = view;
}

void bz_PhysContacts_ReportError(int32_t code, const char *text)
{
    if (gReporter)
    {
        gReporter(code, text);
        return;
    }
    BZ_SET_ORIGIN();
    if (text && text[0])
        bz_ReportError("Physics Error", "%d) %s", static_cast<int>(code), text);
    else
        bz_ReportError("Physics Error", "Error = %d", static_cast<int>(code));
}

void bz_PhysContacts_SetErrorReporter(bzContactErrorReporter reporter)
{
    gReporter = reporter;
}

void bz_PhysContacts_SetFeature(const bzShape *shape, int32_t corner)
{
    gShape = shape;
    gCorner = corner;
}

int32_t bz_PhysContacts_Insert(bzCollisionContact *array, float key, const bzV3 *point,
                               const bzV3 *normal, int32_t count, BZDObject *body,
                               uint32_t featureCode, const bzCollisionFace *face,
                               const bzV3 *secondPoint)
{
    if (count < 0 || count > BZ_CONTACTS_PER_BODY)
        return count;
    bzContactBodyView view{};
    view.joint.kind = -1;
    view.partnerJoint.kind = -1;
    if (gView)
        gView(body, &view);
    if (InJointRegion(view, *point, *normal))
        return count;
    const bzV3 p = Sub(*point, view.centreOfMass);

    for (int32_t i = 0; i < count; i++)
    {
        const float d2 = LengthSq(Sub(p, array[i].point));
        const float c = Dot(array[i].normal, *normal);
        if (!(d2 < kNearSq && ((c > kSameSide && d2 < kSameSideNearSq) || c < -kSameSide)))
            continue;
        if (!(array[i].key > key))
            return count;
        int32_t at = i;
        while (at > 0 && array[at - 1].key > key)
        {
            array[at] = array[at - 1];
            at--;
        }
        Write(&array[at], key, body, featureCode, face, p, *normal, secondPoint);
        return count;
    }

    const int32_t before = count;
    if (count < BZ_CONTACTS_PER_BODY)
    {
        array[count].key = BZ_CONTACT_FREE_KEY;
        count++;
    }
    int32_t j = -1;
    for (int32_t i = 0; i < count; i++)
        if (key < array[i].key)
        {
            j = i;
            break;
        }
    if (j < 0)
    {
        if (array[count - 1].key == BZ_CONTACT_FREE_KEY && before < count)
        {
            // The mark row holds no contact: leave it out of the count again.
            ReportKeyError();
            return before;
        }
        return count;
    }
    const int32_t last = before < BZ_CONTACTS_PER_BODY ? count : BZ_CONTACTS_PER_BODY - 1;
    for (int32_t i = last; i > j; i--)
        if (i < BZ_CONTACTS_PER_BODY)
            array[i] = array[i - 1];
    Write(&array[j], key, body, featureCode, face, p, *normal, secondPoint);
    return count;
}
