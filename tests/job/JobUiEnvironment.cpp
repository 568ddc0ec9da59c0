// The job lock, which the DLL's application object creates at load, for the test program.
#include <gtest/gtest.h>

#include "job/JobLock.h"

namespace {

class JobLockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { veltrane::InitializeJobLock(); }
    void TearDown() override { veltrane::DeleteJobLock(); }
};

[[maybe_unused]] ::testing::Environment* const g_jobLockEnvironment =
    ::testing::AddGlobalTestEnvironment(new JobLockEnvironment);

}  // namespace
