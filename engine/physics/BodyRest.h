// The end-of-step pass of the physics step and its rest test: which bodies are at rest and may
// go to sleep, with the box-corner speed test and the rest counter it uses.
#pragma once

#include <cstdint>

struct BZDObject;

// Second flags word: the body never starts a rest count.
constexpr uint32_t BZ_PHYS_SECOND_NO_REST_COUNT = 0x4;
// The rest counter's value when a count starts from nothing and when it restarts.
constexpr int32_t BZ_PHYS_REST_COUNT_START = 5;
constexpr int32_t BZ_PHYS_REST_COUNT_RESTART = 4;

// 1 when no corner of the body's form box moves with a squared speed above limit, else 0. A
// corner c moves at vb + w x (c - centre of mass), vb the body-frame linear velocity (that of
// the centre of mass). BZ_PHYS_NO_CORNER_TEST counts the body as slow; a body without a form is
// tested at its centre of mass alone.
int32_t bz_Phys_BoxCornersSlow(const BZDObject *body, float limit);

// The rest counter of a body found resting this step: when the counter is 0, is at the start
// value, or the contact-kind bits differ from the saved ones, and the body touches the world
// (contact bit 0x1) and may count (BZ_PHYS_SECOND_NO_REST_COUNT clear), the count starts (5
// from 0, else restarts at 4), the saved bits take the current ones and 1 is returned. Else 0:
// the body may become quiet.
int32_t bz_Phys_StartRestCount(BZDObject *body);
// The rest counter of a body that is not resting: a positive counter drops by one, or becomes 0
// when the contact-kind bits differ from the saved ones.
void bz_Phys_DropRestCount(BZDObject *body);

// The end-of-step pass over a sibling list and their subtrees. Per body: the count word ends
// when the step's velocity change is close to -g; a nonzero mode ends (the asleep byte takes
// BZ_PHYS_ASLEEP_ON_RELEASE); BZ_PHYS_YIELDED takes BZ_PHYS_YIELD_MARK and the tree step record
// is dropped; a frozen body sleeps with zero velocities; an awake body takes the global
// collision masks and runs the rest test (rest factor x contact speed tolerance of the
// settings, the world's gravity and reference vector, the step's time step), which may start or
// drop its rest count or, at the end of a running count, make it quiet (a quiet body without
// parent or child loses all its velocity; a body that cannot start a count stays awake). A body
// is held up when over the step its upward speed grew by at least nine tenths of |g| dt; the
// count word ends when the step's velocity change is within half of -g dt. The start-of-
// step transform takes the current one and the world centre of mass follows. Quiet byte: bit 0
// the body, bit 1 the body and its whole subtree. Returns 1 when every body of the list and of
// their subtrees is quiet, else 0.
int32_t bz_Phys_EndStepList(BZDObject *first);
