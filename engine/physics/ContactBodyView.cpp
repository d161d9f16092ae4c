// The body view of the contact insertion, filled from the physics body.
#include "physics/ContactBodyView.h"

#include "collision/Form.h"
#include "collision/PairMaths.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr uint8_t kLinearAnchored = 3; // all three linear directions held
constexpr uint8_t kAngularFree = 0;    // no angular direction held
constexpr uint8_t kAngularHinge = 2;   // two held, one free axis

bzV3 Unit(const bzV3 &v)
{
    const float l2 = LengthSq(v);
    if (!(l2 > FLT_EPSILON))
        return v;
    return Scale(v, 1.0f / std::sqrt(l2));
}

// The view of a joint seen from one of its two bodies: anchor and hinge axis in that body's
// frame, the axis turned into the world by the body's matrix.
bzContactJointView JointView(const BZDJoint *joint, const bzV3 &anchor, const bzV3 &hingeAxis,
                             const bzM34 &matrix)
{
    bzContactJointView view{};
    view.kind = -1;
    if (!joint)
        return view;
    const uint8_t linear = uint8_t(joint->kind & 0xff);
    const uint8_t angular = uint8_t(joint->kind >> 8);
    if (linear != kLinearAnchored)
        return view;
    if (angular == kAngularFree)
        view.kind = 3;
    else if (angular == kAngularHinge)
    {
        view.kind = 2;
        view.axis = Unit(Direction(&matrix, hingeAxis));
    }
    else
        return view;
    view.anchor = anchor;
    return view;
}

// The collision code passes an empty text for "no text".
void ReportCollisionError(int32_t code, const char *text)
{
    bz_Phys_ReportError(code, text && text[0] ? text : nullptr);
}
} // namespace

void bz_Phys_FillContactBodyView(const BZDObject *body, bzContactBodyView *out)
{
    if (!out)
        return;
    *out = bzContactBodyView{};
    out->joint.kind = -1;
    out->partnerJoint.kind = -1;
    if (!body)
        return;
    out->collisionFlags = body->collisionState;
    out->noJointFilter = int32_t(body->secondFlags & 0x1);
    out->centreOfMass = body->centreOfMass;
    out->matrix = body->transform ? *body->transform : body->startTransform;
    if (body->form)
        out->formBounds = body->form->bounds;
    const BZDJoint *own = body->parentJoint;
    if (own)
        out->joint = JointView(own, own->childAnchor, own->childHingeAxis, out->matrix);
    for (const BZDObject *child = body->firstChild; child; child = child->nextSibling)
    {
        const BZDJoint *joint = child->parentJoint;
        if (!joint)
            continue;
        out->partnerJoint =
            JointView(joint, joint->parentAnchor, joint->parentHingeAxis, out->matrix);
        break;
    }
}

void bz_Phys_InstallContactBodyView()
{
    bz_PhysContacts_SetBodyView(bz_Phys_FillContactBodyView);
    bz_PhysContacts_SetErrorReporter(ReportCollisionError);
}
