// Test main: starts the engine core once per test program in keep-alive mode, so a report
// is recorded instead of ending the process.
#include "startup/Engine.h"
#include "core/Error.h"

#include <gtest/gtest.h>

namespace
{
class EngineEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        bzInitRecord record = {};
        bz_InitEngine(&record);
        bzgNoFatalExit = 1;
    }
    void TearDown() override { bz_MemPools_DestroyAll(); }
};
} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);
    return RUN_ALL_TESTS();
}
