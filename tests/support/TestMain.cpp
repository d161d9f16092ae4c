// Test main: starts the engine core once per test program in keep-alive mode, so a report
// is recorded instead of ending the process. Every test of a program runs in this one process,
// in any order: each test must leave the engine as it found it. A test that leaves files open
// fails here, and its files are closed so that the tests after it are not charged for them.
#include "startup/Engine.h"
#include "core/Error.h"
#include "files/DebugOutput.h"
#include "models/SceneLink.h"
#include "physics/PhysInstall.h"

#include "TestSupport.h"

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
        // The scene graph's tests install fakes of the models; each test that wants the real
        // ones installs them itself.
        bz_Models_RemoveSceneServices();
        // Likewise the physics' tests join the physics' parts themselves.
        bz_Phys_RemoveServices();
        bzgNoFatalExit = 1;
    }
    void TearDown() override { bz_MemPools_DestroyAll(); }
};

class LeftOpenFiles : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo &) override { before_ = OpenFileHandles(); }
    // Runs before the result is printed, so a failure added here belongs to the test.
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        // The debug stream is the engine's own and stays open by design; the next print opens
        // it again.
        bz_DebugOutput_CloseDefault();
        const int left = CloseFileHandlesExcept(before_);
        if (left > 0)
            ADD_FAILURE() << "the test left " << left << " file(s) open";
    }

private:
    uint32_t before_ = 0;
};
} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LeftOpenFiles);
    return RUN_ALL_TESTS();
}
