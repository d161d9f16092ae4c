#include "console/Expr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
class ExprTest : public ::testing::Test
{
protected:
    void SetUp() override { bz_Expr_Init(); }
    void TearDown() override { bz_Expr_FreeVariables(); }

    double Eval(const char *text, int32_t *code)
    {
        *code = -1;
        return bz_Expr_EvaluateWithStatus(text, code);
    }
};

struct Case
{
    const char *text;
    double value;
};

TEST_F(ExprTest, ValuesOfValidExpressions)
{
    const Case cases[] = {
        // precedence and association
        {"2+3*4", 14},
        {"(2+3)*4", 20},
        {"10-4-3", 3},
        {"100/10/5", 2},
        {"2@10", 1024},
        {"2@3@2", 64},
        // unary signs bind tighter than the power
        {"-2@2", 4},
        {"--3", 3},
        {"+-+4", -4},
        {"3*-2", -6},
        // modulo truncates both sides, sign of the left side
        {"7%3", 1},
        {"-7%3", -1},
        {"7.9%2", 1},
        {"7%-3", 1},
        // logical operators: right side counts by its truncation
        {"1&1", 1},
        {"1&0.5", 0},
        {"0|2", 1},
        {"0.5|0", 1},
        {"1^1", 0},
        {"1^0", 1},
        // comparisons
        {"2==2", 1},
        {"2 == 3", 0},
        {"2!=2", 0},
        {"2 != 3", 1},
        {"1<2", 1},
        {"2<1", 0},
        {"2<=2", 1},
        {"3>2", 1},
        {"2>=3", 0},
        // ternary
        {"1 ? 10 : 20", 10},
        {"0 ? 10 : 20", 20},
        // numbers: blanks between digits, a second point restarts the fraction
        {"1 2", 12},
        {"0.25", 0.25},
        {".5", 0.5},
        {"1.5.5", 2},
        {"  \t7", 7},
        // functions in degrees, inverse functions as written
        {"sin(90)", 1},
        {"SIN(30)", std::sin(30 * 0.0174532924)},
        {"cos(0)", 1},
        {"asin(1)", std::asin(1.0)},
        {"sqrt(16)", 4},
        {"pow(2, 8)", 256},
        {"sqr(-3)", 9},
        {"floor(-1.5)", -2},
        {"ceil(1.2)", 2},
        {"ldexp(3, 2.9)", 12},
        {"fmod(7, 3)", 1},
        {"fmod(-7, 3)", 2},
        {"fmod(7, -3)", -2},
        {"log(1)", 0},
        {"log10(1000)", 3},
        {"exp(0)", 1},
        {"tanh(0)", 0},
        {"atan(1)", std::atan(1.0) * 57.2957802},
        {"acos(0)", std::acos(0.0) * 57.2957802},
        {"sqrt( (9) ) + 1", 4},
        // constants
        {"PI*2", 6.28318530718},
        {"pidiv2", static_cast<double>(1.5707963f)},
        {"EPSILON*INVEPSILON", 1},
        {"DTOR*RTOD", 0.01745329251994 * 57.29577951308},
        {"SCALAR_MAX", 3.4028234663852886e38},
    };
    for (const Case &c : cases)
    {
        int32_t code;
        double v = Eval(c.text, &code);
        EXPECT_EQ(code, 0) << c.text;
        EXPECT_NEAR(v, c.value, 1e-9 * std::max(1.0, std::fabs(c.value))) << c.text;
    }
}

// Precedence of every pair of operators. The expected value of "a op1 b op2 c" is worked out
// from the grammar's levels (comparison below additive "+-|&^" below multiplicative "*/%@"),
// left association within a level, and each operator's own rule; the operands of each pair are
// the first triple for which the two groupings give different values, so a pair evaluated with
// the wrong grouping cannot pass.
namespace precedence
{
const char kArithmetic[] = {'+', '-', '|', '&', '^', '*', '/', '%', '@'};
const char *const kComparisons[] = {"==", "!=", "<", "<=", ">", ">="};

int Level(char op)
{
    return std::strchr("+-|&^", op) ? 2 : 3;
}

// false when the rule leaves the result open (a remainder by a side that truncates to 0).
bool Apply(char op, double a, double b, double *out)
{
    const bool left = a != 0.0;
    const bool right = std::trunc(b) != 0.0;
    switch (op)
    {
    case '+': *out = a + b; break;
    case '-': *out = a - b; break;
    case '|': *out = (left || right) ? 1 : 0; break;
    case '&': *out = (left && right) ? 1 : 0; break;
    case '^': *out = (left != right) ? 1 : 0; break;
    case '*': *out = a * b; break;
    case '/': *out = a / b; break;
    case '%':
        if (std::trunc(b) == 0.0)
            return false;
        *out = static_cast<double>(static_cast<long long>(std::trunc(a)) %
                                   static_cast<long long>(std::trunc(b)));
        break;
    case '@': *out = std::pow(a, b); break;
    default: return false;
    }
    return std::isfinite(*out);
}

double Compare(const std::string &op, double a, double b)
{
    if (op == "==")
        return a == b;
    if (op == "!=")
        return a != b;
    if (op == "<")
        return a < b;
    if (op == "<=")
        return a <= b;
    if (op == ">")
        return a > b;
    return a >= b;
}

struct Triple
{
    double a, b, c;
};
const Triple kTriples[] = {{2, 3, 4},   {7, 3, 2}, {2, 1, 0},   {1, 0, 0},   {0, 1, 1}, {0, 0.5, 0},
                           {1, 1, 0},   {6, 4, 3}, {3, 2, 0.5}, {0.5, 1, 0}, {5, 2, 3}, {0, 0.5, 1},
                           {1, 0.5, 0}, {9, 4, 2}, {1, 2, 0},   {1, 1, 1},   {0, 2, -1}};

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Both groupings of a op1 b op2 c; false when either is open.
bool Groupings(char op1, char op2, const Triple &t, double *leftFirst, double *rightFirst)
{
    double ab, bc;
    return Apply(op1, t.a, t.b, &ab) && Apply(op2, ab, t.c, leftFirst) &&
           Apply(op2, t.b, t.c, &bc) && Apply(op1, t.a, bc, rightFirst);
}
} // namespace precedence

TEST_F(ExprTest, PrecedenceOfEveryArithmeticPair)
{
    using namespace precedence;
    int discriminating = 0;
    for (char op1 : kArithmetic)
    {
        for (char op2 : kArithmetic)
        {
            const Triple *chosen = nullptr;
            double leftFirst = 0, rightFirst = 0;
            for (const Triple &t : kTriples)
            {
                double l, r;
                if (!Groupings(op1, op2, t, &l, &r))
                    continue;
                if (!chosen || (l != r && leftFirst == rightFirst))
                {
                    chosen = &t;
                    leftFirst = l;
                    rightFirst = r;
                }
                if (l != r)
                    break;
            }
            ASSERT_NE(chosen, nullptr) << op1 << op2;
            // Operators of different levels can always be told apart by their grouping.
            if (Level(op1) != Level(op2))
            {
                EXPECT_NE(leftFirst, rightFirst) << op1 << op2 << ": no telling triple";
            }
            discriminating += leftFirst != rightFirst;
            const double expected = Level(op2) > Level(op1) ? rightFirst : leftFirst;
            const std::string text =
                Number(chosen->a) + op1 + Number(chosen->b) + op2 + Number(chosen->c);
            int32_t code;
            const double value = Eval(text.c_str(), &code);
            EXPECT_EQ(code, 0) << text;
            EXPECT_NEAR(value, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << text;
            // Brackets make either grouping.
            const std::string left =
                "(" + Number(chosen->a) + op1 + Number(chosen->b) + ")" + op2 + Number(chosen->c);
            const std::string right =
                Number(chosen->a) + op1 + "(" + Number(chosen->b) + op2 + Number(chosen->c) + ")";
            EXPECT_NEAR(Eval(left.c_str(), &code), leftFirst,
                        1e-9 * std::max(1.0, std::fabs(leftFirst)))
                << left;
            EXPECT_NEAR(Eval(right.c_str(), &code), rightFirst,
                        1e-9 * std::max(1.0, std::fabs(rightFirst)))
                << right;
        }
    }
    // Only the pairs that associate either way ("++", "+-", "&&", "**") give one value for both
    // groupings: the other 77 of the 81 are told apart.
    EXPECT_GE(discriminating, 77);
}

TEST_F(ExprTest, PrecedenceOfComparisonsSignsAndTheConditional)
{
    using namespace precedence;
    int32_t code;
    // The rows named in the grammar: "&" and "|" are additive, "@" binds below the signs.
    const Case fixed[] = {
        {"1|0&0", 0},       {"2+1&0", 0},       {"0&0|1", 1},       {"2*0|1", 1},
        {"1^1&0", 0},       {"-2@2", 4},        {"2@-1", 0.5},      {"-2*-3", 6},
        {"2-3-4", -5},      {"2@3@2", 64},      {"8/2/2", 2},       {"7%4%2", 1},
        {"1+1==2", 1},      {"3-1==2", 1},      {"1 ? 2+3 : 4", 5}, {"0 ? 1 : 2*3", 6},
        {"1-1 ? 7 : 8", 8}, {"2 ? 1|0 : 0", 1},
    };
    for (const Case &c : fixed)
    {
        EXPECT_NEAR(Eval(c.text, &code), c.value, 1e-12) << c.text;
        EXPECT_EQ(code, 0) << c.text;
    }

    // A comparison takes whole additive expressions on both sides.
    for (const char *cmp : kComparisons)
    {
        for (char op : kArithmetic)
        {
            for (const Triple &t : kTriples)
            {
                double bc, ab;
                if (!Apply(op, t.b, t.c, &bc) || !Apply(op, t.a, t.b, &ab))
                    continue;
                const std::string right = Number(t.a) + cmp + Number(t.b) + op + Number(t.c);
                EXPECT_EQ(Eval(right.c_str(), &code), Compare(cmp, t.a, bc)) << right;
                EXPECT_EQ(code, 0) << right;
                const std::string left = Number(t.a) + op + Number(t.b) + cmp + Number(t.c);
                EXPECT_EQ(Eval(left.c_str(), &code), Compare(cmp, ab, t.c)) << left;
                EXPECT_EQ(code, 0) << left;
            }
        }
        // Only one comparison is taken: a second one is left over.
        for (const char *second : kComparisons)
        {
            const std::string text = std::string("1") + cmp + "2" + second + "3";
            EXPECT_EQ(Eval(text.c_str(), &code), 0.0) << text;
            EXPECT_EQ(code, BZ_EXPR_SYNTAX) << text;
        }
    }

    // The conditional and the assignment take additive expressions in each place.
    for (char op : kArithmetic)
    {
        double v;
        ASSERT_TRUE(Apply(op, 6, 4, &v)) << op;
        const std::string n = std::string("6") + op + "4";
        const struct
        {
            std::string text;
            double value;
        } rows[] = {
            {n + " ? 1 : 2", v != 0.0 ? 1.0 : 2.0},
            {"1 ? " + n + " : 0", v},
            {"0 ? 0 : " + n, v},
        };
        for (const auto &r : rows)
        {
            EXPECT_NEAR(Eval(r.text.c_str(), &code), r.value, 1e-12) << r.text;
            EXPECT_EQ(code, 0) << r.text;
        }
        const std::string assign = "target = " + n;
        EXPECT_NEAR(Eval(assign.c_str(), &code), v, 1e-12) << assign;
        EXPECT_EQ(code, 0) << assign;
        EXPECT_NEAR(bz_Expr_GetVariable("target"), v, 1e-12) << assign;
    }
}

TEST_F(ExprTest, FunctionsAgreeWithConstantsAndDegrees)
{
    int32_t code;
    EXPECT_DOUBLE_EQ(Eval("PI*2", &code), Eval("PIMUL2", &code));
    EXPECT_NEAR(Eval("sqrt(2)", &code), Eval("ROOT2", &code), 1e-6);
    EXPECT_NEAR(Eval("atan2(1, 1)", &code), 45.0, 1e-5);
    EXPECT_NEAR(Eval("atan2(1, -1)", &code), 135.0, 1e-5);
    EXPECT_NEAR(Eval("asin(1)", &code), 1.5707963, 1e-7);
    EXPECT_NEAR(Eval("sin(90)", &code), 1.0, 1e-12);
}

TEST_F(ExprTest, ErrorsGiveTheirKindAndZero)
{
    const struct
    {
        const char *text;
        int32_t code;
    } cases[] = {
        {"", BZ_EXPR_OK},
        {"3 ", BZ_EXPR_SYNTAX},
        {"2+", BZ_EXPR_SYNTAX},
        {"(2+3", BZ_EXPR_SYNTAX},
        {"2)", BZ_EXPR_SYNTAX},
        {"pow(2)", BZ_EXPR_SYNTAX},
        {"sin(1, 2)", BZ_EXPR_SYNTAX},
        {"2 ! 3", BZ_EXPR_SYNTAX},
        {"1 ? 2 :", BZ_EXPR_SYNTAX},
        {"5 = 3", BZ_EXPR_SYNTAX},
        {"1 < 2 < 3", BZ_EXPR_SYNTAX},
        {"#", BZ_EXPR_SYNTAX},
        {"foo(1)", BZ_EXPR_NO_FUNCTION},
        {"2 * foo(1, 2) + 1", BZ_EXPR_NO_FUNCTION},
        {"undefinedname + 1", BZ_EXPR_NO_VARIABLE},
    };
    for (const auto &c : cases)
    {
        int32_t code;
        double v = Eval(c.text, &code);
        EXPECT_EQ(code, c.code) << c.text;
        EXPECT_EQ(v, 0.0) << c.text;
    }
}

TEST_F(ExprTest, AssignmentCreatesAndUnknownNamesAreRemoved)
{
    int32_t code;
    EXPECT_EQ(Eval("x = 5", &code), 5.0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(bz_Expr_GetVariable("X"), 5.0);
    EXPECT_EQ(Eval("x*2", &code), 10.0);
    EXPECT_EQ(Eval("X = x + 1", &code), 6.0);
    EXPECT_EQ(bz_Expr_GetVariable("x"), 6.0);

    EXPECT_EQ(Eval("y+1", &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_NO_VARIABLE);
    EXPECT_EQ(bz_Expr_VariableExists("y"), 0);

    // Every name read but never assigned goes, not only the last one.
    Eval("a + b + c", &code);
    EXPECT_EQ(code, BZ_EXPR_NO_VARIABLE);
    EXPECT_EQ(bz_Expr_VariableExists("a"), 0);
    EXPECT_EQ(bz_Expr_VariableExists("b"), 0);
    EXPECT_EQ(bz_Expr_VariableExists("c"), 0);

    // Constants are ordinary variables and may be reassigned.
    EXPECT_EQ(Eval("pi = 3", &code), 3.0);
    EXPECT_EQ(bz_Expr_GetVariable("PI"), 3.0);

    bz_Expr_DeleteVariable("x");
    EXPECT_EQ(bz_Expr_VariableExists("x"), 0);
    EXPECT_EQ(bz_Expr_GetVariable("x"), 0.0);
}

TEST_F(ExprTest, FirstErrorWinsAndStatusIsCleared)
{
    int32_t code;
    Eval("foo(1) + 3 )", &code);
    EXPECT_EQ(code, BZ_EXPR_NO_FUNCTION);
    EXPECT_EQ(Eval("1+1", &code), 2.0);
    EXPECT_EQ(code, 0);
    // A plain evaluation after an error still gives its value.
    bz_Expr_EvaluateWithStatus("foo(1)", nullptr);
    EXPECT_EQ(bz_Expr_Evaluate("2*3"), 6.0);
}

TEST_F(ExprTest, SetGetAndAutoCreateSwitch)
{
    bz_Expr_SetVariable("speed", 12.5);
    int32_t code;
    EXPECT_EQ(Eval("Speed*2", &code), 25.0);
    bz_Expr_SetVariable("SPEED", 1);
    EXPECT_EQ(bz_Expr_GetVariable("speed"), 1.0);

    bz_Expr_SetAutoCreateOff();
    EXPECT_EQ(Eval("z = 4", &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_NO_VARIABLE);
    EXPECT_EQ(bz_Expr_VariableExists("z"), 0);
    bz_Expr_SetAutoCreateOn();
    EXPECT_EQ(Eval("z = 4", &code), 4.0);
    EXPECT_EQ(code, 0);
}

TEST_F(ExprTest, HooksResolveNamesAndFunctions)
{
    static int errors;
    struct Hooks
    {
        static double Error(const char *, int32_t kind, int32_t *code)
        {
            ++errors;
            *code = kind + 100;
            return 0;
        }
        static double Resolve(const char *name) { return std::strcmp(name, "TEN") == 0 ? 10 : -1; }
        static double Call(const char *name, int32_t count, const double *args)
        {
            if (std::strcmp(name, "SUM") != 0)
                return -1;
            double s = 0;
            for (int32_t i = 0; i < count; ++i)
                s += args[i];
            return s;
        }
    };
    bzExprHooks hooks = {};
    hooks.error = Hooks::Error;
    hooks.resolveVariable = Hooks::Resolve;
    hooks.callFunction = Hooks::Call;
    bz_Expr_InitWithHooks(&hooks);
    int32_t code;
    EXPECT_EQ(Eval("ten * 2", &code), 20.0);
    EXPECT_EQ(Eval("sum(1, 2, 3) + sum()", &code), 6.0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Eval("sum(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20)", &code), 210.0);
    EXPECT_EQ(Eval("sum(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21)", &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX + 100);
    errors = 0;
    Eval("2+", &code);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX + 100);
    EXPECT_GE(errors, 1);
    // Back to the built-in table with its constants.
    bz_Expr_Init();
    EXPECT_NEAR(Eval("PI", &code), 3.14159265359, 1e-12);
}

TEST_F(ExprTest, HostileTextIsRefused)
{
    int32_t code;
    std::string deep(100000, '(');
    deep += "1";
    EXPECT_EQ(Eval(deep.c_str(), &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX);

    std::string longName(300, 'a');
    EXPECT_EQ(Eval(longName.c_str(), &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX);
    bz_Expr_SetVariable(longName.c_str(), 1);
    EXPECT_EQ(bz_Expr_VariableExists(longName.c_str()), 0);

    std::string minus(100000, '-');
    minus += "2";
    EXPECT_EQ(Eval(minus.c_str(), &code), 2.0);

    // A remainder by a side that truncates to 0 is not a number, like a division by zero.
    EXPECT_TRUE(std::isnan(Eval("5%0.5", &code)));
    EXPECT_TRUE(std::isinf(Eval("1/0", &code)));
    EXPECT_EQ(Eval("ldexp(1, 100000)", &code), HUGE_VAL);
}

// Brackets nest at most 256 deep; one more is a syntax error, not a deeper recursion.
TEST_F(ExprTest, BracketsNestTo256)
{
    const struct
    {
        int depth;
        double value;
        int32_t code;
    } cases[] = {{255, 3, 0}, {256, 3, 0}, {257, 0, BZ_EXPR_SYNTAX}};
    for (const auto &c : cases)
    {
        const std::string text = std::string(c.depth, '(') + "1+2" + std::string(c.depth, ')');
        int32_t code;
        EXPECT_EQ(Eval(text.c_str(), &code), c.value) << c.depth;
        EXPECT_EQ(code, c.code) << c.depth;
    }
    // A function's argument list is a bracket too.
    int32_t code;
    const std::string inCall = "sqr(" + std::string(255, '(') + "3" + std::string(255, ')') + ")";
    EXPECT_EQ(Eval(inCall.c_str(), &code), 9.0);
    EXPECT_EQ(code, 0);
    const std::string pastInCall =
        "sqr(" + std::string(256, '(') + "3" + std::string(256, ')') + ")";
    EXPECT_EQ(Eval(pastInCall.c_str(), &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX);
}

TEST_F(ExprTest, FullTableReadsNamesAsZero)
{
    int32_t code;
    // 13 constants are already there.
    char name[16];
    for (int i = 0; i < 500 - 13; ++i) // 500 rows
    {
        std::snprintf(name, sizeof name, "v%d", i);
        bz_Expr_SetVariable(name, i);
    }
    EXPECT_EQ(bz_Expr_GetVariable("v486"), 486.0);
    // No row, so no assignment target.
    EXPECT_EQ(Eval("extra = 3", &code), 0.0);
    EXPECT_EQ(code, BZ_EXPR_SYNTAX);
    EXPECT_EQ(bz_Expr_VariableExists("extra"), 0);
    EXPECT_EQ(Eval("extra + 2", &code), 2.0);
    EXPECT_EQ(code, 0);
    bz_Expr_DeleteVariable("v0");
    EXPECT_EQ(Eval("extra = 3", &code), 3.0);
    EXPECT_EQ(bz_Expr_GetVariable("extra"), 3.0);
}
} // namespace
