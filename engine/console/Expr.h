// The console's expression evaluator: double-precision arithmetic with named variables, a
// fixed set of constants and maths functions. What a host may want to change goes through a
// table of five hooks.
#pragma once

#include <cstdint>

// Error kinds of an evaluation (0 is "none"; an empty text reports kind 0).
enum : int32_t
{
    BZ_EXPR_OK = 0,
    BZ_EXPR_SYNTAX = 1,
    BZ_EXPR_NO_FUNCTION = 2,
    BZ_EXPR_NO_VARIABLE = 3,
};

constexpr int32_t BZ_EXPR_MAX_VARIABLES = 500;
constexpr int32_t BZ_EXPR_MAX_NAME = 255;
// Arguments read for a function handed to the call-function hook.
constexpr int32_t BZ_EXPR_MAX_HOOK_ARGS = 20;

struct bzExprHooks
{
    // (text at the error, kind, place for the code) -> value of the failing part. The default
    // stores the kind as the code and returns 0.
    double (*error)(const char *at, int32_t kind, int32_t *code);
    // (name) -> value of a name that is not defined. Without it such names are created as
    // variables on the fly.
    double (*resolveVariable)(const char *name);
    // (name, count, values) -> value of a function that is not in the built-in table.
    double (*callFunction)(const char *name, int32_t count, const double *args);
    void *(*allocate)(uint32_t size);
    void (*free)(void *block);
};

// Makes the table (or the built-in one for null) current, fills its missing allocate, free and
// error hooks, sets auto-create when no resolve hook is given and clears every variable.
void bz_Expr_InitWithHooks(const bzExprHooks *hooks);
// The same with the built-in table, then creates the constants (PI, E, DTOR ...).
void bz_Expr_Init();

// Evaluates the text; 0 on any error, the code being left in the evaluation state.
double bz_Expr_Evaluate(const char *text);
// Clears the error code, evaluates and stores the code in *code when code is not null.
double bz_Expr_EvaluateWithStatus(const char *text, int32_t *code);
// The error code of the last evaluation.
int32_t bz_Expr_GetErrorCode();

void bz_Expr_SetVariable(const char *name, double value);
// The value of the variable, 0 when it does not exist.
double bz_Expr_GetVariable(const char *name);
// 1 when the variable exists.
int32_t bz_Expr_VariableExists(const char *name);
void bz_Expr_DeleteVariable(const char *name);
void bz_Expr_FreeVariables();

void bz_Expr_SetAutoCreateOn();
void bz_Expr_SetAutoCreateOff();
