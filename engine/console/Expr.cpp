#include "console/Expr.h"

#include "core/Ascii.h"
#include "core/Memory.h"

#include <cmath>
#include <cstring>

namespace
{
struct Variable
{
    double value;
    char *name; // upper-cased copy, null for a free row
};

struct Function
{
    const char *name;
    int32_t arity;
    double (*fn)(const double *args);
};

constexpr double kDegToRad = 0.0174532924;
constexpr double kRadToDeg = 57.2957802;
// Nesting of brackets and function calls; deeper text is a syntax error, not a stack overflow.
constexpr int32_t kMaxDepth = 256;

bzExprHooks gHooks;
bool gHaveTable;
bool gAutoCreate;
Variable gVariables[BZ_EXPR_MAX_VARIABLES];

// State of the current evaluation.
int32_t gErrorCode;
bool gFailed;                         // this evaluation reported an error with a non-zero code
int32_t gTarget;                      // row + 1 of the assignment target, 0 = none
bool gPending[BZ_EXPR_MAX_VARIABLES]; // rows created and not yet assigned
int32_t gPendingCount;
int32_t gDepth;

double DefaultError(const char *, int32_t kind, int32_t *code)
{
    if (code)
        *code = kind;
    return 0.0;
}

void *DefaultAllocate(uint32_t size)
{
    return bz_MemAlloc(size, 0);
}

void DefaultFree(void *block)
{
    bz_MemFree(block);
}

void EnsureInit()
{
    if (!gHaveTable)
        bz_Expr_Init();
}

double Report(const char *at, int32_t kind)
{
    int32_t code = 0;
    double value = gHooks.error(at, kind, &code);
    if (code != 0)
        gFailed = true;
    if (gErrorCode == 0)
        gErrorCode = code;
    return value;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsAlpha(char c)
{
    return bz_AsciiIsLetter(c) || c == '_';
}

const char *SkipBlanks(const char *p)
{
    while (IsBlank(*p))
        ++p;
    return p;
}

// Copies the name upper-cased into out (BZ_EXPR_MAX_NAME + 1 bytes); false when it is too long.
bool UpperName(const char *name, char *out)
{
    size_t n = 0;
    for (; name[n]; ++n)
    {
        if (n >= static_cast<size_t>(BZ_EXPR_MAX_NAME))
            return false;
        out[n] = bz_AsciiUpper(name[n]);
    }
    out[n] = 0;
    return true;
}

// Row index of an upper-cased name, -1 when absent.
int32_t FindRow(const char *upperName)
{
    for (int32_t i = 0; i < BZ_EXPR_MAX_VARIABLES; ++i)
        if (gVariables[i].name && std::strcmp(gVariables[i].name, upperName) == 0)
            return i;
    return -1;
}

// Creates a row for an upper-cased name; -1 when the table is full or memory fails.
int32_t CreateRow(const char *upperName, double value)
{
    for (int32_t i = 0; i < BZ_EXPR_MAX_VARIABLES; ++i)
    {
        if (gVariables[i].name)
            continue;
        size_t len = std::strlen(upperName);
        char *copy = static_cast<char *>(gHooks.allocate(static_cast<uint32_t>(len + 1)));
        if (!copy)
            return -1;
        std::memcpy(copy, upperName, len + 1);
        gVariables[i].name = copy;
        gVariables[i].value = value;
        return i;
    }
    return -1;
}

void FreeRow(int32_t row)
{
    if (gVariables[row].name)
        gHooks.free(gVariables[row].name);
    gVariables[row].name = nullptr;
    gVariables[row].value = 0.0;
    if (gPending[row])
    {
        gPending[row] = false;
        --gPendingCount;
    }
    if (gTarget == row + 1)
        gTarget = 0;
}

// Truncation toward zero that never leaves the double range (no integer conversion).
double Trunc(double v)
{
    return std::trunc(v);
}

double FnSin(const double *a)
{
    return std::sin(a[0] * kDegToRad);
}
double FnCos(const double *a)
{
    return std::cos(a[0] * kDegToRad);
}
double FnTan(const double *a)
{
    return std::tan(a[0] * kDegToRad);
}
double FnAsin(const double *a)
{
    return std::asin(a[0]);
}
double FnAcos(const double *a)
{
    return std::acos(a[0]) * kRadToDeg;
}
double FnAtan(const double *a)
{
    return std::atan(a[0]) * kRadToDeg;
}
double FnAtan2(const double *a)
{
    return std::atan2(a[0], a[1]) * kRadToDeg;
}
double FnSinh(const double *a)
{
    return std::sinh(a[0]);
}
double FnCosh(const double *a)
{
    return std::cosh(a[0]);
}
double FnTanh(const double *a)
{
    return std::tanh(a[0]);
}
double FnExp(const double *a)
{
    return std::exp(a[0]);
}
double FnLog(const double *a)
{
    return std::log(a[0]);
}
double FnLog10(const double *a)
{
    return std::log10(a[0]);
}
double FnPow(const double *a)
{
    return std::pow(a[0], a[1]);
}
double FnSqrt(const double *a)
{
    return std::sqrt(a[0]);
}
double FnCeil(const double *a)
{
    return std::ceil(a[0]);
}
double FnFloor(const double *a)
{
    return std::floor(a[0]);
}
double FnLdexp(const double *a)
{
    double e = Trunc(a[1]);
    // Exponents beyond this range already give 0 or infinity.
    if (!(e > -4000.0))
        e = -4000.0;
    if (!(e < 4000.0))
        e = 4000.0;
    return std::ldexp(a[0], static_cast<int>(e));
}
double FnFmod(const double *a)
{
    float x = static_cast<float>(a[0]);
    float y = static_cast<float>(a[1]);
    return static_cast<double>(x - y * std::floor(x / y));
}
double FnSqr(const double *a)
{
    return a[0] * a[0];
}

const Function kFunctions[] = {
    {"SIN", 1, FnSin},     {"COS", 1, FnCos},     {"TAN", 1, FnTan},     {"ASIN", 1, FnAsin},
    {"ACOS", 1, FnAcos},   {"ATAN", 1, FnAtan},   {"ATAN2", 2, FnAtan2}, {"SINH", 1, FnSinh},
    {"COSH", 1, FnCosh},   {"TANH", 1, FnTanh},   {"EXP", 1, FnExp},     {"LOG", 1, FnLog},
    {"LOG10", 1, FnLog10}, {"POW", 2, FnPow},     {"SQRT", 1, FnSqrt},   {"CEIL", 1, FnCeil},
    {"FLOOR", 1, FnFloor}, {"LDEXP", 2, FnLdexp}, {"FMOD", 2, FnFmod},   {"SQR", 1, FnSqr},
};

const Function *FindFunction(const char *upperName)
{
    for (const Function &f : kFunctions)
        if (std::strcmp(f.name, upperName) == 0)
            return &f;
    return nullptr;
}

class Parser
{
public:
    explicit Parser(const char *text) : p_(text) {}
    const char *Position() const { return p_; }
    double Comparison();

private:
    double Additive();
    double Multiplicative();
    double Unary();
    double Primary();
    double Number();
    double Name();
    double Call(const char *nameStart, const char *upperName);
    // Reads a comparison-level expression inside brackets or an argument list.
    double Nested();

    const char *p_;
};

double Parser::Nested()
{
    if (gDepth >= kMaxDepth)
    {
        double v = Report(p_, BZ_EXPR_SYNTAX);
        p_ += std::strlen(p_); // nothing more can be read sensibly
        return v;
    }
    ++gDepth;
    double v = Comparison();
    --gDepth;
    return v;
}

double Parser::Comparison()
{
    double left = Additive();
    const char *q = SkipBlanks(p_);
    char c = *q;
    if (!c || !std::strchr("=<>!?", c))
        return left;
    p_ = q + 1;
    switch (c)
    {
    case '=':
        if (*p_ == '=')
        {
            ++p_;
            return Additive() == left ? 1.0 : 0.0;
        }
        else
        {
            const char *at = q;
            int32_t target = gTarget;
            double right = Additive();
            if (target == 0 || !gVariables[target - 1].name)
                return Report(at, BZ_EXPR_SYNTAX);
            gVariables[target - 1].value = right;
            if (gPending[target - 1])
            {
                gPending[target - 1] = false;
                --gPendingCount;
            }
            return right;
        }
    case '!':
        if (*p_ != '=')
            return Report(q, BZ_EXPR_SYNTAX);
        ++p_;
        return Additive() != left ? 1.0 : 0.0;
    case '<':
        if (*p_ == '=')
        {
            ++p_;
            return left <= Additive() ? 1.0 : 0.0;
        }
        return left < Additive() ? 1.0 : 0.0;
    case '>':
        if (*p_ == '=')
        {
            ++p_;
            return left >= Additive() ? 1.0 : 0.0;
        }
        return left > Additive() ? 1.0 : 0.0;
    default: // '?'
    {
        double a = Additive();
        const char *r = SkipBlanks(p_);
        if (*r == ':')
            p_ = r + 1;
        if (!*SkipBlanks(p_))
        {
            p_ = SkipBlanks(p_);
            return Report(p_, BZ_EXPR_SYNTAX);
        }
        double b = Additive();
        return left != 0.0 ? a : b;
    }
    }
}

double Parser::Additive()
{
    double v = Multiplicative();
    for (;;)
    {
        const char *q = SkipBlanks(p_);
        char c = *q;
        if (!c || !std::strchr("+-|&^", c))
            return v;
        p_ = q + 1;
        double r = Multiplicative();
        bool lt = v != 0.0;
        bool rt = Trunc(r) != 0.0;
        switch (c)
        {
        case '+': v = v + r; break;
        case '-': v = v - r; break;
        case '|': v = (lt || rt) ? 1.0 : 0.0; break;
        case '&': v = (lt && rt) ? 1.0 : 0.0; break;
        default: v = (lt != rt) ? 1.0 : 0.0; break;
        }
    }
}

double Parser::Multiplicative()
{
    double v = Unary();
    for (;;)
    {
        const char *q = SkipBlanks(p_);
        char c = *q;
        if (!c || !std::strchr("*/%@", c))
            return v;
        p_ = q + 1;
        double r = Unary();
        switch (c)
        {
        case '*': v = v * r; break;
        case '/': v = v / r; break;
        // Integer remainder with the sign of the left side; a right side that truncates to 0
        // gives NaN, as a division by zero would.
        case '%': v = std::fmod(Trunc(v), Trunc(r)); break;
        default: v = std::pow(v, r); break;
        }
    }
}

double Parser::Unary()
{
    bool negate = false;
    for (;;)
    {
        p_ = SkipBlanks(p_);
        if (*p_ == '+')
            ++p_;
        else if (*p_ == '-')
        {
            negate = !negate;
            ++p_;
        }
        else
            break;
    }
    double v = Primary();
    return negate ? -v : v;
}

double Parser::Primary()
{
    char c = *p_;
    if (bz_AsciiIsDigit(c) || c == '.')
        return Number();
    if (IsAlpha(c))
        return Name();
    if (c == '(')
    {
        ++p_;
        double v = Nested();
        p_ = SkipBlanks(p_);
        if (*p_ != ')')
            return Report(p_, BZ_EXPR_SYNTAX);
        ++p_;
        return v;
    }
    // Nothing that can stand as an operand: an operator without its operand.
    return Report(p_, BZ_EXPR_SYNTAX);
}

double Parser::Number()
{
    double value = 0.0;
    double divisor = 0.0; // 0 before the point
    for (;;)
    {
        char c = *p_;
        if (bz_AsciiIsDigit(c))
        {
            double d = c - '0';
            if (divisor == 0.0)
                value = value * 10.0 + d;
            else
            {
                value += d / divisor;
                divisor *= 10.0;
            }
            ++p_;
        }
        else if (c == '.')
        {
            divisor = 10.0;
            ++p_;
        }
        else if (IsBlank(c))
        {
            // Blanks between digits are skipped; trailing ones are left for the caller.
            const char *q = SkipBlanks(p_);
            if (!bz_AsciiIsDigit(*q) && *q != '.')
                return value;
            p_ = q;
        }
        else
            return value;
    }
}

double Parser::Name()
{
    const char *start = p_;
    char upper[BZ_EXPR_MAX_NAME + 1];
    size_t n = 0;
    bool tooLong = false;
    while (IsAlpha(*p_) || bz_AsciiIsDigit(*p_))
    {
        if (n < static_cast<size_t>(BZ_EXPR_MAX_NAME))
            upper[n++] = bz_AsciiUpper(*p_);
        else
            tooLong = true;
        ++p_;
    }
    upper[n] = 0;
    if (tooLong)
        return Report(start, BZ_EXPR_SYNTAX);
    if (*p_ == '(')
        return Call(start, upper);

    int32_t row = FindRow(upper);
    if (row >= 0)
    {
        if (gTarget == 0)
            gTarget = row + 1;
        return gVariables[row].value;
    }
    if (gAutoCreate)
    {
        row = CreateRow(upper, 0.0);
        if (row < 0)
            return 0.0; // a full table creates nothing; the name reads as 0
        if (gTarget == 0)
            gTarget = row + 1;
        gPending[row] = true;
        ++gPendingCount;
        return 0.0;
    }
    if (gHooks.resolveVariable)
        return gHooks.resolveVariable(upper);
    return Report(start, BZ_EXPR_NO_VARIABLE);
}

double Parser::Call(const char *nameStart, const char *upperName)
{
    ++p_; // '('
    const Function *fn = FindFunction(upperName);
    if (fn)
    {
        double args[2] = {0.0, 0.0};
        for (int32_t i = 0; i < fn->arity; ++i)
        {
            if (i > 0)
            {
                p_ = SkipBlanks(p_);
                if (*p_ != ',')
                    return Report(p_, BZ_EXPR_SYNTAX);
                ++p_;
            }
            args[i] = Nested();
        }
        p_ = SkipBlanks(p_);
        if (*p_ != ')')
            return Report(p_, BZ_EXPR_SYNTAX);
        ++p_;
        return fn->fn(args);
    }

    double args[BZ_EXPR_MAX_HOOK_ARGS];
    int32_t count = 0;
    p_ = SkipBlanks(p_);
    if (*p_ != ')')
    {
        for (;;)
        {
            double v = Nested();
            if (count >= BZ_EXPR_MAX_HOOK_ARGS)
                return Report(p_, BZ_EXPR_SYNTAX);
            args[count++] = v;
            p_ = SkipBlanks(p_);
            if (*p_ != ',')
                break;
            ++p_;
        }
        if (*p_ != ')')
            return Report(p_, BZ_EXPR_SYNTAX);
    }
    ++p_;
    if (!gHooks.callFunction)
        return Report(nameStart, BZ_EXPR_NO_FUNCTION);
    return gHooks.callFunction(upperName, count, args);
}

struct Constant
{
    const char *name;
    double value;
};

const Constant kConstants[] = {
    {"PI", 3.14159265359},
    {"PIMUL2", 6.28318530718},
    {"PIDIV2", static_cast<double>(1.5707963f)},
    {"EPSILON", 1.1920928955078125e-7},
    {"INVEPSILON", 8388608.0},
    {"E", 2.718282},
    {"ROOT2", 1.414214},
    {"ROOT3", 1.732051},
    {"GOLDEN", 1.618034},
    {"DTOR", 0.01745329251994},
    {"RTOD", 57.29577951308},
    {"SCALAR_MAX", 3.4028234663852886e38},
    {"SCALAR_MIN", -3.4028234663852886e38},
};

} // namespace

void bz_Expr_InitWithHooks(const bzExprHooks *hooks)
{
    // Names made under an earlier table go back through that table's free hook.
    if (gHaveTable)
        bz_Expr_FreeVariables();
    gHooks = hooks ? *hooks : bzExprHooks{};
    if (!gHooks.allocate || !gHooks.free)
    {
        gHooks.allocate = DefaultAllocate;
        gHooks.free = DefaultFree;
    }
    if (!gHooks.error)
        gHooks.error = DefaultError;
    gAutoCreate = gHooks.resolveVariable == nullptr;
    for (Variable &v : gVariables)
        v = Variable{};
    std::memset(gPending, 0, sizeof gPending);
    gPendingCount = 0;
    gTarget = 0;
    gErrorCode = 0;
    gHaveTable = true;
}

void bz_Expr_Init()
{
    bz_Expr_InitWithHooks(nullptr);
    for (const Constant &c : kConstants)
        CreateRow(c.name, c.value);
}

double bz_Expr_Evaluate(const char *text)
{
    EnsureInit();
    gTarget = 0;
    gDepth = 0;
    gFailed = false;
    if (!text || !*text)
    {
        Report(text ? text : "", BZ_EXPR_OK);
        return 0.0;
    }
    Parser parser(text);
    double value = parser.Comparison();
    if (*parser.Position())
    {
        Report(parser.Position(), BZ_EXPR_SYNTAX);
        value = 0.0;
    }
    // Names read but never assigned were not meant as variables: report and remove them.
    if (gPendingCount > 0)
    {
        for (int32_t i = 0; i < BZ_EXPR_MAX_VARIABLES; ++i)
        {
            if (!gPending[i])
                continue;
            Report(gVariables[i].name, BZ_EXPR_NO_VARIABLE);
            FreeRow(i);
        }
    }
    gTarget = 0;
    return gFailed ? 0.0 : value;
}

double bz_Expr_EvaluateWithStatus(const char *text, int32_t *code)
{
    EnsureInit();
    gErrorCode = 0;
    std::memset(gPending, 0, sizeof gPending);
    gPendingCount = 0;
    double value = bz_Expr_Evaluate(text);
    if (code)
        *code = gErrorCode;
    return value;
}

int32_t bz_Expr_GetErrorCode()
{
    return gErrorCode;
}

void bz_Expr_SetVariable(const char *name, double value)
{
    EnsureInit();
    char upper[BZ_EXPR_MAX_NAME + 1];
    if (!name || !UpperName(name, upper))
        return;
    int32_t row = FindRow(upper);
    if (row >= 0)
        gVariables[row].value = value;
    else
        CreateRow(upper, value);
}

double bz_Expr_GetVariable(const char *name)
{
    EnsureInit();
    char upper[BZ_EXPR_MAX_NAME + 1];
    if (!name || !UpperName(name, upper))
        return 0.0;
    int32_t row = FindRow(upper);
    return row >= 0 ? gVariables[row].value : 0.0;
}

int32_t bz_Expr_VariableExists(const char *name)
{
    EnsureInit();
    char upper[BZ_EXPR_MAX_NAME + 1];
    if (!name || !UpperName(name, upper))
        return 0;
    return FindRow(upper) >= 0 ? 1 : 0;
}

void bz_Expr_DeleteVariable(const char *name)
{
    EnsureInit();
    char upper[BZ_EXPR_MAX_NAME + 1];
    if (!name || !UpperName(name, upper))
        return;
    int32_t row = FindRow(upper);
    if (row >= 0)
        FreeRow(row);
}

void bz_Expr_FreeVariables()
{
    EnsureInit();
    for (int32_t i = 0; i < BZ_EXPR_MAX_VARIABLES; ++i)
        FreeRow(i);
}

void bz_Expr_SetAutoCreateOn()
{
    EnsureInit();
    gAutoCreate = true;
}

void bz_Expr_SetAutoCreateOff()
{
    EnsureInit();
    gAutoCreate = false;
}
