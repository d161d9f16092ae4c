// The coupling record of a coupled joint and the correction it makes to a body's response to a
// row impulse.
//
// A coupled joint holds one linear direction and two angular axes between a body M and its
// representative P through a 3x3 coupling whose inverse is applied straight to the two bodies'
// velocities. Its error is e = J_P v_P - J_M v_M, where J_X v_X = ((w x lever + v) . direction,
// axis0 . w, axis1 . w) over body X's body-frame velocities; the coupled joint solve applies
// x = K^-1 e as +M^-1 J_M^T x to M and -M^-1 J_P^T x to P, K = J_M M_M^-1 J_M^T +
// J_P M_P^-1 J_P^T. Each body of the pair points to its own record; M's holds K^-1.
//
// A row impulse that changes a coupled body's velocity changes e, and the coupled joint takes
// the change out at once: the body's response is corrected and its partner gets a response of
// its own. The matrix builder and the impulse application both use this correction.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

struct bzPhysCoupling
{
    int32_t state; // 0 new, 1 initialised
    BZDObject *partner;
    float inverse[9]; // K^-1, row after row (the record of M)
    float sign;       // -1 for M, +1 for P: the body's sign in the coupling error
    float spare[2];
    bzM34 relative; // the partner's start-of-step matrix relative to this body's
    // The coupled constraints on this body, in its own frame.
    bzV3 lever;     // the joint's anchor on this body less its centre of mass
    bzV3 direction; // the coupled linear direction
    bzV3 axis[2];   // the two coupled angular axes
};

// Corrects a body's response (m linear, w angular, body frame) to a unit row impulse for its
// coupled joint. Gives the partner's response (partnerM, partnerW, in the partner's frame) and
// the coupling impulses per unit row impulse (impulses[3]); returns the partner. The body must
// have a coupling record whose partner has one too.
BZDObject *bz_Phys_CouplingResponse(const BZDObject *body, bzV3 *m, bzV3 *w, bzV3 *partnerM,
                                    bzV3 *partnerW, float impulses[3]);
// The velocity change of a body of the pair for the coupling impulses: m = -sign * inverse
// mass * impulses[0] * direction, w = -sign * inverse moments * (impulses[0] (lever x
// direction) + impulses[1] axis0 + impulses[2] axis1).
void bz_Phys_CouplingImpulseResponse(const BZDObject *body, const float impulses[3], bzV3 *m,
                                     bzV3 *w);
