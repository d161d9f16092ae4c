#include "text/Salad.h"

#include "core/Ascii.h"
#include "console/Console.h"

#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
#include "text/Text.h"
#include "core/Utility.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr int32_t kStoreBlocks = 16;
constexpr int32_t kStoreBlockSize = 4096;
constexpr int32_t kMaxDepth = BZ_SALAD_MAX_DEPTH;
static_assert(kMaxDepth < 256, "salad levels are kept in a byte");
constexpr const char *kTooDeep = "Salads nested too deeply";

struct Root
{
    int32_t inUse;
    bzSalad *salad;
    const char *name;
    char *blocks[kStoreBlocks];
    int32_t lastBlock; // -1 when none
    int32_t used;      // bytes used in the last block
    int32_t memorySource;
    int32_t saladPool;
    int32_t itemPool;
    int32_t thirdPool;
};

Root gRoots[BZ_SALAD_MAX_ROOTS];
char gError[128];
int32_t gErrorLine;
int32_t gErrorColumn;

void DefaultPrinter(const char *text)
{
    bz_Console_Printf("%s", text);
}

bzSaladPrinter gPrinter = DefaultPrinter;

void SetError(const char *message)
{
    snprintf(gError, sizeof gError, "%s", message);
}

bool IsIdentifierChar(char c)
{
    return bz_AsciiIsLetter(c) || bz_AsciiIsDigit(c) || c == '_' || c == '.';
}

// ---- Memory of a root ----

void *AllocFrom(Root &root, int32_t pool, uint32_t size)
{
    if (root.memorySource == 0)
        return bz_Pool_Alloc(pool, BZ_MEM_CLEAR);
    return bz_TempStack_Alloc(root.memorySource, size, BZ_MEM_CLEAR);
}

// A salad depth levels below its root.
bzSalad *NewSalad(int32_t slot, int32_t depth)
{
    Root &root = gRoots[slot];
    bzSalad *salad = static_cast<bzSalad *>(AllocFrom(root, root.saladPool, sizeof(bzSalad)));
    if (salad)
    {
        salad->rootSlot = static_cast<uint8_t>(slot);
        salad->depth = static_cast<uint8_t>(depth);
    }
    return salad;
}

// An item to be held by salad.
bzSaladItem *NewItem(const bzSalad *salad)
{
    Root &root = gRoots[salad->rootSlot];
    bzSaladItem *item =
        static_cast<bzSaladItem *>(AllocFrom(root, root.itemPool, sizeof(bzSaladItem)));
    if (item)
        item->depth = salad->depth;
    return item;
}

// Makes item's value a new, empty sub-salad one level below the item; false (and the item
// unchanged) when that would be too deep or memory runs out, the reason set as the error.
bool MakeSubSalad(const bzSalad *holder, bzSaladItem *item)
{
    if (item->depth >= kMaxDepth)
    {
        SetError(kTooDeep);
        return false;
    }
    bzSalad *sub = NewSalad(holder->rootSlot, item->depth + 1);
    if (!sub)
    {
        SetError("Out of salads or memory (or something)");
        return false;
    }
    item->kind = BZ_SALAD_SALAD;
    item->value.salad = sub;
    return true;
}

// Copies length bytes of text and a terminator into the root's string store.
const char *Store(int32_t slot, const char *text, size_t length)
{
    Root &root = gRoots[slot];
    if (length + 1 > static_cast<size_t>(kStoreBlockSize))
        return nullptr;
    int32_t need = static_cast<int32_t>(length) + 1;
    if (root.lastBlock < 0 || root.used + need > kStoreBlockSize)
    {
        if (root.lastBlock + 1 >= kStoreBlocks)
            return nullptr;
        char *block =
            root.memorySource == 0
                ? static_cast<char *>(bz_MemAlloc(kStoreBlockSize, 0))
                : static_cast<char *>(bz_TempStack_Alloc(root.memorySource, kStoreBlockSize, 0));
        if (!block)
            return nullptr;
        root.blocks[++root.lastBlock] = block;
        root.used = 0;
    }
    char *copy = root.blocks[root.lastBlock] + root.used;
    memcpy(copy, text, length);
    copy[length] = 0;
    root.used += need;
    return copy;
}

void ReleaseRoot(int32_t slot)
{
    Root &root = gRoots[slot];
    if (root.memorySource == 0)
    {
        for (int32_t k = 0; k <= root.lastBlock; k++)
            bz_MemFree(root.blocks[k]);
        if (root.saladPool)
            bz_Pool_Destroy(root.saladPool);
        if (root.itemPool)
            bz_Pool_Destroy(root.itemPool);
        if (root.thirdPool)
            bz_Pool_Destroy(root.thirdPool);
    }
    else
        bz_TempStack_PopMark(root.memorySource);
    memset(&root, 0, sizeof root);
    root.lastBlock = -1;
}

// ---- Named-item tree ----

bzSaladItem *FindNamed(bzSaladItem *node, const char *name, size_t length)
{
    while (node)
    {
        int cmp = strncmp(name, node->name, length);
        if (cmp == 0 && node->name[length] != 0)
            cmp = -1; // a proper prefix sorts first
        if (cmp == 0)
            return node;
        node = cmp < 0 ? node->left : node->right;
    }
    return nullptr;
}

// balance = height of the right subtree - height of the left one.
void RebalanceLeft(bzSaladItem **node)
{
    bzSaladItem *n = *node, *l = n->left;
    if (l->balance == -1)
    {
        n->left = l->right;
        l->right = n;
        n->balance = 0;
        l->balance = 0;
        *node = l;
        return;
    }
    bzSaladItem *lr = l->right;
    l->right = lr->left;
    n->left = lr->right;
    lr->left = l;
    lr->right = n;
    n->balance = lr->balance == -1 ? 1 : 0;
    l->balance = lr->balance == 1 ? -1 : 0;
    lr->balance = 0;
    *node = lr;
}

void RebalanceRight(bzSaladItem **node)
{
    bzSaladItem *n = *node, *r = n->right;
    if (r->balance == 1)
    {
        n->right = r->left;
        r->left = n;
        n->balance = 0;
        r->balance = 0;
        *node = r;
        return;
    }
    bzSaladItem *rl = r->left;
    r->left = rl->right;
    n->right = rl->left;
    rl->right = r;
    rl->left = n;
    n->balance = rl->balance == 1 ? -1 : 0;
    r->balance = rl->balance == -1 ? 1 : 0;
    rl->balance = 0;
    *node = rl;
}

// Inserts item; true when the subtree grew in height.
bool Insert(bzSaladItem **node, bzSaladItem *item)
{
    if (!*node)
    {
        *node = item;
        item->balance = 0;
        return true;
    }
    bzSaladItem *n = *node;
    if (strcmp(item->name, n->name) < 0)
    {
        if (!Insert(&n->left, item))
            return false;
        if (n->balance == 1)
        {
            n->balance = 0;
            return false;
        }
        if (n->balance == 0)
        {
            n->balance = -1;
            return true;
        }
        RebalanceLeft(node);
        return false;
    }
    if (!Insert(&n->right, item))
        return false;
    if (n->balance == -1)
    {
        n->balance = 0;
        return false;
    }
    if (n->balance == 0)
    {
        n->balance = 1;
        return true;
    }
    RebalanceRight(node);
    return false;
}

// ---- Items ----

bzSaladItem *AppendUnnamed(bzSalad *salad)
{
    bzSaladItem *item = NewItem(salad);
    if (!item)
        return nullptr;
    if (salad->unnamedLast)
        salad->unnamedLast->next = item;
    else
        salad->unnamed = item;
    salad->unnamedLast = item;
    salad->unnamedCount++;
    return item;
}

bzSaladItem *ObtainNamed(bzSalad *salad, const char *name, size_t length)
{
    bzSaladItem *item = FindNamed(salad->named, name, length);
    if (item)
        return item;
    item = NewItem(salad);
    if (!item)
        return nullptr;
    item->name = Store(salad->rootSlot, name, length);
    if (!item->name)
        return nullptr;
    Insert(&salad->named, item);
    return item;
}

void SetNumber(bzSaladItem *item, float value)
{
    switch (item->kind)
    {
    case BZ_SALAD_INT_WORD:
    case BZ_SALAD_INT: *item->value.intVariable = bz_SaturateToInt(value); return;
    case BZ_SALAD_FLOAT: *item->value.floatVariable = value; return;
    default:
        item->kind = BZ_SALAD_NUMBER;
        item->value.number = value;
        return;
    }
}

bool SetString(int32_t slot, bzSaladItem *item, const char *text, size_t length)
{
    const char *copy = Store(slot, text, length);
    if (!copy)
        return false;
    if (item->kind == BZ_SALAD_STRING_VAR)
    {
        *item->value.stringVariable = copy;
        return true;
    }
    item->kind = BZ_SALAD_STRING;
    item->value.string = copy;
    return true;
}

// ---- Tokenizer ----

enum Token
{
    kEnd,
    kNumber,
    kString,
    kOpen,
    kClose,
    kSeparator,
    kEquals,
    kOther,
    kTooLong, // a string token longer than BZ_SALAD_MAX_STRING characters
};

const char *gText;       // start of the text being parsed
const char *gCursor;     // tokenizer position
const char *gTokenStart; // where the last token began
float gNumber;           // value of the last number token
char gString[BZ_SALAD_MAX_STRING + 1];
size_t gStringLength;

Token NextToken()
{
    for (;;)
    {
        char c = *gCursor;
        if (c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\b' || c == ' ')
        {
            gCursor++;
            continue;
        }
        if (c == '/' && gCursor[1] == '/')
        {
            // A comment runs to and includes the next line feed.
            while (*gCursor && *gCursor != '\n')
                gCursor++;
            if (*gCursor)
                gCursor++;
            continue;
        }
        break;
    }
    gTokenStart = gCursor;
    char c = *gCursor;
    switch (c)
    {
    case 0: return kEnd;
    case '\n':
    case ',': gCursor++; return kSeparator;
    case '{': gCursor++; return kOpen;
    case '}': gCursor++; return kClose;
    case '=': gCursor++; return kEquals;
    default: break;
    }
    if (c == '-' || c == '.' || bz_AsciiIsDigit(c))
    {
        const char *digits = gCursor + (c == '-' ? 1 : 0);
        if (!bz_AsciiIsDigit(*digits) && *digits != '.')
        {
            gCursor++;
            return kOther;
        }
        char *end = nullptr;
        float value = strtof(digits, &end);
        if (end == digits)
        {
            gCursor++;
            return kOther;
        }
        gNumber = c == '-' ? -value : value;
        gCursor = end;
        return kNumber;
    }
    const char *from = nullptr;
    size_t length = 0;
    if (bz_AsciiIsLetter(c) || c == '_')
    {
        from = gCursor;
        while (IsIdentifierChar(*gCursor))
            gCursor++;
        length = static_cast<size_t>(gCursor - from);
    }
    else if (c == '"')
    {
        from = ++gCursor;
        while (*gCursor && *gCursor != '"')
            gCursor++;
        length = static_cast<size_t>(gCursor - from);
        if (*gCursor)
            gCursor++;
    }
    else
    {
        gCursor++;
        return kOther;
    }
    if (length > static_cast<size_t>(BZ_SALAD_MAX_STRING))
        return kTooLong;
    memcpy(gString, from, length);
    gString[length] = 0;
    gStringLength = length;
    return kString;
}

bool Fail(const char *message)
{
    SetError(message);
    return false;
}

bool ParseSalad(bzSalad *salad);

// Parses a sub-salad whose "{" was just read into item, which holder's root owns. Each level
// of recursion is one "{", and every salad lies at most kMaxDepth levels below its root.
bool ParseSubSalad(const bzSalad *holder, bzSaladItem *item)
{
    bzSaladItem parsed = *item;
    if (!MakeSubSalad(holder, &parsed) || !ParseSalad(parsed.value.salad))
        return false;
    item->kind = parsed.kind;
    item->value = parsed.value;
    return true;
}

bool StringTooLong()
{
    return Fail("String too long (more than 511 characters)");
}

bool ParseSalad(bzSalad *salad)
{
    enum
    {
        kExpectEntry,
        kExpectSeparator,
        kAfterString,
        kAfterEquals,
    } state = kExpectEntry;
    char held[BZ_SALAD_MAX_STRING + 1];
    size_t heldLength = 0;
    bzSaladItem *named = nullptr;
    const char *outOfMemory = "Out of salads or memory (or something)";
    for (;;)
    {
        Token token = NextToken();
        if (token == kTooLong)
            return StringTooLong();
        switch (state)
        {
        case kExpectEntry:
            switch (token)
            {
            case kEnd:
            case kClose: return true;
            case kNumber:
            {
                bzSaladItem *item = AppendUnnamed(salad);
                if (!item)
                    return Fail(outOfMemory);
                item->kind = BZ_SALAD_NUMBER;
                item->value.number = gNumber;
                state = kExpectSeparator;
                break;
            }
            case kString:
                memcpy(held, gString, gStringLength + 1);
                heldLength = gStringLength;
                state = kAfterString;
                break;
            case kOpen:
            {
                bzSaladItem *item = AppendUnnamed(salad);
                if (!item)
                    return Fail(outOfMemory);
                if (!ParseSubSalad(salad, item))
                    return false;
                state = kExpectSeparator;
                break;
            }
            case kSeparator: break;
            case kEquals: return Fail("Unexpected '='");
            default: return Fail("Unrecognised token");
            }
            break;
        case kExpectSeparator:
            if (token == kEnd || token == kClose)
                return true;
            if (token != kSeparator)
                return Fail("Expecting separator");
            state = kExpectEntry;
            break;
        case kAfterString:
            if (token == kEnd || token == kClose || token == kSeparator)
            {
                bzSaladItem *item = AppendUnnamed(salad);
                if (!item || !SetString(salad->rootSlot, item, held, heldLength))
                    return Fail(outOfMemory);
                if (token != kSeparator)
                    return true;
                state = kExpectEntry;
                break;
            }
            if (token != kEquals)
                return Fail("Expecting separator or '='");
            // The name is a dotted path: a.b = 1 sets b inside the sub-salad a. Its parts
            // nest salads as braces do, and count toward the same depth.
            named = bz_Salad_Obtain(salad, held);
            if (!named)
                return false; // the reason is set
            state = kAfterEquals;
            break;
        case kAfterEquals:
            switch (token)
            {
            case kNumber:
                SetNumber(named, gNumber);
                state = kExpectSeparator;
                break;
            case kString:
                if (!SetString(salad->rootSlot, named, gString, gStringLength))
                    return Fail(outOfMemory);
                state = kExpectSeparator;
                break;
            case kOpen:
                if (!ParseSubSalad(salad, named))
                    return false;
                state = kExpectEntry;
                break;
            case kSeparator: break;
            case kEnd:
            case kClose:
            case kEquals: return Fail("Expecting string, number, or salad");
            default: return Fail("Unrecognized token");
            }
            break;
        }
    }
}

void NoteErrorPlace()
{
    gErrorLine = 1;
    gErrorColumn = 1;
    for (const char *p = gText; p < gTokenStart && *p; p++)
    {
        if (*p == '\n')
        {
            gErrorLine++;
            gErrorColumn = 1;
        }
        else if (*p == '\t')
            gErrorColumn = ((gErrorColumn - 1) / 4 + 1) * 4 + 1;
        else
            gErrorColumn++;
    }
}

void ClearError()
{
    gError[0] = 0;
    gErrorLine = 0;
    gErrorColumn = 0;
}

// Creates a root, parses text into it and frees it again on a parse error.
bzSalad *ParseRoot(const char *name, const char *text)
{
    ClearError();
    int32_t slot = bz_Salad_CreateRoot(name, 0);
    if (slot < 0)
        return nullptr;
    bzSalad *salad = gRoots[slot].salad;
    gText = gCursor = gTokenStart = text;
    if (ParseSalad(salad))
        return salad;
    NoteErrorPlace();
    ReleaseRoot(slot);
    return nullptr;
}

void ReportParseFailure(const char *name)
{
    char line[256];
    if (gErrorLine > 0)
        snprintf(line, sizeof line, "Salad '%s' (line %d, column %d): %s\n", name ? name : "",
                 static_cast<int>(gErrorLine), static_cast<int>(gErrorColumn), gError);
    else
        snprintf(line, sizeof line, "Salad '%s': %s\n", name ? name : "", gError);
    gPrinter(line);
}

// ---- Printing ----

// Where printed text goes. The length counts every character of the whole text, in 64 bits:
// a salad near the depth limit with many items prints to more than an int32 can count.
struct Sink
{
    enum
    {
        kPrinter,
        kBuffer,
        kFile,
        kMeasure, // counts only
    } mode;
    char *buffer;
    int32_t size;
    int64_t length;
    bzFileHandle *file;
    const char *indent;
    // For a save: every name, string and number must read back as it is, and the first that
    // cannot ends the walk with its reason here.
    bool strict;
    const char *fault;
};

void Put(Sink &sink, const char *text)
{
    size_t length = strlen(text);
    switch (sink.mode)
    {
    case Sink::kPrinter: gPrinter(text); break;
    case Sink::kBuffer:
        if (sink.buffer && sink.length < static_cast<int64_t>(sink.size) - 1)
        {
            int64_t room = static_cast<int64_t>(sink.size) - 1 - sink.length;
            memcpy(sink.buffer + sink.length, text,
                   static_cast<size_t>(room) < length ? static_cast<size_t>(room) : length);
        }
        break;
    case Sink::kFile: bz_FilePrintf(sink.file, "%s", text); break;
    case Sink::kMeasure: break;
    }
    sink.length += static_cast<int64_t>(length);
}

void PutIndent(Sink &sink, int32_t depth)
{
    for (int32_t k = 0; k < depth; k++)
        Put(sink, sink.indent);
}

bool IsIdentifier(const char *text)
{
    if (!text || !(bz_AsciiIsLetter(text[0]) || text[0] == '_'))
        return false;
    for (const char *p = text; *p; p++)
        if (!IsIdentifierChar(*p))
            return false;
    return true;
}

// Marks the save as refused; the first reason is kept.
void Refuse(Sink &sink, const char *reason)
{
    if (!sink.fault)
        sink.fault = reason;
}

// A name or string: bare when it is an identifier, else in double quotes. A quoted string
// runs to the next double quote and a string token holds at most BZ_SALAD_MAX_STRING
// characters, so a save refuses text that breaks either.
void PutString(Sink &sink, const char *text)
{
    if (!text)
        text = "";
    if (sink.strict)
    {
        if (strchr(text, '"'))
            Refuse(sink, "Can't save a name or string holding a double quote");
        else if (strlen(text) > static_cast<size_t>(BZ_SALAD_MAX_STRING))
            Refuse(sink, "String too long (more than 511 characters)");
    }
    if (IsIdentifier(text))
    {
        Put(sink, text);
        return;
    }
    Put(sink, "\"");
    Put(sink, text);
    Put(sink, "\"");
}

// A float with the fewest digits from six up that read back as the same value; a save
// refuses infinities and NaNs, which no number token gives.
void PutFloat(Sink &sink, float value)
{
    if (sink.strict && !std::isfinite(value))
        Refuse(sink, "Can't save a number that is not finite");
    char number[32];
    for (int precision = 6; precision <= 9; precision++)
    {
        snprintf(number, sizeof number, "%.*g", precision, static_cast<double>(value));
        if (strtof(number, nullptr) == value)
            break;
    }
    Put(sink, number);
}

void PutSalad(Sink &sink, const bzSalad *salad, int32_t depth);

void PutValue(Sink &sink, const bzSaladItem *item, int32_t depth)
{
    char number[16];
    switch (item->kind)
    {
    case BZ_SALAD_NUMBER: PutFloat(sink, item->value.number); return;
    case BZ_SALAD_STRING: PutString(sink, item->value.string); return;
    case BZ_SALAD_SALAD: PutSalad(sink, item->value.salad, depth); return;
    case BZ_SALAD_INT_WORD:
    case BZ_SALAD_INT:
        snprintf(number, sizeof number, "%d", static_cast<int>(*item->value.intVariable));
        Put(sink, number);
        return;
    case BZ_SALAD_FLOAT: PutFloat(sink, *item->value.floatVariable); return;
    case BZ_SALAD_STRING_VAR:
    {
        const char *text = *item->value.stringVariable ? *item->value.stringVariable : "";
        if (sink.strict)
            PutString(sink, text);
        else
        {
            Put(sink, "\"");
            Put(sink, text);
            Put(sink, "\"");
        }
        return;
    }
    default: Put(sink, "\"\""); return;
    }
}

// Named items in name order. The recursion follows the height-balanced tree, so it is
// bounded by its height.
void PutNamed(Sink &sink, const bzSaladItem *node, int32_t depth)
{
    if (!node || sink.fault)
        return;
    PutNamed(sink, node->left, depth);
    Put(sink, "\n");
    PutIndent(sink, depth + 1);
    PutString(sink, node->name);
    Put(sink, " = ");
    PutValue(sink, node, depth + 1);
    PutNamed(sink, node->right, depth);
}

// depth is the salad's level below the salad being printed; the recursion is bounded by the
// depth limit of salads.
void PutSalad(Sink &sink, const bzSalad *salad, int32_t depth)
{
    if (sink.fault)
        return;
    // The printed salad's own braces are a level of their own: a load takes the text in
    // under a new root.
    if (sink.strict && depth + 1 > kMaxDepth)
    {
        Refuse(sink, kTooDeep);
        return;
    }
    bool oneLine = !salad->named;
    for (const bzSaladItem *item = salad->unnamed; item && oneLine; item = item->next)
        if (item->kind == BZ_SALAD_SALAD)
            oneLine = false;
    if (oneLine)
    {
        Put(sink, "{ ");
        for (const bzSaladItem *item = salad->unnamed; item && !sink.fault; item = item->next)
        {
            if (item != salad->unnamed)
                Put(sink, ", ");
            PutValue(sink, item, depth);
        }
        Put(sink, " }");
        return;
    }
    Put(sink, "{");
    for (const bzSaladItem *item = salad->unnamed; item && !sink.fault; item = item->next)
    {
        Put(sink, "\n");
        PutIndent(sink, depth + 1);
        PutValue(sink, item, depth + 1);
    }
    PutNamed(sink, salad->named, depth);
    Put(sink, "\n");
    PutIndent(sink, depth);
    Put(sink, "}");
}

// A 64-bit length as an int32 result: -1 when it does not fit.
int32_t LengthResult(int64_t length)
{
    return length > INT32_MAX ? -1 : static_cast<int32_t>(length);
}

bzSalad *ListSalad(bzSalad *salad, const char *path)
{
    if (!path)
        return salad;
    bzSalad *sub = nullptr;
    return bz_Salad_GetSalad(salad, path, &sub) ? sub : nullptr;
}

bool IsRoot(const bzSalad *salad)
{
    return salad && salad->rootSlot < BZ_SALAD_MAX_ROOTS && gRoots[salad->rootSlot].inUse &&
           gRoots[salad->rootSlot].salad == salad;
}
} // namespace

// ---- Roots ----

int32_t bz_Salad_CreateRoot(const char *name, int32_t memorySource)
{
    const char *outOfSalads = "Out of salads or memory (or something)";
    int32_t slot = -1;
    for (int32_t k = 0; k < BZ_SALAD_MAX_ROOTS; k++)
        if (!gRoots[k].inUse)
        {
            slot = k;
            break;
        }
    if (slot < 0)
    {
        SetError(outOfSalads);
        return -1;
    }
    Root &root = gRoots[slot];
    memset(&root, 0, sizeof root);
    root.lastBlock = -1;
    root.memorySource = memorySource;
    root.inUse = 1;
    bool ready;
    if (memorySource == 0)
    {
        root.saladPool = bz_Pool_Create(sizeof(bzSalad), 0, 1, 0);
        root.itemPool = root.saladPool ? bz_Pool_Create(sizeof(bzSaladItem), 0, 1, 0) : 0;
        root.thirdPool = root.itemPool ? bz_Pool_Create(sizeof(bzSaladItem), 0, 1, 0) : 0;
        ready = root.thirdPool != 0;
    }
    else
        ready = bz_TempStack_PushMark(memorySource) == BZ_MEM_OK;
    if (!ready)
    {
        if (memorySource == 0)
            ReleaseRoot(slot); // destroys the pools that were made
        else
        {
            memset(&root, 0, sizeof root); // nothing was marked
            root.lastBlock = -1;
        }
        SetError(outOfSalads);
        return -1;
    }
    root.salad = NewSalad(slot, 0);
    root.name = Store(slot, name ? name : "", strlen(name ? name : ""));
    if (!root.salad || !root.name)
    {
        ReleaseRoot(slot);
        SetError(outOfSalads);
        return -1;
    }
    return slot;
}

bzSalad *bz_Salad_RootOfSlot(int32_t slot)
{
    if (slot < 0 || slot >= BZ_SALAD_MAX_ROOTS || !gRoots[slot].inUse)
        return nullptr;
    return gRoots[slot].salad;
}

bzSalad *bz_Salad_FindRoot(const char *name)
{
    if (!name)
        return nullptr;
    for (Root &root : gRoots)
        if (root.inUse && strcmp(root.name, name) == 0)
            return root.salad;
    return nullptr;
}

int32_t bz_Salad_Free(bzSalad *salad)
{
    if (!IsRoot(salad))
    {
        SetError("Not root salad");
        return 0;
    }
    ReleaseRoot(salad->rootSlot);
    return 1;
}

// ---- Parsing ----

bzSalad *bz_Salad_ParseRoot(const char *name, const char *text)
{
    return ParseRoot(name, text ? text : "");
}

bzSalad *bz_Salad_LoadFile(const char *name)
{
    ClearError();
    int32_t length = 0;
    char *text = name ? static_cast<char *>(bz_LoadFileToMemory(name, &length)) : nullptr;
    if (!text)
    {
        SetError("file not found");
        ReportParseFailure(name);
        return nullptr;
    }
    bzSalad *salad = ParseRoot(name, text);
    bz_MemFree(text);
    if (!salad)
        ReportParseFailure(name);
    return salad;
}

bzSalad *bz_Salad_LoadOrCreate(const char *name)
{
    bzSalad *salad = bz_Salad_LoadFile(name);
    if (salad)
        return salad;
    return bz_Salad_RootOfSlot(bz_Salad_CreateRoot(name, 0));
}

bzSalad *bz_Salad_FromHeading(bzTextReader *reader, const char *heading)
{
    ClearError();
    if (!reader || !bz_Text_FindSection(reader, heading, 0))
    {
        SetError("heading not found in script");
        ReportParseFailure(heading);
        return nullptr;
    }
    int32_t start = bz_Text_GetPos(reader);
    bz_Script_NextKey(reader);
    int32_t end = bz_Text_GetPos(reader);
    if (end < start)
        end = start;
    // The text up to the next key or header, deciphered, in a block of its own.
    char *text = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(end - start) + 1, 0));
    if (!text)
    {
        SetError("Out of salads or memory (or something)");
        return nullptr;
    }
    for (int32_t k = 0; k < end - start; k++)
        text[k] = static_cast<char>(bz_Text_GetChar(reader, start + k - end));
    text[end - start] = 0;
    bzSalad *salad = ParseRoot(heading, text);
    bz_MemFree(text);
    if (!salad)
        ReportParseFailure(heading);
    return salad;
}

bzSalad *bz_Salad_FromHeadingOrCreate(bzTextReader *reader, const char *heading)
{
    bzSalad *salad = bz_Salad_FromHeading(reader, heading);
    if (salad)
        return salad;
    return bz_Salad_RootOfSlot(bz_Salad_CreateRoot(heading, 0));
}

const char *bz_Salad_GetError()
{
    return gError;
}

void bz_Salad_GetErrorPlace(int32_t *line, int32_t *column)
{
    if (line)
        *line = gErrorLine;
    if (column)
        *column = gErrorColumn;
}

// ---- Items ----

bzSaladItem *bz_Salad_Lookup(bzSalad *salad, const char *path)
{
    if (!salad)
        return nullptr;
    if (!path)
    {
        bzSaladItem *item = salad->cursor;
        if (item)
            salad->cursor = item->next;
        return item;
    }
    for (;;)
    {
        const char *dot = strchr(path, '.');
        size_t length = dot ? static_cast<size_t>(dot - path) : strlen(path);
        bzSaladItem *item = FindNamed(salad->named, path, length);
        if (!item || !dot)
            return item;
        if (item->kind != BZ_SALAD_SALAD)
            return nullptr;
        salad = item->value.salad;
        path = dot + 1;
    }
}

bzSaladItem *bz_Salad_Obtain(bzSalad *salad, const char *path)
{
    if (!salad)
        return nullptr;
    if (!path)
    {
        bzSaladItem *item = salad->cursor;
        if (item)
        {
            salad->cursor = item->next;
            return item;
        }
        return AppendUnnamed(salad);
    }
    // Each part after the first goes one level deeper: a path that would reach below the
    // limit is refused before anything is made.
    int32_t deepest = salad->depth;
    for (const char *p = path; *p && deepest <= kMaxDepth; p++)
        if (*p == '.')
            deepest++;
    if (deepest > kMaxDepth)
    {
        SetError(kTooDeep);
        return nullptr;
    }
    for (;;)
    {
        const char *dot = strchr(path, '.');
        size_t length = dot ? static_cast<size_t>(dot - path) : strlen(path);
        bzSaladItem *item = ObtainNamed(salad, path, length);
        if (!item)
        {
            SetError("Out of salads or memory (or something)");
            return nullptr;
        }
        if (!dot)
            return item;
        if (item->kind != BZ_SALAD_SALAD && !MakeSubSalad(salad, item))
            return nullptr;
        salad = item->value.salad;
        path = dot + 1;
    }
}

void bz_Salad_Reset(bzSalad *salad)
{
    if (salad)
        salad->cursor = salad->unnamed;
}

int32_t bz_Salad_Visit(bzSalad *salad, int32_t (*fn)(bzSalad *sub, void *argument), void *argument)
{
    if (!salad || !fn)
        return 0;
    for (bzSaladItem *item = salad->unnamed; item; item = item->next)
    {
        if (item->kind != BZ_SALAD_SALAD)
            continue;
        int32_t result = fn(item->value.salad, argument);
        if (result)
            return result;
    }
    return 0;
}

// ---- Setters and getters ----

int32_t bz_Salad_SetString(bzSalad *salad, const char *path, const char *text)
{
    bzSaladItem *item = bz_Salad_Obtain(salad, path);
    if (!item)
        return 0;
    const char *value = text ? text : "";
    return SetString(salad->rootSlot, item, value, strlen(value)) ? 1 : 0;
}

int32_t bz_Salad_SetInt(bzSalad *salad, const char *path, int32_t value)
{
    bzSaladItem *item = bz_Salad_Obtain(salad, path);
    if (!item)
        return 0;
    if (item->kind == BZ_SALAD_INT || item->kind == BZ_SALAD_INT_WORD)
        *item->value.intVariable = value;
    else
        SetNumber(item, static_cast<float>(value));
    return 1;
}

int32_t bz_Salad_SetFloat(bzSalad *salad, const char *path, float value)
{
    bzSaladItem *item = bz_Salad_Obtain(salad, path);
    if (!item)
        return 0;
    SetNumber(item, value);
    return 1;
}

namespace
{
int32_t BindInt(bzSalad *salad, const char *path, int32_t *variable, uint16_t kind)
{
    bzSaladItem *item = bz_Salad_Obtain(salad, path);
    if (!item || !variable)
        return 0;
    if (item->kind == BZ_SALAD_NUMBER)
        *variable = bz_SaturateToInt(item->value.number);
    item->kind = kind;
    item->value.intVariable = variable;
    return 1;
}
} // namespace

int32_t bz_Salad_BindIntWord(bzSalad *salad, const char *path, int32_t *variable)
{
    return BindInt(salad, path, variable, BZ_SALAD_INT_WORD);
}

int32_t bz_Salad_BindInt(bzSalad *salad, const char *path, int32_t *variable)
{
    return BindInt(salad, path, variable, BZ_SALAD_INT);
}

int32_t bz_Salad_BindFloat(bzSalad *salad, const char *path, float *variable)
{
    bzSaladItem *item = bz_Salad_Obtain(salad, path);
    if (!item || !variable)
        return 0;
    if (item->kind == BZ_SALAD_NUMBER)
        *variable = item->value.number;
    item->kind = BZ_SALAD_FLOAT;
    item->value.floatVariable = variable;
    return 1;
}

int32_t bz_Salad_GetString(bzSalad *salad, const char *path, const char **out)
{
    bzSaladItem *item = bz_Salad_Lookup(salad, path);
    if (!item || item->kind != BZ_SALAD_STRING)
        return 0;
    *out = item->value.string;
    return 1;
}

int32_t bz_Salad_GetFloat(bzSalad *salad, const char *path, float *out)
{
    bzSaladItem *item = bz_Salad_Lookup(salad, path);
    if (!item || item->kind != BZ_SALAD_NUMBER)
        return 0;
    *out = item->value.number;
    return 1;
}

int32_t bz_Salad_GetInt(bzSalad *salad, const char *path, int32_t *out)
{
    bzSaladItem *item = bz_Salad_Lookup(salad, path);
    if (!item || item->kind != BZ_SALAD_NUMBER)
        return 0;
    *out = bz_SaturateToInt(item->value.number);
    return 1;
}

int32_t bz_Salad_GetSalad(bzSalad *salad, const char *path, bzSalad **out)
{
    bzSaladItem *item = bz_Salad_Lookup(salad, path);
    if (!item || item->kind != BZ_SALAD_SALAD)
        return 0;
    *out = item->value.salad;
    return 1;
}

int32_t bz_Salad_Exists(bzSalad *salad, const char *path)
{
    return bz_Salad_Lookup(salad, path) ? 1 : 0;
}

namespace
{
// Reads the unnamed items of the salad at a path into out, up to max, stopping at the first
// item of another kind.
template <typename T, typename Value>
int32_t ReadList(bzSalad *salad, const char *path, int32_t kind, T *out, int32_t max, Value value)
{
    bzSalad *list = ListSalad(salad, path);
    int32_t count = 0;
    for (bzSaladItem *item = list ? list->unnamed : nullptr; item && count < max; item = item->next)
    {
        if (item->kind != kind)
            break;
        out[count++] = value(item);
    }
    return count;
}
} // namespace

int32_t bz_Salad_GetStrings(bzSalad *salad, const char *path, const char **out, int32_t max)
{
    return ReadList(salad, path, BZ_SALAD_STRING, out, max,
                    [](const bzSaladItem *item) { return item->value.string; });
}

int32_t bz_Salad_GetFloats(bzSalad *salad, const char *path, float *out, int32_t max)
{
    return ReadList(salad, path, BZ_SALAD_NUMBER, out, max,
                    [](const bzSaladItem *item) { return item->value.number; });
}

int32_t bz_Salad_GetInts(bzSalad *salad, const char *path, int32_t *out, int32_t max)
{
    return ReadList(salad, path, BZ_SALAD_NUMBER, out, max,
                    [](const bzSaladItem *item) { return bz_SaturateToInt(item->value.number); });
}

int32_t bz_Salad_GetVector(bzSalad *salad, const char *path, float *out)
{
    float values[3];
    if (bz_Salad_GetFloats(salad, path, values, 3) != 3)
        return 0;
    memcpy(out, values, sizeof values);
    return 1;
}

int32_t bz_Salad_AssignValue(bzSalad *salad, bzSaladItem *item, const char *text)
{
    if (!salad || !item || !text)
        return 0;
    ClearError();
    gText = gCursor = gTokenStart = text;
    switch (NextToken())
    {
    case kNumber: SetNumber(item, gNumber); return 1;
    case kString:
        if (!SetString(salad->rootSlot, item, gString, gStringLength))
        {
            SetError("Out of salads or memory (or something)");
            return 0;
        }
        return 1;
    case kOpen:
        // The new salad goes one level below the item, wherever in salad the item stands.
        if (!ParseSubSalad(salad, item))
        {
            NoteErrorPlace();
            return 0;
        }
        return 1;
    case kTooLong: StringTooLong(); return 0;
    default: SetError("Expecting string, number, or salad"); return 0;
    }
}

// ---- Printing ----

bzSaladPrinter bz_Salad_SetPrinter(bzSaladPrinter printer)
{
    bzSaladPrinter previous = gPrinter;
    gPrinter = printer ? printer : DefaultPrinter;
    return previous;
}

void bz_Salad_Print(bzSalad *salad)
{
    if (!salad)
        return;
    Sink sink = {Sink::kPrinter, nullptr, 0, 0, nullptr, "  ", false, nullptr};
    PutSalad(sink, salad, 0);
    Put(sink, "\n");
}

void bz_Salad_PrintItem(bzSaladItem *item)
{
    if (!item)
        return;
    Sink sink = {Sink::kPrinter, nullptr, 0, 0, nullptr, "  ", false, nullptr};
    PutValue(sink, item, 0);
    Put(sink, "\n");
}

int32_t bz_Salad_PrintToBuffer(bzSalad *salad, char *buffer, int32_t size)
{
    Sink sink = {Sink::kBuffer, buffer, size, 0, nullptr, "  ", false, nullptr};
    if (salad)
        PutSalad(sink, salad, 0);
    if (buffer && size > 0)
        buffer[sink.length < size - 1 ? sink.length : size - 1] = 0;
    return LengthResult(sink.length);
}

int32_t bz_Salad_PrintToFile(bzSalad *salad, bzFileHandle *file)
{
    if (!salad || !file)
        return 0;
    Sink sink = {Sink::kFile, nullptr, 0, 0, file, "\t", false, nullptr};
    PutSalad(sink, salad, 0);
    Put(sink, "\n");
    return LengthResult(sink.length);
}

int32_t bz_Salad_Save(bzSalad *salad, const char *name)
{
    // Everything is checked, and the length measured, before the file is touched.
    if (salad)
    {
        Sink check = {Sink::kMeasure, nullptr, 0, 0, nullptr, "\t", true, nullptr};
        PutSalad(check, salad, 0);
        Put(check, "\n");
        if (check.fault)
        {
            SetError(check.fault);
            return 0;
        }
        if (LengthResult(check.length) < 0)
        {
            SetError("Salad too long to save");
            return 0;
        }
    }
    bzFileHandle *file = name ? bz_FileOpen(name, "w") : nullptr;
    if (!file)
    {
        SetError("Couldn't open file for writing");
        return 0;
    }
    bz_Salad_PrintToFile(salad, file);
    if (bz_FileClose(file) != 0)
    {
        SetError("Couldn't write file");
        return 0;
    }
    return 1;
}

// ---- Console command ----

int32_t bz_Salad_ConsoleCommand(int32_t argc, char **argv)
{
    char line[320];
    if (argc < 1)
    {
        for (Root &root : gRoots)
            if (root.inUse)
            {
                snprintf(line, sizeof line, "%s\n", root.name);
                gPrinter(line);
            }
        return 0;
    }
    const char *arg = argv[0];
    const char *dot = strchr(arg, '.');
    size_t nameLength = dot ? static_cast<size_t>(dot - arg) : strlen(arg);
    char rootName[256];
    if (nameLength >= sizeof rootName)
        nameLength = sizeof rootName - 1;
    memcpy(rootName, arg, nameLength);
    rootName[nameLength] = 0;
    const char *path = dot && dot[1] ? dot + 1 : nullptr;
    bzSalad *salad = bz_Salad_FindRoot(rootName);
    if (!salad)
    {
        snprintf(line, sizeof line, "No salad called '%s'\n", rootName);
        gPrinter(line);
        return 0;
    }
    if (argc >= 2 && strcmp(argv[1], "=") == 0)
    {
        bzSaladItem *target = path && argc >= 3 ? bz_Salad_Obtain(salad, path) : nullptr;
        if (!target || !bz_Salad_AssignValue(salad, target, argv[2]))
        {
            snprintf(line, sizeof line, "%s\n",
                     target ? bz_Salad_GetError() : "salad [<salad_path [= <value>]]");
            gPrinter(line);
            return 0;
        }
    }
    if (!path)
    {
        bz_Salad_Print(salad);
        return 0;
    }
    bzSaladItem *item = bz_Salad_Lookup(salad, path);
    if (!item)
    {
        snprintf(line, sizeof line, "'%.200s' not found\n", path);
        gPrinter(line);
        return 0;
    }
    snprintf(line, sizeof line, "%.200s = ", path);
    gPrinter(line);
    bz_Salad_PrintItem(item);
    return 0;
}

void bz_Salad_RegisterCommand()
{
    bz_Console_RegisterCommand("salad", "salad [<salad_path [= <value>]]", BZ_CONSOLE_KIND_COMMAND,
                               bz_Salad_ConsoleCommand);
    bz_Console_SetArgMode(bz_Salad_ConsoleCommand, 3);
}
