// Salads: a small tree-structured value format. A salad holds numbers, strings and sub-salads,
// as an ordered list of unnamed items and as named items, written as name = value lines and
// brace-enclosed salads. Items are reached by dotted paths ("a.b.c"), may be bound to program
// variables that a value set in the salad writes through, and print back as text. At most 16
// root salads exist at a time; each owns its items and strings and is freed as a whole.
#pragma once

#include <cstdint>

struct bzFileHandle;
struct bzTextReader;
struct bzSalad;

// Item kinds.
enum : uint16_t
{
    BZ_SALAD_EMPTY = 0,      // made by bz_Salad_Obtain, no value yet
    BZ_SALAD_NUMBER = 1,     // 32-bit float
    BZ_SALAD_STRING = 2,     // string in the root's string store
    BZ_SALAD_SALAD = 3,      // sub-salad
    BZ_SALAD_INT_WORD = 4,   // bound 32-bit integer variable
    BZ_SALAD_INT = 5,        // bound 32-bit integer variable
    BZ_SALAD_FLOAT = 6,      // bound float variable
    BZ_SALAD_STRING_VAR = 7, // bound string variable (set only)
};

struct bzSaladItem
{
    uint16_t kind;
    int8_t balance; // -1, 0 or 1 in the named-item tree
    uint8_t depth;  // the level of the salad that holds the item
    union
    {
        float number;
        const char *string;
        bzSalad *salad;
        int32_t *intVariable;
        float *floatVariable;
        const char **stringVariable;
    } value;
    const char *name;  // named items
    bzSaladItem *next; // unnamed items: the next in the list
    bzSaladItem *left;
    bzSaladItem *right;
};

struct bzSalad
{
    uint16_t unnamedCount;
    uint8_t rootSlot;
    uint8_t depth;            // levels below its root salad (0 for the root)
    bzSaladItem *named;       // height-balanced tree ordered by byte comparison of names
    bzSaladItem *unnamed;     // in order of appearance
    bzSaladItem *unnamedLast; // the list's end, for appending
    bzSaladItem *cursor;      // iteration over the unnamed list
};

constexpr int32_t BZ_SALAD_MAX_ROOTS = 16;
constexpr int32_t BZ_SALAD_MAX_STRING = 511;
// A salad lies at most this many levels below its root, whether nested by braces or by dotted
// names; deeper ones are refused wherever a salad is built ("Salads nested too deeply").
constexpr int32_t BZ_SALAD_MAX_DEPTH = 200;

// Roots. A memory source of 0 gives the root pools of its own; another value is the id of a
// temporary stack, marked now and returned to the mark when the root is freed. The slot, or -1
// ("Out of salads or memory (or something)").
int32_t bz_Salad_CreateRoot(const char *name, int32_t memorySource);
// The root salad of a slot, or null.
bzSalad *bz_Salad_RootOfSlot(int32_t slot);
bzSalad *bz_Salad_FindRoot(const char *name);
int32_t bz_Salad_Free(bzSalad *salad);

// Parsing. Each gives the new root salad, or null with the reason in bz_Salad_GetError.
bzSalad *bz_Salad_ParseRoot(const char *name, const char *text);
bzSalad *bz_Salad_LoadFile(const char *name);
bzSalad *bz_Salad_LoadOrCreate(const char *name);
bzSalad *bz_Salad_FromHeading(bzTextReader *reader, const char *heading);
bzSalad *bz_Salad_FromHeadingOrCreate(bzTextReader *reader, const char *heading);
// The message of the last failure ("" when none) and, for a parse error, its line and column
// (from 1, tab stops every 4 columns; 0 when the failure was not in the text).
const char *bz_Salad_GetError();
void bz_Salad_GetErrorPlace(int32_t *line, int32_t *column);

// Items by dotted path. A null path takes the next unnamed item of the iteration cursor.
// Obtain gives null (creating nothing) for a path that would reach below BZ_SALAD_MAX_DEPTH.
bzSaladItem *bz_Salad_Lookup(bzSalad *salad, const char *path);
bzSaladItem *bz_Salad_Obtain(bzSalad *salad, const char *path);
void bz_Salad_Reset(bzSalad *salad);
// Calls fn with each sub-salad among the unnamed items until it gives nonzero; gives that.
int32_t bz_Salad_Visit(bzSalad *salad, int32_t (*fn)(bzSalad *sub, void *argument), void *argument);

// Setters (each obtains the item by path; 1, or 0 when memory runs out or the path nests too
// deeply). A number set on a bound item writes the variable.
int32_t bz_Salad_SetString(bzSalad *salad, const char *path, const char *text);
int32_t bz_Salad_SetInt(bzSalad *salad, const char *path, int32_t value);
int32_t bz_Salad_SetFloat(bzSalad *salad, const char *path, float value);
// Binding: a number already at the item is stored into the variable first.
int32_t bz_Salad_BindIntWord(bzSalad *salad, const char *path, int32_t *variable);
int32_t bz_Salad_BindInt(bzSalad *salad, const char *path, int32_t *variable);
int32_t bz_Salad_BindFloat(bzSalad *salad, const char *path, float *variable);

// Getters: 1 with the value stored, 0 when the item is missing or of another kind.
int32_t bz_Salad_GetString(bzSalad *salad, const char *path, const char **out);
int32_t bz_Salad_GetFloat(bzSalad *salad, const char *path, float *out);
int32_t bz_Salad_GetInt(bzSalad *salad, const char *path, int32_t *out);
int32_t bz_Salad_GetSalad(bzSalad *salad, const char *path, bzSalad **out);
int32_t bz_Salad_Exists(bzSalad *salad, const char *path);
// List getters over the unnamed items of the salad at path (null: the salad itself), up to max,
// stopping at the first item of another kind; they give the count read.
int32_t bz_Salad_GetStrings(bzSalad *salad, const char *path, const char **out, int32_t max);
int32_t bz_Salad_GetFloats(bzSalad *salad, const char *path, float *out, int32_t max);
int32_t bz_Salad_GetInts(bzSalad *salad, const char *path, int32_t *out, int32_t max);
// The first three numbers; 1 when there are three.
int32_t bz_Salad_GetVector(bzSalad *salad, const char *path, float *out);

// Parses one value token of text into an existing item of salad: a number sets kind 1 (or
// writes a bound variable), a string kind 2 (or a bound string), "{" a new sub-salad. 1 or 0.
int32_t bz_Salad_AssignValue(bzSalad *salad, bzSaladItem *item, const char *text);

// Printing. The printer takes each piece of text; by default the console.
typedef void (*bzSaladPrinter)(const char *text);
bzSaladPrinter bz_Salad_SetPrinter(bzSaladPrinter printer);
void bz_Salad_Print(bzSalad *salad);
void bz_Salad_PrintItem(bzSaladItem *item);
// Writes at most size - 1 characters and a terminator; gives the length of the whole text, or
// -1 when that is longer than an int32 can count.
int32_t bz_Salad_PrintToBuffer(bzSalad *salad, char *buffer, int32_t size);
// The characters written, or -1 as above.
int32_t bz_Salad_PrintToFile(bzSalad *salad, bzFileHandle *file);
// Writes the salad so that bz_Salad_LoadFile gives it back (as the loaded root's one unnamed
// item): numbers with the digits they need, names and strings quoted where needed. Bound
// variables save their current values and an item without a value saves as an empty string.
// 1; 0 with the reason in bz_Salad_GetError, the file untouched, for what the text cannot
// hold: a name or string holding a double quote or longer than a string token, a number that
// is not finite, a salad whose text would nest deeper than a load accepts, a text too long.
int32_t bz_Salad_Save(bzSalad *salad, const char *name);

// The console command "salad [<salad_path [= <value>]]".
int32_t bz_Salad_ConsoleCommand(int32_t argc, char **argv);
// Registers the "salad" console command; engine start-up does it once.
void bz_Salad_RegisterCommand();
