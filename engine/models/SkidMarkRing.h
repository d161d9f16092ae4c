// The ring of skid-mark points behind a sliding wheel: adding a point to one trail or to all
// of a set (moving the open point instead while the wheel stays within the set's range),
// closing the open strips, emptying the trails and freeing the set. The set, trail and point
// records are the scene graph's (scene/SkidMarks.h); in this ring a point's second edge is the
// side vector of the mark.
#pragma once

#include "maths/Types.h"
#include "scene/SkidMarks.h"

#include <cstdint>

// The colour of the point written k points (0 to 9) into a strip: the trail colour with its
// alpha A replaced by k x (1/9) x (A / 255) x 255 truncated; from k = 10 on the trail colour.
uint32_t SkidMarkFadeColour(uint32_t colour, int32_t k);
// Adds the point to the trail (a negative index: to every trail, in order; an index at or
// above the count: to the last). A trail whose open continuation point lies within the range
// of its last position has that point moved instead. The open point's colour word finally
// receives word. 0 when a point was moved on any trail handled, else 1 (also for no set).
int32_t AddSkidMarkPoint(bzSkidMarkSet *set, int32_t trail, const bzV3 *position,
                         const bzV3 *direction, uint32_t word);
// Closes every active trail's strip: its head steps back one point and it is no longer active.
void EndSkidMarkTrails(bzSkidMarkSet *set);
// Empties every trail (tail and head 0, not active).
void ResetSkidMarkTrails(bzSkidMarkSet *set);
// Releases the image map and frees the trails and the set.
void FreeSkidMarkSet(bzSkidMarkSet *set);
