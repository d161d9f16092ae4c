// Joins the physics' parts together once at start-up: the body view the contact insertion reads,
// the world and object pair collision the step calls, the step's tree operations, the extra
// jointed-object solve and the pair test of the overlap search. Each step and query works
// without it (no contacts, no extra solve), so tests may install only what they exercise.
#pragma once

// Installs every service above. Calling it again changes nothing.
void bz_Phys_InstallServices();
// Empties every seam above again (the step then finds no contacts).
void bz_Phys_RemoveServices();
