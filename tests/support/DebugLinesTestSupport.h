// The fixture of the tests of the on-screen debug lines: every slot empty before and after each
// test.
#pragma once

#include "core/Debug.h"

#include <gtest/gtest.h>

class DebugLines : public ::testing::Test
{
protected:
    void SetUp() override { bz_ClearDebugMessages(); }
    void TearDown() override { bz_ClearDebugMessages(); }
};
