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

TEST_F(ExprTest, FullTableReadsNamesAsZero)
{
    int32_t code;
    // 13 constants are already there.
    char name[16];
    for (int i = 0; i < BZ_EXPR_MAX_VARIABLES - 13; ++i)
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
