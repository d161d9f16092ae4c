// The physics' per-frame memory and its error reporter.
//
// Memory: the dynamics layer reserves the frame blocks from temporary stack 1 at the start of
// each dynamics frame and releases them at its end. Per-step data comes from the work area, a
// bump allocator over the last block: a caller peeks the size it needs, keeps the address and
// advances by the same size; the step resets the top at its end. Pointers into the work area
// stay valid until the next reset. When the work area is exhausted, peek and advance report
// physics error 6, hand out nothing (null) and leave the top where it was: the caller skips the
// work that needed the memory.
//
// Errors: every physics failure goes through bz_Phys_ReportError, which lets the hook see it and
// then raises an engine report captioned "Physics Error" (fatal unless the engine is kept alive;
// then the caller carries on).
#pragma once

#include <cstdint>

// Frame block sizes in bytes.
constexpr uint32_t BZ_PHYS_WORLD_ROWS_BYTES = 40800; // 300 rows of 136 bytes
constexpr uint32_t BZ_PHYS_SOLVER_BLOCK_BYTES = 36480;
// What the work area leaves of the temporary stack.
constexpr uint32_t BZ_PHYS_STACK_RESERVE_BYTES = 16384;

// Takes the world-contact rows, solver blocks 1 and 2 and the work area (the rest of the stack
// less BZ_PHYS_STACK_RESERVE_BYTES) from temporary stack 1, in that order; the work area's top
// is its base. BZ_ERROR_NO_MEMORY when a block cannot be had: whatever was taken is given back
// and there is no work area. A reservation while one is held does nothing and returns 0.
int32_t bz_PhysMem_Reserve();
// Gives the blocks back in the reverse order of taking; nothing when none are held.
void bz_PhysMem_Release();
// The top of the work area when bytes more fit in it, else null after error 6.
void *bz_PhysMem_Peek(uint32_t bytes);
// Moves the top up by bytes rounded up to the memory manager's alignment (never past the end)
// and returns the old top; null after error 6 when bytes do not fit, the top unchanged.
void *bz_PhysMem_Advance(uint32_t bytes);
// Sets the top back to the base.
void bz_PhysMem_ResetWorkArea();

// A record taken from the work area with its entries right behind its header.
struct bzPhysRecord
{
    int32_t count;
    void *data; // the first entry, just behind the header
};
// Takes a record with room for count entries of elementBytes each (advance; the record starts at
// the first address of its alignment), sets its count and data pointer and returns it. Null after
// error 6 when it does not fit (a size past 32 bits never fits); null without a report for a
// negative count.
bzPhysRecord *bz_Phys_AllocRecord(int32_t count, uint32_t elementBytes);
// 1 while the work area exists, else 0.
int32_t bz_PhysMem_HasWorkArea();
// Work area base, top and capacity in bytes (null, null, 0 without one).
void *bz_PhysMem_WorkAreaBase();
void *bz_PhysMem_WorkAreaTop();
uint32_t bz_PhysMem_WorkAreaCapacity();
// The frame blocks (null without a reservation).
void *bz_PhysMem_WorldRows();
void *bz_PhysMem_SolverBlock1();
void *bz_PhysMem_SolverBlock2();

// Physics error codes.
enum : int32_t
{
    BZ_PHYS_ERROR_COLLISION = 1,  // world and object collision
    BZ_PHYS_ERROR_JOINT_KIND = 5, // an unknown angular joint kind
    BZ_PHYS_ERROR_WORK_AREA = 6,  // work area exhausted
    BZ_PHYS_ERROR_JOINT = 8,      // limit forces and joints
    BZ_PHYS_ERROR_NAN = 10,       // a NaN met by the collision
    BZ_PHYS_ERROR_ZERO_MASS = 13, // a body of mass 0.0 prepared for the step
};

// Sees every physics error before its report; text is null for a report without one.
typedef void (*bzPhysErrorHook)(int32_t code, const char *text);
// Stores the hook (null for none).
void bz_Phys_SetErrorHook(bzPhysErrorHook hook);
// Calls the hook, then reports "%d) %s" (code, text) with a text, "Error = %d" (code) without,
// captioned "Physics Error". An empty text is a text.
void bz_Phys_ReportError(int32_t code, const char *text);

// Element pools and blocks of the physics memory module, for the dynamics layer.
constexpr uint32_t BZ_PHYS_SMALL_ELEMENT_BYTES = 56; // 24 a block
constexpr uint32_t BZ_PHYS_LARGE_ELEMENT_BYTES = 84; // 32 a block
constexpr uint32_t BZ_PHYS_BLOCK_BYTES = 112;
// Makes the two element pools; 0, or BZ_ERROR_NO_MEMORY (neither made). Nothing while they
// exist.
int32_t bz_PhysMem_CreatePools();
// Destroys both pools with every element taken from them.
void bz_PhysMem_DestroyPools();
// A cleared element of the small (0) or large (1) pool; null for another pool number, without
// pools, or when a pool cannot grow.
void *bz_PhysMem_TakeElement(int32_t pool);
// Gives an element back to the pool it came from (null is ignored).
void bz_PhysMem_GiveElement(int32_t pool, void *element);
// A cleared block of BZ_PHYS_BLOCK_BYTES from the heap, or null.
void *bz_PhysMem_AllocBlock();
// A chain of blocks linked through their fourteenth pointer-sized word (the last of a
// BZ_PHYS_BLOCK_BYTES block on a 64-bit machine): the link's address in a block, and the
// release of a whole chain, last block first.
void **bz_PhysMem_BlockLink(void *block);
void bz_PhysMem_FreeBlockChain(void *first);
// Takes a child allocation out of its parent block's child list and releases it; the parent
// stays.
void bz_PhysMem_RemoveChild(void *parent, void *child);
